// The application menu's actions of AppDelegate: each is a thin call into the
// part that does the work, with the texts and parents the menu fixes.
#include "app/dialogs/ExportFolder.h"
#include "app/dialogs/WebPage.h"
#include "app/settings/ais_settings.h"
#include "app/settings/preferences.h"
#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"
#include "app/window/overlay_window.h"
#include "charts/chartlist/ChartList.h"
#include "charts/mapstore/MapStoreDownload.h"
#include "foundation/dialogs/DialogPorts.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/print/PageSetup.h"
#include "foundation/settings/GlobalSettingsType.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/util/Folders.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/TrackManager.h"
#include "panels/MainAndFlip.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QUrl>
#include <cstdio>

namespace {

std::string Encoded(const std::string& value)
{
    return QUrl::toPercentEncoding(QString::fromStdString(value)).toStdString();
}

// The name of a layout file without folder and extension.
std::string LayoutName(const std::string& path)
{
    std::string name = path.substr(path.find_last_of('/') + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

} // namespace

void AppDelegate::ConnectMenuItems()
{
    ViewController* window = m_window.get();
    // The window is each connection's context: no item calls a gone delegate.
    auto on = [window](const char* action, auto function) {
        if (QAction* item = window->MenuItem(action))
            QObject::connect(item, &QAction::triggered, window, function);
    };
    on("onOverlayList", [this] { onOverlayList(); });
    on("onOverlayImport", [this] { onOverlayImport(); });
    for (const char* name : {"onOverlayExportMarks", "onOverlayExportRoutes", "onOverlayExportTracks"}) {
        QAction* item = window->MenuItem(name);
        on(name, [this, item] { onOverlayExport(item->data().toInt()); });
    }
    on("onGPSsetup", [this] { onGPSsetup(); });
    on("onStartStopLogging", [this, window] { onStartStopLogging(window->TrackLoggingAction()); });
    on("onCheckForAppUpdates", [this] { onCheckForAppUpdates(); });
    on("onWebSupport", [this] { onWebSupport(); });
    on("onPrivacy", [this] { onPrivacy(); });
    on("onWebHomePage", [this] { onWebHomePage(); });
    on("onHelp", [this] { onHelp(); });
    on("page_setup", [this] { page_setup(); });
    on("onPreferences", [this] { onPreferences(); });
    on("onAISSettings", [this] { onAISSettings(); });
    on("onAddToMapList", [this] { onAddToMapList(); });
    on("RemoveDuplicateMaps", [this] { RemoveDuplicateMaps(); });
    on("CheckForMapUpdates", [this] { CheckForMapUpdates(); });
    on("menu_item_DataSave", [] { c_main_and_flip_dv::Get().SaveLayout(); });
    for (QMenu* menu : {window->GPSMenu(), window->WindowMenu()})
        QObject::connect(menu, &QMenu::aboutToShow, window, [this, menu] { menuNeedsUpdate(menu); });
}

void AppDelegate::menuNeedsUpdate(QMenu* menu)
{
    if (!m_window || !menu)
        return;
    QAction* save = m_window->DataSaveAction();
    if (menu->actions().contains(save)) {
        const std::string& path = c_main_and_flip_dv::Get().m_currentLayoutPath;
        save->setVisible(!path.empty());
        if (!path.empty())
            save->setText(QString::fromStdString("Save \"" + LayoutName(path) + "\""));
    }
    for (QAction* item : menu->actions())
        if (item != save && !item->isSeparator())
            validateMenuItem(item);
}

void AppDelegate::onOverlayList()
{
    if (m_window)
        overlay_window::Open(m_window.get());
}

void AppDelegate::onOverlayImport()
{
    if (!m_window)
        return;
    CFilePanelRequest request;
    request.parent = m_window.get();
    request.extension = ".gpx";
    request.message = "Load overlay data from GPX file";
    QWidget* parent = m_window.get();
    DialogPresenter().ShowFilePanel(request, [parent](int32_t code, const std::string& path) {
        // The import tells the user itself what it did or why it did nothing.
        if (code == 0)
            ImportGPXFileWithProgress(parent, path);
    });
}

void AppDelegate::onOverlayExport(int tag)
{
    if (!m_window)
        return;
    const char* what = tag == 1 ? "Marks" : tag == 2 ? "Routes" : "Tracks";
    CFilePanelRequest request;
    request.parent = m_window.get();
    request.save = true;
    request.extension = ".gpx";
    request.message = std::string("Save All ") + what;
    request.default_name = std::string(what) + ".gpx";
    request.start_folder = LastExportFolder();
    QWidget* parent = m_window.get();
    DialogPresenter().ShowFilePanel(request, [tag, parent](int32_t code, const std::string& path) {
        if (code != 0)
            return;
        const bool ok = tag == 1   ? ExportMarksGPXFile(path)
                        : tag == 2 ? ExportRoutesGPXFile(path)
                                   : ExportTracksGPXFile(path);
        if (!ok)
            ShowOKMessage(parent, "Could not write " + path, "Export");
        else
            RememberExportFolder(path);
    });
}

void AppDelegate::onGPSsetup()
{
    if (CGlobalSettingsType* category = CGlobalSettingsType::Find("GPS Settings"))
        category->Open();
}

void AppDelegate::onStartStopLogging(QAction* sender)
{
    CTrackManager& tracks = CTrackManager::Get();
    tracks.ToggleRecording();
    if (sender)
        sender->setText(tracks.IsRecording() ? "Stop Track Logging" : "Start Track Logging");
}

std::string AppDelegate::WebPageURL(const std::string& page)
{
    std::string site = CRasterleafView::GetSettings().appWebsite;
    if (!site.empty() && site.back() != '/')
        site += '/';
    return site + page;
}

std::string AppDelegate::UpdatePageURL()
{
    return WebPageURL("update_mac.html") + "?version=" + Encoded(GetShortVersionString()) +
           "&build=" + Encoded(GetBundleVersion()) + "&bundle=" + Encoded(GetBundleIdentifier());
}

void AppDelegate::onCheckForAppUpdates()
{
    OpenWebPage(m_window.get(), UpdatePageURL());
}

void AppDelegate::onWebSupport()
{
    OpenWebPage(m_window.get(), WebPageURL("Support.html"));
}

void AppDelegate::onPrivacy()
{
    OpenWebPage(m_window.get(), WebPageURL("privacy.htm"));
}

void AppDelegate::onWebHomePage()
{
    OpenWebPage(m_window.get(), WebPageURL(""));
}

void AppDelegate::onHelp()
{
    OpenWebPage(m_window.get(), WebPageURL("ts-mac-help.htm"));
}

void AppDelegate::page_setup()
{
    if (!m_window)
        return;
    CPrintRequest request;
    request.parent = m_window.get();
    request.page = m_window->PageSetup();
    ViewController* window = m_window.get();
    QPointer<ViewController> alive(window);
    DialogPresenter().ShowPageSetupPanel(request, [alive](bool confirmed, const CPageSetup& page) {
        if (!confirmed)
            return;
        StorePageSetup(page);
        if (!PersistantData::SaveAll())
            std::fprintf(stderr, "Settings: %s\n", PersistantData::LastError().c_str());
        if (alive)
            alive->SetPageSetup(LoadPageSetup());
    });
}

namespace {

// One window of each: the open one is brought to the front instead.
template <class Dialog> void ShowOnce(QPointer<Dialog>& open)
{
    if (open && !open->isDialogEnded()) {
        open->window()->raise();
        open->window()->activateWindow();
        return;
    }
    open = new Dialog();
    open->showInTopLevelWindow();
}

QPointer<preferences> gPreferences;
QPointer<ais_settings> gAISSettings;

} // namespace

void AppDelegate::onPreferences()
{
    ShowOnce(gPreferences);
}

void AppDelegate::onAISSettings()
{
    ShowOnce(gAISSettings);
}

void AppDelegate::onAddToMapList()
{
    CFoldersPanelRequest request;
    request.message =
        "Select folders to add to the map list. Folders are searched each time you launch the app.";
    DialogPresenter().ShowFoldersPanel(request, [](int32_t code, const std::vector<std::string>& paths) {
        CChartList& list = CChartList::Instance();
        if (code == 0)
            for (const std::string& path : paths)
                list.AddFolder(path);
        list.RescanIfChanged();
    });
}

void AppDelegate::RemoveDuplicateMaps()
{
    const int removed = CChartList::Instance().RemoveDuplicateMaps();
    const std::string text = removed > 0 ? "Removed " + std::to_string(removed) + " map(s)"
                                         : std::string("No duplicates were found");
    ::MessageBox(nullptr, nullptr, "Remove Duplicate Maps:", text, {{"OK", nullptr}});
}

void AppDelegate::CheckForMapUpdates()
{
    if (m_window)
        ::CheckForMapUpdates(m_window.get());
}
