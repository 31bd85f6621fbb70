// The chart list window over written charts in several folders and over the
// map store of a loopback server: grouping, sorting, opening, the details of
// a row with deletion, the store search, "my maps" and downloads.
// TESSA_XVFB_LABEL
#include "ScriptedPresenter.h"
#include "app/dialogs/Account.h"
#include "app/dialogs/account_login.h"
#include "app/dialogs/map_detail.h"
#include "app/lists/map_list.h"
#include "charts/chartlist/ChartList.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/web/ChartServer.h"
#include "loopback/LoopbackServer.h"
#include "mapview/view/ChartListCatalog.h"
#include "packagewriter/JobTestSupport.h"
#include "packagewriter/PackageWriter.h"
#include "support/TestChartView.h"
#include "support/TestPaths.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class MapListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("map_list");
        ASSERT_FALSE(root.empty());
        SetFolderRootForTesting(root);
        SetResourceFoldersForTesting({root + "/res"});
        ClearPendingCallbacksForTesting();
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        CAccount::Get().ResetForTesting();
        CChartOutline::CSortedPointer::SetSortBy(CChartOutline::CSortedPointer::kByScale);
        // Three charts in the documents, one under the map store, one built in.
        Write(root + "/docs/zulu.rlt", "Zulu", 9.9, 10.1, 10.1, 9.9, "Topo");
        Write(root + "/docs/bravo.rlt", "Bravo", 0, 12, 12, 0, "Marine");
        Write(root + "/docs/mike.rlt", "Mike", 40, 42, 42, 40, "Marine");
        Write(GetMVTFolder() + "/bay/delta.rlt", "Delta", 20, 22, 22, 20, "Topo");
        Write(root + "/res/world.rlt", "World", -180, 80, 180, -80, "Topo");
        CChartFolders folders;
        folders.standard = {root + "/docs", GetMVTFolder()};
        folders.resources = root + "/res";
        folders.documents = root + "/docs";
        folders.mapStore = GetMVTFolder();
        CChartList::Instance().Init(folders);
        ASSERT_EQ(CChartList::Instance().Outlines().size(), 5u);
        ports.opener = &opener;
        ports.catalog = &catalog;
        view = std::make_unique<CRasterleafView>(ports);
        view->SetViewRect(0, 0, 400, 300);
        server.AddPostHandler("/cgi-bin/mapstore3.cgi", [this](const tessatest::LoopbackRequest& r) {
            tessatest::LoopbackResponse response;
            // Point requests (opcode 101, the held products) carry the held numbers first.
            const bool points = !r.body.empty() && uint8_t(r.body[0]) == 101;
            std::vector<uint32_t> held = {7};
            response.body = tessatest::MapStoreReply(0, points ? &held : nullptr, store);
            return response;
        });
    }
    void TearDown() override
    {
        SetChartFileRemoverForTesting({});
        // Ended windows go before the view they point at.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        view.reset();
        server.Stop();
        unsetenv(CChartServer::kEnvironmentVariable);
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    static void Write(const std::string& path, const std::string& name, double west, double north,
                      double east, double south, const std::string& type)
    {
        fs::create_directories(fs::path(path).parent_path());
        ASSERT_TRUE(
            tessatest::WriteWholeFile(path, tessatest::MakeSmallChart(name, west, north, east, south, type)));
    }
    // The window over the view; `probe` gets its result.
    map_list* Open(tessatest::CCodeProbe& probe, UIViewControllerWithDialog* host = nullptr)
    {
        probe.Push();
        map_list* list = map_list::initWithChartView(*view, CChartList::Instance());
        list->showInParent(host);
        QCoreApplication::processEvents(); // the tree state comes on the next turn
        return list;
    }
    // The labels of the rows below `parent`, in the order shown.
    static std::vector<std::string> Labels(map_list& list, const QModelIndex& parent = {})
    {
        std::vector<std::string> out;
        for (int r = 0; r < list.Model().rowCount(parent); ++r)
            out.push_back(list.Model().index(r, 0, parent).data().toString().toStdString());
        return out;
    }
    static QModelIndex Row(map_list& list, const std::vector<std::string>& labels)
    {
        QModelIndex at;
        for (const std::string& label : labels) {
            QModelIndex found;
            for (int r = 0; r < list.Model().rowCount(at); ++r)
                if (list.Model().index(r, 0, at).data().toString().toStdString() == label)
                    found = list.Model().index(r, 0, at);
            EXPECT_TRUE(found.isValid()) << label;
            at = found;
        }
        return at;
    }
    static size_t Entries(map_list& list)
    {
        size_t n = 0;
        for (const auto& item : list.Model().Items())
            n += item->HasEntry() ? 1 : 0;
        return n;
    }
    std::string Path(const std::string& name) const { return root + "/docs/" + name + ".rlt"; }

    tessatest::LoopbackServer server;
    tessatest::CFakeKeepAwake awake;
    std::vector<tessatest::MapStoreRecord> store;
    std::string root;
    tessatest::CFileChartOpener opener;
    CChartListCatalog catalog{CChartList::Instance()};
    CRasterleafView::Ports ports;
    std::unique_ptr<CRasterleafView> view;
};

} // namespace

TEST_F(MapListTest, DeviceChartsGroupSortOpenAndCancel)
{
    {
        // No chart and no centre: nothing here, every chart under all.
        tessatest::CCodeProbe probe;
        map_list* list = Open(probe);
        EXPECT_EQ(list->Header(), map_list::kHereHeader);
        EXPECT_EQ(list->Model().rowCount(), 0);
        list->onChangeAll(1);
        EXPECT_EQ(list->Header(), map_list::kAllHeader);
        EXPECT_EQ(Entries(*list), 5u);
        EXPECT_EQ(Labels(*list), (std::vector<std::string>{"Built-in", "Documents", "MVT"}));
        EXPECT_EQ(Labels(*list, Row(*list, {"MVT"})), (std::vector<std::string>{"bay"}));
        list->onShowTypes();
        EXPECT_EQ(Labels(*list), (std::vector<std::string>{"Marine", "Topo"}));
        EXPECT_TRUE(list->item_showTypes->isChecked());
        EXPECT_FALSE(list->item_showFolders->isChecked());
        // Unticking a type reaches the chart-list settings.
        ASSERT_TRUE(list->Model().setData(Row(*list, {"Marine"}), Qt::Unchecked, Qt::CheckStateRole));
        list->onCancel();
        EXPECT_EQ(*probe.code, -1);
        EXPECT_FALSE(CSelectMapTypes::IsTypeShown("Marine"));
    }
    {
        // The grouping is kept: back to folders for what follows.
        tessatest::CCodeProbe probe;
        map_list* list = Open(probe);
        EXPECT_TRUE(list->item_showTypes->isChecked());
        list->onShowFolders();
        list->onCancel();
    }

    view->SwitchChart(Path("zulu"), false);
    ASSERT_TRUE(view->HasChart());
    tessatest::CCodeProbe probe;
    map_list* list = Open(probe);
    // Zulu is open: its row is shown and selected, nothing opened for it.
    const QModelIndex zulu = Row(*list, {"Documents", "Zulu"});
    EXPECT_TRUE(list->outline->isExpanded(zulu.parent()));
    EXPECT_EQ(list->outline->selectionModel()->selectedRows(), QModelIndexList{zulu});
    EXPECT_FALSE(probe.Ran());

    list->onChangeAll(1);
    struct Sort
    {
        int order;
        QAction* item;
        std::vector<std::string> documents;
    } sorts[] = {{0, list->item_sortbyname, {"Bravo", "Mike", "Zulu"}},
                 {2, list->item_sortbyDistance, {"Zulu", "Bravo", "Mike"}},
                 {1, list->item_sortbyscale, {"Zulu", "Mike", "Bravo"}}};
    for (const Sort& s : sorts) {
        list->didChangeSort(s.order);
        EXPECT_EQ(Labels(*list, Row(*list, {"Documents"})), s.documents) << s.order;
        for (QAction* a : {list->item_sortbyname, list->item_sortbyscale, list->item_sortbyDistance})
            EXPECT_EQ(a->isChecked(), a == s.item) << s.order;
    }

    // Choosing another chart opens it and closes the window.
    list->outline->selectionModel()->select(Row(*list, {"Documents", "Bravo"}),
                                            QItemSelectionModel::ClearAndSelect);
    ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); }));
    EXPECT_EQ(*probe.code, 0);
    EXPECT_EQ(view->GetCurrentChartPath(), Path("bravo"));
    // Grouped by folder the window offers no types, and keeps the choice made.
    EXPECT_FALSE(CSelectMapTypes::IsTypeShown("Marine"));
    CSelectMapTypes::ShowType("Marine");

    // Cancel with no chart open goes back to a chart at the stored centre.
    view->CloseChart();
    tessatest::CCodeProbe cancelled;
    Open(cancelled)->onCancel();
    EXPECT_EQ(*cancelled.code, -1);
    EXPECT_TRUE(view->HasChart());
}

TEST_F(MapListTest, TheOpenChartsRowOrEscapeClosesTheList)
{
    view->SwitchChart(Path("zulu"), false);
    ASSERT_TRUE(view->HasChart());
    // Over a widget that takes the focus, as the chart does: a click where
    // nothing in the list takes it must not hand it to the chart.
    QWidget chart;
    chart.setFocusPolicy(Qt::StrongFocus);
    UIViewControllerWithDialog host;
    host.setHostView(&chart);
    chart.show();
    enum Act { kClick, kDoubleClick, kReturn, kEscape };
    enum First { kNothing, kHere, kAll, kSort }; // clicked before the key
    const struct
    {
        Act act;
        int code;
        First first;
    } cases[] = {{kClick, 0, kNothing},   {kDoubleClick, 0, kNothing}, {kReturn, 0, kNothing},
                 {kEscape, -1, kNothing}, {kReturn, 0, kHere},         {kEscape, -1, kAll},
                 {kReturn, 0, kSort},     {kEscape, -1, kSort}};
    for (const auto& c : cases) {
        tessatest::CCodeProbe probe;
        map_list* list = Open(probe, &host);
        const QModelIndex zulu = Row(*list, {"Documents", "Zulu"});
        const QPoint at = list->outline->visualRect(zulu).center();
        QWidget* viewport = list->outline->viewport();
        list->outline->setFocus();
        QTimer::singleShot(0, [] { // the Sort button's menu pops up
            if (QWidget* menu = QApplication::activePopupWidget())
                menu->close();
        });
        if (c.first == kSort)
            QTest::mouseClick(list->menu_button, Qt::LeftButton);
        else if (c.first != kNothing)
            QTest::mouseClick(list->all_control, Qt::LeftButton, {},
                              list->all_control->tabRect(c.first == kAll).center());
        if (c.act == kClick)
            QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        else if (c.act == kDoubleClick) {
            // The press of a double-click comes first, as from a real mouse.
            QTest::mousePress(viewport, Qt::LeftButton, {}, at);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        } else
            QTest::keyClick(chart.focusWidget(), c.act == kReturn ? Qt::Key_Return : Qt::Key_Escape);
        ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); })) << c.act << c.first;
        EXPECT_EQ(*probe.code, c.code) << c.act;
        EXPECT_EQ(view->GetCurrentChartPath(), Path("zulu")) << c.act;
    }
    // With no chart open Return opens the current row.
    view->CloseChart();
    tessatest::CCodeProbe opened;
    map_list* list = Open(opened, &host);
    list->outline->selectionModel()->setCurrentIndex(Row(*list, {"Documents", "Bravo"}),
                                                     QItemSelectionModel::NoUpdate);
    QTest::keyClick(list->outline, Qt::Key_Enter);
    ASSERT_TRUE(tessatest::PumpUntil([&] { return opened.Ran(); }));
    EXPECT_EQ(view->GetCurrentChartPath(), Path("bravo"));
    // The grouping chosen is what the next window shows.
    tessatest::CCodeProbe first, second;
    list = Open(first);
    list->onShowTypes();
    list->onCancel();
    map_list* again = Open(second);
    EXPECT_TRUE(again->item_showTypes->isChecked());
    again->onShowFolders();
    again->onCancel();
}

TEST_F(MapListTest, DetailsOfARowDeleteCloseOrRefresh)
{
    tessatest::CScriptedPresenter presenter;
    presenter.SetImmediate(true);
    view->SwitchChart(Path("zulu"), false);
    // Bravo's part-file folder holds something of the user's as well.
    fs::create_directories(root + "/docs/bravo.rl3");
    for (const char* part : {"0", "7", "notes.txt"})
        ASSERT_TRUE(tessatest::WriteWholeFile(root + "/docs/bravo.rl3/" + part, "x"));
    fs::create_directories(root + "/docs/zulu.rl3");
    ASSERT_TRUE(tessatest::WriteWholeFile(root + "/docs/zulu.rl3/0", "x"));
    // Mike's file cannot go.
    const std::string mike = Path("mike");
    SetChartFileRemoverForTesting([mike](const std::string& path) {
        if (path == mike) {
            errno = EACCES;
            return -1;
        }
        return ::unlink(path.c_str());
    });

    {
        // A click on a chart row's info button opens its details, not the chart.
        tessatest::CCodeProbe probe;
        map_list* list = Open(probe);
        list->resize(400, 600);
        list->onChangeAll(1);
        const QModelIndex bravo = Row(*list, {"Documents", "Bravo"});
        list->outline->expandParentsOfItem(bravo);
        QCoreApplication::processEvents();
        auto* cells = qobject_cast<TableCellView_withInfoButton*>(list->outline->itemDelegate());
        ASSERT_NE(cells, nullptr);
        const QPoint button = cells->infoButtonRect(list->outline->visualRect(bravo)).center();
        QTest::mouseClick(list->outline->viewport(), Qt::LeftButton, {}, button);
        auto* details = qobject_cast<map_detail*>(list->child_dialog());
        ASSERT_NE(details, nullptr);
        EXPECT_EQ(details->getFilename(), Path("bravo"));
        EXPECT_EQ(view->GetCurrentChartPath(), Path("zulu"));
        details->destroyDialog(-1);
        EXPECT_FALSE(probe.Ran());
        list->onCancel();
    }

    struct Case
    {
        const char* name;
        std::vector<std::string> row;
        int32_t result;
        bool windowCloses;
        std::vector<std::string> gone, kept;
    } cases[] = {
        {"done refreshes", {"Documents"}, -1, false, {}, {"zulu.rlt", "bravo.rlt", "mike.rlt"}},
        {"delete",
         {"Documents"},
         1,
         false,
         {"zulu.rlt", "zulu.rl3", "bravo.rlt", "bravo.rl3/0", "bravo.rl3/7"},
         {"mike.rlt", "bravo.rl3/notes.txt"}},
        {"close", {"Built-in"}, 2, true, {}, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        presenter.ClearShown();
        tessatest::CCodeProbe probe;
        map_list* list = Open(probe);
        list->onChangeAll(1);
        list->TableCellInfoButtonWasClicked(0, Row(*list, k.row));
        auto* details = qobject_cast<map_detail*>(list->child_dialog());
        ASSERT_NE(details, nullptr);
        EXPECT_EQ(list->SelectedCharts().size(), k.row[0] == "Documents" ? 3u : 1u);
        details->destroyDialog(k.result);
        QCoreApplication::processEvents();
        EXPECT_EQ(probe.Ran(), k.windowCloses);
        for (const std::string& f : k.gone)
            EXPECT_FALSE(fs::exists(root + "/docs/" + f)) << f;
        for (const std::string& f : k.kept)
            EXPECT_TRUE(fs::exists(root + "/docs/" + f)) << f;
        if (k.result == 1) {
            // The open chart was closed before its file went; Mike stays listed.
            EXPECT_FALSE(view->HasChart());
            EXPECT_EQ(Labels(*list, Row(*list, {"Documents"})), std::vector<std::string>{"Mike"});
            ASSERT_FALSE(presenter.Shown().empty());
            EXPECT_EQ(presenter.Last().title, "1 map(s) could not be deleted");
        }
        if (!probe.Ran())
            list->onCancel();
    }

    // A built-in chart among others is kept when they are deleted.
    tessatest::CCodeProbe probe;
    map_list* list = Open(probe);
    list->onChangeAll(1);
    list->onShowTypes();
    list->TableCellInfoButtonWasClicked(0, Row(*list, {"Topo"}));
    ASSERT_EQ(list->SelectedCharts().size(), 2u);
    qobject_cast<map_detail*>(list->child_dialog())->destroyDialog(1);
    EXPECT_TRUE(fs::exists(root + "/res/world.rlt"));
    EXPECT_FALSE(fs::exists(GetMVTFolder() + "/bay/delta.rlt"));
    list->onCancel();
}

TEST_F(MapListTest, MapStoreSearchMyMapsAndDownloads)
{
    tessatest::CScriptedPresenter presenter;
    presenter.SetImmediate(true);
    server.AddFile("/MVT/single/harbour.rlt",
                   tessatest::MakeSmallChart("Harbour", 9.95, 10.05, 10.05, 9.95, "Topo"));
    store = {{"Harbour", 0.02f, "Topo", "MVT/single/harbour.rlt", 0},
             {"Channel", 0.05f, "Topo", "MVT/single/missing.rlt", 0},
             {"Outer Banks", 0.1f, "Topo", "MVT/single/banks.rlt", 7}};
    view->SwitchChart(Path("zulu"), false);
    tessatest::CCodeProbe probe;
    map_list* list = Open(probe);
    auto requests = [this] { return server.Requests().size(); };

    // Here: the maps at the centre.
    list->onChangeDMS(map_list::kStoreTab);
    EXPECT_EQ(requests(), 1u);
    EXPECT_EQ(Entries(*list), 3u);
    EXPECT_FALSE(list->search_group->isVisibleTo(list));
    EXPECT_FALSE(list->item_showFolders->isVisible());

    // All: a search of one letter asks nothing, two letters filter by name.
    list->onChangeAll(1);
    EXPECT_TRUE(list->search_group->isVisibleTo(list));
    struct Search
    {
        const char* text;
        size_t requests, entries;
    } searches[] = {{"h", 1, 0}, {"HA", 2, 2}, {"ban", 3, 1}};
    for (const Search& s : searches) {
        list->search_bar->setText(s.text);
        list->searchBarSearchButtonClicked();
        EXPECT_EQ(requests(), s.requests) << s.text;
        EXPECT_EQ(Entries(*list), s.entries) << s.text;
    }

    // My maps while signed out asks to sign in first; a cancel leaves the list empty.
    list->onChangeDMS(map_list::kMyMapsTab);
    auto* signIn = qobject_cast<account_login*>(list->child_dialog());
    ASSERT_NE(signIn, nullptr);
    signIn->destroyDialog(-1);
    QCoreApplication::processEvents();
    EXPECT_EQ(requests(), 3u);
    EXPECT_EQ(list->Model().rowCount(), 0);

    // A failing download says so and the window stays; a good one opens.
    list->onChangeDMS(map_list::kStoreTab);
    list->onChangeAll(0);
    list->outline->selectionModel()->select(Row(*list, {"Topo", "Channel"}),
                                            QItemSelectionModel::ClearAndSelect);
    ASSERT_TRUE(tessatest::PumpUntil([&] { return !presenter.Shown().empty(); }));
    EXPECT_EQ(presenter.Last().title, map_list::kDownloadFailedTitle);
    EXPECT_EQ(presenter.Last().text, map_list::kDownloadFailedText);
    EXPECT_FALSE(probe.Ran());
    list->outline->selectionModel()->select(Row(*list, {"Topo", "Harbour"}),
                                            QItemSelectionModel::ClearAndSelect);
    ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); }));
    EXPECT_EQ(*probe.code, 0);
    EXPECT_EQ(view->GetCurrentChartPath(), GetMVTFolder() + "/single/harbour.rlt");
}
