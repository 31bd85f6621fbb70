#include "foundation/print/PageSetup.h"

#include "foundation/NumberText.h"
#include "foundation/settings/PersistantData.h"

#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct CPaper
{
    const char* name;
    double width, height; // portrait, points
};

const CPaper kPapers[] = {
    {"A3", 842, 1191},    {"A4", 595, 842},     {"A5", 420, 595},       {"B5", 499, 709},
    {"Letter", 612, 792}, {"Legal", 612, 1008}, {"Tabloid", 792, 1224}, {"Executive", 522, 756},
};

const CPaper* FindPaper(std::string_view name)
{
    for (const CPaper& paper : kPapers)
        if (name == paper.name)
            return &paper;
    return nullptr;
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

bool ParseMargin(std::string_view text, double& out)
{
    double value = 0;
    if (!ParseDouble(text, value) || !std::isfinite(value))
        return false;
    out = value + 0.0; // no "-0" in the stored text
    return true;
}

// Holds the setup for the settings file; the text is checked when it is read.
class CPageSetupSettings : public PersistantData
{
public:
    CPageSetupSettings() : PersistantData("print") {}
    void Exchange() override
    {
        std::string text = FormatPageSetup(page);
        ExchangeString("page_setup", text);
        if (IsLoading())
            page = ParsePageSetup(text);
    }
    CPageSetup page;
};

CPageSetupSettings& Settings()
{
    static CPageSetupSettings settings;
    return settings;
}

} // namespace

CPageSetup ParsePageSetup(const std::string& text)
{
    const std::vector<std::string_view> fields = Split(text, ';');
    if (fields.size() != 4 || fields[3] != "pt")
        return {};
    CPageSetup page;
    if (!FindPaper(fields[0]))
        return {};
    page.paper = std::string(fields[0]);
    if (fields[1] == "landscape")
        page.landscape = true;
    else if (fields[1] != "portrait")
        return {};
    const std::vector<std::string_view> margins = Split(fields[2], ',');
    if (margins.size() != 4 || !ParseMargin(margins[0], page.left) || !ParseMargin(margins[1], page.right) ||
        !ParseMargin(margins[2], page.top) || !ParseMargin(margins[3], page.bottom) || !PageMarginsFit(page))
        return {};
    return page;
}

std::string FormatPageSetup(const CPageSetup& page)
{
    return page.paper + (page.landscape ? ";landscape;" : ";portrait;") + FormatDoubleRoundTrip(page.left) +
           "," + FormatDoubleRoundTrip(page.right) + "," + FormatDoubleRoundTrip(page.top) + "," +
           FormatDoubleRoundTrip(page.bottom) + ";pt";
}

bool PaperSizePoints(const std::string& paper, double& width, double& height)
{
    const CPaper* found = FindPaper(paper);
    if (!found)
        return false;
    width = found->width;
    height = found->height;
    return true;
}

bool PageSizePoints(const CPageSetup& page, double& width, double& height)
{
    if (!PaperSizePoints(page.paper, width, height))
        return false;
    if (page.landscape)
        std::swap(width, height);
    return true;
}

bool PageMarginsFit(const CPageSetup& page)
{
    double width = 0, height = 0;
    if (!PageSizePoints(page, width, height))
        return false;
    for (double margin : {page.left, page.right, page.top, page.bottom})
        if (!std::isfinite(margin) || margin < 0)
            return false;
    return page.left + page.right < width && page.top + page.bottom < height;
}

CPageSetup LoadPageSetup()
{
    return Settings().page;
}

void StorePageSetup(const CPageSetup& page)
{
    // What is kept is what a later start reads back.
    Settings().page = ParsePageSetup(FormatPageSetup(page));
    Settings().SetModified();
}

void MakePageSetupSettings()
{
    Settings();
}
