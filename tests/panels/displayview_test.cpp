// The panel with recording windows: choosing arrangements, laying out cells,
// hit tests, live items across units changes, adding and clearing cells.
#include "panelfakes/PanelBuilders.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/DisplayView.h"
#include "panels/SmallItems.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

using tessatest::AddCell;
using tessatest::Arrangements;
using tessatest::MakeGrid;

using tessatest::FakeHost;
using tessatest::RecordingWindowFactory;
using tessatest::WindowKind;

// A drawn cell and a button, to see that every kind gets its window.
class ProbeDraw : public CDisplayView::CItemDraw
{
public:
    class CSettings : public CDisplayView::CItemSettings
    {
    public:
        uint32_t GetTypeId() const override { return 9001; }
        std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override
        {
            return std::make_unique<ProbeDraw>(*this, host);
        }
    };
    using CItemDraw::CItemDraw;
    void Draw(QPainter& context, int32_t width, int32_t height) override
    {
        context.fillRect(0, 0, width, height, Qt::red);
        ++draws;
    }
    static inline int draws = 0;
};

class ProbeButton : public CDisplayView::CItemButton
{
public:
    class CSettings : public CDisplayView::CItemSettings
    {
    public:
        uint32_t GetTypeId() const override { return 9002; }
        std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override
        {
            return std::make_unique<ProbeButton>(*this, host);
        }
    };
    ProbeButton(CDisplayView::CItemSettings& s, CDisplayView::IWindow* host) : CItemButton(s, host)
    {
        if (m_button)
            m_button->SetTitle("Go");
    }
    void Pressed() override { ++presses; }
    static inline int presses = 0;
};

class DisplayViewTest : public testing::Test
{
protected:
    void SetUp() override { RegisterAllPanelItems(); }
    void TearDown() override { panel.Detach(); }

    RecordingWindowFactory factory;
    CDisplayView panel;
    FakeHost host{0, 0};
};

TEST_F(DisplayViewTest, ChoosesTheArrangementThatFitsTheWindow)
{
    struct Case
    {
        const char* what;
        int32_t width, height;
        int chosen; // index into the three arrangements, -1 for none
    };
    // Landscape 800 x 400, portrait 400 x 800 and a square 600 x 600 that
    // counts as landscape.
    const Case cases[] = {
        {"portrait window, the portrait grid despite the penalty", 500, 700, 1},
        {"exact landscape", 800, 400, 0},
        {"exact portrait", 400, 800, 1},
        {"square window prefers the square grid", 600, 600, 2},
        {"wide window", 2000, 300, 0},
        {"zero width shows nothing", 0, 700, -1},
        {"zero height shows nothing", 700, 0, -1},
        {"negative size shows nothing", -5, 700, -1},
    };
    panel.ReplaceArrangements(
        Arrangements(MakeGrid(800, 400, 2, 2), MakeGrid(400, 800, 3, 1), MakeGrid(600, 600, 2, 2)));
    panel.Attach(&host, nullptr);
    for (const Case& c : cases) {
        host.Resize(c.width, c.height);
        panel.Relayout();
        CDisplayView::CItemArrangement* expected =
            c.chosen < 0 ? nullptr : panel.Arrangements()[size_t(c.chosen)].get();
        EXPECT_EQ(panel.CurrentArrangement(), expected) << c.what;
    }
    // Equal scores: the earlier arrangement wins.
    panel.ReplaceArrangements(Arrangements(MakeGrid(800, 400, 1, 1), MakeGrid(800, 400, 2, 2)));
    host.Resize(800, 400);
    panel.Relayout();
    EXPECT_EQ(panel.CurrentArrangement(), panel.Arrangements()[0].get());
}

TEST_F(DisplayViewTest, SizeZeroClearsTheArrangementAndItsWindows)
{
    auto a = MakeGrid(400, 300, 2, 2);
    AddCell<CDisplayViewHint::CSettings>(*a, 0, 0);
    AddCell<CDisplayViewLogo::CSettings>(*a, 1, 1);
    panel.ReplaceArrangements(Arrangements(std::move(a)));
    host.Resize(400, 300);
    panel.Attach(&host, nullptr);
    panel.Relayout();
    ASSERT_EQ(factory.Live().size(), 2u);
    panel.m_arrangeMode = true;
    host.Resize(0, 0);
    panel.Relayout();
    EXPECT_EQ(panel.CurrentArrangement(), nullptr);
    EXPECT_TRUE(factory.Live().empty());
    EXPECT_FALSE(panel.m_arrangeMode);
    EXPECT_EQ(panel.Arrangements().size(), 1u); // descriptions stay
    EXPECT_EQ(panel.Arrangements()[0]->m_cells.size(), 2u);
}

TEST_F(DisplayViewTest, EmptyPanelGetsARandomDefaultGrid)
{
    struct Case
    {
        int32_t width, height, rows, columns;
    };
    const Case cases[] = {{320, 250, 3, 3}, {149, 99, 1, 1}, {150, 100, 2, 2}, {100000, 50000, 100, 100}};
    for (const Case& c : cases) {
        CDisplayView fresh;
        FakeHost h(c.width, c.height);
        fresh.Attach(&h, nullptr);
        fresh.Relayout();
        ASSERT_EQ(fresh.Arrangements().size(), 1u);
        const CDisplayView::CItemArrangement& a = *fresh.Arrangements()[0];
        EXPECT_EQ(a.m_rows, c.rows) << c.width << " x " << c.height;
        EXPECT_EQ(a.m_columns, c.columns) << c.width << " x " << c.height;
        EXPECT_EQ(a.m_designWidth, uint32_t(c.width));
        EXPECT_EQ(a.m_designHeight, uint32_t(c.height));
        ASSERT_EQ(a.m_cells.size(), size_t(c.rows * c.columns));
        EXPECT_EQ(a.m_items.size(), a.m_cells.size());
        // Row by row, column by column, one cell each.
        EXPECT_EQ(a.m_cells.back()->m_row, c.rows - 1);
        EXPECT_EQ(a.m_cells.back()->m_column, c.columns - 1);
        for (auto& s : a.m_cells) {
            EXPECT_EQ(s->m_rows, 1);
            EXPECT_EQ(s->m_columns, 1);
            EXPECT_NE(CDisplayView::FindEntry(s->GetTypeId()), nullptr);
        }
        fresh.Detach();
    }
}

TEST_F(DisplayViewTest, FrozenPanelKeepsItsArrangement)
{
    panel.ReplaceArrangements(Arrangements(MakeGrid(800, 400, 2, 2), MakeGrid(400, 800, 2, 2)));
    host.Resize(800, 400);
    panel.Attach(&host, nullptr);
    panel.Relayout();
    ASSERT_EQ(panel.CurrentArrangement(), panel.Arrangements()[0].get());
    panel.m_frozen = true;
    host.Resize(400, 800);
    panel.Relayout();
    EXPECT_EQ(panel.CurrentArrangement(), panel.Arrangements()[0].get());
    panel.m_frozen = false;
    panel.Relayout();
    EXPECT_EQ(panel.CurrentArrangement(), panel.Arrangements()[1].get());
}

TEST_F(DisplayViewTest, CellsAreLaidOutInTheirRectangles)
{
    // 600 x 400 window, 3 rows x 4 columns, margin 3: cells of 150 x 133.
    auto a = MakeGrid(600, 400, 3, 4);
    struct Case
    {
        int32_t row, column, rows, columns;
        CPanelRect rect;
    };
    const Case cases[] = {
        {0, 0, 1, 1, {3, 3, 144, 127}},     {2, 3, 1, 1, {453, 269, 144, 127}},
        {1, 1, 2, 2, {153, 136, 294, 260}}, {3, 0, 1, 1, kOutOfSight},
        {0, 4, 1, 1, kOutOfSight},          {-1, 0, 1, 1, kOutOfSight},
        {0, 0, 0, 1, kOutOfSight},          {0, 0, 1, -3, kOutOfSight},
        {2, 3, 5, 5, {453, 269, 744, 659}}, // a span past the edge still starts inside
    };
    for (const Case& c : cases)
        AddCell<CDisplayViewHint::CSettings>(*a, c.row, c.column, c.rows, c.columns);
    panel.ReplaceArrangements(Arrangements(std::move(a)));
    host.Resize(600, 400);
    panel.Attach(&host, nullptr);
    panel.Relayout();
    const auto& items = panel.CurrentArrangement()->m_items;
    ASSERT_EQ(items.size(), std::size(cases));
    for (size_t i = 0; i < items.size(); ++i) {
        auto record = factory.RecordOf(items[i].get());
        ASSERT_TRUE(record);
        EXPECT_EQ(record->rect, cases[i].rect) << "cell " << i;
        EXPECT_EQ(record->rectSettings, &items[i]->Settings());
        EXPECT_EQ(record->host, &host);
    }
    // The minimum cell wins over a small window: 50 + 2 x 3.
    host.Resize(100, 100);
    panel.Relayout();
    EXPECT_EQ(panel.CurrentArrangement()->m_cellWidth, 56);
    EXPECT_EQ(panel.CurrentArrangement()->m_cellHeight, 56);
}

TEST_F(DisplayViewTest, HitTestAtCellEdges)
{
    // 400 x 300 window, 3 rows x 4 columns: cells of 100 x 100.
    auto a = MakeGrid(400, 300, 3, 4);
    CDisplayView::CItemSettings* wide = AddCell<CDisplayViewHint::CSettings>(*a, 0, 1, 1, 2);
    CDisplayView::CItemSettings* under = AddCell<CDisplayViewLogo::CSettings>(*a, 0, 2, 2, 1);
    CDisplayView::CItemSettings* corner = AddCell<CDisplayViewBlank::CSettings>(*a, 2, 3);
    panel.ReplaceArrangements(Arrangements(std::move(a)));
    host.Resize(400, 300);
    panel.Attach(&host, nullptr);
    panel.Relayout();
    struct Case
    {
        int32_t x, y;
        bool inside;
        int32_t row, column;
        CDisplayView::CItemSettings* item;
    };
    const Case cases[] = {
        {0, 0, true, 0, 0, nullptr},    {99, 0, true, 0, 0, nullptr},   {100, 0, true, 0, 1, wide},
        {299, 99, true, 0, 2, wide},    {250, 100, true, 1, 2, under},  {300, 199, true, 1, 3, nullptr},
        {399, 299, true, 2, 3, corner}, {400, 0, false, 0, 0, nullptr}, {0, 300, false, 0, 0, nullptr},
        {-1, 10, false, 0, 0, nullptr}, {10, -1, false, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        int32_t row = -7, column = -7;
        ASSERT_EQ(panel.CellAtPoint(c.x, c.y, row, column), c.inside) << c.x << "," << c.y;
        if (!c.inside)
            continue;
        EXPECT_EQ(row, c.row) << c.x << "," << c.y;
        EXPECT_EQ(column, c.column) << c.x << "," << c.y;
        CDisplayView::CItem* hit = panel.HitTest(row, column);
        EXPECT_EQ(hit ? &hit->Settings() : nullptr, c.item) << c.x << "," << c.y;
    }
}

TEST_F(DisplayViewTest, EveryKindGetsItsWindowAndCallsBack)
{
    auto a = MakeGrid(400, 200, 1, 4);
    AddCell<CDisplayViewHint::CSettings>(*a, 0, 0);
    AddCell<CDisplayViewLogo::CSettings>(*a, 0, 1);
    AddCell<ProbeDraw::CSettings>(*a, 0, 2);
    AddCell<ProbeButton::CSettings>(*a, 0, 3);
    AddCell<CDisplayViewBlank::CSettings>(*a, 0, 0);
    panel.ReplaceArrangements(Arrangements(std::move(a)));
    host.Resize(400, 200);
    panel.Attach(&host, nullptr);
    panel.Relayout();
    const auto& items = panel.CurrentArrangement()->m_items;
    ASSERT_EQ(items.size(), 5u);
    auto hint = factory.RecordOf(items[0].get());
    ASSERT_TRUE(hint);
    EXPECT_EQ(hint->kind, WindowKind::Text);
    EXPECT_EQ(hint->title, "Hint: To change data");
    EXPECT_EQ(hint->unit, "");
    EXPECT_EQ(hint->text, "Right-click");
    auto logo = factory.RecordOf(items[1].get());
    ASSERT_TRUE(logo);
    EXPECT_EQ(logo->kind, WindowKind::Image);
    EXPECT_EQ(logo->imageName, "dvLogo");
    EXPECT_TRUE(factory.Paint(items[2].get()));
    EXPECT_EQ(ProbeDraw::draws, 1);
    EXPECT_EQ(factory.RecordOf(items[3].get())->buttonTitle, "Go");
    EXPECT_TRUE(factory.Click(items[3].get()));
    EXPECT_EQ(ProbeButton::presses, 1);
    EXPECT_EQ(items[4]->Window(), nullptr); // the blank cell has none
    EXPECT_EQ(factory.Live().size(), 4u);
    for (auto& item : items)
        EXPECT_EQ(item->Panel(), &panel);
}

TEST_F(DisplayViewTest, UnitsChangeRemakesTheLiveItems)
{
    auto a = MakeGrid(400, 200, 1, 2);
    AddCell<CDisplayViewHint::CSettings>(*a, 0, 0);
    AddCell<CDisplayViewLogo::CSettings>(*a, 0, 1);
    panel.ReplaceArrangements(Arrangements(std::move(a)));
    host.Resize(400, 200);
    panel.Attach(&host, nullptr);
    panel.Relayout();
    auto before = factory.Live();
    ASSERT_EQ(before.size(), 2u);
    panel.m_selected = panel.CurrentArrangement()->m_items[0].get();
    FireEvent<CUnits>(CDefaultUnits::Get());
    for (auto& r : before)
        EXPECT_TRUE(r->destroyed);
    auto after = factory.Live();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0]->rect, before[0]->rect);
    EXPECT_EQ(after[0]->text, "Right-click");
    EXPECT_EQ(panel.m_selected, nullptr); // the old item is gone
    // Off screen nothing is made.
    panel.Detach();
    size_t made = factory.Records().size();
    FireEvent<CUnits>(CDefaultUnits::Get());
    EXPECT_EQ(factory.Records().size(), made);
    EXPECT_TRUE(factory.Live().empty());
}

TEST_F(DisplayViewTest, AddItemAndClearCell)
{
    const CDisplayView::CRegistryEntry* hint = CDisplayView::FindEntry(69);
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(panel.AddItem(*hint, 0, 0, 1, 1), nullptr); // no arrangement yet

    panel.ReplaceArrangements(Arrangements(MakeGrid(300, 200, 2, 3)));
    host.Resize(300, 200);
    panel.Attach(&host, nullptr);
    panel.Relayout();
    CDisplayView::CItemSettings* big = panel.AddItem(*hint, 0, 0, 2, 2);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->GetTypeId(), 69u);
    CDisplayView::CItemSettings* small = panel.AddItem(*hint, 1, 2, 1, 1);
    ASSERT_NE(small, nullptr);
    auto live = factory.Live();
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[0]->rect, (CPanelRect{3, 3, 194, 194}));
    EXPECT_EQ(live[1]->rect, (CPanelRect{203, 103, 94, 94}));

    EXPECT_FALSE(panel.m_modified);
    panel.ClearCell(0, 2); // empty cell: nothing changes
    EXPECT_FALSE(panel.m_modified);
    panel.m_selected = panel.HitTest(1, 1);
    panel.ClearCell(1, 1); // inside the 2 x 2 span
    EXPECT_TRUE(panel.m_modified);
    EXPECT_EQ(panel.m_selected, nullptr);
    ASSERT_EQ(panel.CurrentArrangement()->m_cells.size(), 1u);
    EXPECT_EQ(panel.CurrentArrangement()->m_cells[0].get(), small);
    EXPECT_TRUE(live[0]->destroyed);
    EXPECT_FALSE(live[1]->destroyed);
}

} // namespace
