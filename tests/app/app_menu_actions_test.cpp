// The application menu offscreen: every item reaches its action with the
// texts and panels it fixes, GPX import and export, the chart-folder
// commands, the page setup in the settings file, and the titles set before a
// menu opens.
// TESSA_XVFB_LABEL
#include "ais/AISTargetManager.h"
#include "app/settings/ais_settings.h"
#include "app/settings/gps_settings.h"
#include "app/settings/preferences.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/SettingsPorts.h"
#include "app/window/ViewController.h"
#include "charts/chartlist/ChartList.h"
#include "chartwriter/ChartWriter.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/print/PageSetup.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/util/Folders.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/TrackManager.h"
#include "packagewriter/JobTestSupport.h"
#include "panels/MainAndFlip.h"
#include "support/InstalledPort.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace tessatest;
namespace fs = std::filesystem;

namespace {

void WriteChart(const std::string& path, const std::string& name, double west, const std::string& edition)
{
    fs::create_directories(fs::path(path).parent_path());
    chartwriter::CChartWriter w(2, 2);
    w.name = name;
    w.mapType = "Topo";
    w.edition = edition;
    chartwriter::PlateCarreeCoefficients(west, 41, west + 1, 40, 128, 128, w.forward, w.inverse);
    ASSERT_TRUE(w.Write(path));
}

template <class W> W* TopLevel()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (W* found = w->findChild<W*>())
            return found;
    return nullptr;
}

class MenuActions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetFolderRootForTesting(m_root);
        PersistantData::SetIniPaths(m_root + "/t.ini", m_root + "/t2.ini");
        PersistantData::LoadAll("t");
        MakePageSetupSettings();
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        m_folders.standard = {m_root + "/charts"};
        m_folders.mapFoldersFile = m_root + "/map_folders.txt";
        fs::create_directories(m_root + "/charts");
        CChartList::Instance().Init(m_folders);
        m_presenter.SetImmediate(true);
        SetURLOpenerForTesting([this](const std::string& url) {
            m_opened.push_back(url);
            return true;
        });
        m_app.MakeMainWindow(false);
        m_window = m_app.Window();
        m_settingsDialogs.Attach(&m_app);
        m_menuItems.Attach(&m_app);
    }
    void TearDown() override
    {
        if (CTrackManager::Get().IsRecording())
            CTrackManager::Get().ToggleRecording();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = w->findChild<UIViewControllerWithDialog*>();
                dialog && !dialog->isDialogEnded())
                dialog->destroyDialog(-1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        c_main_and_flip_dv::Get().m_currentLayoutPath.clear();
        SetURLOpenerForTesting({});
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        CChartList::Instance().Init(CChartFolders());
    }
    void Trigger(const char* name)
    {
        QAction* item = m_window->MenuItem(name);
        ASSERT_NE(item, nullptr) << name;
        item->trigger();
    }

    const std::string m_root = MakeScratchDir("menu_actions");
    // Ends after the application, whose end saves the settings: into this
    // test's files, not the user's data folder.
    struct EndAfterApp
    {
        const std::string& root;
        ~EndAfterApp()
        {
            PersistantData::SetIniPaths("", "");
            SetFolderRootForTesting("");
            fs::remove_all(root);
        }
    } m_endAfterApp{m_root};
    CChartFolders m_folders;
    CScriptedPresenter m_presenter;
    std::vector<std::string> m_opened;
    CSettingsDialogs m_settingsDialogs;
    CSettingsMenuItems m_menuItems;
    CInstalledPort<IGPSSettingsUi> m_gpsPort{m_settingsDialogs};
    CInstalledPort<ITrackLoggingMenuItem> m_trackPort{m_menuItems};
    CInstalledPort<IAisSettingsMenuItem> m_aisPort{m_menuItems};
    CInstalledPort<IAISSettingsUi> m_aisUiPort{m_settingsDialogs};
    AppDelegate m_app;
    ViewController* m_window = nullptr;
};

} // namespace

TEST_F(MenuActions, EveryItemIsInTheMenuBarAndReachesItsAction)
{
    const std::string site = AppDelegate::WebPageURL("");
    EXPECT_EQ(site, CRasterleafView::GetSettings().appWebsite);
    auto shown = [this](CShownDialog::Kind kind, const std::string& text) {
        return [this, kind, text] {
            ASSERT_FALSE(m_presenter.Shown().empty());
            EXPECT_EQ(m_presenter.Last().kind, kind);
            EXPECT_EQ(kind == CShownDialog::Box ? m_presenter.Last().text : m_presenter.Last().message, text);
        };
    };
    auto opened = [this](const std::string& url) {
        return [this, url] {
            ASSERT_FALSE(m_opened.empty());
            EXPECT_EQ(m_opened.back(), url);
        };
    };
    const std::pair<const char*, std::function<void()>> items[] = {
        {"onOverlayImport", shown(CShownDialog::OpenPanel, "Load overlay data from GPX file")},
        {"onOverlayExportMarks", shown(CShownDialog::SavePanel, "Save All Marks")},
        {"onOverlayExportRoutes", shown(CShownDialog::SavePanel, "Save All Routes")},
        {"onOverlayExportTracks", shown(CShownDialog::SavePanel, "Save All Tracks")},
        {"page_setup", shown(CShownDialog::PageSetup, "")},
        {"onAddToMapList",
         shown(CShownDialog::Folders,
               "Select folders to add to the map list. Folders are searched each time you launch the app.")},
        {"RemoveDuplicateMaps", shown(CShownDialog::Box, "No duplicates were found")},
        {"onCheckForAppUpdates", opened(site + "update_mac.html?version=" + GetShortVersionString() +
                                        "&build=" + GetBundleVersion() + "&bundle=" + GetBundleIdentifier())},
        {"onWebSupport", opened(site + "Support.html")},
        {"onPrivacy", opened(site + "privacy.htm")},
        {"onWebHomePage", opened(site)},
        {"onHelp", opened(site + "ts-mac-help.htm")},
        {"onPreferences", [] { EXPECT_NE(TopLevel<preferences>(), nullptr); }},
        {"onAISSettings", [] { EXPECT_NE(TopLevel<ais_settings>(), nullptr); }},
        {"onGPSsetup",
         [this] { EXPECT_NE(qobject_cast<gps_settings*>(m_window->DialogHost().child_dialog()), nullptr); }},
        {"onStartStopLogging", [] { EXPECT_TRUE(CTrackManager::Get().IsRecording()); }},
        {"onOverlayList", [] {}},
        {"CheckForMapUpdates", [] {}},
        {"onSignInOut", [] {}},
        {"onOverlayCloudSync", [] {}},
    };
    for (const auto& [name, check] : items) {
        SCOPED_TRACE(name);
        QAction* item = m_window->MenuItem(name);
        ASSERT_NE(item, nullptr);
        // Reachable from a menu of the bar, not only an object of the window.
        bool inMenu = false;
        for (QAction* menu : m_window->menuBar()->actions())
            inMenu = inMenu || (menu->menu() && menu->menu()->actions().contains(item));
        EXPECT_TRUE(inMenu);
        item->trigger();
        check();
    }
    // A second choice brings back the open dialog instead of stacking another.
    QPointer<UIViewControllerWithDialog> gps = m_window->DialogHost().child_dialog();
    Trigger("onGPSsetup");
    Trigger("onPreferences");
    EXPECT_EQ(m_window->DialogHost().child_dialog(), gps.data());
    std::set<preferences*> shownPreferences;
    for (QWidget* w : QApplication::topLevelWidgets())
        for (preferences* p : w->findChildren<preferences*>())
            if (!p->isDialogEnded())
                shownPreferences.insert(p);
    EXPECT_EQ(shownPreferences.size(), 1u);
    EXPECT_NE(m_window->MenuItem("menu_item_DataSave"), nullptr);
    // The export items are told apart by their tags.
    EXPECT_EQ(m_window->MenuItem("onOverlayExportTracks")->data().toInt(), 3);
    // No item starts the raw capture or offers the type menu.
    for (QAction* menu : m_window->menuBar()->actions())
        for (QAction* item : menu->menu()->actions())
            EXPECT_FALSE(item->text().contains("Capture") || item->text().contains("GPS Connection"))
                << item->text().toStdString();
}

TEST_F(MenuActions, ImportedGpxExportsItsTracksOnlyWithTheThirdTag)
{
    TESSA_REQUIRE_TESTDATA("gpx/gpx1.1_with_all_fields.gpx");
    m_presenter.ChoosePath(TestDataFile("gpx/gpx1.1_with_all_fields.gpx"));
    Trigger("onOverlayImport");
    ASSERT_FALSE(CTrackManager::Get().Tracks().empty());
    const std::string out = m_root + "/tracks.gpx";
    m_presenter.ChoosePath(out);
    m_app.onOverlayExport(3);
    const std::string text = tessatest::ReadWholeFile(out);
    EXPECT_NE(text.find("<trk>"), std::string::npos);
    EXPECT_EQ(text.find("<wpt"), std::string::npos);
    EXPECT_EQ(text.find("<rte>"), std::string::npos);
    // A cancelled panel writes nothing.
    fs::remove(out);
    m_presenter.CancelPanel();
    m_app.onOverlayExport(1);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(MenuActions, FolderCommandsRescanAddAndRemoveDuplicates)
{
    auto names = [] {
        std::vector<std::string> all;
        for (const auto& outline : CChartList::Instance().Outlines())
            all.push_back(outline->name);
        std::sort(all.begin(), all.end());
        return all;
    };
    // A chart appears in a known folder: the cancelled panel still rescans.
    WriteChart(m_root + "/charts/bay.rlt", "Bay", 30, "5");
    m_presenter.CancelFolders();
    Trigger("onAddToMapList");
    EXPECT_EQ(names(), std::vector<std::string>({"Bay"}));
    EXPECT_EQ(m_presenter.Last().parent, nullptr);

    // Two folders chosen at once, each with a copy of a known chart.
    WriteChart(m_root + "/more1/bay.rlt", "Bay", 30, "6");
    WriteChart(m_root + "/more1/cape.rlt", "Cape", 32, "01/01/2019");
    WriteChart(m_root + "/more2/cape.rlt", "Cape", 32, "01/01/2020");
    m_presenter.ChooseFolders({m_root + "/more1", m_root + "/more2"});
    Trigger("onAddToMapList");
    EXPECT_EQ(names(), std::vector<std::string>({"Bay", "Bay", "Cape", "Cape"}));

    Trigger("RemoveDuplicateMaps");
    ASSERT_FALSE(m_presenter.Shown().empty());
    EXPECT_EQ(m_presenter.Last().title, "Remove Duplicate Maps:");
    EXPECT_EQ(m_presenter.Last().text, "Removed 2 map(s)");
    EXPECT_EQ(m_presenter.Last().parent, nullptr);
    EXPECT_EQ(names(), std::vector<std::string>({"Bay", "Cape"}));
    Trigger("RemoveDuplicateMaps");
    EXPECT_EQ(m_presenter.Last().text, "No duplicates were found");
}

TEST_F(MenuActions, PageSetupRoundTripsThroughTheSettingsFile)
{
    CPageSetup page;
    page.paper = "Letter";
    page.landscape = true;
    page.left = page.right = 36;
    page.top = page.bottom = 9;
    m_presenter.ConfirmPageSetup(page);
    Trigger("page_setup");
    EXPECT_EQ(m_window->PageSetup(), page);
    EXPECT_NE(tessatest::ReadWholeFile(m_root + "/t.ini").find("page_setup=Letter"), std::string::npos);
    StorePageSetup(CPageSetup());
    PersistantData::LoadAll("t");
    EXPECT_EQ(LoadPageSetup(), page);
    // Cancelled: the window keeps what it had.
    Trigger("page_setup");
    EXPECT_EQ(m_window->PageSetup(), page);
}

TEST_F(MenuActions, TitlesFollowTheLayoutRecordingAndAisSwitch)
{
    QMenu* windowMenu = m_window->WindowMenu();
    QAction* save = m_window->DataSaveAction();
    // (current layout, shown, title)
    const std::tuple<const char*, bool, const char*> layouts[] = {
        {"", false, nullptr},
        {"/home/u/Documents/Racing.dvtf", true, "Save \"Racing\""},
        {"Cruise", true, "Save \"Cruise\""},
    };
    for (const auto& [path, visible, title] : layouts) {
        c_main_and_flip_dv::Get().m_currentLayoutPath = path;
        emit windowMenu->aboutToShow();
        EXPECT_EQ(save->isVisible(), visible) << path;
        if (title) {
            EXPECT_EQ(save->text().toStdString(), title);
        }
    }

    QAction* logging = m_window->TrackLoggingAction();
    for (bool recording : {true, false}) {
        Trigger("onStartStopLogging");
        EXPECT_EQ(CTrackManager::Get().IsRecording(), recording);
        EXPECT_EQ(logging->text().toStdString(), recording ? "Stop Track Logging" : "Start Track Logging");
    }
    // Recording switched elsewhere: the title follows when the menu opens.
    CTrackManager::Get().ToggleRecording();
    emit m_window->GPSMenu()->aboutToShow();
    EXPECT_EQ(logging->text().toStdString(), "Stop Track Logging");

    Port<IAisSettingsMenuItem>().SetAisSettingsItemHidden(true);
    EXPECT_FALSE(m_window->AISSettingsAction()->isVisible());
    // The first target switches the settings on: the item shows at once.
    CAISTargetManager::GetSettings().enableSettings = false;
    CNEMA_AIS::VDM vdm(&CNEMA_AIS::VDM::Type);
    vdm.m_messageType = 1;
    vdm.m_mmsi = 235000001;
    vdm.m_latitude = 50;
    vdm.m_longitude = -4;
    CAISTargetManager::Global().HandleVDM(vdm, 0);
    EXPECT_TRUE(m_window->AISSettingsAction()->isVisible());
    CAISTargetManager::Global().Clear();
    Port<ITrackLoggingMenuItem>().SetTrackLoggingTitle("Start Track Logging");
    EXPECT_EQ(logging->text().toStdString(), "Start Track Logging");

    // A grab of an open menu for review.
    const QString folder = QString::fromStdString(std::string(TESSA_BUILD_DIR) + "/screenshots");
    QDir().mkpath(folder);
    m_window->GPSMenu()->popup(QPoint(0, 0));
    EXPECT_TRUE(m_window->GPSMenu()->grab().save(folder + "/gps_menu.png"));
    m_window->GPSMenu()->hide();
}
