// The sizing of panel text fields with a fake measurer (0.6 x size wide per
// character, 1.2 x size high), the cell frames, and which panel call a mouse
// event becomes.
#include "panels/PanelFrames.h"
#include "panels/TextFieldAutosizing.h"

#include <gtest/gtest.h>
#include <string>

namespace {

class FakeMeasurer : public ITextMeasurer
{
public:
    void Measure(const std::string& text, double size, double& width, double& height) override
    {
        ++calls;
        width = 0.6 * size * double(text.size());
        height = 1.2 * size;
    }
    int calls = 0;
};

} // namespace

TEST(PanelTextField, TemplatesDecideWhenTheFontIsRefitted)
{
    struct Case
    {
        const char* first;
        const char* second;
        bool refits;
        const char* secondTemplate;
        bool numeric, multiline;
    };
    const Case cases[] = {
        {"9.7", "12.5", true, "55.5", true, false},   // other shape
        {"12.5", "9.7", true, "5.5", true, false},    // shorter
        {"12.5", "13.9", false, "55.5", true, false}, // same shape keeps the font
        {"12.5", "123.4", true, "555.5", true, false},
        {"", "", false, "", false, false},
        {"12 kn", "99 kg", true, "55 kg", false, false},       // a descender makes it text
        {"123 456", "123 456", false, "555 555", true, false}, // blank before 10: one line
        {"1234567890123456 1234567890123", "9999999999999999 0", false, "5555555555555555W", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " then " + c.second);
        FakeMeasurer measurer;
        TextFieldAutosizing field(measurer);
        field.setFrame({0, 0, 300, 40});
        field.setStringValue(c.first);
        const double size = field.FontSize();
        const int calls = measurer.calls;
        field.setStringValue(c.second);
        EXPECT_EQ(measurer.calls != calls, c.refits);
        EXPECT_EQ(field.Template(), c.secondTemplate);
        EXPECT_EQ(field.IsNumeric(), c.numeric);
        EXPECT_EQ(field.IsMultiline(), c.multiline);
        EXPECT_EQ(field.Text(), c.second);
        if (!c.refits) {
            EXPECT_EQ(field.FontSize(), size);
        }
    }
    // Nothing matches before the first template.
    FakeMeasurer measurer;
    TextFieldAutosizing fresh(measurer);
    EXPECT_FALSE(fresh.matchesTemplate(""));
}

TEST(PanelTextField, RefitsToHandWorkedSizesAndAdjustsTallNumericFrames)
{
    struct Case
    {
        double width, height;
        const char* text;
        int32_t minimum;
        double size;
        double shownY, shownHeight;
    };
    const Case cases[] = {
        // Width-bound: 2.4 s < 90; the bisection from 9 to 50 stops at 37.1875.
        {100, 40, "12.5", 9, 37.1875, -0.17 * 37.1875, 40 + 0.17 * 37.1875},
        {100, 40, "123.4", 9, 29.5, -0.17 * 29.5, 40 + 0.17 * 29.5},
        // Height-bound (1.2 s < 30 x 1.3 - 2); 30 high is not adjusted.
        {200, 30, "123.4", 9, 30.4375, 0, 30},
        // Text: height limit 13, no adjustment.
        {100, 15, "Depth / ft", 9, 10.5, 0, 15},
        // Two lines: the 2.6 rule with the multi-line minimum.
        {100, 100, "12345 1234567890 1", 11, 11, 0, 100},
        {300, 60, "12345678901 1234", 11, 24.203125, 0, 60},
        // Too small for anything: the smallest size.
        {8, 8, "12.5", 9, 9, 0, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.width) + " x " +
                     std::to_string(c.height));
        FakeMeasurer measurer;
        TextFieldAutosizing field(measurer);
        field.setMinimumSize(c.minimum);
        field.setStringValue(c.text);
        field.setFrame({0, 0, c.width, c.height});
        EXPECT_DOUBLE_EQ(field.FontSize(), c.size);
        EXPECT_NEAR(field.ShownFrame().y, c.shownY, 1e-9);
        EXPECT_NEAR(field.ShownFrame().height, c.shownHeight, 1e-9);
    }
}

TEST(PanelFrames, TitleHeightsFramesAndInsets)
{
    for (auto [cell, title] :
         {std::pair{60, 15}, {74, 15}, {75, 15}, {100, 20}, {149, 29}, {200, 30}, {0, 15}})
        EXPECT_EQ(TitleHeight(cell), title) << cell;

    const CTextCellFrames frames = TextCellFrames(150, 100, true);
    EXPECT_EQ(frames.title, (CPanelRect{0, 0, 150, 20}));
    EXPECT_EQ(frames.value, (CPanelRect{0, 20, 150, 80}));
    EXPECT_EQ(TextCellFrames(150, 100, false).value, (CPanelRect{0, 0, 150, 100}));

    struct Host : CDisplayView::IWindow
    {
        void Invalidate() override {}
        void SetRect(int32_t, int32_t, int32_t, int32_t, CDisplayView::CItemSettings*) override {}
        void Show(bool) override {}
        void GetSize(int32_t&, int32_t&) override {}
    } host;
    host.m_topInset = 7;
    host.m_bottomInset = 3;
    EXPECT_EQ(ChildFrame(&host, 10, 20, 30, 40), (CPanelRect{10, 27, 30, 40}));
    EXPECT_EQ(ChildFrame(nullptr, 10, 20, 30, 40), (CPanelRect{10, 20, 30, 40}));
    EXPECT_EQ(ButtonFrame(&host, 10, 20, 30, 40), (CPanelRect{12, 32, 26, 30}));
    EXPECT_EQ(ChildFrame(&host, 0, INT32_MAX, 1, 1).y, INT32_MAX); // no overflow
    int32_t w = 0, h = 0;
    UsableSize(host, 100.9, 50.9, w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 40);
    UsableSize(host, 5, 5, w, h);
    EXPECT_EQ(h, 0);
}

TEST(PanelFrames, MouseEventsBecomePanelCalls)
{
    using A = EMouseAction;
    using B = EMouseButton;
    using P = EPanelMouse;
    struct Case
    {
        A action;
        B button, held;
        bool control;
        P call;
    };
    const Case cases[] = {
        {A::Press, B::Left, B::None, false, P::MouseDown},
        {A::Press, B::Left, B::None, true, P::RightMouseDown}, // Control-click is a right click
        {A::Press, B::Right, B::None, false, P::RightMouseDown},
        {A::Press, B::Middle, B::None, false, P::OtherMouseDown},
        {A::Move, B::None, B::Left, false, P::MouseDragged},
        {A::Move, B::None, B::Middle, false, P::OtherMouseDragged},
        {A::Move, B::None, B::None, false, P::None},
        {A::Move, B::None, B::Right, false, P::None},
        {A::Release, B::Left, B::Left, false, P::MouseUp},
        {A::Release, B::Left, B::Right, true, P::None}, // the end of a Control-click
        {A::Release, B::Middle, B::Middle, false, P::OtherMouseUp},
        {A::Release, B::Right, B::Right, false, P::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MapPanelMouse(c.action, c.button, c.held, c.control), c.call)
            << int(c.action) << " " << int(c.button) << " " << int(c.held) << " " << c.control;
}
