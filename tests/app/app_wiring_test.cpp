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
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <set>

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
    // Every port interface of the source tree: those its callers reach
    // through a slot, and those its ...Ports.h headers declare with do-nothing
    // bodies (an interface with a pure member is handed over, not slotted).
    const std::regex use(R"((?:Port|InstallPort|IsPortInstalled|PortSlot)<(I[A-Z][A-Za-z0-9_]*)>)");
    const std::regex declared(R"(\bclass (I[A-Z][A-Za-z0-9_]*)\s*\{)");
    std::set<std::string> inTree;
    for (const auto& entry :
         fs::recursive_directory_iterator(std::string(TESSA_SOURCE_RESOURCES) + "/../src")) {
        const std::string file = entry.path().filename().string();
        if (!entry.is_regular_file() ||
            (entry.path().extension() != ".h" && entry.path().extension() != ".cpp"))
            continue;
        std::ifstream in(entry.path());
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::sregex_iterator m(text.begin(), text.end(), use), end; m != end; ++m)
            inTree.insert((*m)[1]);
        if (file.size() > 7 && file.compare(file.size() - 7, 7, "Ports.h") == 0)
            for (std::sregex_iterator m(text.begin(), text.end(), declared), end; m != end; ++m) {
                const size_t close = text.find("\n};", m->position());
                if (text.substr(m->position(), close - m->position()).find("= 0;") == std::string::npos)
                    inTree.insert((*m)[1]);
            }
    }
    std::set<std::string> listed;
    for (const CPortEntry& port : ListApplicationPorts())
        EXPECT_TRUE(listed.insert(port.name).second) << port.name << " is listed twice";
    EXPECT_EQ(listed, inTree) << "a port of the tree is not wired, or a wired one is gone";
    EXPECT_GE(listed.size(), 24u);

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
