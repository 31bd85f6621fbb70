// Overlay tools on a chart view: the mark and track labels with their status
// texts, drags of marks and along tracks, the end of a tool by draw passes and
// by edits of its object, and the label drawn offscreen.
// TESSA_TSAN_LABEL (the chart view decodes its tiles on worker threads)
#include "foundation/notify/StatusLine.h"
#include "geodesy/Units.h"
#include "instruments/data/DataGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/TrackManager.h"
#include "overlays/ui/MarkTool.h"
#include "overlays/ui/OverlayObjectUi.h"
#include "overlays/ui/TrackTool.h"
#include "support/FixedClock.h"
#include "support/TestChartView.h"

#include <GeographicLib/Geodesic.hpp>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

constexpr double kT0 = 1700000000.0;

struct ChangeCounter : Listener<COverlayObject>
{
    void Notify(const COverlayObject& object) override
    {
        changed += object.GetState() == COverlayObject::kChanged;
    }
    int changed = 0;
};

class ToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        CTrackManager::Settings().doRecordTrack = false;
        ClearStatusMessage();
        ASSERT_TRUE(chart.IsOpen());
        chart.view->SetViewRect(0, 0, 400, 300);
        ASSERT_TRUE(chart.view->GetCentreLatLon(clat, clon));
        // Taps start the tools through the overlay ui, as in the application.
        InstallPort<IOverlayObjectUi>(&objectUi);
    }
    void TearDown() override
    {
        COverlayTool::EndActiveTool();
        InstallPort<IOverlayObjectUi>(nullptr);
        CTrackManager::Get().ClearForTesting();
        CMarkManager::Get().ClearForTesting();
        ClearStatusMessage();
    }
    COverlayMark* Mark(const std::string& name, double lat, double lon)
    {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(name);
        mark->SetPosition(lat, lon);
        COverlayMark* added = CMarkManager::Get().AddMark(std::move(mark));
        added->SetState(COverlayObject::kChanged);
        return added;
    }
    COverlayRoute* Route(const std::vector<std::pair<double, double>>& points)
    {
        auto route = std::make_unique<COverlayRoute>();
        for (const auto& [lat, lon] : points) {
            CMarkManager::RoutePointScope scope;
            auto p = std::make_unique<COverlayMark>();
            p->SetName("RP" + std::to_string(route->PointCount() + 1));
            p->SetPosition(lat, lon);
            route->AddPoint(std::move(p));
        }
        COverlayRoute* added = CMarkManager::Get().AddRoute(std::move(route));
        added->NotifyChanged(COverlayObject::kChanged);
        return added;
    }
    // 100 points eastwards, 600 s apart, at 12.5 m: two sections.
    COverlayTrack* Track()
    {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName("Trip");
        track->SetCreated(kT0);
        for (int i = 0; i < 100; ++i)
            track->AddPoint(CTrackPoint{clat, clon - 1 + 0.02 * i, kT0 + 600.0 * i, 12.5f, 0}, false);
        COverlayTrack* added = CTrackManager::Get().AddTrack(std::move(track));
        added->NotifySections(COverlayObject::kChanged);
        return added;
    }
    void Fix(double lat, double lon)
    {
        CDataGPSPosition fix;
        fix.SetPosition(lat, lon);
        fix.m_fixStatus = CDataGPSPosition::kGPSFix;
        FireEvent(fix);
    }
    // Distance and bearing text from a to b, measured on the ellipsoid.
    static std::string Leg(double lat1, double lon1, double lat2, double lon2)
    {
        double s12 = 0, azi1 = 0, azi2 = 0;
        GeographicLib::Geodesic::WGS84().Inverse(lat1, lon1, lat2, lon2, s12, azi1, azi2);
        std::string distance, bearing;
        CDefaultUnits::Get().FormatDistance(float(s12), distance);
        CDefaultUnits::Get().FormatBearing(float(azi1 < 0 ? azi1 + 360 : azi1), bearing);
        return " " + distance + " " + bearing;
    }
    COverlayTap TapAt(double lat, double lon) const
    {
        COverlayTap tap{0, 0, lat, lon};
        chart.view->LatLonToScreen(lat, lon, tap.x, tap.y);
        return tap;
    }

    tessatest::CFixedClock clock{kT0};
    tessatest::CTestChartView chart{400, 300};
    double clat = 0, clon = 0;
    COverlayObjectUi objectUi;
};

TEST_F(ToolTest, MarkLabelsMeasureFromTheShipOrThePreviousPoint)
{
    struct Case
    {
        const char* name;
        bool fix;
        std::string expected; // before the distance
    };
    const Case cases[] = {
        {"ABCDEFGHIJ", true, "ABCDEFGHIJ"},
        {"ABCDEFGHIJK", true, "ABCDEF..."},
        {"ABCDEFGHIJK", false, "ABCDEFGHIJK"},
        // Characters are counted and cut whole, not bytes.
        {"\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85", true,
         "\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85"},
        {"\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85", true,
         "\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85\xC3\x85..."},
    };
    for (const Case& c : cases) {
        COverlayMark* mark = Mark(c.name, clat + 0.03, clon + 0.02);
        mark->OnTap(*chart.view, TapAt(clat + 0.03, clon + 0.02));
        auto* tool = dynamic_cast<CMarkTool*>(COverlayTool::GetActiveTool());
        ASSERT_TRUE(tool && tool->GetMark() == mark);
        EXPECT_EQ(tool->GetText(), c.name);
        if (c.fix) {
            Fix(clat, clon);
            EXPECT_EQ(tool->GetText(), c.expected + Leg(clat, clon, clat + 0.03, clon + 0.02)) << c.name;
            // A ship on the mark: no vector to show.
            Fix(clat + 0.03, clon + 0.02);
        }
        EXPECT_EQ(tool->GetText(), c.expected) << c.name;
        EXPECT_EQ(GetStatusMessage(), "");
    }
    // A route point measures the leg from the previous point, whatever the ship.
    COverlayRoute* route = Route({{clat, clon}, {clat + 0.03, clon + 0.02}, {clat + 0.05, clon}});
    COverlayMark* second = route->Points()[1].get();
    second->OnTap(*chart.view, TapAt(clat + 0.03, clon + 0.02));
    Fix(clat - 1, clon - 1);
    ASSERT_TRUE(COverlayTool::IsActiveToolMark(second));
    EXPECT_EQ(COverlayTool::GetActiveTool()->GetText(), "RP2" + Leg(clat, clon, clat + 0.03, clon + 0.02));
    std::string total;
    CDefaultUnits::Get().FormatDistance(float(route->TotalDistance()), total);
    EXPECT_EQ(GetStatusMessage(), "Total distance: " + total);
    // The replaced tool clears the line as it goes; the new one shows it again.
    COverlayTool::SetActiveTool(std::make_unique<CMarkTool>(chart.view.get(), second));
    EXPECT_EQ(GetStatusMessage(), "Total distance: " + total);
    COverlayTool::EndActiveTool();
    EXPECT_EQ(GetStatusMessage(), "");
}

TEST_F(ToolTest, DraggingMovesOnlyUnlockedMarks)
{
    struct Case
    {
        bool routePoint, lockMark, lockRoute, moves;
    };
    for (const Case c :
         {Case{false, false, false, true}, Case{false, true, false, false}, Case{true, false, false, true},
          Case{true, false, true, false}, Case{true, true, false, false}}) {
        COverlayRoute* route = Route({{clat, clon}, {clat + 0.5, clon + 0.5}, {clat + 1, clon}});
        COverlayMark* mark = c.routePoint ? route->Points()[1].get() : Mark("Free", clat + 0.5, clon + 0.5);
        mark->SetLocked(c.lockMark);
        route->SetLocked(c.lockRoute);
        StartMarkTool(*chart.view, *mark);
        COverlayTool* tool = COverlayTool::GetActiveTool();
        double x = 0, y = 0, lat = 0, lon = 0;
        ASSERT_TRUE(chart.view->LatLonToScreen(clat + 0.5, clon + 0.5, x, y));
        ASSERT_TRUE(chart.view->ScreenToLatLon(x + 30, y - 20, lat, lon));
        ChangeCounter changes;
        tool->DragBy(10, -5);
        tool->DragBy(20, -15);
        ASSERT_EQ(COverlayTool::GetActiveTool(), tool);
        EXPECT_NEAR(mark->GetLatitude(), c.moves ? lat : clat + 0.5, 1e-9);
        EXPECT_NEAR(mark->GetLongitude(), c.moves ? lon : clon + 0.5, 1e-9);
        EXPECT_EQ(changes.changed > 0, c.moves);
        COverlayTool::EndActiveTool();
    }
}

TEST_F(ToolTest, TrackToolSlidesAlongTheTrackAndOpensTheMenuOnItsPoint)
{
    COverlayTrack* track = Track();
    ASSERT_EQ(track->Sections().size(), 2u);
    CTrackSection* first = track->Sections()[0].get();
    first->OnTap(*chart.view, TapAt(clat + 0.001, clon - 1 + 0.02 * 60 + 0.004));
    auto* tool = dynamic_cast<CTrackTool*>(COverlayTool::GetActiveTool());
    ASSERT_TRUE(tool && COverlayTool::IsActiveToolTrack(track) && COverlayTool::IsActiveToolSection(first));
    EXPECT_EQ(tool->GetPointIndex(), 60);
    EXPECT_EQ(GetStatusMessage(), "Track: Trip (Today)");
    // Speed over the neighbours 59 and 61, clock time and altitude.
    double s12 = 0;
    GeographicLib::Geodesic::WGS84().Inverse(clat, clon - 1 + 0.02 * 59, clat, clon - 1 + 0.02 * 61, s12);
    std::string speed, time, depth;
    CDefaultUnits::Get().FormatSpeed(float(s12 / 1200 * 1.94384449), speed);
    CUnits::FormatClockTime(time_t(kT0 + 600 * 60), time);
    CDefaultUnits::Get().FormatDepth(12.5f, depth);
    EXPECT_EQ(tool->GetText(), speed + " " + time + " " + depth);

    // Point 66 lies past the end of the first section (point 63).
    double x = 0, y = 0, x66 = 0, y66 = 0;
    ASSERT_TRUE(chart.view->LatLonToScreen(clat, clon - 1 + 0.02 * 60, x, y));
    ASSERT_TRUE(chart.view->LatLonToScreen(clat, clon - 1 + 0.02 * 66, x66, y66));
    tool->DragBy((x66 - x) / 2, 0);
    tool->DragBy((x66 - x) / 2, 0);
    CTrackSection* second = track->Sections()[1].get();
    ASSERT_EQ(tool->GetTrackSection(), second);
    const CTrackPoint& chosen = second->Point(uint32_t(tool->GetPointIndex()));
    EXPECT_NEAR(chosen.longitude, clon - 1 + 0.02 * 66, 1e-9);
    EXPECT_EQ(track->PointCount(), 100u);
    tool->EndDrag();
    ASSERT_TRUE(chart.view->LatLonToScreen(chosen.latitude, chosen.longitude, x, y));
    EXPECT_DOUBLE_EQ(tool->AnchorX(), x);
    EXPECT_DOUBLE_EQ(tool->AnchorY(), y);

    // The menu finds the tool's section and point; the tap then ends the tool.
    struct MenuRecorder : COverlayObjectUi
    {
        bool ShowTrackMenu(CRasterleafView&, CTrackSection& section, const COverlayTap&) override
        {
            menuSection = &section;
            menuPoint = COverlayTool::GetActiveTool()->GetPointIndex();
            return true;
        }
        const CTrackSection* menuSection = nullptr;
        int menuPoint = -1;
    } recorder;
    InstallPort<IOverlayObjectUi>(&recorder);
    const int index = tool->GetPointIndex();
    tool->Tap();
    InstallPort<IOverlayObjectUi>(&objectUi);
    const CTrackSection* menuSection = recorder.menuSection;
    const int menuPoint = recorder.menuPoint;
    EXPECT_EQ(menuSection, second);
    EXPECT_EQ(menuPoint, index);
    EXPECT_EQ(COverlayTool::GetActiveTool(), nullptr);
    EXPECT_EQ(GetStatusMessage(), "");
}

TEST_F(ToolTest, ToolsEndWhenTheirObjectIsNotDrawnOrChanges)
{
    CMarkManager& marks = CMarkManager::Get();
    CTrackManager& tracks = CTrackManager::Get();
    COverlayRoute* r = nullptr;
    COverlayTrack* t = nullptr;
    // Names with "drawn" keep the tool; "hidden" and "moved away" end it by
    // the draw pass; every edit ends it at once, before the object changes.
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"drawn", [] {}},
        {"hidden", [&] { r->SetVisible(false), r->NotifyChanged(0); }},
        {"moved away", [&] { r->Points()[2]->SetPosition(-3, 19), r->NotifyChanged(0); }},
        {"point deleted", [&] { marks.DeleteMark(r->Points()[2].get()); }},
        {"route deleted", [&] { marks.DeleteRoute(r); }},
        {"route reversed", [&] { r->Reverse(); }},
        {"route split", [&] { r->Split(r->Points()[1].get()); }},
        // Directions replace the points and destroy the old ones.
        {"points swapped",
         [&] {
             std::vector<std::unique_ptr<COverlayMark>> gone;
             r->SwapPoints(gone);
         }},
        {"route joined",
         [&] {
             r->Join(Route({{clat, clon + 1}, {clat, clon + 2}}));
         }},
        {"track drawn", [] {}},
        {"track deleted", [&] { tracks.DeleteTrack(t); }},
        {"track purged", [&] { tracks.DeleteAllTracks(); }},
        {"track split", [&] { t->Split(t->Sections()[0].get(), 10); }},
        {"track simplified", [&] { t->Simplify(1e6); }},
    };
    for (const auto& [what, step] : cases) {
        r = Route({{clat, clon}, {clat + 0.1, clon}, {clat + 0.2, clon}, {clat + 0.3, clon}});
        t = Track();
        if (std::string(what).rfind("track", 0) == 0)
            StartTrackTool(*chart.view, *t->Sections()[0], clat, clon);
        else
            StartMarkTool(*chart.view, *r->Points()[2]);
        step();
        const std::string name = what;
        if (name != "hidden" && name != "moved away") {
            EXPECT_EQ(COverlayTool::GetActiveTool() != nullptr, name.find("drawn") != std::string::npos)
                << what;
        }
        QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
        chart.Redraw(image);
        const bool stays = std::string(what).find("drawn") != std::string::npos;
        EXPECT_EQ(COverlayTool::GetActiveTool() != nullptr, stays) << what;
        EXPECT_EQ(GetStatusMessage().empty(), !stays) << what;
        COverlayTool::EndActiveTool();
        marks.ClearForTesting();
        tracks.ClearForTesting();
    }
}

class ToolLabel : public ToolTest, public ::testing::WithParamInterface<double>
{
};

TEST_P(ToolLabel, DrawsOnHalfWhiteAboveTheAnchor)
{
    const double dpr = GetParam();
    COverlayMark* mark = Mark("WWWWWWWW", clat, clon);
    StartMarkTool(*chart.view, *mark);
    QImage image(int(400 * dpr), int(300 * dpr), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(QColor(0, 0, 200));
    ScreenPoints record;
    record.screenPoints = {CPolyPoint{200, 150}};
    {
        QPainter painter(&image);
        COverlayTool::GetActiveTool()->DrawDecoration(painter, chart.view->Transform(), record);
    }
    const auto at = [&](double x, double y) { return image.pixel(int(x * dpr), int(y * dpr)); };
    // The box is anchor + (-100, -50), 200 x 20: white at half alpha over blue.
    for (auto [x, y] : {std::pair{100.5, 100.5}, {299.4, 100.5}, {100.5, 119.4}, {299.4, 119.4}}) {
        EXPECT_NEAR(qRed(at(x, y)), 128, 3) << x << "," << y;
        EXPECT_NEAR(qBlue(at(x, y)), 228, 3) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{99.4, 110.0}, {300.6, 110.0}, {200.0, 99.4}, {200.0, 120.6}})
        EXPECT_EQ(at(x, y), QColor(0, 0, 200).rgb()) << x << "," << y;
    // Dark text pixels, centred on the anchor, inside the box.
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qRed(image.pixel(x, y)) < 40 && qBlue(image.pixel(x, y)) < 40) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0);
    EXPECT_NEAR((left + right) / 2.0 / dpr, 200, 2);
    EXPECT_GE(top / dpr, 100);
    EXPECT_LT(bottom / dpr, 120);
    EXPECT_GT((right - left) / dpr, 60);
}

INSTANTIATE_TEST_SUITE_P(Scales, ToolLabel, ::testing::Values(1.0, 2.0));

} // namespace
