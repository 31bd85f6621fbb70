// The overlay list window over the real list delegates: its category rows,
// rows that outlive their objects, the once-a-second rebuild, and what double
// and right clicks open.
// TESSA_XVFB_LABEL
#include "ais/AISTargetManager.h"
#include "app/dialogs/edit_route.h"
#include "app/lists/overlay_list.h"
#include "app/shell/AppOverlayUi.h"
#include "app/window/overlay_window.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/events/Heartbeat.h"
#include "geodesy/LocalPlane.h"
#include "geodesy/Units.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "support/FixedClock.h"
#include "support/InstalledPort.h"
#include "support/MenuPopupDouble.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QPushButton>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class OverlayList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TearDown();
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName("Alpha");
        mark->SetPosition(50, -4);
        m_mark = CMarkManager::Get().AddMark(std::move(mark));
        auto route = std::make_unique<COverlayRoute>();
        route->SetName("R1");
        for (double lat : {50.0, 50.1}) {
            auto point = std::make_unique<COverlayMark>();
            point->SetPosition(lat, -4);
            route->AddPoint(std::move(point));
        }
        m_route = CMarkManager::Get().AddRoute(std::move(route));
        auto track = std::make_unique<COverlayTrack>();
        track->SetName("T1");
        CTrackManager::Get().AddTrack(std::move(track));
    }
    void TearDown() override
    {
        CAISTargetManager::Global().Clear();
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // One second of heartbeats: every once-a-second check runs once.
    static void OneSecond()
    {
        for (int i = 0; i < CHeartbeat::kTicksPerSecond; ++i)
            CHeartbeat::Tick();
    }
    static std::vector<std::string> TopRows(const overlay_list& list)
    {
        std::vector<std::string> rows;
        for (int i = 0; i < list.model()->rowCount(); ++i)
            rows.push_back(list.model()->index(i, 0).data().toString().toStdString());
        return rows;
    }
    static QModelIndex Row(const overlay_list& list, int category, int row, int column = 0)
    {
        return list.model()->index(row, column, list.model()->index(category, 0));
    }
    static std::string Text(const QModelIndex& index) { return index.data().toString().toStdString(); }
    void AddTarget(uint32_t mmsi)
    {
        CNEMA_AIS::VDM s(&CNEMA_AIS::VDM::Type);
        s.m_messageType = 1;
        s.m_mmsi = mmsi;
        s.m_latitude = 50.01;
        s.m_longitude = -4.01;
        s.m_heading = CNEMA_AIS::kNoHeading;
        CAISTargetManager::Global().HandleVDM(s, clock.Now());
    }

    tessatest::CFixedClock clock;
    tessatest::CScriptedPresenter presenter;
    CAppOverlayUi overlayUi;
    tessatest::CInstalledPort<IOverlayUi> port{overlayUi};
    QWidget host;
    COverlayMark* m_mark = nullptr;
    COverlayRoute* m_route = nullptr;
};

TEST_F(OverlayList, AisCategoryFollowsTheTargetTableAndGoneRowsDrawNothing)
{
    host.resize(400, 500);
    auto* list = new overlay_list(&host);
    list->setGeometry(host.rect());
    host.show();
    list->outline()->expandAll();
    using Rows = std::vector<std::string>;
    EXPECT_EQ(TopRows(*list), (Rows{"Marks", "Routes", "Tracks"}));
    EXPECT_EQ(Text(Row(*list, 0, 0)), "Alpha");

    struct Step
    {
        const char* what;
        std::function<void()> act;
        Rows before; // until the next check
        Rows after;
    };
    const std::vector<Step> steps = {
        {"the first target arrives",
         [&] { AddTarget(235000001); },
         {"Marks", "Routes", "Tracks"},
         {"Marks", "Routes", "Tracks", "AIS"}},
        {"the target ages out",
         [&] { CAISTargetManager::Global().Age(clock.Now() + 3600); },
         {"Marks", "Routes", "Tracks", "AIS"},
         {"Marks", "Routes", "Tracks"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(TopRows(*list), step.before);
        list->outline()->expandAll();
        list->grab(); // draws every row, the gone target's too
        OneSecond();
        EXPECT_EQ(TopRows(*list), step.after);
        // A detail cut at the column's edge shows whole under the mouse.
        if (step.after.size() == 4)
            EXPECT_EQ(Row(*list, 3, 0, 1).data(Qt::ToolTipRole), Row(*list, 3, 0, 1).data());
        list->grab();
    }

    // What the window shows, for the eye (build/.../tmp).
    list->grab().save(
        QString::fromStdString(tessatest::MakeScratchDir("overlay_list_shot") + "/overlay_list.png"));

    // A renamed route keeps the name first shown until the rebuild; its
    // detail is fresh.
    ASSERT_EQ(Text(Row(*list, 1, 0)), "R1");
    const std::string detail = Text(Row(*list, 1, 0, 1));
    m_route->SetName("Renamed");
    auto point = std::make_unique<COverlayMark>();
    point->SetPosition(50.2, -4);
    m_route->AddPoint(std::move(point));
    EXPECT_EQ(Text(Row(*list, 1, 0)), "R1");
    EXPECT_NE(Text(Row(*list, 1, 0, 1)), detail);
    list->reloadData();
    EXPECT_EQ(Text(Row(*list, 1, 0)), "Renamed");

    // Marks freed before the next rebuild: their rows draw nothing.
    CMarkManager::Get().ClearForTesting();
    list->outline()->expandAll();
    list->grab();
    EXPECT_EQ(Text(Row(*list, 0, 0)), "");
    EXPECT_EQ(Text(Row(*list, 0, 0, 1)), "");
    list->destroyDialog(0);
}

TEST_F(OverlayList, ClicksOpenTheirDialogsAndMenusAndReloadAfterThem)
{
    std::vector<std::unique_ptr<CMenuTree>> menus;
    tessatest::CMenuPopupDouble popup(
        [&](std::unique_ptr<CMenuTree> tree, QWidget*, const QPoint*) { menus.push_back(std::move(tree)); });
    auto* list = new overlay_list(&host);
    list->outline()->expandAll();

    // No row selected: a double click does nothing.
    list->onDoubleClick();
    EXPECT_EQ(list->child_dialog(), nullptr);

    // The route's row opens its dialog over the list; the list reloads when it ends.
    list->outline()->setCurrentIndex(Row(*list, 1, 0));
    const int reloads = list->ReloadCount();
    list->onDoubleClick();
    auto* dialog = qobject_cast<edit_route*>(list->child_dialog());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->Object(), m_route);
    EXPECT_EQ(list->ReloadCount(), reloads);
    dialog->findChild<QPushButton*>("cancel")->click();
    EXPECT_EQ(list->ReloadCount(), reloads + 1);
    // The rebuild keeps the open categories and the selected row.
    EXPECT_TRUE(list->outline()->isExpanded(list->model()->index(1, 0)));
    const OverlayNode* selected = list->model()->nodeAt(list->outline()->currentIndex());
    ASSERT_TRUE(selected && selected->key());
    EXPECT_EQ(selected->key()->value, m_route->GetSerial());

    // Right clicks: the category's menu and the object's menu.
    list->onRightClick(list->model()->index(0, 0));
    list->onRightClick(Row(*list, 0, 0));
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_NE(menus[0]->Root().FindChild("Export all marks"), nullptr);
    EXPECT_NE(menus[1]->Root().FindChild("Edit"), nullptr);

    // Closed: the timer is gone and nothing reloads any more.
    list->destroyDialog(0);
    EXPECT_FALSE(list->HasTimer());
    const int closedAt = list->ReloadCount();
    CMarkManager::Get().ClearForTesting();
    CHeartbeat::Tick();
    OneSecond();
    EXPECT_EQ(list->ReloadCount(), closedAt);
}

TEST_F(OverlayList, DistanceSortsFromTheOwnShipElseTheViewCentreAndImportedTracksShow)
{
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName("Bravo");
    mark->SetPosition(51, -4);
    CMarkManager::Get().AddMark(std::move(mark));
    CMarkManager::Settings().sort = COverlayListDelegate::kByDistance;
    CRasterleafView::Ports ports;
    CRasterleafView view(ports);
    COverlayGPSPosition& own = COverlayGPSPosition::Global();
    auto* list = new overlay_list(&host);
    // (own fix at, 0: none; the view's centre at; the nearer mark)
    const std::tuple<double, double, const char*> cases[] = {{0, 51.1, "Bravo"}, {49.9, 51.1, "Alpha"}};
    for (const auto& [fix, centre, first] : cases) {
        own.SetPosition(fix, -4);
        own.m_fixStatus = fix != 0 ? CDataGPSPosition::kGPSFix : CDataGPSPosition::kNoFix;
        own.SetCount(COverlayGPSPosition::kFixLostTicks); // as a fix does: not lost within the second
        view.GoToPosition(centre, -4, CRasterleafView::kDefaultScale);
        OneSecond();
        EXPECT_EQ(Text(Row(*list, 0, 0)), first) << fix;
    }
    // Its distance from the reference.
    std::string distance;
    CDefaultUnits::Get().FormatDistance(float(CLocalPlane(49.9, -4).DistanceTo(50, -4)), distance);
    EXPECT_NE(Text(Row(*list, 0, 0, 1)).find(" " + distance + " "), std::string::npos);

    // A file of tracks only, as the import adds them.
    auto track = std::make_unique<COverlayTrack>();
    track->AddPoint(CTrackPoint{50, -4, 0, 0, 0}, false);
    CTrackManager::Get().AddTrack(std::move(track))->NotifySections(COverlayObject::kChanged);
    OneSecond();
    EXPECT_EQ(list->model()->rowCount(list->model()->index(2, 0)), 2);
    CMarkManager::Settings().sort = COverlayListDelegate::kByName;
    list->destroyDialog(0);
}

TEST_F(OverlayList, TheWindowMakesAFreshListEachTimeItOpens)
{
    COverlayListContent content;
    tessatest::CInstalledPort<IOverlayWindowContent> contentPort(content);
    QWidget main;
    QPointer<UIViewControllerWithDialog> first = overlay_window::Open(&main)->list();
    ASSERT_TRUE(first);
    EXPECT_EQ(overlay_window::Open(&main)->list(), first.data());
    overlay_window::Release();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    overlay_window* again = overlay_window::Open(&main);
    ASSERT_NE(again, nullptr);
    auto* list = qobject_cast<overlay_list*>(again->list());
    ASSERT_NE(list, nullptr);

    // A dialog open over the list ends with the window, uncounted.
    const int32_t open = GetOpenDialogCount();
    overlayUi.show_edit_route(list, m_route);
    QPointer<UIViewControllerWithDialog> dialog = list->child_dialog();
    ASSERT_TRUE(dialog);
    overlay_window::Release();
    EXPECT_TRUE(!dialog || dialog->isDialogEnded());
    EXPECT_EQ(GetOpenDialogCount(), open);
}

} // namespace
