// The chart view's state machine with real charts from the chart writer and
// the real chart list: the best chart at a place, zoom-driven scale changes,
// failed and overlapping switches, the stored view, the own fix, map-store
// look-ups, the displayed overlays and the saved state.
// TESSA_TSAN_LABEL
#include "charts/chartlist/ChartList.h"
#include "chartwriter/ChartWriter.h"
#include "foundation/objectfile/Serializable.h"
#include "geodesy/Units.h"
#include "mapview/view/CachedChartTiles.h"
#include "mapview/view/ChartListCatalog.h"
#include "mapview/view/RasterleafView.h"
#include "support/TestPaths.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>

namespace fs = std::filesystem;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void WriteChart(const std::string& path, const std::string& name, double west, double south, double east,
                double north)
{
    fs::create_directories(fs::path(path).parent_path());
    chartwriter::CChartWriter w(4, 4);
    w.name = name;
    w.mapType = "Topo";
    chartwriter::PlateCarreeCoefficients(west, north, east, south, 256, 256, w.forward, w.inverse);
    ASSERT_TRUE(w.Write(path));
}

// Opens through the real opener, now or when the test says; chosen paths
// fail; chosen paths claim to be chunked.
class ScriptedOpener : public IChartOpener
{
public:
    void Open(const std::string& path, Completion done) override
    {
        ++opens;
        if (deferred) {
            pending.emplace_back(path, std::move(done));
            return;
        }
        Finish(path, done);
    }
    void Finish(const std::string& path, const Completion& done)
    {
        if (failing.count(path)) {
            done(-1, nullptr);
            return;
        }
        std::unique_ptr<COpenedChart> chart = CCachedChartOpener::OpenChartFile(nullptr, path);
        if (chart && chunked.count(path))
            chart->chunked = true;
        const int status = chart ? 0 : -1;
        done(status, std::move(chart));
    }
    void Complete(size_t index)
    {
        auto [path, done] = pending.at(index);
        Finish(path, done);
    }
    bool deferred = false;
    int opens = 0;
    std::set<std::string> failing, chunked;
    std::vector<std::pair<std::string, Completion>> pending;
};

class ScriptedMapStore : public IMapStore
{
public:
    void FetchMapAt(double latitude, double longitude, Completion done) override
    {
        asked.emplace_back(latitude, longitude);
        pending.push_back(std::move(done));
    }
    std::vector<std::pair<double, double>> asked;
    std::vector<Completion> pending;
};

class CountingHost : public IChartViewHost
{
public:
    void RequestRedraw() override { ++redraws; }
    void ChartOpened() override { ++opened; }
    int redraws = 0;
    int opened = 0;
};

class TestOverlay : public COverlayObject
{
public:
    TestOverlay() : COverlayObject(3, 1) {}
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override
    {
        double x = 0, y = 0;
        chart.LatLonToPixel(54.5, 10.5, x, y);
        record.mapPoints = {CPolyPoint{x, y}};
        record.ComputeBounds();
        ++updates;
    }
    void Draw(QPainter&, const CViewTransform&, ScreenPoints&) override {}
    bool IsVisible() const override { return visible; }
    bool visible = true;
    int updates = 0;
};

class ChartViewSwitching : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("viewswitch");
        world = root + "/charts/world.rlt";
        region = root + "/charts/region.rlt";
        harbour = root + "/charts/harbour.rlt";
        WriteChart(world, "World", -180, -80, 180, 80);
        WriteChart(region, "Region", 8, 53, 13, 56);
        WriteChart(harbour, "Harbour", 10.4, 54.4, 10.6, 54.6);
        savedShow = CSelectMapTypes::Get().show;
        CSelectMapTypes::Get().show = CSelectMapTypes::DefaultTypes();
        InitList();
        ports.opener = &opener;
        ports.catalog = &catalog;
        ports.mapStore = &store;
        ports.host = &host;
    }
    void TearDown() override
    {
        CSelectMapTypes::Get().show = savedShow;
        fs::remove_all(root);
    }
    void InitList()
    {
        CChartFolders folders;
        folders.standard = {root + "/charts"};
        folders.documents = root + "/charts";
        folders.mapStore = root + "/charts/MVT";
        folders.mapFoldersFile = root + "/map_folders.txt";
        list.Init(folders);
    }
    std::unique_ptr<CRasterleafView> MakeView()
    {
        auto view = std::make_unique<CRasterleafView>(ports);
        view->SetViewRect(0, 0, 400, 300);
        view->SetClockForTesting([this] { return now; });
        return view;
    }
    double ChartScaleAtCentre(CRasterleafView& view)
    {
        const CPolynomialProjection* geo = view.GetGeoreference();
        double cx = 0, cy = 0;
        view.Transform().ViewToChart(view.ScreenCentreX(), view.ScreenCentreY(), cx, cy);
        return geo->ScaleAt(cx, cy);
    }

    std::string root, world, region, harbour;
    std::set<std::string> savedShow;
    CChartList list;
    CChartListCatalog catalog{list};
    ScriptedOpener opener;
    ScriptedMapStore store;
    CountingHost host;
    CRasterleafView::Ports ports;
    double now = 1000;
};

} // namespace

TEST_F(ChartViewSwitching, BestChartOpensAndZoomingPastTheRangeChangesScale)
{
    auto view = MakeView();
    ASSERT_TRUE(view->GoToPosition(54.5, 10.5, 0));
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);
    EXPECT_FALSE(view->IsNoChartState());
    EXPECT_EQ(list.GetCurrentOutline()->path, harbour);
    EXPECT_EQ(host.opened, 1);
    double lat = 0, lon = 0;
    ASSERT_TRUE(view->GetCentreLatLon(lat, lon));
    EXPECT_NEAR(lat, 54.5, 0.002);
    EXPECT_NEAR(lon, 10.5, 0.002);

    // Zooming out stays on the chart up to one level below the maximum, then
    // the next less detailed chart opens at the same place.
    view->ZoomAboutCentre(1);
    view->ZoomAboutCentre(1);
    EXPECT_EQ(view->Transform().zoom, 2);
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);
    view->ZoomAboutCentre(1);
    EXPECT_EQ(view->GetCurrentChartPath(), region);
    ASSERT_TRUE(view->GetCentreLatLon(lat, lon));
    EXPECT_NEAR(lat, 54.5, 0.05);
    EXPECT_NEAR(lon, 10.5, 0.05);

    // Zooming in stays on the chart down to full resolution; below it the
    // more detailed chart opens.
    for (int steps = 0; steps < 6 && view->GetCurrentChartPath() == region; ++steps) {
        const int before = view->Transform().zoom;
        view->ZoomAboutCentre(-1);
        if (view->GetCurrentChartPath() == region)
            EXPECT_EQ(view->Transform().zoom, before - 1);
        else
            EXPECT_LT(before, 0);
    }
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);

    // The chart already open is not opened again.
    const int opens = opener.opens;
    view->SwitchChart(harbour, true);
    EXPECT_EQ(opener.opens, opens);
}

TEST_F(ChartViewSwitching, FailedOpenFallsBackAndOverlappingSwitchesKeepTheLatest)
{
    auto view = MakeView();
    view->GoToPosition(54.5, 10.5, 0);
    ASSERT_EQ(view->GetCurrentChartPath(), harbour);

    opener.failing.insert(region);
    view->SwitchChart(region, true);
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);
    EXPECT_FALSE(view->IsNoChartState());

    // With the previous chart gone too, the view ends without a chart and
    // without calling into one.
    opener.failing.insert(harbour);
    fs::remove(harbour);
    view->SwitchChart(region, true);
    EXPECT_FALSE(view->HasChart());
    EXPECT_EQ(view->GetGeoreference(), nullptr);
    double lat = 0, lon = 0, x = 0, y = 0;
    EXPECT_FALSE(view->ScreenToLatLon(10, 10, lat, lon));
    EXPECT_FALSE(view->LatLonToScreen(54.5, 10.5, x, y));
    EXPECT_EQ(view->GetCentreScale(), 0.0);
    view->ZoomAboutCentre(1);
    view->PanBy(10, 10);
    view->OnTimer();

    // Two switches under way: only the later one counts, in either order of completion.
    opener.failing.clear();
    opener.deferred = true;
    view->SwitchChart(world, false);
    view->SwitchChart(region, false);
    EXPECT_TRUE(view->IsNoChartState());
    EXPECT_FALSE(view->HasChart());
    opener.Complete(1);
    opener.Complete(0);
    EXPECT_EQ(view->GetCurrentChartPath(), region);
    view->SwitchChart(world, false);
    view->SwitchChart(region, false);
    opener.Complete(2);
    EXPECT_FALSE(view->HasChart());
    opener.Complete(3);
    EXPECT_EQ(view->GetCurrentChartPath(), region);
    EXPECT_EQ(list.GetCurrentOutline()->path, region);
}

TEST_F(ChartViewSwitching, StoredScaleChoosesTheZoomOnANewChart)
{
    // Only the harbour chart there, whatever scale is asked for.
    fs::remove(region);
    InitList();
    auto view = MakeView();
    view->GoToPosition(54.5, 10.5, 0);
    const double chartScale = ChartScaleAtCentre(*view);
    struct Case
    {
        double factor;
        bool chunked;
        int zoom;
    } cases[] = {{1.0 / 3, false, -1}, {1.0 / 5, false, -2}, {10, false, 3}, {10, true, 2}, {1.0, false, 0}};
    for (const Case& c : cases) {
        opener.chunked.clear();
        if (c.chunked)
            opener.chunked.insert(harbour);
        view->SwitchChart(world, false);
        ASSERT_TRUE(view->GoToPosition(54.5, 10.5, chartScale * c.factor));
        ASSERT_EQ(view->GetCurrentChartPath(), harbour);
        EXPECT_EQ(view->Transform().zoom, c.zoom) << c.factor << (c.chunked ? " chunked" : "");
        EXPECT_EQ(view->MaxZoomOut(), c.chunked ? 2 : 3);
    }
    // Going to another place on the open chart moves the view there.
    ASSERT_TRUE(view->GoToPosition(54.45, 10.45, 0));
    double lat = 0, lon = 0;
    view->GetCentreLatLon(lat, lon);
    EXPECT_NEAR(lat, 54.45, 0.01);
    EXPECT_NEAR(lon, 10.45, 0.01);
}

TEST_F(ChartViewSwitching, PositionsThatAreNoPlacesAreRefused)
{
    auto view = MakeView();
    view->GoToPosition(54.5, 10.5, 0);
    const double lat0 = view->StoredLat();
    EXPECT_FALSE(view->GoToPosition(0, 0, 0));
    EXPECT_FALSE(view->GoToPosition(91, 10, 0));
    EXPECT_FALSE(view->GoToPosition(10, 401, 0));
    EXPECT_FALSE(view->GoToPosition(kNaN, 10, 0));
    EXPECT_FALSE(view->GoToPosition(10, kNaN, 0));
    EXPECT_FALSE(view->GoToPosition(10, 10, kNaN));
    EXPECT_FALSE(view->CentreOn(kNaN, 10, true));
    EXPECT_EQ(view->StoredLat(), lat0);
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);

    // A fix that is no number changes nothing.
    CDataGPSPosition fix;
    fix.m_latitude = kNaN;
    fix.m_longitude = 10;
    view->SetGPSLock(true);
    FireEvent(fix);
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);
    EXPECT_TRUE(view->GetGPSLock());
}

TEST_F(ChartViewSwitching, OwnFixOpensTheChartThereOrAtTheDefaultPosition)
{
    // Only a chart around the default position.
    fs::remove(world);
    fs::remove(region);
    fs::remove(harbour);
    const std::string mid = root + "/charts/mid.rlt";
    WriteChart(mid, "Mid", -40, 35, -25, 50);
    InitList();
    auto view = MakeView();
    view->SetGPSLock(true);
    CDataGPSPosition fix;
    fix.SetPosition(10, 10);
    FireEvent(fix);
    EXPECT_EQ(view->GetCurrentChartPath(), mid);
    EXPECT_DOUBLE_EQ(view->StoredLat(), 43.04144);
    EXPECT_DOUBLE_EQ(view->StoredLon(), -31.7395);
    EXPECT_DOUBLE_EQ(view->StoredScale(), 0.18274);
    EXPECT_FALSE(view->GetGPSLock());
    EXPECT_TRUE(store.asked.empty());

    // Under GPS lock a fix on the chart is held at the lock point.
    view->SetGPSLock(true);
    fix.SetPosition(40, -30);
    FireEvent(fix);
    double x = 0, y = 0;
    ASSERT_TRUE(view->LatLonToScreen(40, -30, x, y));
    EXPECT_NEAR(x, view->LockPointX(), 1.0);
    EXPECT_NEAR(y, view->LockPointY(), 1.0);
    EXPECT_TRUE(view->GetGPSLock());

    // Leaving the chart under GPS lock with no chart anywhere: the map store is asked.
    fix.SetPosition(10, 10);
    FireEvent(fix);
    EXPECT_EQ(store.asked.size(), 1u);
}

TEST_F(ChartViewSwitching, MapStoreIsAskedOncePerPlaceAndPeriod)
{
    fs::remove(world);
    InitList();
    auto view = MakeView();
    CDataGPSPosition fix;
    for (int i = 0; i < 5; ++i) {
        fix.SetPosition(-20.01 - i * 0.001, 100.01);
        FireEvent(fix);
    }
    ASSERT_EQ(store.asked.size(), 1u);
    EXPECT_TRUE(view->IsNoChartState());
    // Offline: the look-up fails. The same place is not asked again for ten minutes.
    store.pending[0](-1, "", "");
    for (int i = 0; i < 5; ++i) {
        now += 60;
        FireEvent(fix);
    }
    EXPECT_EQ(store.asked.size(), 1u);
    now += 400;
    FireEvent(fix);
    EXPECT_EQ(store.asked.size(), 2u);
    // A downloaded chart opens when it arrives.
    WriteChart(root + "/charts/MVT/far.rlt", "Far", 99, -21, 101, -19);
    store.pending[1](0, "Far", root + "/charts/MVT/far.rlt");
    EXPECT_EQ(view->GetCurrentChartPath(), root + "/charts/MVT/far.rlt");
    EXPECT_FALSE(view->IsNoChartState());
}

TEST_F(ChartViewSwitching, AMetricGridMapOfferSwitchesTheUnits)
{
    fs::remove(world);
    InitList();
    CDefaultUnits& units = CDefaultUnits::Get();
    const CUnits saved = units;
    units.SetUnitSystem(CUnits::kNautical);
    auto view = MakeView();
    ASSERT_TRUE(view->GoToPosition(52.0, -1.0, 0));
    ASSERT_EQ(store.asked.size(), 1u);
    store.pending[0](-1, "UK miniscale", "");
    EXPECT_EQ(units.m_distanceUnit, uint32_t(CUnits::kKilometres));
    EXPECT_EQ(units.PositionFormat().Name(), "British National Grid");
    static_cast<CUnits&>(units) = saved;
}

TEST_F(ChartViewSwitching, CentreOnWithoutAListedOutlineUsesTheChartImage)
{
    auto view = MakeView();
    view->GoToPosition(54.5, 10.5, 0);
    list.SetCurrentOutline(nullptr);
    ASSERT_TRUE(view->CentreOn(54.45, 10.55, true));
    double lat = 0, lon = 0;
    view->GetCentreLatLon(lat, lon);
    EXPECT_NEAR(lat, 54.45, 0.002);
    EXPECT_NEAR(lon, 10.55, 0.002);
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);
    // Off the chart image: another chart is looked for there.
    ASSERT_TRUE(view->CentreOn(54.0, 9.0, true));
    EXPECT_EQ(view->GetCurrentChartPath(), region);
}

TEST_F(ChartViewSwitching, DisplayedOverlaysFollowTheirObjects)
{
    auto view = MakeView();
    view->GoToPosition(54.5, 10.5, 0);
    {
        TestOverlay overlay;
        overlay.SetState(COverlayObject::kChanged);
        ASSERT_TRUE(view->DisplayedOverlays().Contains(&overlay));
        EXPECT_EQ(overlay.updates, 1);
        // A new chart rebuilds every displayed overlay's points.
        view->SwitchChart(region, true);
        EXPECT_EQ(overlay.updates, 2);
        const int redraws = host.redraws;
        overlay.SetState(COverlayObject::kUpdated);
        EXPECT_GT(host.redraws, redraws);
        overlay.visible = false;
        overlay.SetState(COverlayObject::kChanged);
        EXPECT_FALSE(view->DisplayedOverlays().Contains(&overlay));
        overlay.visible = true;
        overlay.SetState(COverlayObject::kChanged);
        EXPECT_TRUE(view->DisplayedOverlays().Contains(&overlay));
    }
    // Destroyed: dropped before anything draws it again.
    EXPECT_EQ(view->DisplayedOverlays().Size(), 0u);
}

TEST_F(ChartViewSwitching, StateChunkRestoresChartCentreAndLock)
{
    std::string saved;
    double lat = 0, lon = 0;
    int zoom = 0;
    {
        auto view = MakeView();
        view->GoToPosition(54.5, 10.5, 0);
        view->ZoomAboutCentre(1);
        view->PanBy(37, -21);
        view->SetGPSLock(true);
        view->GetCentreLatLon(lat, lon);
        zoom = view->Transform().zoom;
        ASSERT_TRUE(view->SaveToBuffer(saved, root + "/"));
    }
    {
        auto view = MakeView();
        ASSERT_TRUE(view->LoadFromBuffer(saved.data(), saved.size(), root + "/"));
        EXPECT_EQ(view->GetCurrentChartPath(), harbour);
        EXPECT_EQ(view->Transform().zoom, zoom);
        EXPECT_TRUE(view->GetGPSLock());
        double lat2 = 0, lon2 = 0;
        view->GetCentreLatLon(lat2, lon2);
        EXPECT_NEAR(lat2, lat, 1e-3);
        EXPECT_NEAR(lon2, lon, 1e-3);
    }
    // The saved chart is gone: the best chart at the saved centre opens.
    fs::remove(harbour);
    InitList();
    {
        auto view = MakeView();
        ASSERT_TRUE(view->LoadFromBuffer(saved.data(), saved.size(), root + "/"));
        EXPECT_EQ(view->GetCurrentChartPath(), region);
    }
}

TEST_F(ChartViewSwitching, SavedStateThatIsNoPlaceKeepsTheDefaults)
{
    // A state chunk written by hand with a centre that is no number and a
    // chart path that names a folder.
    struct Forged : CSerializable
    {
        bool Serialize(CSerialStream& stream) override
        {
            CSerialChunk chunk(stream);
            chunk.CheckVersion(CRasterleafView::kStateVersion);
            std::string path = folder;
            double lat = kNaN, lon = std::numeric_limits<double>::infinity(), scale = kNaN, x = kNaN, y = 3;
            bool lock = false;
            std::string place;
            chunk.ExchangeString(path);
            chunk.Exchange(lat);
            chunk.Exchange(lon);
            chunk.Exchange(scale);
            chunk.ExchangeBool(lock);
            chunk.Exchange(x);
            chunk.Exchange(y);
            chunk.ExchangeString(place);
            return chunk.Close();
        }
        std::string folder;
    } forged;
    forged.folder = root + "/charts";
    std::string bytes;
    ASSERT_TRUE(forged.SaveToBuffer(bytes));
    auto view = MakeView();
    const double lockX = view->LockPointX();
    ASSERT_TRUE(view->LoadFromBuffer(bytes.data(), bytes.size()));
    EXPECT_EQ(view->StoredLat(), CRasterleafView::kNoCentre);
    EXPECT_EQ(view->StoredScale(), 0.0);
    EXPECT_EQ(view->LockPointX(), lockX);
    EXPECT_FALSE(view->HasChart());
    EXPECT_EQ(opener.opens, 0);
}
