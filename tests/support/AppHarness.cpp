#include "support/AppHarness.h"

#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"
#include "foundation/events/Clock.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/settings/IniFile.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/TrackManager.h"
#include "support/TestPaths.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace tessatest {

namespace {

std::string BaseMapPath()
{
    return std::string(TESSA_BUILD_DIR) + "/resources/basemaps/world.rlt.COPY";
}

} // namespace

AppHarness::AppHarness(const std::string& tag) : m_home(MakeScratchDir(tag))
{
    SetFolderRootForTesting(m_home);
    SetResourceFoldersForTesting({TESSA_BUILD_RESOURCES, TESSA_SOURCE_RESOURCES});
    SetClockForTesting([this] { return m_now; });
    SetURLOpenerForTesting([this](const std::string& url) {
        m_opened.push_back(url);
        return true;
    });
    CMarkManager::Get().ClearForTesting();
    CTrackManager::Get().ClearForTesting();
}

AppHarness::~AppHarness()
{
    Stop();
    m_app.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (CTrackManager::Get().IsRecording())
        CTrackManager::Get().ToggleRecording();
    CMarkManager::Get().ClearForTesting();
    CTrackManager::Get().ClearForTesting();
    SetURLOpenerForTesting({});
    SetClockForTesting({});
    SetResourceFoldersForTesting({});
    SetFolderRootForTesting("");
    if (!m_keep)
        fs::remove_all(m_home);
}

bool AppHarness::HasBaseMap()
{
    return fs::exists(BaseMapPath());
}

std::string AppHarness::DataFolder() const
{
    return GetPlatformDataFolder();
}

void AppHarness::SetSetting(const std::string& key, const std::string& value)
{
    m_settings[key] = value;
}

void AppHarness::Start(bool show)
{
    if (!m_settings.empty()) {
        const std::string ini = DataFolder() + "/" + AppDelegate::kSettingsName + ".ini";
        fs::create_directories(DataFolder());
        CIniMap map;
        ReadIniFile(ini, map);
        for (const auto& [key, value] : m_settings)
            map[key] = value;
        if (!WriteIniFile(ini, map))
            throw std::runtime_error("the settings file could not be written: " + ini);
    }
    m_app = std::make_unique<AppDelegate>();
    m_app->Start(show);
    // Only the test's ticks move the application: the window's own 20 Hz
    // timer would add fixes and track points whenever events are processed.
    if (ViewController* window = m_app->Window())
        for (QTimer* timer : window->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
            if (timer->interval() == ViewController::kTickMilliseconds)
                timer->stop();
}

void AppHarness::Stop()
{
    if (m_app)
        m_app->Shutdown();
}

ViewController& AppHarness::Window()
{
    if (!m_app || !m_app->Window())
        throw std::logic_error("the application has no main window");
    return *m_app->Window();
}

void AppHarness::Tick(int n)
{
    for (int i = 0; i < n; ++i) {
        m_now += ViewController::kTickMilliseconds / 1000.0;
        Window().OnTimer();
        QCoreApplication::processEvents();
    }
}

void AppHarness::TickUntilDrawn(int limit)
{
    // The chart's tiles are made on worker threads: the only waiting here is
    // for them, each tick short.
    CRasterleafView& view = Window().ChartView();
    for (int i = 0; i < limit; ++i) {
        Window().OnTimer();
        QCoreApplication::processEvents();
        if (!view.HasWork() && !view.IsBusy())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace tessatest
