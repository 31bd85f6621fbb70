// The application's ports: the wiring fills every one with the application's
// own implementation and empties them again, and an application started with
// nothing wired keeps the rows of the empty ports hidden and does not crash.
#include "app/shell/AppDelegate.h"
#include "app/shell/Wiring.h"
#include "app/window/QtRasterleafView.h"
#include "app/window/ViewController.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/settings/GlobalSettingsType.h"
#include "instruments/connections/ConnectionPorts.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/SaveAllData.h"
#include "overlays/ui/ActionMenus.h"
#include "support/TestPaths.h"

#include <QTest>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class ApplicationWiring : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("wiring");
        SetFolderRootForTesting(root);
        SetResourceFoldersForTesting({TESSA_BUILD_RESOURCES});
    }
    void TearDown() override
    {
        CMarkManager::Get().ClearForTesting();
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
        fs::remove_all(root);
    }
    std::string root;
};

bool CategoryEnabled(const char* name)
{
    CGlobalSettingsType* category = CGlobalSettingsType::Find(name);
    return category && category->IsEnabled();
}

} // namespace

TEST_F(ApplicationWiring, FillsEveryPortWithTheApplicationsOwnAndEmptiesThemAgain)
{
    // In the order the wiring fills them, lowest layer first.
    const std::vector<std::string> expected = {"dialog presenter",
                                               "menu popup",
                                               "progress dialog opener",
                                               "units menu",
                                               "chart problem reporter",
                                               "chart rewrite hooks",
                                               "connection dialogs",
                                               "connection events",
                                               "mark creator",
                                               "chart delete keys",
                                               "gps settings",
                                               "overlay object ui",
                                               "overlay ui",
                                               "save all data",
                                               "account number",
                                               "ais settings",
                                               "race dialogs",
                                               "panel windows",
                                               "data panel window",
                                               "overlay window content",
                                               "chart list",
                                               "track logging item",
                                               "ais settings item"};
    std::vector<std::string> names;
    for (const CPortEntry& port : ListApplicationPorts())
        names.push_back(port.name);
    EXPECT_EQ(names, expected);

    AppDelegate app; // not started: only the ports change
    for (const CPortEntry& port : ListApplicationPorts())
        EXPECT_FALSE(port.installed()) << port.name << " is filled before the wiring";
    WireApplicationPorts(app);
    for (const CPortEntry& port : ListApplicationPorts())
        EXPECT_TRUE(port.installed()) << port.name << " is not the application's after the wiring";
    UnwireApplicationPorts();
    for (const CPortEntry& port : ListApplicationPorts())
        EXPECT_FALSE(port.installed()) << port.name << " is still filled after the unwiring";
}

TEST_F(ApplicationWiring, RowsOfEmptyPortsStayHiddenAndNothingCrashes)
{
    if (!fs::exists(std::string(TESSA_BUILD_RESOURCES) + "/basemaps/world.rlt.COPY"))
        GTEST_SKIP() << "the world base map was not built";

    // What each port shows, as seen from the rows and buttons that need it,
    // with the application started with and without its wiring.
    struct Probe
    {
        const char* what;
        bool wired; // shown (or done) when the application's ports are in
        std::function<bool(ViewController& window, COverlayMark& mark)> shown;
    };
    const std::vector<Probe> probes = {
        {"the Units category", true, [](ViewController&, COverlayMark&) { return CategoryEnabled("Units"); }},
        {"the GPS Settings category", true,
         [](ViewController&, COverlayMark&) { return CategoryEnabled("GPS Settings"); }},
        {"the AIS Settings category", true,
         [](ViewController&, COverlayMark&) { return CategoryEnabled("AIS Settings"); }},
        {"the mark's Edit row", true,
         [](ViewController& window, COverlayMark& mark) {
             auto menu = BuildMarkActionMenu(mark, window.MenuParent(), &window.ChartView());
             const CMenuTree::CItem* row = menu->Root().FindChild("Edit Mark");
             return row && row->Kind() != CMenuTree::kHidden;
         }},
        {"the mark's action menu on a tap", true,
         [](ViewController& window, COverlayMark& mark) {
             return mark.ShowActionMenu(window.ChartView(), COverlayTap{10, 10, 40, -45});
         }},
        {"a mark at the centre", true,
         [](ViewController& window, COverlayMark&) {
             const size_t before = CMarkManager::Get().Marks().size();
             window.ChartView().CreateMarkAtCentre();
             return CMarkManager::Get().Marks().size() > before;
         }},
        {"saving everything", true, [](ViewController&, COverlayMark&) { return SaveAllData(); }},
        {"the maps button", true,
         [](ViewController& window, COverlayMark&) { return window.OpenAction()->isVisible(); }},
        {"the connection dialogs' window", true,
         [](ViewController& window, COverlayMark&) {
             return Port<IConnectionUi>().DialogParent() == &window;
         }},
    };

    for (const bool wire : {false, true}) {
        SCOPED_TRACE(wire ? "wired" : "not wired");
        AppDelegate app;
        app.Start(false, wire);
        ViewController* window = app.Window();
        ASSERT_NE(window, nullptr);
        auto owned = std::make_unique<COverlayMark>();
        owned->SetName("Probe");
        owned->SetPosition(40, -45);
        COverlayMark* mark = CMarkManager::Get().AddMark(std::move(owned));
        ASSERT_NE(mark, nullptr);
        for (const Probe& probe : probes)
            EXPECT_EQ(probe.shown(*window, *mark), wire && probe.wired) << probe.what;

        // Every category opens, and the chart takes keys, whatever is installed.
        for (CGlobalSettingsType* c = CGlobalSettingsType::First(); c; c = c->Next())
            c->Open();
        QTest::keyClick(&window->ChartWidget(), Qt::Key_Delete);
        app.Shutdown();
        CMarkManager::Get().ClearForTesting();
    }
}
