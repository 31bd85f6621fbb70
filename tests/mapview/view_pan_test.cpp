// The pointer pan without a window: press, drags with a test clock, release
// and the glide ticks; and the chart view holding still while pressed.
#include "chartwriter/ChartWriter.h"
#include "mapview/view/CachedChartTiles.h"
#include "mapview/view/PanGesture.h"
#include "mapview/view/RasterleafView.h"
#include "support/TestPaths.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Event
{
    char kind; // 'p' press, 'd' drag, 'r' release, 't' tick
    double x, y, seconds;
    int64_t dx, dy; // the step the event must give
};

struct PanCase
{
    const char* name;
    int32_t zoom;
    std::vector<Event> events;
};

TEST(PanGesture, StepsFollowThePointerAndGlideOnlyAfterRelease)
{
    const std::vector<PanCase> cases = {
        {"drag follows whole pixels, no glide while held",
         0,
         {{'p', 100, 100, 10.0, 0, 0},
          {'d', 110.7, 95.2, 10.1, 10, -4},
          {'t', 0, 0, 0, 0, 0},
          {'t', 0, 0, 0, 0, 0},
          {'d', 120.7, 95.2, 10.2, 10, 0},
          {'t', 0, 0, 0, 0, 0}}},
        // Velocity 10 px per tick decays 9, 8, 7, 6, 5, 5, 4, 4, 3 ...
        {"glide after release decays and stops",
         0,
         {{'p', 0, 0, 0.0, 0, 0},
          {'d', 20, 0, 0.1, 20, 0},
          {'t', 0, 0, 0, 0, 0},
          {'r', 0, 0, 0, 0, 0},
          {'t', 0, 0, 0, 9, 0},
          {'t', 0, 0, 0, 8, 0},
          {'t', 0, 0, 0, 7, 0},
          {'t', 0, 0, 0, 6, 0},
          {'t', 0, 0, 0, 5, 0},
          {'t', 0, 0, 0, 5, 0},
          {'t', 0, 0, 0, 4, 0},
          {'t', 0, 0, 0, 4, 0},
          {'t', 0, 0, 0, 3, 0}}},
        {"a drag within the first tick leaves no glide",
         0,
         {{'p', 0, 0, 5.0, 0, 0}, {'d', 0, 30, 5.01, 0, 30}, {'r', 0, 0, 0, 0, 0}, {'t', 0, 0, 0, 0, 0}}},
        {"a new press stops the glide",
         0,
         {{'p', 0, 0, 0.0, 0, 0},
          {'d', -40, 0, 0.1, -40, 0},
          {'r', 0, 0, 0, 0, 0},
          {'t', 0, 0, 0, -18, 0},
          {'p', 5, 5, 1.0, 0, 0},
          {'t', 0, 0, 0, 0, 0},
          {'r', 0, 0, 0, 0, 0},
          {'t', 0, 0, 0, 0, 0}}},
        {"zoom 2 aligns drags and glide steps to 4 pixels",
         2,
         {{'p', 0, 0, 0.0, 0, 0},
          {'d', 10, -10, 0.05, 8, -12},
          {'r', 0, 0, 0, 0, 0},
          {'t', 0, 0, 0, 4, -8},
          {'t', 0, 0, 0, 4, -8}}},
        {"a drag without a press starts the gesture",
         0,
         {{'d', 50, 50, 1.0, 0, 0}, {'d', 53, 50, 1.2, 3, 0}, {'r', 0, 0, 0, 0, 0}, {'t', 0, 0, 0, 0, 0}}},
        {"points that are not numbers are ignored",
         0,
         {{'p', 0, 0, 0.0, 0, 0},
          {'d', NAN, 5, 0.1, 0, 0},
          {'d', 5, INFINITY, 0.1, 0, 0},
          {'d', 5, 0, 0.1, 5, 0}}},
    };
    for (const PanCase& c : cases) {
        SCOPED_TRACE(c.name);
        CPanGesture pan;
        for (size_t i = 0; i < c.events.size(); ++i) {
            SCOPED_TRACE(i);
            const Event& e = c.events[i];
            CPanGesture::Step step;
            switch (e.kind) {
            case 'p':
                pan.Press(e.x, e.y, e.seconds);
                break;
            case 'd':
                step = pan.DragTo(e.x, e.y, e.seconds, c.zoom);
                break;
            case 'r':
                pan.Release();
                break;
            case 't':
                step = pan.Tick(c.zoom);
                break;
            }
            EXPECT_EQ(step.dx, e.dx);
            EXPECT_EQ(step.dy, e.dy);
        }
    }
}

class DirectOpener : public IChartOpener
{
public:
    void Open(const std::string& path, Completion done) override
    {
        std::unique_ptr<COpenedChart> chart = CCachedChartOpener::OpenChartFile(nullptr, path);
        const int status = chart ? 0 : -1;
        done(status, std::move(chart));
    }
};

TEST(ChartViewPan, TheChartHoldsStillUnderAPressedPointerAndGlidesAfterRelease)
{
    const std::string root = tessatest::MakeScratchDir("viewpan");
    const std::string path = root + "/pan.rlt";
    chartwriter::CChartWriter w(8, 8);
    w.name = "Pan";
    chartwriter::PlateCarreeCoefficients(8, 56, 13, 53, 256, 256, w.forward, w.inverse);
    ASSERT_TRUE(w.Write(path));

    DirectOpener opener;
    CRasterleafView::Ports ports;
    ports.opener = &opener;
    CRasterleafView view(ports);
    double now = 100;
    view.SetClockForTesting([&now] { return now; });
    view.SetViewRect(0, 0, 400, 300);
    view.OpenChart(path);
    ASSERT_TRUE(view.HasChart());
    while (view.Magnification() != 1.0)
        view.OnTimer();

    const double x0 = view.Transform().originX;
    view.Press(200, 150);
    now += 0.1;
    view.DragTo(240, 150);
    const double dragged = view.Transform().originX;
    EXPECT_LT(dragged, x0);
    // Held: ticks do not move the chart from under the pointer.
    for (int i = 0; i < 5; ++i) {
        now += 0.05;
        view.OnTimer();
    }
    EXPECT_EQ(view.Transform().originX, dragged);
    EXPECT_FALSE(view.PanGesture().IsGliding());

    view.Release();
    view.OnTimer();
    EXPECT_LT(view.Transform().originX, dragged);
    for (int i = 0; i < 100 && view.PanGesture().IsGliding(); ++i)
        view.OnTimer();
    EXPECT_FALSE(view.PanGesture().IsGliding());

    // GPS lock ends a glide at once.
    view.Press(200, 150);
    now += 0.1;
    view.DragTo(150, 150);
    view.Release();
    view.SetGPSLock(true);
    const double locked = view.Transform().originX;
    view.OnTimer();
    EXPECT_EQ(view.Transform().originX, locked);
    fs::remove_all(root);
}

} // namespace
