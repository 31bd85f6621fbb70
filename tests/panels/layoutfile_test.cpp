// Layout files: the bytes the writer puts down, round trips of both panels,
// and files that must be refused or read in part without harm.
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Files.h"
#include "panelfakes/PanelBuilders.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/LayoutFile.h"
#include "panels/MainAndFlip.h"
#include "panels/SmallItems.h"
#include "support/TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace {

using tessatest::AddCell;
using tessatest::Arrangements;
using tessatest::MakeGrid;

// A stored type of another family under the mark's id: a cell list must never make one.
struct MarkProbe : CSerializable
{
    MarkProbe() { ++made; }
    bool Serialize(CSerialStream& stream) override
    {
        CSerialChunk chunk(stream);
        return chunk.Close();
    }
    uint32_t GetTypeId() const override { return 20; }
    static inline int made = 0;
};
CSerializableType<MarkProbe> g_markType{20};

std::string Bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s.push_back(char(b));
    return s;
}

std::string U32(uint32_t v)
{
    return Bytes({int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF), int(v >> 24)});
}

std::string Chunk(const std::string& content)
{
    return "\xBE" + U32(uint32_t(content.size() + 5)) + content;
}

std::string Record(uint32_t type, const std::string& body)
{
    return U32(type) + U32(uint32_t(body.size())) + body;
}

std::string Placement(int32_t row, int32_t column, int32_t rows, int32_t columns)
{
    return Chunk(U32(uint32_t(row)) + U32(uint32_t(column)) + U32(uint32_t(rows)) + U32(uint32_t(columns)));
}

std::string GridChunk(uint32_t w, uint32_t h, int32_t rows, int32_t columns, int32_t margin = 3,
                      int32_t minW = 50, int32_t minH = 50)
{
    return Chunk(U32(w) + U32(h) + U32(uint32_t(rows)) + U32(uint32_t(columns)) + U32(uint32_t(margin)) +
                 U32(uint32_t(minW)) + U32(uint32_t(minH)));
}

std::string Header(const std::string& name, uint32_t tag = 0x9D85823B)
{
    return Chunk(U32(tag) + U32(2) + U32(uint32_t(name.size())) + name);
}

std::string File(const std::string& header, const std::string& flip, const std::string& main)
{
    return Bytes({0x49, 0xF2, 0xAC, 0x73}) + header + flip + main;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class LayoutFileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("panels_layout");
        SetFolderRootForTesting(root);
        layouts.m_main.ClearArrangements();
        layouts.m_flip.ClearArrangements();
        layouts.m_main.m_modified = layouts.m_flip.m_modified = false;
        layouts.m_currentLayoutPath.clear();
        layouts.m_pathWithUnsavedChanges.clear();
        MarkProbe::made = 0;
    }
    void TearDown() override
    {
        layouts.m_main.Detach();
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
    }
    // Both panels as bytes, to see that a refused file changed nothing.
    std::string Snapshot()
    {
        CSerialStream s = CSerialStream::OpenWrite({}, nullptr);
        CLayoutDocument::Write(s, "", layouts.m_flip.Arrangements(), layouts.m_main.Arrangements());
        return s.Output();
    }
    void FillBothPanels()
    {
        CDisplayView::ArrangementList main, flip;
        main.push_back(MakeGrid(800, 480, 5, 4));
        AddCell<CDisplayViewHint::CSettings>(*main.back(), 0, 0, 1, 2);
        AddCell<CDisplayViewLogo::CSettings>(*main.back(), 4, 3);
        AddCell<CDisplayViewBlank::CSettings>(*main.back(), 9, 9); // outside its grid: kept
        main.push_back(MakeGrid(480, 800, 8, 2));
        main.back()->m_margin = 0;
        main.back()->m_minCellWidth = 10000;
        AddCell<CDisplayViewHint::CSettings>(*main.back(), 7, 1);
        main.push_back(MakeGrid(1024, 1024, 100, 100));
        flip.push_back(MakeGrid(640, 480, 1, 1));
        AddCell<CDisplayViewLogo::CSettings>(*flip.back(), 0, 0, 0, 0); // spans below 1: kept
        layouts.m_main.ReplaceArrangements(std::move(main));
        layouts.m_flip.ReplaceArrangements(std::move(flip));
    }

    tessatest::RecordingWindowFactory factory;
    c_main_and_flip_dv& layouts = c_main_and_flip_dv::Get();
    std::string root;
};

TEST_F(LayoutFileTest, WriterPutsDownTheBytesOfTheTable)
{
    auto a = MakeGrid(800, 480, 5, 4);
    AddCell<CDisplayViewHint::CSettings>(*a, 1, 2, 1, 2);
    layouts.m_main.ReplaceArrangements(Arrangements(std::move(a)));
    layouts.m_currentLayoutPath = root + "/Documents/Tessaroute/Race.dvtf";

    const std::string expected =
        Bytes({0x49, 0xF2, 0xAC, 0x73}) +
        Bytes({0xBE, 0x15, 0, 0, 0, 0x3B, 0x82, 0x85, 0x9D, 2, 0, 0, 0, 4, 0, 0, 0}) + "Race" + // header
        Bytes({0xBE, 9, 0, 0, 0, 0, 0, 0, 0}) +    // after-start: none
        Bytes({0xBE, 0x50, 0, 0, 0, 1, 0, 0, 0}) + // main: one grid
        Bytes({0xBE, 0x21, 0, 0, 0, 0x20, 3, 0, 0,  0xE0, 1, 0, 0,  5, 0, 0, 0,
               4,    0,    0, 0, 3, 0,    0, 0, 50, 0,    0, 0, 50, 0, 0, 0}) +
        Bytes({0xBE, 0x26, 0, 0, 0, 1, 0, 0, 0}) + // cells: one record
        Bytes({69, 0, 0, 0, 0x15, 0, 0, 0}) +      // the hint, 21 bytes
        Bytes({0xBE, 0x15, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0});
    const std::string path = root + "/out.dvtf";
    ASSERT_TRUE(layouts.WriteLayoutFile(path));
    EXPECT_EQ(ReadBytes(path), expected);

    // Without a current layout the name is empty.
    layouts.m_currentLayoutPath.clear();
    ASSERT_TRUE(layouts.WriteLayoutFile(path));
    EXPECT_EQ(ReadBytes(path).substr(4, 17), Chunk(U32(0x9D85823B) + U32(2) + U32(0)));
}

TEST_F(LayoutFileTest, BothPanelsRoundTrip)
{
    FillBothPanels();
    const std::string before = Snapshot();
    const std::string path = root + "/both.dvtf";
    ASSERT_TRUE(layouts.WriteLayoutFile(path));
    layouts.m_main.ClearArrangements();
    layouts.m_flip.ClearArrangements();
    std::string error;
    ASSERT_TRUE(layouts.ReadLayoutFile(path, &error)) << error;
    EXPECT_EQ(Snapshot(), before);
    ASSERT_EQ(layouts.m_main.Arrangements().size(), 3u);
    const auto& second = *layouts.m_main.Arrangements()[1];
    EXPECT_EQ(second.m_designWidth, 480u);
    EXPECT_EQ(second.m_rows, 8);
    EXPECT_EQ(second.m_margin, 0);
    EXPECT_EQ(second.m_minCellWidth, 10000);
    const auto& out = *layouts.m_main.Arrangements()[0]->m_cells[2];
    EXPECT_EQ(out.GetTypeId(), 88u);
    EXPECT_EQ(out.m_row, 9);
    ASSERT_EQ(layouts.m_flip.Arrangements().size(), 1u);
    EXPECT_EQ(layouts.m_flip.Arrangements()[0]->m_cells[0]->m_rows, 0);

    // On screen, the cells outside their grid are put out of sight.
    tessatest::FakeHost host(800, 480);
    layouts.m_main.Attach(&host, nullptr);
    layouts.m_main.Relayout();
    auto live = factory.Live();
    ASSERT_EQ(live.size(), 2u); // the blank cell has no window
    EXPECT_NE(live[0]->rect, kOutOfSight);
    EXPECT_EQ(layouts.m_main.CurrentArrangement(), layouts.m_main.Arrangements()[0].get());
}

TEST_F(LayoutFileTest, WriterPutsGridValuesInRange)
{
    CDisplayView::ArrangementList list;
    list.push_back(MakeGrid(100, 100, 0, 500)); // as an editor might leave it
    list.back()->m_margin = -4;
    layouts.m_main.ReplaceArrangements(std::move(list));
    const std::string path = root + "/clamped.dvtf";
    ASSERT_TRUE(layouts.WriteLayoutFile(path));
    ASSERT_TRUE(layouts.ReadLayoutFile(path));
    const auto& a = *layouts.m_main.Arrangements()[0];
    EXPECT_EQ(a.m_rows, 1);
    EXPECT_EQ(a.m_columns, 100);
    EXPECT_EQ(a.m_margin, 0);
}

TEST_F(LayoutFileTest, RefusedFilesChangeNothing)
{
    FillBothPanels();
    const std::string goodPath = root + "/Documents/Tessaroute/Kept.dvtf";
    layouts.m_currentLayoutPath = goodPath;
    ASSERT_TRUE(layouts.WriteLayoutFile(goodPath));
    const std::string good = ReadBytes(goodPath);
    const std::string before = Snapshot();

    const std::string hint = Record(69, Placement(0, 0, 1, 1));
    const std::string cells = Chunk(U32(1) + hint);
    const std::string empty = Chunk(U32(0));
    struct Case
    {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases = {
        {"another tag", File(Header("", 0x9D85823C), empty, empty)},
        {"no header", Bytes({0x49, 0xF2, 0xAC, 0x73})},
        {"rows 0", File(Header(""), empty, Chunk(U32(1) + GridChunk(800, 480, 0, 4) + cells))},
        {"rows 101", File(Header(""), empty, Chunk(U32(1) + GridChunk(800, 480, 101, 4) + cells))},
        {"columns 0 in the after-start panel",
         File(Header(""), Chunk(U32(1) + GridChunk(8, 4, 1, 0)), empty)},
        {"negative margin", File(Header(""), empty, Chunk(U32(1) + GridChunk(800, 480, 2, 2, -1) + cells))},
        {"minimum cell 0", File(Header(""), empty, Chunk(U32(1) + GridChunk(800, 480, 2, 2, 3, 0) + cells))},
        {"minimum cell 10001",
         File(Header(""), empty, Chunk(U32(1) + GridChunk(800, 480, 2, 2, 3, 50, 10001) + cells))},
        {"more arrangements than bytes",
         File(Header(""), empty, Chunk(U32(10000000) + GridChunk(8, 4, 1, 1)))},
        {"a cell count below 0",
         File(Header(""), empty, Chunk(U32(1) + GridChunk(8, 4, 1, 1) + Chunk(U32(0x80000000))))},
        {"main panel missing", File(Header(""), empty, "")},
        {"too large", File(Header(""), empty, empty) + std::string(16 << 20, '\0')},
    };
    // The good file cut at every length.
    for (size_t n = 0; n < good.size(); ++n)
        cases.push_back({"cut", good.substr(0, n)});

    const std::string path = root + "/bad.dvtf";
    for (const Case& c : cases) {
        WriteBytes(path, c.bytes);
        std::string error;
        EXPECT_FALSE(layouts.ReadLayoutFile(path, &error)) << c.what << " " << c.bytes.size();
        EXPECT_FALSE(error.empty()) << c.what;
        ASSERT_EQ(Snapshot(), before) << c.what << " " << c.bytes.size();
        ASSERT_EQ(layouts.m_currentLayoutPath, goodPath) << c.what;
    }
    EXPECT_TRUE(layouts.ReadLayoutFile(goodPath));
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(LayoutFileTest, OtherRecordsAndUnknownIdsAreSkipped)
{
    const std::string mark = Record(20, Chunk(U32(7)));
    const std::string unknown = Record(120, Placement(0, 1, 1, 1) + Chunk(U32(5))); // an id no cell has
    const std::string hint = Record(69, Placement(1, 0, 1, 1) + Chunk("future fields"));
    const std::string bytes =
        File(Header(""), Chunk(U32(0)),
             Chunk(U32(1) + GridChunk(800, 480, 2, 2) + Chunk(U32(3) + mark + unknown + hint) + "trailing"));
    const std::string path = root + "/mixed.dvtf";
    WriteBytes(path, bytes);
    std::string error;
    ASSERT_TRUE(layouts.ReadLayoutFile(path, &error)) << error;
    EXPECT_EQ(MarkProbe::made, 0);
    ASSERT_EQ(layouts.m_main.Arrangements().size(), 1u);
    const auto& cells = layouts.m_main.Arrangements()[0]->m_cells;
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0]->GetTypeId(), 69u);
    EXPECT_EQ(cells[0]->m_row, 1);
}

TEST_F(LayoutFileTest, HeaderNameSetsTheCurrentLayoutPath)
{
    const std::string documents = root + "/Documents/Tessaroute";
    ASSERT_TRUE(CreateDirectoryPath(documents));
    WriteBytes(documents + "/Race.dvtf", "x");
    WriteBytes(root + "/x.dvtf", "x");
    struct Case
    {
        std::string name, path;
    };
    const Case cases[] = {
        {"Race", documents + "/Race.dvtf"},
        {"Missing", ""},
        {"", ""},
        {"../x", ""}, // would lead out of the documents folder
        {"..", ""},
        {"/etc/passwd", ""},
    };
    const std::string path = root + "/named.dvtf";
    for (const Case& c : cases) {
        layouts.m_currentLayoutPath = "before";
        WriteBytes(path, File(Header(c.name), Chunk(U32(0)), Chunk(U32(0))));
        ASSERT_TRUE(layouts.ReadLayoutFile(path)) << c.name;
        EXPECT_EQ(layouts.m_currentLayoutPath, c.path) << c.name;
    }
}

TEST_F(LayoutFileTest, WorkingCopyFollowsTheModifiedFlags)
{
    const std::string working = c_main_and_flip_dv::WorkingCopyPath();
    EXPECT_EQ(working, root + "/data/tessaroute/live_data.dvtf");
    FillBothPanels();
    layouts.m_currentLayoutPath = root + "/Documents/Tessaroute/Race.dvtf";

    ASSERT_TRUE(layouts.SaveWorkingCopy()); // nothing changed: nothing written
    EXPECT_FALSE(IsDirectory(working) || GetFileSize(working) > 0);

    layouts.m_flip.m_modified = true;
    ASSERT_TRUE(layouts.SaveWorkingCopy());
    EXPECT_GT(GetFileSize(working), 0);
    EXPECT_FALSE(layouts.m_flip.m_modified);
    EXPECT_EQ(layouts.m_pathWithUnsavedChanges, layouts.m_currentLayoutPath);

    // A write that fails keeps the flag, so the change is not lost.
    layouts.m_pathWithUnsavedChanges.clear();
    ASSERT_TRUE(FileUnlink(working));
    ASSERT_TRUE(CreateDirectoryPath(working + "/blocked"));
    layouts.m_main.m_modified = true;
    std::string error;
    EXPECT_FALSE(layouts.SaveWorkingCopy(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(layouts.m_main.m_modified);
    EXPECT_TRUE(layouts.m_pathWithUnsavedChanges.empty());
}

TEST_F(LayoutFileTest, RefusedWorkingCopyIsKeptAsideAndTheDefaultShown)
{
    const std::string resources = root + "/resources";
    ASSERT_TRUE(CreateDirectoryPath(resources));
    SetResourceFoldersForTesting({resources});
    FillBothPanels();
    ASSERT_TRUE(layouts.WriteLayoutFile(resources + "/default_data_layout.dvtf"));
    const std::string shipped = Snapshot();
    layouts.m_main.ClearArrangements();
    layouts.m_flip.ClearArrangements();

    const std::string working = c_main_and_flip_dv::WorkingCopyPath();
    WriteBytes(working, "damaged");
    std::string message;
    ASSERT_TRUE(layouts.LoadWorkingCopy(&message));
    EXPECT_NE(message.find(working + ".bad"), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(working + ".bad"), "damaged");
    EXPECT_EQ(Snapshot(), shipped);

    // A good working copy is what the panels show.
    layouts.m_main.ClearArrangements();
    ASSERT_TRUE(layouts.WriteLayoutFile(working));
    FillBothPanels();
    message.clear();
    ASSERT_TRUE(layouts.LoadWorkingCopy(&message));
    EXPECT_TRUE(message.empty());
    EXPECT_TRUE(layouts.m_main.Arrangements().empty());
}

TEST_F(LayoutFileTest, ShippedDefaultLayoutReads)
{
    SetResourceFoldersForTesting({});
    const std::string shipped = c_main_and_flip_dv::DefaultLayoutPath();
    if (shipped.empty())
        GTEST_SKIP() << "the default layout has not been built (target tessa_default_layout)";
    std::string error;
    ASSERT_TRUE(layouts.ReadLayoutFile(shipped, &error)) << error;
    ASSERT_EQ(layouts.m_main.Arrangements().size(), 2u);
    const auto& landscape = *layouts.m_main.Arrangements()[0];
    const auto& portrait = *layouts.m_main.Arrangements()[1];
    EXPECT_GT(landscape.m_designWidth, landscape.m_designHeight);
    EXPECT_LT(portrait.m_designWidth, portrait.m_designHeight);
    // Only registered types are read; the families still to come are skipped.
    for (auto& a : layouts.m_main.Arrangements())
        for (auto& cell : a->m_cells)
            EXPECT_TRUE(CDisplayView::IsItemTypeId(cell->GetTypeId()));
    EXPECT_FALSE(landscape.m_cells.empty());
    EXPECT_TRUE(layouts.m_currentLayoutPath.empty());
}

} // namespace
