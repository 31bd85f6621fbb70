// The edit dialogs of marks, routes and tracks driven through their widgets
// (found by their outlet names): what Done stores and what it leaves alone,
// refusals, deletion elsewhere while a dialog is open, Delete, View, Share,
// and the created and modified labels.
// TESSA_XVFB_LABEL
#include "app/dialogs/edit_mark.h"
#include "app/dialogs/edit_route.h"
#include "app/dialogs/edit_track.h"
#include "foundation/dialogs/DialogCallback.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/LineStyle.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayModelPorts.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "support/FixedClock.h"
#include "support/ScriptedPresenter.h"
#include "support/TestChartView.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

namespace {

// Saving is not what these tests are about.
class CNoSave : public ISaveAllPort
{
public:
    bool SaveAllData() override { return true; }
};

class EditDialogs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        TearDown();
        InstallPort<ISaveAllPort>(&saver);
    }
    void TearDown() override
    {
        InstallPort<ISaveAllPort>(nullptr);
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        CMarkManager::Persistant& settings = CMarkManager::Settings();
        settings.defaultMarkIcon = "Flag";
        settings.defaultWpIcon = "Dot";
        settings.defaultMarkColor = GraphicsColor(1, 0, 0, 1);
        settings.defaultWpColor = GraphicsColor(0, 0, 1, 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    COverlayMark* AddMark(const std::string& name, double lat, double lon)
    {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(name);
        mark->SetPosition(lat, lon);
        return CMarkManager::Get().AddMark(std::move(mark));
    }
    COverlayRoute* AddRoute(const std::string& name, int points)
    {
        auto route = std::make_unique<COverlayRoute>();
        route->SetName(name);
        for (int i = 0; i < points; ++i) {
            auto point = std::make_unique<COverlayMark>();
            point->SetName("P" + std::to_string(i + 1));
            point->SetPosition(50 + 0.01 * i, -4);
            route->AddPoint(std::move(point));
        }
        return CMarkManager::Get().AddRoute(std::move(route));
    }
    COverlayTrack* AddTrack(const std::string& name, int points)
    {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName(name);
        for (int i = 0; i < points; ++i) {
            CTrackPoint point{};
            point.latitude = 30 + 0.01 * i;
            point.longitude = 10;
            point.time = clock.Now() + 60 * i;
            track->AddPoint(point, false);
        }
        return CTrackManager::Get().AddTrack(std::move(track));
    }
    template <class W> static W* Outlet(QWidget* dialog, const char* name)
    {
        W* widget = dialog->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static void Click(QWidget* dialog, const char* name) { Outlet<QPushButton>(dialog, name)->click(); }
    // Picks `colour` in the colour panel the well opens, as a user would.
    static void PickColour(QWidget* dialog, const QColor& colour)
    {
        ColorWell* well = Outlet<ColorWell>(dialog, "color");
        well->click();
        ASSERT_NE(well->panel(), nullptr);
        well->panel()->setCurrentColor(colour);
        well->panel()->accept();
    }

    tessatest::CFixedClock clock{1700000000.0 - 86400};
    tessatest::CScriptedPresenter presenter;
    CNoSave saver;
};

TEST_F(EditDialogs, MarkDoneStoresWhatWasEditedAndNothingElse)
{
    struct Case
    {
        const char* what;
        std::function<void(COverlayMark&)> prepare;
        std::function<void(QWidget*)> edit;
        std::function<void(const COverlayMark&)> check;
        bool modified;
    };
    const std::vector<Case> cases = {
        {"anchor alone gets an outer ring 2000 m beyond", [](COverlayMark&) {},
         [](QWidget* d) {
             Outlet<QCheckBox>(d, "alarm")->setChecked(true);
             Outlet<QLineEdit>(d, "anchor")->setText("50");
             Outlet<QLineEdit>(d, "proximity")->setText("0");
         },
         [](const COverlayMark& m) {
             EXPECT_EQ(m.GetInnerRadius(), 50.0f);
             EXPECT_EQ(m.GetOuterRadius(), 2050.0f);
         },
         true},
        {"alarm off stores both radii as 0", [](COverlayMark& m) { m.SetRadii(30, 100); },
         [](QWidget* d) { Outlet<QCheckBox>(d, "alarm")->setChecked(false); },
         [](const COverlayMark& m) {
             EXPECT_EQ(m.GetInnerRadius(), 0.0f);
             EXPECT_EQ(m.GetOuterRadius(), 0.0f);
         },
         true},
        {"done without edits keeps the position's bits",
         [](COverlayMark& m) { m.SetPosition(50.123456789123, -4.987654321987); }, [](QWidget*) {},
         [](const COverlayMark& m) {
             EXPECT_EQ(m.GetLatitude(), 50.123456789123);
             EXPECT_EQ(m.GetLongitude(), -4.987654321987);
         },
         false},
        {"a typed position moves the mark", [](COverlayMark&) {},
         [](QWidget* d) { Outlet<QLineEdit>(d, "position")->setText("51 30.000N 001 15.000W"); },
         [](const COverlayMark& m) {
             EXPECT_NEAR(m.GetLatitude(), 51.5, 1e-9);
             EXPECT_NEAR(m.GetLongitude(), -1.25, 1e-9);
         },
         true},
        {"an unknown symbol survives",
         [](COverlayMark& m) { m.SetIconAndColour("Lighthouse", m.GetColour()); },
         [](QWidget* d) { EXPECT_EQ(Outlet<QComboBox>(d, "symbol_popup")->currentText(), "Lighthouse"); },
         [](const COverlayMark& m) { EXPECT_EQ(m.GetIcon(), "Lighthouse"); }, false},
        {"a picked symbol and colour", [](COverlayMark&) {},
         [](QWidget* d) {
             Outlet<QComboBox>(d, "symbol_popup")->setCurrentText("Anchor");
             PickColour(d, QColor(0, 255, 0));
         },
         [](const COverlayMark& m) {
             EXPECT_EQ(m.GetIcon(), "Anchor");
             EXPECT_EQ(m.GetColour(), GraphicsColor(0, 1, 0, 1));
         },
         true},
        {"the name, comment and flags", [](COverlayMark&) {},
         [](QWidget* d) {
             Outlet<QLineEdit>(d, "edit_name")->setText("Harbour");
             Outlet<QPlainTextEdit>(d, "edit_comment")->setPlainText("line 1\nline 2");
             Outlet<QCheckBox>(d, "check_syncable")->setChecked(false);
         },
         [](const COverlayMark& m) {
             EXPECT_EQ(m.GetName(), "Harbour");
             EXPECT_EQ(m.GetDescription(), "line 1\nline 2");
             EXPECT_TRUE(m.IsDoNotSync());
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        COverlayMark* mark = AddMark("M", 50, -4);
        c.prepare(*mark);
        const double modified = mark->GetModified();
        clock.Advance(60);
        auto* dialog = new edit_mark(*mark);
        c.edit(dialog);
        Click(dialog, "done");
        EXPECT_TRUE(dialog->isDialogEnded());
        c.check(*mark);
        EXPECT_EQ(mark->GetModified() != modified, c.modified);
    }
}

TEST_F(EditDialogs, UnreadableEntriesAreRefusedAndTheDialogStaysOpen)
{
    presenter.SetImmediate(true);
    for (const char* anchor : {"abc", "-5", "nan", "inf", "1e400"}) {
        SCOPED_TRACE(anchor);
        COverlayMark* mark = AddMark("M", 50, -4);
        mark->SetRadii(10, 100);
        auto* dialog = new edit_mark(*mark);
        Outlet<QLineEdit>(dialog, "anchor")->setText(anchor);
        Outlet<QLineEdit>(dialog, "edit_name")->setText("Changed");
        const size_t boxes = presenter.Shown().size();
        Click(dialog, "done");
        EXPECT_FALSE(dialog->isDialogEnded());
        EXPECT_EQ(presenter.Shown().size(), boxes + 1);
        EXPECT_EQ(mark->GetInnerRadius(), 10.0f);
        EXPECT_EQ(mark->GetName(), "M");
        Click(dialog, "cancel");
    }
    COverlayMark* mark = AddMark("M", 50, -4);
    auto* dialog = new edit_mark(*mark);
    Outlet<QLineEdit>(dialog, "position")->setText("somewhere");
    Click(dialog, "done");
    EXPECT_FALSE(dialog->isDialogEnded());
    EXPECT_EQ(mark->GetLatitude(), 50.0);
    Click(dialog, "cancel");
}

TEST_F(EditDialogs, IsDefaultStoresTheDefaultsOfTheMarksKind)
{
    for (const bool routePoint : {false, true}) {
        SCOPED_TRACE(routePoint ? "route point" : "free mark");
        SetUp();
        COverlayMark* mark = routePoint ? AddRoute("R", 2)->Points()[1].get() : AddMark("M", 50, -4);
        auto* dialog = new edit_mark(*mark);
        Outlet<QComboBox>(dialog, "symbol_popup")->setCurrentText("Buoy_can");
        EXPECT_FALSE(Outlet<QCheckBox>(dialog, "is_default")->isChecked());
        PickColour(dialog, QColor(255, 0, 255));
        Outlet<QCheckBox>(dialog, "is_default")->setChecked(true);
        Click(dialog, "done");
        const CMarkManager::Persistant& settings = CMarkManager::Settings();
        EXPECT_EQ(routePoint ? settings.defaultWpIcon : settings.defaultMarkIcon, "Buoy_can");
        EXPECT_EQ(routePoint ? settings.defaultMarkIcon : settings.defaultWpIcon,
                  routePoint ? "Flag" : "Dot");
        EXPECT_EQ(routePoint ? settings.defaultWpColor : settings.defaultMarkColor,
                  GraphicsColor(1, 0, 1, 1));
    }
}

TEST_F(EditDialogs, RouteAndTrackAppearance)
{
    struct Case
    {
        const char* what;
        float width;                        // stored before
        std::function<void(QWidget*)> edit; // on the pane's outlets
        GraphicsColor colour;               // stored after (black: as before)
        float widthAfter;
        int widthItemShown;
    };
    const GraphicsColor black(0, 0, 0, 1);
    const std::vector<Case> cases = {
        {"transparency alone changes nothing", 2.0f,
         [](QWidget* d) { Outlet<QComboBox>(d, "transparency")->setCurrentIndex(2); }, black, 2.0f, 1},
        {"a colour pick applies the transparency too", 2.0f,
         [](QWidget* d) {
             Outlet<QComboBox>(d, "transparency")->setCurrentIndex(2);
             PickColour(d, QColor(255, 0, 0));
         },
         GraphicsColor(1, 0, 0, 0.5), 2.0f, 1},
        {"width item 3 stores 10", 2.0f,
         [](QWidget* d) { Outlet<QComboBox>(d, "width")->setCurrentIndex(3); }, black, 10.0f, 1},
        {"a width of 2.9 shows item 1 and stays", 2.9f, [](QWidget*) {}, black, 2.9f, 1},
        {"a width of 7 shows item 3", 7.0f, [](QWidget*) {}, black, 7.0f, 3},
    };
    for (const bool track : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(track ? "track: " : "route: ") + c.what);
            CSyncable* object = nullptr;
            CLineStyle* line = nullptr;
            edit_syncable* dialog = nullptr;
            if (track) {
                COverlayTrack* t = AddTrack("T", 3);
                line = &t->GetLineStyle();
                line->width = c.width;
                object = t;
                dialog = new edit_track(*t);
            } else {
                COverlayRoute* r = AddRoute("R", 2);
                line = &r->GetLineStyle();
                line->width = c.width;
                object = r;
                dialog = new edit_route(*r);
            }
            EXPECT_EQ(Outlet<QComboBox>(dialog, "width")->currentIndex(), c.widthItemShown);
            const GraphicsColor before = line->colour;
            const double modified = object->GetModified();
            clock.Advance(60);
            c.edit(dialog);
            Click(dialog, "done");
            EXPECT_EQ(line->colour, c.colour == black ? before : c.colour);
            EXPECT_EQ(line->width, c.widthAfter);
            EXPECT_EQ(object->GetModified() != modified, !(c.colour == black) || c.widthAfter != c.width);
        }
    }
}

TEST_F(EditDialogs, ObjectsDeletedElsewhereCloseTheirDialogsUnwritten)
{
    struct Case
    {
        const char* what;
        std::function<edit_syncable*()> open;
        std::function<void()> remove;
    };
    COverlayMark* mark = nullptr;
    COverlayRoute* route = nullptr;
    COverlayTrack* track = nullptr;
    const std::vector<Case> cases = {
        {"a mark deleted", [&] { return new edit_mark(*(mark = AddMark("M", 50, -4))); },
         [&] { CMarkManager::Get().DeleteMark(mark); }},
        {"a route point's route deleted",
         [&] { return new edit_mark(*(route = AddRoute("R", 3))->Points()[1]); },
         [&] { CMarkManager::Get().DeleteRoute(route); }},
        {"every mark freed", [&] { return new edit_mark(*AddMark("M", 50, -4)); },
         [] { CMarkManager::Get().ClearForTesting(); }},
        {"a track without points deleted", [&] { return new edit_track(*(track = AddTrack("T", 0))); },
         [&] { CTrackManager::Get().DeleteTrack(track); }},
        {"every track freed", [&] { return new edit_track(*AddTrack("T", 3)); },
         [] { CTrackManager::Get().ClearForTesting(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t ended = 1;
        CCallback storage;
        PushProgressCallback(storage, CCallback([&](int32_t code) { return ended = code; }));
        QPointer<edit_syncable> dialog = c.open();
        RunDialogCallbacksUntil(storage);
        Outlet<QLineEdit>(dialog, "edit_name")->setText("Written");
        c.remove();
        QCoreApplication::processEvents();
        for (int i = 0; i < CHeartbeat::kTicksPerSecond; ++i)
            CHeartbeat::Tick();
        ASSERT_TRUE(dialog);
        EXPECT_TRUE(dialog->isDialogEnded());
        EXPECT_EQ(ended, -1);
        Click(dialog, "done"); // too late: nothing happens
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(EditDialogs, DeleteViewAndShare)
{
    // Delete of a route point takes it out of its route.
    COverlayRoute* route = AddRoute("R", 3);
    COverlayMark* middle = route->Points()[1].get();
    Click(new edit_mark(*middle), "delete_object");
    ASSERT_EQ(route->PointCount(), 2u);
    EXPECT_NE(route->Points()[1]->GetName(), "P2");
    // An edited route point touches its route.
    const double routeModified = route->GetModified();
    clock.Advance(60);
    auto* point = new edit_mark(*route->Points()[0]);
    Outlet<QLineEdit>(point, "edit_name")->setText("Start");
    Click(point, "done");
    EXPECT_GT(route->GetModified(), routeModified);

    // View: the chart moves to a track with points, and stays for one without.
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen() && CRasterleafView::Global() == chart.view.get());
    double lat0 = 0, lon0 = 0, lat = 0, lon = 0;
    chart.view->GetCentreLatLon(lat0, lon0);
    auto* empty = new edit_track(*AddTrack("Empty", 0));
    Click(empty, "view");
    EXPECT_TRUE(empty->isDialogEnded());
    chart.view->GetCentreLatLon(lat, lon);
    EXPECT_EQ(lat, lat0);
    EXPECT_EQ(lon, lon0);
    Click(new edit_track(*AddTrack("Full", 3)), "view");
    chart.view->GetCentreLatLon(lat, lon);
    EXPECT_NEAR(lat, 30.01, 0.01);
    EXPECT_NEAR(lon, 10, 0.01);

    // Share writes the route alone, and it reads back the same.
    AddMark("Elsewhere", 40, 1);
    const std::string path = tessatest::MakeScratchDir("edit_share") + "/r.gpx";
    presenter.ChoosePath(path);
    auto* share = new edit_route(*route);
    Click(share, "share");
    presenter.DeliverAll();
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str().find("Elsewhere"), std::string::npos);
    std::vector<std::pair<double, double>> before;
    route->GetPointsLonLat(before);
    Click(share, "cancel");
    CMarkManager::Get().ClearForTesting();
    ASSERT_TRUE(ImportGPXFile(path));
    ASSERT_EQ(CMarkManager::Get().Routes().size(), 1u);
    const COverlayRoute& back = *CMarkManager::Get().Routes()[0];
    std::vector<std::pair<double, double>> after;
    back.GetPointsLonLat(after);
    EXPECT_EQ(back.GetName(), "R");
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_NEAR(after[i].first, before[i].first, 1e-9);
        EXPECT_NEAR(after[i].second, before[i].second, 1e-9);
    }
}

TEST_F(EditDialogs, DatesAndOneShotOfEachDialog)
{
    // Created yesterday, modified today (UTC).
    COverlayMark* mark = AddMark("M", 50, -4);
    clock.Advance(86400 + 3600);
    mark->Touch();
    auto* dialog = new edit_mark(*mark);
    EXPECT_EQ(Outlet<QLabel>(dialog, "created")->text(), "Yesterday 10:13pm");
    EXPECT_EQ(Outlet<QLabel>(dialog, "modified")->text(), "Today 11:13pm");
    EXPECT_EQ(NEditDialogs::DateText(0), "No date");

    // What each dialog looks like, for the eye (build/.../tmp).
    dialog->showInParent(nullptr);
    const std::string dir = tessatest::MakeScratchDir("edit_dialogs_shots");
    std::vector<std::pair<std::string, edit_syncable*>> shots = {
        {"mark", dialog},
        {"route", new edit_route(*AddRoute("R", 3))},
        {"track", new edit_track(*AddTrack("T", 5))}};
    for (auto& [name, shown] : shots) {
        if (shown != dialog)
            shown->showInParent(nullptr);
        const QImage image = shown->grab().toImage();
        EXPECT_FALSE(image.isNull()) << name;
        image.save(QString::fromStdString(dir + "/edit_" + name + ".png"));
        Click(shown, "cancel");
        EXPECT_TRUE(shown->isDialogEnded()) << name;
    }
}

} // namespace
