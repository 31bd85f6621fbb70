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

TEST(PanelEditingMaths, SnapFindAndOccupancy)
{
    struct Snap
    {
        const char* what;
        int32_t l, t, r, b;
        bool resizing;
        CPanelSpan want;
    };
    // Cells of 100 x 50 in a 4-row, 5-column grid.
    const Snap snaps[] = {
        {"rounds to the nearest edges", 149, 76, 351, 124, false, {2, 1, 1, 3}},
        {"at least one cell", 100, 50, 110, 55, true, {1, 1, 1, 1}},
        {"a move past the right keeps its span", 420, 0, 620, 50, false, {0, 3, 1, 2}},
        {"a move above the panel stays in row 0", -300, -300, -100, -250, false, {0, 0, 1, 2}},
        {"a resize past the corner stops at the edge", 203, 103, 5000, 5000, true, {2, 2, 2, 3}},
        {"a huge resize never spans past the grid", 0, 0, INT32_MAX, INT32_MAX, true, {0, 0, 4, 5}},
    };
    for (const Snap& s : snaps)
        EXPECT_EQ(SnapToGrid(s.l, s.t, s.r, s.b, 100, 50, 4, 5, s.resizing), s.want) << s.what;

    // Marks reaching out of the grid touch only its cells (no write outside).
    COccupancyGrid grid(3, 3);
    grid.Mark({-5, -5, 6, 6});
    grid.Mark({2, 2, 1000000, 1000000});
    grid.Mark({INT32_MAX, 0, 1, 1});
    EXPECT_FALSE(grid.IsFree({0, 0, 1, 1}));
    EXPECT_TRUE(grid.IsFree({0, 1, 2, 2}));
    EXPECT_FALSE(grid.IsFree({2, 2, 1, 1}));
    EXPECT_FALSE(grid.IsFree({1, 1, 2, 2}));
    EXPECT_FALSE(grid.IsFree({0, 2, 1, 2})) << "a place past the edge is never free";

    struct Find
    {
        const char* what;
        std::vector<CPanelSpan> taken;
        CPanelSpan wanted;
        bool found;
        CPanelSpan want;
    };
    const Find finds[] = {
        {"nearest hole of the full size", {{0, 0, 2, 2}}, {0, 0, 2, 2}, true, {0, 2, 2, 2}},
        {"first of equal scores", {{1, 1, 1, 1}}, {1, 1, 1, 1}, true, {0, 1, 1, 1}},
        {"a 2 x 2 shrinks to the one free cell",
         {{0, 0, 3, 3}, {0, 3, 2, 1}, {3, 0, 1, 3}},
         {1, 1, 2, 2},
         true,
         {2, 3, 1, 1}},
        {"nothing free: no place", {{0, 0, 4, 4}}, {0, 0, 2, 2}, false, {}},
        {"spans larger than the grid shrink, nearest both corners", {}, {0, 0, 9, 9}, true, {1, 1, 3, 3}},
    };
    for (const Find& f : finds) {
        COccupancyGrid g(4, 4);
        for (const CPanelSpan& t : f.taken)
            g.Mark(t);
        CPanelSpan got;
        ASSERT_EQ(FindFreePlace(g, f.wanted, got), f.found) << f.what;
        if (f.found) {
            EXPECT_EQ(got, f.want) << f.what;
        }
    }
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
    // Without arrange mode, or outside the grid, the view keeps the event.
    panel.ToggleArrange();
    EXPECT_FALSE(panel.MouseDown(10, 10));
    EXPECT_FALSE(panel.MouseDragged(20, 20));
    panel.ToggleArrange();
    EXPECT_FALSE(panel.MouseDown(-1, 10));
    EXPECT_FALSE(panel.MouseDown(10, 400));
    // The middle button arranges for one drag only.
    panel.ToggleArrange();
    ASSERT_FALSE(panel.m_arrangeMode);
    EXPECT_TRUE(panel.OtherMouseDown(150, 150));
    EXPECT_TRUE(panel.OtherMouseUp(150, 150));
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

    // A right click on the item: "Data item" with its two entries.
    ASSERT_TRUE(panel.RightMouseDown(150, 150));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->Title(), "Data item");
    ASSERT_EQ(shown[0]->Root().Children().size(), 2u);
    EXPECT_EQ(shown[0]->Root().Children()[0]->Title(), "Change Data");
    EXPECT_EQ(shown[0]->Root().Children()[1]->Title(), "Clear cell");

    // "Change Data": every entry nested by its path, the shown type ticked.
    shown[0]->Root().Children()[0]->Select();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1]->Title(), "Change Data");
    CMenuTree::CItem* other = shown[1]->Root().FindChild("Other");
    ASSERT_NE(other, nullptr);
    CMenuTree::CItem* hint = other->FindChild("Hint To change data");
    CMenuTree::CItem* logo = other->FindChild("Logo");
    ASSERT_TRUE(hint && logo);
    EXPECT_EQ(hint->Kind(), CMenuTree::kChecked);
    EXPECT_EQ(logo->Kind(), CMenuTree::kPlain);

    hint->Select(); // the type already shown
    EXPECT_FALSE(panel.m_modified);
    EXPECT_EQ(Places(), (std::vector<CPanelSpan>{{0, 0, 2, 2}}));
    logo->Select(); // replaced in its own place
    EXPECT_TRUE(panel.m_modified);
    ASSERT_EQ(panel.CurrentArrangement()->m_cells.size(), 1u);
    EXPECT_EQ(panel.CurrentArrangement()->m_cells[0]->GetTypeId(), CDisplayViewLogo::kTypeId);
    EXPECT_EQ(Places(), (std::vector<CPanelSpan>{{0, 0, 2, 2}}));

    // An empty cell opens "Change Data" at once, nothing ticked; its entry
    // puts a one-cell item there.
    shown.clear();
    panel.ShowCellMenu(2, 2);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->Title(), "Change Data");
    shown[0]->Root().FindChild("Other")->FindChild("Hint To change data")->Select();
    EXPECT_EQ(Places().back(), (CPanelSpan{2, 2, 1, 1}));

    // "Clear cell" chosen after the layout was replaced does nothing; before,
    // it clears.
    shown.clear();
    panel.ShowCellMenu(0, 0);
    panel.ShowCellMenu(2, 2);
    ASSERT_EQ(shown.size(), 2u);
    auto grid2 = MakeGrid(300, 300, 3, 3);
    AddCell<Hint>(*grid2, 0, 0);
    Show(std::move(grid2));
    shown[0]->Root().Children()[1]->Select();
    shown[0]->Root().Children()[0]->Select();
    EXPECT_EQ(shown.size(), 2u) << "no Change Data menu for a replaced layout";
    EXPECT_EQ(panel.CurrentArrangement()->m_cells.size(), 1u);
    shown.clear();
    panel.ShowCellMenu(0, 0);
    shown[0]->Root().Children()[1]->Select();
    EXPECT_TRUE(panel.CurrentArrangement()->m_cells.empty());
    EXPECT_EQ(panel.m_selected, nullptr);

    // Nor after the window chose another grid of the same layout.
    auto wide = MakeGrid(300, 300, 3, 3), tall = MakeGrid(300, 900, 3, 3);
    AddCell<Hint>(*wide, 0, 0);
    AddCell<Hint>(*tall, 0, 0);
    panel.ReplaceArrangements(Arrangements(std::move(wide), std::move(tall)));
    host.Resize(300, 300);
    panel.Relayout();
    shown.clear();
    panel.ShowCellMenu(0, 0);
    host.Resize(300, 900);
    panel.Relayout();
    shown[0]->Root().Children()[1]->Select();
    EXPECT_EQ(panel.CurrentArrangement()->m_cells.size(), 1u);
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
            switch (pick(0, 5)) {
            case 0:
            case 1:
                panel.MouseDown(pick(0, w - 1), pick(0, h - 1));
                panel.MouseDragged(pick(-w, 2 * w), pick(-h, 2 * h));
                panel.MouseUp(0, 0);
                break;
            case 2:
                panel.ChangeGrid(pick(-1, 1), pick(-1, 1));
                break;
            case 3:
                panel.ChangeData(*entries[pick(0, 2)], pick(0, a.m_rows - 1), pick(0, a.m_columns - 1));
                break;
            case 4:
                panel.ClearCellAndSave(pick(0, a.m_rows - 1), pick(0, a.m_columns - 1));
                break;
            default:
                panel.MouseDown(pick(0, w - 1), pick(0, h - 1)); // a corner drag more often than not
                panel.MouseDragged(w + 500, h + 500);
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
