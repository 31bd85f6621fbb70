// Writes a panel layout file from a readable description:
//   layout <name>                      the name in the header (optional)
//   panel main | after-start           the panel the next arrangements go to
//   arrangement <width> <height> <rows> <columns> [margin <m>] [min <w> <h>]
//   cell <type id> <row> <column> [<rows> <columns>] [name <text>]
// '#' starts a comment. Cells of any item-type id are written, registered in
// this build or not: readers skip the ids they do not know.
#include "panels/LayoutFile.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A cell of any type id: the placement, and for a layout button its name.
class StoredCell : public CDisplayView::CItemSettings
{
public:
    explicit StoredCell(uint32_t typeId) : m_typeId(typeId) {}
    uint32_t GetTypeId() const override { return m_typeId; }
    std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow*) override { return nullptr; }
    bool Serialize(CSerialStream& stream) override
    {
        if (!CItemSettings::Serialize(stream))
            return false;
        if (!m_hasName)
            return true;
        CSerialChunk chunk(stream);
        chunk.ExchangeString(m_name);
        return chunk.Close();
    }

    uint32_t m_typeId;
    bool m_hasName = false;
    std::string m_name;
};

bool ToInt(const std::string& text, int64_t& value)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

int Fail(const std::string& where, const std::string& why)
{
    std::fprintf(stderr, "%s: %s\n", where.c_str(), why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <description> <layout.dvtf>\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in)
        return Fail(argv[1], "cannot open");
    CLayoutDocument document;
    CDisplayView::ArrangementList* panel = &document.m_main;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = std::string(argv[1]) + ":" + std::to_string(number);
        if (size_t hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty())
            continue;
        std::vector<int64_t> n;
        size_t i = 1;
        for (; i < w.size(); ++i) {
            int64_t v = 0;
            if (!ToInt(w[i], v))
                break;
            n.push_back(v);
        }
        if (w[0] == "layout" && w.size() == 2) {
            document.m_name = w[1];
        } else if (w[0] == "panel" && w.size() == 2 && (w[1] == "main" || w[1] == "after-start")) {
            panel = w[1] == "main" ? &document.m_main : &document.m_flip;
        } else if (w[0] == "arrangement" && n.size() == 4) {
            auto a = std::make_unique<CDisplayView::CItemArrangement>();
            if (n[0] < 0 || n[0] > UINT32_MAX || n[1] < 0 || n[1] > UINT32_MAX)
                return Fail(where, "design size out of range");
            a->m_designWidth = uint32_t(n[0]);
            a->m_designHeight = uint32_t(n[1]);
            a->m_rows = int32_t(n[2]);
            a->m_columns = int32_t(n[3]);
            for (; i < w.size(); ++i) {
                int64_t x = 0, y = 0;
                if (w[i] == "margin" && i + 1 < w.size() && ToInt(w[i + 1], x)) {
                    a->m_margin = int32_t(x);
                    i += 1;
                } else if (w[i] == "min" && i + 2 < w.size() && ToInt(w[i + 1], x) && ToInt(w[i + 2], y)) {
                    a->m_minCellWidth = int32_t(x);
                    a->m_minCellHeight = int32_t(y);
                    i += 2;
                } else {
                    return Fail(where, "unknown arrangement option " + w[i]);
                }
            }
            if (!IsValidGrid(a->Grid()))
                return Fail(where, "grid values out of range");
            panel->push_back(std::move(a));
        } else if (w[0] == "cell" && (n.size() == 3 || n.size() == 5)) {
            if (panel->empty())
                return Fail(where, "a cell before any arrangement");
            if (n[0] < 0 || n[0] > UINT32_MAX)
                return Fail(where, "type id out of range");
            auto cell = std::make_unique<StoredCell>(uint32_t(n[0]));
            cell->m_row = int32_t(n[1]);
            cell->m_column = int32_t(n[2]);
            cell->m_rows = n.size() == 5 ? int32_t(n[3]) : 1;
            cell->m_columns = n.size() == 5 ? int32_t(n[4]) : 1;
            const CDisplayView::CItemArrangement& a = *panel->back();
            if (cell->m_row < 0 || cell->m_column < 0 || cell->m_rows < 1 || cell->m_columns < 1 ||
                cell->m_row + cell->m_rows > a.m_rows || cell->m_column + cell->m_columns > a.m_columns)
                return Fail(where, "the cell does not lie inside its grid");
            if (i < w.size()) {
                if (w[i] != "name" || i + 1 >= w.size())
                    return Fail(where, "unknown cell option " + w[i]);
                cell->m_hasName = true;
                for (size_t k = i + 1; k < w.size(); ++k)
                    cell->m_name += (k > i + 1 ? " " : "") + w[k];
            }
            panel->back()->m_cells.push_back(std::move(cell));
        } else {
            return Fail(where, "cannot read: " + line);
        }
    }
    std::string error;
    if (!document.SaveToFile(argv[2], nullptr, 0, &error))
        return Fail(argv[2], error);
    return 0;
}
