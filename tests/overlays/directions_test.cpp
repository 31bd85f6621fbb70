// Route directions against the loopback chart server: the polyline decoder,
// the request bytes, every kind of reply, refusals, revert, and deletion or
// cancel while a request stalls.
// TESSA_TSAN_LABEL (the request runs on a job thread)
#include "foundation/events/Heartbeat.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/util/Folders.h"
#include "foundation/web/ChartServer.h"
#include "loopback/LoopbackServer.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OptimizeRoute.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/PolylineDecode.h"
#include "packagewriter/JobTestSupport.h"
#include "support/QtAdaptors.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <QWidget>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

using tessatest::LoopbackFault;
using Positions = std::vector<std::pair<double, double>>;
using Texts = std::vector<std::string>;

constexpr const char* kPath = "/cgi-bin/directions.cgi";
// (38.5, -120.2), (40.7, -120.95), (43.252, -126.453); then on to (43.5, -126.0);
// then on to (43.8, -125.9) and (44.0, -125.5).
const std::string kEx = "_p~iF~ps|U_ulLnnqC_mqNvxq`@", kS2 = "_t~fGfzxbW_mo@gnwA",
                  kS3 = "_bohG~j``W_ry@_pR_af@_cmA";
const Positions kDrawn = {{1.0, 2.0}, {1.5, 2.0}, {2.0, 2.0}};

std::string Step(const std::string& maneuver, const std::string& points)
{
    return "<step><maneuver>" + maneuver + "</maneuver><polyline><points>" + points +
           "</points></polyline></step>";
}
std::string Leg(const std::string& steps, const std::string& from, const std::string& to,
                const std::string& time)
{
    return "<leg>" + steps + "<start_address>" + from + "</start_address><end_address>" + to +
           "</end_address>" + (time.empty() ? "" : "<duration><text>" + time + "</text></duration>") +
           "</leg>";
}
std::string Ok(const std::string& legs)
{
    return "<DirectionsResponse><status>OK</status><route><summary>S</summary>" + legs +
           "</route></DirectionsResponse>";
}
const std::string kOneStep = Ok(Leg(Step("turn-left", kEx), "A", "B", "1 hour"));

class DirectionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(server.Port(), 0) << server.Error();
        CMarkManager::Get().ClearForTesting();
        PersistantData::SetIniPaths((dir / "settings.ini").string(), (dir / "secondary.ini").string());
        PersistantData::LoadAll("Tessaroute");
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        presenter.SetImmediate(true);
        server.AddPostHandler(kPath, [this](const tessatest::LoopbackRequest& request) {
            // u32 n, n wide characters, u32 N of 2..10, N pairs of doubles: 8 + 2n + 16N bytes.
            const std::string& b = request.body;
            uint32_t n = 99, count = 0;
            std::memcpy(&n, b.data(), std::min<size_t>(4, b.size()));
            if (n < 10 && b.size() >= 8 + 2 * n)
                std::memcpy(&count, b.data() + 4 + 2 * n, 4);
            if (count < 2 || count > 10 || b.size() != 8 + 2 * n + 16 * count)
                ++badRequests;
            std::lock_guard<std::mutex> lock(mutex);
            return reply;
        });
    }
    void TearDown() override
    {
        CWebServer::SetDefaultTimeouts(10000, 10000);
        server.Stop();
        unsetenv(CChartServer::kEnvironmentVariable);
        EXPECT_EQ(badRequests.load(), 0);
        for (const auto& entry : fs::directory_iterator(GetTempFolder()))
            EXPECT_NE(entry.path().filename().string().rfind("directions", 0), 0u) << "request file left";
        CMarkManager::Get().ClearForTesting();
        PersistantData::SetIniPaths("", "");
        fs::remove_all(dir);
    }
    void SetReply(int status, const std::string& body)
    {
        std::lock_guard<std::mutex> lock(mutex);
        reply.status = status;
        reply.body = body;
    }
    COverlayRoute* MakeRoute(const Positions& positions)
    {
        auto route = std::make_unique<COverlayRoute>();
        route->SetName("Drawn");
        route->SetDescription("by hand");
        route->SetCategory("Trips");
        for (auto [lat, lon] : positions) {
            CMarkManager::RoutePointScope scope;
            COverlayMark* p = route->AddPoint(std::make_unique<COverlayMark>());
            p->SetName(std::string(1, 'P').append(std::to_string(route->PointCount())));
            p->SetPosition(lat, lon);
        }
        return CMarkManager::Get().AddRoute(std::move(route));
    }
    // Without a window the call waits for the job; the code the caller's continuation got.
    int Optimize(const std::string& mode, COverlayRoute* route)
    {
        tessatest::CCodeProbe probe;
        probe.Push();
        int fromDone = 1234;
        OptimizeRoute(nullptr, mode, route, [&fromDone](int code) { fromDone = code; });
        RunDialogCallbacksUntil(probe.storage);
        EXPECT_EQ(fromDone, *probe.code);
        return *probe.code;
    }
    Texts Messages()
    {
        Texts out;
        for (const auto& shown : presenter.Shown())
            out.push_back(shown.title + ": " + shown.text + " [" + shown.buttons.at(0) + "]");
        presenter.ClearShown();
        return out;
    }
    static Texts Problem(const std::string& text) { return {"Problem: " + text + " [OK]"}; }
    // "name/icon/green" of every point.
    static Texts Points(const COverlayRoute& route)
    {
        Texts out;
        for (const auto& p : route.Points())
            out.push_back(p->GetName() + "/" + p->GetIcon() + "/" +
                          std::to_string(p->GetColour().GetGreen()));
        return out;
    }
    static Positions PositionsOf(const COverlayRoute& route)
    {
        Positions out;
        for (const auto& p : route.Points())
            out.emplace_back(p->GetLatitude(), p->GetLongitude());
        return out;
    }
    void ExpectDrawn(const COverlayRoute& route, const std::string& label)
    {
        EXPECT_EQ(PositionsOf(route), kDrawn) << label;
        EXPECT_EQ(route.Points()[0]->GetName(), "P1") << label;
        EXPECT_EQ(route.Points()[0]->GetRoute(), &route) << label;
        EXPECT_EQ(route.GetName() + route.GetDescription() + route.GetCategory(), "Drawnby handTrips")
            << label;
        EXPECT_FALSE(IsOptimizedRoute(&route)) << label;
        ExpectGotoFlags(route, label);
    }
    // Only the manager's go-to target may say it is one.
    static void ExpectGotoFlags(const COverlayRoute& route, const std::string& label)
    {
        for (const auto& p : route.Points())
            EXPECT_EQ(p->IsGotoTarget(), CMarkManager::Get().GetGoto().target == p.get()) << label;
    }

    fs::path dir = tessatest::MakeScratchDir("directions");
    tessatest::CScriptedPresenter presenter;
    tessatest::LoopbackServer server;
    std::mutex mutex;
    tessatest::LoopbackResponse reply;
    std::atomic<int> badRequests{0};
};

TEST(PolylineDecode, PublishedExampleAndBrokenTextsGiveTheDecodedPrefix)
{
    const Positions example = {{38.5, -120.2}, {40.7, -120.95}, {43.252, -126.453}};
    const struct
    {
        std::string text;
        size_t count; // leading positions of the example
        bool whole;
    } cases[] = {
        {kEx, 3, true},      {kEx.substr(0, 25), 2, false},    {kEx.substr(0, 12), 1, false},
        {"_p~iF", 0, false}, {std::string(20, '~'), 0, false}, {"~~~~~~~?" + kEx, 0, false},
        {"", 0, true},       {kEx + "_wemJ?", 3, false},       {kEx + "\x01", 3, false},
    };
    for (const auto& c : cases) {
        Positions out;
        EXPECT_EQ(DecodePolyline(c.text, out), c.whole) << c.text;
        ASSERT_EQ(out.size(), c.count) << c.text;
        for (size_t i = 0; i < c.count; ++i) {
            EXPECT_NEAR(out[i].first, example[i].first, 1e-9) << c.text;
            EXPECT_NEAR(out[i].second, example[i].second, 1e-9) << c.text;
        }
    }
    Positions wide, limited; // longitudes run to +/-360; the limit holds
    EXPECT_TRUE(DecodePolyline("_c`|@_kfwaA~|f{Q~pkffC", wide));
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_NEAR(wide[0].second + wide[1].second, -9, 1e-9);
    EXPECT_FALSE(DecodePolyline(kEx, limited, 2));
    EXPECT_EQ(limited.size(), 2u);
}

TEST_F(DirectionsTest, RepliesRebuildTheRouteOrGiveItBackWhole)
{
    const std::string steps = Step("turn-left", kEx) + Step("straight", kS2) + Step("turn-right", kS3);
    const Texts six = {"turn-leftStart St/Flag/200", "/Tinydot/0", "straight/Flag/200",
                       "turn-right/Flag/200",        "/Tinydot/0", "End Ave/Flag/200"};
    const std::string kCorrupt = "Corrupt response", kFailed = "Communication with the server failed";
    const struct
    {
        const char* label;
        int status;
        std::string body;
        std::string message; // "" when the route is rebuilt
        Texts points;
        const char* description;
    } cases[] = {
        {"full", 200, Ok(Leg(steps, "Start St", "End Ave", "2 hours")), "", six, "Duration 2 hours"},
        {"two legs", 200,
         Ok(Leg(Step("turn-left", kEx), "Start St", "Mid", "1 h") +
            Leg(Step("straight", kS2) + Step("turn-right", kS3), "Mid", "End Ave", "1 h")),
         "", six, ""},
        {"empty and broken steps keep the previous end", 200,
         Ok(Leg(Step("turn-left", kEx) + Step("none", "") + Step("broken", std::string(20, '~')) +
                    Step("straight", kS2),
                "A", "B", "3 min")),
         "", Texts{"turn-leftA/Flag/200", "/Tinydot/0", "straight/Flag/200", "B/Flag/200"}, "Duration 3 min"},
        {"zero results",
         200,
         "<DirectionsResponse><status>ZERO_RESULTS</status><error_message/></DirectionsResponse>",
         "Status: ZERO_RESULTS",
         {},
         ""},
        {"zero results with a message",
         200,
         "<DirectionsResponse><status>ZERO_RESULTS</status><error_message>No route</error_message>"
         "</DirectionsResponse>",
         "Status: ZERO_RESULTS No route",
         {},
         ""},
        {"no response", 200, "<Other><status>OK</status></Other>", kCorrupt, {}, ""},
        {"no route", 200, "<DirectionsResponse><status>OK</status></DirectionsResponse>", kCorrupt, {}, ""},
        {"route without leg", 200, Ok(""), kCorrupt, {}, ""},
        {"not xml", 200, "garbage", kCorrupt, {}, ""},
        {"server error", 500, "<html><body>" + kOneStep + "</body></html>", kFailed, {}, ""},
    };
    for (const auto& c : cases)
        for (const std::string declaration : {"", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"}) {
            const std::string label = c.label + declaration;
            SetReply(c.status, declaration + c.body);
            COverlayRoute* route = MakeRoute(kDrawn);
            ASSERT_TRUE(CMarkManager::Get().GotoMark(route->Points()[1].get()));
            EXPECT_EQ(Optimize("driving", route), c.message.empty() ? 0 : -1) << label;
            if (!c.message.empty()) {
                EXPECT_EQ(Messages(), Problem(c.message)) << label;
                ExpectDrawn(*route, label);
                // A refused reply leaves the route's own points, and the go-to on one of them.
                EXPECT_EQ(CMarkManager::Get().GetGoto().target, route->Points()[1].get()) << label;
                continue;
            }
            EXPECT_TRUE(Messages().empty()) << label;
            EXPECT_EQ(Points(*route), c.points) << label;
            EXPECT_EQ(route->GetName() + "|" + route->GetDescription() + "|" + route->GetCategory(),
                      std::string("S|") + c.description + "|Trips")
                << label;
            EXPECT_EQ(route->Points()[2]->GetRoute(), route);
            EXPECT_NEAR(route->Points()[2]->GetLatitude(), 43.252, 1e-9) << label;
            EXPECT_TRUE(IsOptimizedRoute(route)) << label;
        }
}

TEST_F(DirectionsTest, TransportFailuresGiveTheDrawnPointsBack)
{
    SetReply(200, kOneStep);
    CWebServer::SetDefaultTimeouts(1000, 1000);
    tessatest::LoopbackServer closed;
    const std::string refused = closed.BaseURL();
    closed.Stop();
    for (const LoopbackFault fault : {LoopbackFault::CloseMidBody, LoopbackFault::StallBeforeHeaders}) {
        server.SetFault(kPath, fault);
        EXPECT_EQ(Optimize("walking", MakeRoute(kDrawn)), -1);
        ExpectDrawn(*CMarkManager::Get().Routes().back(), "fault");
        EXPECT_EQ(Messages(), Problem("Communication with the server failed"));
    }
    server.ReleaseStalls();
    setenv(CChartServer::kEnvironmentVariable, refused.c_str(), 1);
    EXPECT_EQ(Optimize("walking", MakeRoute(kDrawn)), -1);
    ExpectDrawn(*CMarkManager::Get().Routes().back(), "refused");
    EXPECT_EQ(Messages(), Problem("Communication with the server failed"));
}

TEST_F(DirectionsTest, RequestBytesRefusalsRevertAndReoptimisation)
{
    SetReply(200, kOneStep);
    const Positions eleven = {{1.0, 2}, {1.05, 2}, {1.1, 2}, {1.15, 2}, {1.2, 2}, {1.25, 2},
                              {1.3, 2}, {1.35, 2}, {1.4, 2}, {1.45, 2}, {1.5, 2}};
    Positions elevenFar = eleven;
    elevenFar.back().first = 7.0;
    for (const auto& [positions, message] : std::vector<std::pair<Positions, Texts>>{
             {{{1.0, 2.0}}, {}},
             {eleven, Problem("The route has more than 10 waypoints.")},
             {{{0.5, 1.0}, {3.0, 1.0}, {6.0, 1.0}}, Problem("The route is too long (500km max).")},
             {elevenFar, Problem("The route is too long (500km max).")}}) {
        EXPECT_EQ(Optimize("walking", MakeRoute(positions)), -1);
        EXPECT_EQ(Messages(), message);
    }
    EXPECT_EQ(server.RequestCount(), 0u);

    // Walking then driving send the same drawn points; revert gives them back once.
    COverlayRoute* a = MakeRoute(kDrawn);
    ASSERT_TRUE(CMarkManager::Get().GotoMark(a->Points()[1].get()));
    EXPECT_EQ(Optimize("walking", a), 0);
    EXPECT_EQ(Optimize("driving", a), 0);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, kPath);
    // Little-endian: u32 7, "walking" in wide characters, u32 3, then 1.0 2.0, 1.5 2.0, 2.0 2.0.
    const std::string points = std::string("\x03\0\0\0\0\0\0\0\0\0\xf0\x3f\0\0\0\0\0\0\0\x40", 20) +
                               std::string("\0\0\0\0\0\0\xf8\x3f\0\0\0\0\0\0\0\x40", 16) +
                               std::string("\0\0\0\0\0\0\0\x40\0\0\0\0\0\0\0\x40", 16);
    EXPECT_EQ(requests[0].body, std::string("\x07\0\0\0w\0a\0l\0k\0i\0n\0g\0", 18) + points);
    EXPECT_EQ(requests[1].body, std::string("\x07\0\0\0d\0r\0i\0v\0i\0n\0g\0", 18) + points);
    EXPECT_EQ(Optimize("revert", a), 0);
    EXPECT_EQ(PositionsOf(*a), kDrawn);
    ExpectGotoFlags(*a, "reverted");
    EXPECT_EQ(a->Points()[0]->GetName(), "P1");
    EXPECT_EQ(a->Points()[0]->GetRoute(), a);
    EXPECT_EQ(a->GetName(), "S"); // the texts stay as the optimisation made them
    EXPECT_EQ(Optimize("revert", a), -1);
    EXPECT_EQ(Messages(), Problem("Cannot undo optimization on this route."));

    // Optimising B forgets A's drawn points; deleting B forgets B's.
    EXPECT_EQ(Optimize("walking", a), 0);
    COverlayRoute* b = MakeRoute(kDrawn);
    EXPECT_EQ(Optimize("bicycling", b), 0);
    EXPECT_EQ(Optimize("revert", a), -1);
    CMarkManager::Get().DeleteRoute(b);
    EXPECT_FALSE(IsOptimizedRoute(b));
    CMarkManager::Get().ClearForTesting(); // the routes' memory goes
    COverlayRoute* c = MakeRoute(kDrawn);
    EXPECT_EQ(Optimize("revert", c), -1);
    EXPECT_EQ(Messages(), Texts(2, Problem("Cannot undo optimization on this route.")[0]));
    EXPECT_EQ(PositionsOf(*c), kDrawn);
    EXPECT_EQ(Optimize("sailing", c) + Optimize("walking", nullptr), -2);
}

// With a window the request runs behind the progress dialog: the main thread
// keeps ticking, and a cancel or a deleted route ends the request cleanly.
TEST_F(DirectionsTest, StalledRequestKeepsTheHeartbeatAndEndsOnCancelOrDeletion)
{
    tessatest::CQtAdaptors adaptors;
    struct CTicks : CHeartbeat::Counter
    {
        CTicks() : Counter(1) {}
        void OnTick() override { ++ticks; }
        int ticks = 0;
    } counter;
    tessatest::CFakeKeepAwake awake;
    QWidget window;
    SetReply(200, kOneStep);
    server.SetFault(kPath, LoopbackFault::StallBeforeHeaders);
    for (const bool cancel : {true, false}) {
        COverlayRoute* route = MakeRoute(kDrawn);
        tessatest::CCodeProbe probe;
        probe.Push();
        OptimizeRoute(&window, "walking", route);
        RunDialogCallbacksUntil(probe.storage);
        EXPECT_FALSE(probe.Ran());
        const int before = counter.ticks;
        for (int i = 0; i < 5; ++i)
            CHeartbeat::Tick();
        EXPECT_EQ(counter.ticks, before + 5);
        // A save while the request runs still finds the points.
        EXPECT_EQ(PositionsOf(*route), kDrawn);
        ASSERT_TRUE(tessatest::PumpUntil([&] { return server.RequestCount() > 0; }));
        EXPECT_EQ(Optimize("walking", MakeRoute(kDrawn)), -1); // one request at a time
        if (cancel) {
            window.findChild<progress_dialog*>()->onCancel();
        } else {
            CMarkManager::Get().DeleteRoute(route);
            server.ReleaseStalls();
        }
        ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); }));
        EXPECT_EQ(*probe.code, -1);
        EXPECT_TRUE(Messages().empty());
        if (cancel)
            ExpectDrawn(*route, "cancelled");
        EXPECT_FALSE(IsOptimizedRoute(route));
        ASSERT_TRUE(tessatest::PumpUntil([&] { return window.findChild<progress_dialog*>() == nullptr; }));
        server.ClearRequests();
    }
}

} // namespace
