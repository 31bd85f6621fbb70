// Route directions: the polyline decoder, the request body, replies of every
// kind from the loopback chart server, refusals, revert, and deletion or
// cancel while a request runs.
// TESSA_TSAN_LABEL (the request runs on a job thread)
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/util/Folders.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebServer.h"
#include "loopback/LoopbackServer.h"
#include "overlays/MarkManager.h"
#include "overlays/OptimizeRoute.h"
#include "overlays/OverlayRoute.h"
#include "overlays/PolylineDecode.h"
#include "packagewriter/JobTestSupport.h"
#include "support/FixedClock.h"
#include "support/ScriptedPresenter.h"

#include <QWidget>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using tessatest::LoopbackFault;
using Positions = std::vector<std::pair<double, double>>;

constexpr const char* kProgramPath = "/cgi-bin/directions.cgi";
constexpr const char* kExample = "_p~iF~ps|U_ulLnnqC_mqNvxq`@";

std::string FromHex(const std::string& hex)
{
    std::string out, digits;
    for (char c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out += char(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

// The inverse of the decoder, for writing replies.
std::string EncodePolyline(const Positions& positions)
{
    std::string out;
    long previous[2] = {0, 0};
    for (const auto& [lat, lon] : positions) {
        const long value[2] = {std::lround(lat * 1e5), std::lround(lon * 1e5)};
        for (int k = 0; k < 2; ++k) {
            const long d = value[k] - previous[k];
            uint32_t u = d < 0 ? ~(uint32_t(d) << 1) : uint32_t(d) << 1;
            while (u >= 0x20) {
                out += char((0x20 | (u & 0x1F)) + 63);
                u >>= 5;
            }
            out += char(u + 63);
            previous[k] = value[k];
        }
    }
    return out;
}

std::string Step(const std::string& maneuver, const std::string& points)
{
    return "<step><maneuver>" + maneuver + "</maneuver><polyline><points>" + points +
           "</points></polyline></step>";
}

std::string Leg(const std::string& steps, const std::string& start, const std::string& end,
                const std::string& duration = "")
{
    std::string leg = "<leg>" + steps + "<start_address>" + start + "</start_address><end_address>" + end +
                      "</end_address>";
    if (!duration.empty())
        leg += "<duration><value>7200</value><text>" + duration + "</text></duration>";
    return leg + "</leg>";
}

std::string Response(const std::string& inner)
{
    return "<DirectionsResponse>" + inner + "</DirectionsResponse>";
}

std::string OkReply(const std::string& legs)
{
    return Response("<status>OK</status><route><summary>S</summary>" + legs + "</route>");
}

// Three steps chained end to start; the first is the published example.
const Positions kStep2 = {{43.252, -126.453}, {43.5, -126.0}};
const Positions kStep3 = {{43.5, -126.0}, {43.8, -125.9}, {44.0, -125.5}};

struct CPointView
{
    std::string name;
    std::string icon;
    int green;
};

class DirectionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(server.Port(), 0) << server.Error();
        CMarkManager::Get().ClearForTesting();
        ClearPendingCallbacksForTesting();
        dir = fs::temp_directory_path() / ("tessa_directions_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        PersistantData::SetIniPaths((dir / "settings.ini").string(), (dir / "secondary.ini").string());
        PersistantData::LoadAll("Tessaroute");
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        presenter.SetImmediate(true);
        server.AddPostHandler(kProgramPath, [this](const tessatest::LoopbackRequest& request) {
            CheckRequest(request.body);
            tessatest::LoopbackResponse response;
            std::lock_guard<std::mutex> lock(replyMutex);
            response.status = replyStatus;
            response.body = replyBody;
            return response;
        });
    }
    void TearDown() override
    {
        CWebServer::SetDefaultTimeouts(10000, 10000);
        server.Stop();
        unsetenv(CChartServer::kEnvironmentVariable);
        EXPECT_EQ(badRequests.load(), 0);
        EXPECT_EQ(LeftoverFiles(), 0) << "the request file must go when the exchange ends";
        CMarkManager::Get().ClearForTesting();
        ClearPendingCallbacksForTesting();
        PersistantData::SetIniPaths("", "");
        fs::remove_all(dir);
    }

    // Every request: u32 n, n wide characters of a travel mode, u32 N of 2..10, N pairs.
    void CheckRequest(const std::string& body)
    {
        uint32_t n = 0, count = 0;
        bool ok = body.size() >= 8;
        if (ok)
            std::memcpy(&n, body.data(), 4);
        ok = ok && n <= 16 && body.size() >= 8 + 2 * size_t(n);
        if (ok)
            std::memcpy(&count, body.data() + 4 + 2 * n, 4);
        ok = ok && count >= 2 && count <= 10 && body.size() == 8 + 2 * size_t(n) + 16 * size_t(count);
        std::string mode;
        for (uint32_t i = 0; ok && i < n; ++i)
            mode += body[4 + 2 * i];
        ok = ok && (mode == "walking" || mode == "bicycling" || mode == "driving");
        if (!ok)
            ++badRequests;
    }

    void SetReply(int status, std::string body)
    {
        std::lock_guard<std::mutex> lock(replyMutex);
        replyStatus = status;
        replyBody = std::move(body);
    }

    static int LeftoverFiles()
    {
        int count = 0;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(GetTempFolder(), ec))
            if (entry.path().filename().string().rfind("directions", 0) == 0)
                ++count;
        return count;
    }

    COverlayRoute* MakeRoute(const Positions& positions, const std::string& name = "Drawn")
    {
        auto route = std::make_unique<COverlayRoute>();
        route->SetName(name);
        route->SetDescription("by hand");
        route->SetCategory("Trips");
        int n = 0;
        for (auto [lat, lon] : positions) {
            CMarkManager::RoutePointScope scope;
            auto p = std::make_unique<COverlayMark>();
            p->SetName(std::string(1, 'P').append(std::to_string(++n)));
            p->SetPosition(lat, lon);
            route->AddPoint(std::move(p));
        }
        return CMarkManager::Get().AddRoute(std::move(route));
    }

    static Positions Line(int count, double from, double step)
    {
        Positions out;
        for (int i = 0; i < count; ++i)
            out.emplace_back(from + i * step, 2.0);
        return out;
    }

    // Runs an optimisation without a window (the call waits for the job) and
    // returns the code the caller's continuation received.
    int Optimize(const std::string& mode, COverlayRoute* route, QWidget* owner = nullptr)
    {
        tessatest::CCodeProbe probe;
        probe.Push();
        int fromDone = 1234;
        OptimizeRoute(owner, mode, route, [&fromDone](int code) { fromDone = code; });
        RunDialogCallbacksUntil(probe.storage);
        EXPECT_TRUE(probe.Ran());
        EXPECT_EQ(fromDone, *probe.code);
        return *probe.code;
    }

    static std::vector<CPointView> View(const COverlayRoute& route)
    {
        std::vector<CPointView> out;
        for (const auto& p : route.Points())
            out.push_back({p->GetName(), p->GetIcon(), p->GetColour().GetGreen()});
        return out;
    }

    static Positions PositionsOf(const COverlayRoute& route)
    {
        Positions out;
        for (const auto& p : route.Points())
            out.emplace_back(p->GetLatitude(), p->GetLongitude());
        return out;
    }

    std::vector<std::string> Messages() const
    {
        std::vector<std::string> out;
        for (const auto& shown : presenter.Shown()) {
            EXPECT_EQ(shown.title, "Problem");
            EXPECT_EQ(shown.buttons, std::vector<std::string>{"OK"});
            out.push_back(shown.text);
        }
        return out;
    }

    // The route as drawn: points, texts and nothing kept for a revert.
    void ExpectDrawn(const COverlayRoute& route, const Positions& drawn, const std::string& label)
    {
        EXPECT_EQ(PositionsOf(route), drawn) << label;
        ASSERT_EQ(route.PointCount(), drawn.size()) << label;
        EXPECT_EQ(route.Points()[0]->GetName(), "P1") << label;
        EXPECT_EQ(route.Points()[0]->GetRoute(), &route) << label;
        EXPECT_EQ(route.GetName(), "Drawn") << label;
        EXPECT_EQ(route.GetDescription(), "by hand") << label;
        EXPECT_EQ(route.GetCategory(), "Trips") << label;
        EXPECT_FALSE(IsOptimizedRoute(&route)) << label;
    }

    tessatest::CFixedClock clock;
    tessatest::CScriptedPresenter presenter;
    tessatest::LoopbackServer server;
    std::mutex replyMutex;
    int replyStatus = 200;
    std::string replyBody;
    std::atomic<int> badRequests{0};
    fs::path dir;
    const Positions drawn = {{1.0, 2.0}, {1.5, 2.0}, {2.0, 2.0}};
};

TEST(PolylineDecode, PublishedExampleAndBrokenTextsGiveTheDecodedPrefix)
{
    const Positions example = {{38.5, -120.2}, {40.7, -120.95}, {43.252, -126.453}};
    const struct
    {
        std::string text;
        size_t count; // leading positions of `example`, or of nothing
        bool whole;
    } cases[] = {
        {kExample, 3, true},
        {std::string(kExample).substr(0, 25), 2, false}, // ends inside the last longitude
        {std::string(kExample).substr(0, 12), 1, false}, // ends inside the second latitude
        {"_p~iF", 0, false},                             // a latitude without its longitude
        {std::string(20, '~'), 0, false},                // a value past seven groups
        {"~~~~~~~?" + std::string(kExample), 0, false},  // eight groups: never a position
        {"", 0, true},
        {kExample + EncodePolyline({{60, 0}}), 3, false}, // latitude 103.252: out of range
        {std::string(kExample) + std::string(1, '\x01'), 3, false},
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
    // Longitudes run to +/-360 and the limit is honoured.
    Positions wide;
    EXPECT_TRUE(DecodePolyline(EncodePolyline({{10, 350}, {-89, -359}}), wide));
    EXPECT_EQ(wide.size(), 2u);
    Positions limited;
    EXPECT_FALSE(DecodePolyline(kExample, limited, 2));
    EXPECT_EQ(limited.size(), 2u);
}

TEST_F(DirectionsTest, RequestBodyMatchesTheGoldenBytes)
{
    SetReply(200, Response("<status>NOT_FOUND</status>"));
    COverlayRoute* route = MakeRoute(drawn);
    EXPECT_EQ(Optimize("walking", route), -1);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, kProgramPath);
    const std::string golden = FromHex("07000000 7700 6100 6c00 6b00 6900 6e00 6700 03000000"
                                       "000000000000f03f 0000000000000040"
                                       "000000000000f83f 0000000000000040"
                                       "0000000000000040 0000000000000040");
    EXPECT_EQ(requests[0].body, golden);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Status: NOT_FOUND"});
}

TEST_F(DirectionsTest, FullReplyRebuildsTheRouteWithFlagsAtTheManoeuvres)
{
    const std::string legs = Leg(Step("turn-left", kExample) + Step("straight", EncodePolyline(kStep2)) +
                                     Step("turn-right", EncodePolyline(kStep3)),
                                 "Start St", "End Ave", "2 hours");
    for (const std::string declaration : {"", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"}) {
        SetReply(200, declaration + OkReply(legs));
        COverlayRoute* route = MakeRoute(drawn);
        EXPECT_EQ(Optimize("driving", route), 0) << declaration;
        EXPECT_TRUE(presenter.Shown().empty());
        EXPECT_EQ(route->GetName(), "S");
        EXPECT_EQ(route->GetDescription(), "Duration 2 hours");
        EXPECT_EQ(route->GetCategory(), "Trips");
        const std::vector<CPointView> expected = {
            {"turn-leftStart St", "Flag", 200}, {"", "Tinydot", 0}, {"straight", "Flag", 200},
            {"turn-right", "Flag", 200},        {"", "Tinydot", 0}, {"End Ave", "Flag", 200},
        };
        const std::vector<CPointView> got = View(*route);
        ASSERT_EQ(got.size(), expected.size()) << declaration;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].name, expected[i].name) << i;
            EXPECT_EQ(got[i].icon, expected[i].icon) << i;
            EXPECT_EQ(got[i].green, expected[i].green) << i;
            EXPECT_EQ(route->Points()[i]->GetRoute(), route);
        }
        EXPECT_NEAR(route->Points()[2]->GetLatitude(), 43.252, 1e-9);
        EXPECT_NEAR(route->Points()[5]->GetLongitude(), -125.5, 1e-9);
        EXPECT_TRUE(IsOptimizedRoute(route));
        EXPECT_EQ(route->GetState(), COverlayObject::kChanged);
    }
}

TEST_F(DirectionsTest, EveryLegIsReadAndEmptyStepsKeepThePreviousEnd)
{
    const struct
    {
        const char* label;
        std::string legs;
        size_t points;
        std::vector<std::string> names;
        const char* description;
    } cases[] = {
        {"two legs",
         Leg(Step("a", kExample), "From", "Middle", "1 hour") +
             Leg(Step("b", EncodePolyline(kStep2)) + Step("c", EncodePolyline(kStep3)), "Middle", "To",
                 "1 hour"),
         6,
         {"aFrom", "", "b", "c", "", "To"},
         ""},
        {"empty and broken steps",
         Leg(Step("a", kExample) + Step("none", "") + Step("broken", "~~~~~~~~~~~~~~~~~~~~") +
                 Step("c", EncodePolyline(kStep2)),
             "From", "To", "3 min"),
         4,
         {"aFrom", "", "c", "To"},
         "Duration 3 min"},
    };
    for (const auto& c : cases) {
        SetReply(200, OkReply(c.legs));
        COverlayRoute* route = MakeRoute(drawn);
        EXPECT_EQ(Optimize("bicycling", route), 0) << c.label;
        ASSERT_EQ(route->PointCount(), c.points) << c.label;
        std::vector<std::string> names;
        for (const auto& view : View(*route))
            names.push_back(view.name);
        EXPECT_EQ(names, c.names) << c.label;
        EXPECT_EQ(route->GetDescription(), c.description) << c.label;
    }
}

TEST_F(DirectionsTest, RefusedRepliesAndFailedExchangesGiveTheRouteBackWhole)
{
    const std::string okLegs = Leg(Step("turn-left", kExample), "A", "B");
    const struct
    {
        const char* label;
        int status;
        std::string body;
        const char* message;
        bool xml;
    } cases[] = {
        {"zero results", 200, Response("<status>ZERO_RESULTS</status><error_message></error_message>"),
         "Status: ZERO_RESULTS", true},
        {"zero results, message", 200,
         Response("<status>ZERO_RESULTS</status><error_message>No route</error_message>"),
         "Status: ZERO_RESULTS No route", true},
        {"no response", 200, "<Other><status>OK</status></Other>", "Corrupt response", true},
        {"no route", 200, Response("<status>OK</status>"), "Corrupt response", true},
        {"route without leg", 200, Response("<status>OK</status><route><summary>S</summary></route>"),
         "Corrupt response", true},
        {"not xml", 200, "garbage", "Corrupt response", false},
        {"server error", 500, "<html><body>" + OkReply(okLegs) + "</body></html>",
         "Communication with the server failed", false},
    };
    for (const auto& c : cases)
        for (const std::string declaration : {"", "<?xml version=\"1.0\"?>"}) {
            if (!declaration.empty() && !c.xml)
                continue;
            const std::string label = std::string(c.label) + (declaration.empty() ? "" : " (declared)");
            SetReply(c.status, declaration + c.body);
            presenter.ClearShown();
            COverlayRoute* route = MakeRoute(drawn);
            EXPECT_EQ(Optimize("walking", route), -1) << label;
            EXPECT_EQ(Messages(), std::vector<std::string>{c.message}) << label;
            ExpectDrawn(*route, drawn, label);
        }
}

TEST_F(DirectionsTest, TransportFailuresShowTheCommunicationMessage)
{
    SetReply(200, OkReply(Leg(Step("turn-left", kExample), "A", "B")));
    CWebServer::SetDefaultTimeouts(1000, 1000);
    tessatest::LoopbackServer closed;
    const int closedPort = closed.Port();
    closed.Stop();
    const struct
    {
        const char* label;
        LoopbackFault fault;
        bool refused;
    } cases[] = {
        {"cut reply", LoopbackFault::CloseMidBody, false},
        {"stall", LoopbackFault::StallBeforeHeaders, false},
        {"refused", LoopbackFault::None, true},
    };
    for (const auto& c : cases) {
        server.SetFault(kProgramPath, c.fault);
        if (c.refused)
            setenv(CChartServer::kEnvironmentVariable,
                   ("http://127.0.0.1:" + std::to_string(closedPort)).c_str(), 1);
        presenter.ClearShown();
        COverlayRoute* route = MakeRoute(drawn);
        EXPECT_EQ(Optimize("walking", route), -1) << c.label;
        EXPECT_EQ(Messages(), std::vector<std::string>{"Communication with the server failed"}) << c.label;
        ExpectDrawn(*route, drawn, c.label);
        if (c.fault == LoopbackFault::StallBeforeHeaders)
            server.ReleaseStalls();
    }
}

TEST_F(DirectionsTest, RefusalsRevertAndReoptimisation)
{
    const std::string reply = OkReply(Leg(Step("turn-left", kExample), "A", "B", "1 hour"));
    SetReply(200, reply);

    // Refusals, the length first; one point does nothing at all.
    const struct
    {
        Positions positions;
        const char* message;
    } refusals[] = {
        {{{1.0, 2.0}}, nullptr},
        {Line(11, 1.0, 0.05), "The route has more than 10 waypoints."},
        {{{0.5, 1.0}, {3.0, 1.0}, {6.0, 1.0}}, "The route is too long (500km max)."},
        {Line(11, 1.0, 0.5), "The route is too long (500km max)."},
    };
    for (const auto& r : refusals) {
        presenter.ClearShown();
        COverlayRoute* route = MakeRoute(r.positions);
        EXPECT_EQ(Optimize("walking", route), -1);
        EXPECT_EQ(Messages(), r.message ? std::vector<std::string>{r.message} : std::vector<std::string>{});
        EXPECT_EQ(route->PointCount(), r.positions.size());
    }
    EXPECT_EQ(server.RequestCount(), 0u);

    // Walking then driving send the same drawn points; revert restores them once.
    presenter.ClearShown();
    COverlayRoute* a = MakeRoute(drawn);
    const COverlayMark* firstDrawn = a->Points()[0].get();
    EXPECT_EQ(Optimize("walking", a), 0);
    EXPECT_EQ(Optimize("driving", a), 0);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body.substr(4 + 14), requests[1].body.substr(4 + 14));
    EXPECT_EQ(requests[1].body.substr(4, 12), FromHex("6400 7200 6900 7600 6900 6e00"));
    EXPECT_EQ(a->PointCount(), 3u);
    EXPECT_EQ(a->GetName(), "S");
    EXPECT_EQ(Optimize("revert", a), 0);
    EXPECT_EQ(PositionsOf(*a), drawn);
    EXPECT_EQ(a->Points()[0].get(), firstDrawn);
    EXPECT_EQ(a->GetName(), "S"); // the texts stay as the optimisation made them
    EXPECT_EQ(Optimize("revert", a), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Cannot undo optimization on this route."});

    // Optimising B forgets A's drawn points.
    presenter.ClearShown();
    EXPECT_EQ(Optimize("walking", a), 0);
    COverlayRoute* b = MakeRoute(drawn);
    EXPECT_EQ(Optimize("walking", b), 0);
    EXPECT_EQ(Optimize("revert", a), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Cannot undo optimization on this route."});
    EXPECT_EQ(Optimize("revert", b), 0);
    EXPECT_EQ(PositionsOf(*b), drawn);
    EXPECT_EQ(Optimize("sailing", b), -1);
    EXPECT_EQ(Optimize("walking", nullptr), -1);
}

TEST_F(DirectionsTest, DeletingTheSavedRouteDropsItsDrawnPoints)
{
    SetReply(200, OkReply(Leg(Step("turn-left", kExample), "A", "B")));
    COverlayRoute* a = MakeRoute(drawn);
    EXPECT_EQ(Optimize("walking", a), 0);
    CMarkManager::Get().DeleteRoute(a);
    EXPECT_FALSE(IsOptimizedRoute(a));
    // The route's memory goes; a new route must not receive anything of it.
    CMarkManager::Get().ClearForTesting();
    COverlayRoute* b = MakeRoute(drawn);
    presenter.ClearShown();
    EXPECT_EQ(Optimize("revert", b), -1);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Cannot undo optimization on this route."});
    EXPECT_EQ(PositionsOf(*b), drawn);
}

// With a window the request runs behind the progress dialog: the main thread
// keeps ticking, and cancelling or deleting the route ends it cleanly.
TEST_F(DirectionsTest, StalledRequestKeepsTheHeartbeatAndCanBeCancelledOrOrphaned)
{
    struct CTickCounter : CHeartbeat::Counter
    {
        CTickCounter() : Counter(1) {}
        void OnTick() override { ++ticks; }
        int ticks = 0;
    } counter;
    tessatest::CFakeKeepAwake awake;
    QWidget window;
    SetReply(200, OkReply(Leg(Step("turn-left", kExample), "A", "B")));
    server.SetFault(kProgramPath, LoopbackFault::StallBeforeHeaders);

    for (const bool cancel : {true, false}) {
        presenter.ClearShown();
        COverlayRoute* route = MakeRoute(drawn);
        tessatest::CCodeProbe probe;
        probe.Push();
        OptimizeRoute(&window, "walking", route);
        RunDialogCallbacksUntil(probe.storage);
        EXPECT_FALSE(probe.Ran());
        EXPECT_EQ(route->PointCount(), 0u); // the drawn points wait in the saved record
        for (int i = 0; i < 5; ++i)
            CHeartbeat::Tick();
        EXPECT_GE(counter.ticks, 5);
        ASSERT_TRUE(tessatest::PumpUntil([&] { return server.RequestCount() > 0; }));
        auto* dialog = window.findChild<progress_dialog*>();
        ASSERT_NE(dialog, nullptr);
        // A second request must wait for this one.
        COverlayRoute* other = MakeRoute(drawn);
        EXPECT_EQ(Optimize("walking", other), -1);
        EXPECT_EQ(other->PointCount(), 3u);
        if (cancel) {
            dialog->onCancel();
        } else {
            CMarkManager::Get().DeleteRoute(route);
            server.ReleaseStalls();
        }
        ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); }));
        EXPECT_EQ(*probe.code, -1);
        EXPECT_TRUE(presenter.Shown().empty());
        if (cancel)
            ExpectDrawn(*route, drawn, "cancelled");
        else
            EXPECT_EQ(route->PointCount(), 0u);
        EXPECT_FALSE(IsOptimizedRoute(route));
        ASSERT_TRUE(tessatest::PumpUntil([&] { return window.findChild<progress_dialog*>() == nullptr; }));
        server.ClearRequests();
    }
}

} // namespace
