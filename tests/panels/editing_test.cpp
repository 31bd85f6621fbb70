// Editing a panel: snapping, free places, moving and resizing with the mouse,
// overlaps, grid changes, the cell menus and Change Data, and random edit
// sequences that must keep every cell inside its grid without overlap.
#include "foundation/menus/MenuTree.h"
#include "panelfakes/PanelBuilders.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/LayoutFile.h"
#include "panels/PanelEditing.h"
#include "panels/SmallItems.h"
#include "support/MenuPopupDouble.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using tessatest::AddCell;
using tessatest::Arrangements;
using tessatest::MakeGrid;

using Hint = CDisplayViewHint::CSettings;
using Logo = CDisplayViewLogo::CSettings;

TEST(PanelEditingMaths, OccupancyAndFreePlaces)
{
    // Places reaching out of the grid mark only its cells (ASan sees the rest).
    COccupancyGrid grid(3, 3);
    grid.Mark({-5, -5, 6, 6});
    grid.Mark({2, 2, 1000000, 1000000});
    grid.Mark({INT32_MAX, 0, 1, 1});
    EXPECT_TRUE(grid.IsFree({0, 1, 2, 2}));
    EXPECT_FALSE(grid.IsFree({1, 1, 2, 2}));
    CPanelSpan found;
    ASSERT_TRUE(FindFreePlace(grid, {0, 0, 9, 9}, found));
    EXPECT_EQ(found, (CPanelSpan{0, 1, 2, 2})) << "spans halved until they fit";
}

class PanelEditingTest : public testing::Test
{
protected:
    void SetUp() override { RegisterAllPanelItems(); }
    void TearDown() override { panel.Detach(); }

    // A grid of rows x columns cells of 100 x 100 points (margin 3) on screen.
    CDisplayView::CItemArrangement& Show(std::unique_ptr<CDisplayView::CItemArrangement> grid)
    {
        host.Resize(grid->m_columns * 100, grid->m_rows * 100);
        panel.ReplaceArrangements(Arrangements(std::move(grid)));
        panel.Attach(&host, nullptr);
        panel.Relayout();
        return *panel.CurrentArrangement();
    }
    std::vector<CPanelSpan> Places() const
    {
        std::vector<CPanelSpan> list;
        for (auto& s : panel.CurrentArrangement()->m_cells)
            list.push_back({s->m_row, s->m_column, s->m_rows, s->m_columns});
        return list;
    }

    tessatest::RecordingWindowFactory factory;
    tessatest::FakeHost host;
    CDisplayView panel;
};

TEST_F(PanelEditingTest, MoveOrResizeByWhereTheClickLies)
{
    struct Case
    {
        const char* what;
        int32_t fromCorner; // points left of the corner; 9 above it
        bool resizes;
    };
    // The item spans (0,0) to (1,1): its frame ends at 197, 197.
    const Case cases[] = {{"20 left, 9 up resizes", 20, true}, {"30 left, 9 up moves", 30, false}};
    for (const Case& c : cases) {
        auto grid = MakeGrid(400, 400, 4, 4);
        AddCell<Hint>(*grid, 0, 0, 2, 2);
        Show(std::move(grid));
        panel.ToggleArrange();
        ASSERT_TRUE(panel.MouseDown(197 - c.fromCorner, 197 - 9)) << c.what;
        EXPECT_EQ(panel.m_resizing, c.resizes) << c.what;
        EXPECT_EQ(panel.m_moving, !c.resizes) << c.what;
        EXPECT_TRUE(panel.MouseDragged(197 - c.fromCorner + 100, 197 - 9 + 100));
        EXPECT_TRUE(panel.MouseUp(0, 0));
        const CPanelSpan want = c.resizes ? CPanelSpan{0, 0, 3, 3} : CPanelSpan{1, 1, 2, 2};
        EXPECT_EQ(Places().front(), want) << c.what;
        EXPECT_TRUE(panel.m_modified);
        EXPECT_FALSE(panel.m_moving || panel.m_resizing);
        panel.m_modified = false;
    }
    // The middle button arranges for one drag only.
    panel.ToggleArrange();
    EXPECT_TRUE(panel.OtherMouseDown(150, 150) && panel.OtherMouseUp(150, 150));
    EXPECT_FALSE(panel.m_arrangeMode);
}

TEST_F(PanelEditingTest, DisplacedItemsShrinkOrGo)
{
    // Two rows of four cells. A 2 x 2 item moved one column left onto the
    // 2 x 2 at the left leaves two single columns free: the displaced item
    // shrinks into the cell nearest its place.
    {
        auto grid = MakeGrid(400, 200, 2, 4);
        AddCell<Logo>(*grid, 0, 0, 2, 2);
        AddCell<Hint>(*grid, 0, 2, 2, 2);
        Show(std::move(grid));
        panel.ToggleArrange();
        ASSERT_TRUE(panel.MouseDown(250, 50));
        ASSERT_TRUE(panel.m_moving);
        panel.MouseDragged(150, 50);
        panel.MouseUp(150, 50);
        EXPECT_EQ(Places(), (std::vector<CPanelSpan>{{0, 0, 1, 1}, {0, 1, 2, 2}}));
    }
    // A two-row item widened over a two-row neighbour and the 2 x 2 beyond
    // it: the smaller neighbour takes the only free column, and the 2 x 2
    // finds not even one cell and goes with its description.
    {
        auto grid = MakeGrid(400, 200, 2, 4);
        AddCell<Hint>(*grid, 0, 0, 2, 1);
        AddCell<Hint>(*grid, 0, 1, 2, 1);
        AddCell<Logo>(*grid, 0, 2, 2, 2);
        Show(std::move(grid));
        panel.ToggleArrange();
        ASSERT_TRUE(panel.MouseDown(90, 190));
        ASSERT_TRUE(panel.m_resizing);
        panel.MouseDragged(290, 190);
        panel.MouseUp(290, 190);
        EXPECT_EQ(Places(), (std::vector<CPanelSpan>{{0, 0, 2, 3}, {0, 3, 2, 1}}));
        EXPECT_EQ(panel.CurrentArrangement()->m_items.size(), 2u);
        for (auto& item : panel.CurrentArrangement()->m_items)
            EXPECT_NE(item->m_settings.GetTypeId(), CDisplayViewLogo::kTypeId);
    }
}

TEST_F(PanelEditingTest, ChangeGridShortensDeletesAndKeepsOneRow)
{
    auto grid = MakeGrid(300, 300, 3, 3);
    AddCell<Hint>(*grid, 2, 0);       // starts on the third row: goes
    AddCell<Hint>(*grid, 1, 1, 2, 2); // two rows from the second: shortened
    AddCell<Logo>(*grid, 0, 0);
    CDisplayView::CItemArrangement& a = Show(std::move(grid));
    panel.ChangeGrid(-1, 0);
    EXPECT_EQ(a.m_rows, 2);
    EXPECT_EQ(Places(), (std::vector<CPanelSpan>{{1, 1, 1, 2}, {0, 0, 1, 1}}));
    EXPECT_EQ(a.m_items.size(), 2u);
    EXPECT_TRUE(panel.m_modified);
    panel.ChangeGrid(0, -1);
    EXPECT_EQ(Places(), (std::vector<CPanelSpan>{{1, 1, 1, 1}, {0, 0, 1, 1}}));
    panel.ChangeGrid(-1, 0);
    panel.ChangeGrid(-1, 0);
    EXPECT_EQ(a.m_rows, 1) << "a 1-row grid keeps its row";
    for (int i = 0; i < 120; ++i)
        panel.ChangeGrid(+1, +1);
    EXPECT_EQ(a.m_rows, 100);
    EXPECT_EQ(a.m_columns, 100);
}

TEST_F(PanelEditingTest, CellMenusAndChangeData)
{
    std::vector<std::unique_ptr<CMenuTree>> shown;
    tessatest::CMenuPopupDouble popups(
        [&](std::unique_ptr<CMenuTree> tree, QWidget*, const QPoint*) { shown.push_back(std::move(tree)); });
    auto grid = MakeGrid(300, 300, 3, 3);
    AddCell<Hint>(*grid, 0, 0, 2, 2);
    Show(std::move(grid));
    auto entries = [&](size_t menu) { return &shown.at(menu)->Root().Children(); };

    // A right click on the item: "Data item"; its "Change Data" nests every
    // entry by its path and ticks the type shown.
    ASSERT_TRUE(panel.RightMouseDown(150, 150));
    ASSERT_EQ(entries(0)->size(), 2u);
    EXPECT_EQ(shown[0]->Title() + "/" + (*entries(0))[0]->Title() + "/" + (*entries(0))[1]->Title(),
              "Data item/Change Data/Clear cell");
    (*entries(0))[0]->Select();
    CMenuTree::CItem* other = shown.at(1)->Root().FindChild("Other");
    ASSERT_TRUE(other && other->FindChild("Hint To change data") && other->FindChild("Logo"));
    EXPECT_EQ(other->FindChild("Hint To change data")->Kind(), CMenuTree::kChecked);
    EXPECT_EQ(other->FindChild("Logo")->Kind(), CMenuTree::kPlain);
    other->FindChild("Hint To change data")->Select(); // the type already shown
    EXPECT_FALSE(panel.m_modified);
    other->FindChild("Logo")->Select(); // replaced in its own place
    EXPECT_TRUE(panel.m_modified);
    ASSERT_EQ(panel.CurrentArrangement()->m_cells.size(), 1u);
    EXPECT_EQ(panel.CurrentArrangement()->m_cells[0]->GetTypeId(), CDisplayViewLogo::kTypeId);
    EXPECT_EQ(Places(), (std::vector<CPanelSpan>{{0, 0, 2, 2}}));

    // Entries chosen after the layout was replaced, or after the window chose
    // another grid, do nothing (ASan); chosen in time, "Clear cell" clears.
    auto wide = MakeGrid(300, 300, 3, 3), tall = MakeGrid(300, 900, 3, 3);
    AddCell<Hint>(*wide, 0, 0);
    AddCell<Hint>(*tall, 0, 0);
    panel.ShowCellMenu(0, 0);
    panel.ReplaceArrangements(Arrangements(std::move(wide), std::move(tall)));
    panel.ShowCellMenu(0, 0);
    host.Resize(300, 900);
    panel.Relayout();
    panel.ShowCellMenu(0, 0);
    for (size_t menu : {2, 3})
        for (auto& entry : *entries(menu))
            entry->Select();
    EXPECT_EQ(shown.size(), 5u) << "no Change Data menu for an earlier grid";
    EXPECT_EQ(panel.CurrentArrangement()->m_cells.size(), 1u);
    (*entries(4))[1]->Select();
    EXPECT_TRUE(panel.CurrentArrangement()->m_cells.empty());
}

std::string WriteBytes(const CDisplayView& panel)
{
    CSerialStream s = CSerialStream::OpenWrite({}, nullptr);
    EXPECT_TRUE(CLayoutDocument::Write(s, "", {}, panel.Arrangements()));
    return s.Output();
}

TEST_F(PanelEditingTest, RandomEditsKeepCellsInsideWithoutOverlap)
{
    std::mt19937 rng(36);
    auto pick = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(rng);
    };
    const CDisplayView::CRegistryEntry* entries[] = {CDisplayView::FindEntry(CDisplayViewHint::kTypeId),
                                                     CDisplayView::FindEntry(CDisplayViewLogo::kTypeId),
                                                     CDisplayView::FindEntry(CDisplayViewBlank::kTypeId)};
    for (int sequence = 0; sequence < 10000; ++sequence) {
        const int32_t rows = pick(1, 6), columns = pick(1, 6);
        auto grid = MakeGrid(400, 400, rows, columns);
        for (int32_t r = 0; r < rows; ++r)
            for (int32_t c = 0; c < columns; ++c)
                if (pick(0, 2))
                    AddCell<Hint>(*grid, r, c);
        Show(std::move(grid));
        if (!panel.m_arrangeMode)
            panel.ToggleArrange();
        for (int step = 0; step < 8; ++step) {
            CDisplayView::CItemArrangement& a = *panel.CurrentArrangement();
            const int32_t w = a.m_columns * a.m_cellWidth, h = a.m_rows * a.m_cellHeight;
            const int32_t op = pick(0, 4), row = pick(0, a.m_rows - 1), column = pick(0, a.m_columns - 1);
            if (op == 0)
                panel.ChangeGrid(pick(-1, 1), pick(-1, 1));
            else if (op == 1)
                panel.ChangeData(*entries[pick(0, 2)], row, column);
            else if (op == 2)
                panel.ClearCellAndSave(row, column);
            else {
                // Drags from anywhere to anywhere, corners (resizes) included.
                panel.MouseDown(pick(0, w - 1), pick(0, h - 1));
                panel.MouseDragged(pick(-w, 2 * w), pick(-h, 2 * h));
                panel.MouseUp(0, 0);
            }
            const std::vector<CPanelSpan> places = Places();
            for (size_t i = 0; i < places.size(); ++i) {
                const CPanelSpan& p = places[i];
                ASSERT_TRUE(p.row >= 0 && p.column >= 0 && p.rows >= 1 && p.columns >= 1 &&
                            p.row + p.rows <= a.m_rows && p.column + p.columns <= a.m_columns)
                    << "sequence " << sequence << " step " << step;
                for (size_t j = 0; j < i; ++j)
                    ASSERT_FALSE(SpansOverlap(p, places[j])) << "sequence " << sequence << " step " << step;
            }
            ASSERT_EQ(a.m_items.size(), a.m_cells.size());
        }
        const std::string written = WriteBytes(panel);
        CLayoutDocument again;
        ASSERT_TRUE(again.LoadBytes(written.data(), written.size(), nullptr));
        CDisplayView reread;
        reread.ReplaceArrangements(std::move(again.m_main));
        ASSERT_EQ(WriteBytes(reread), written) << "sequence " << sequence;
    }
}

} // namespace
