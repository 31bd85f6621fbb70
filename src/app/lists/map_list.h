#pragma once
// The chart list window: the user picks a chart on the device (at the place
// shown or all of them, grouped by chart folder or by chart type) or a map
// from the map store (at the place shown, by a name search, or the account's
// own maps). A chart opens in the chart view and the window closes; a store
// map downloads first. The info button of a row opens the details of every
// chart under it, from which they can be deleted.
#include "app/lists/chart_tree_item.h"
#include "app/window/MainWindowPorts.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/events/Listener.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

class CRasterleafView;
class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QToolButton;
class map_list;

// Refreshes the list whenever the chart list changes (a rescan, a download).
class CMapListRefresher : public Listener<CChartList>
{
public:
    explicit CMapListRefresher(map_list& list) : m_list(list) {}
    void Notify(const CChartList& event) override;

private:
    map_list& m_list;
};

class map_list : public UIViewControllerWithDialog, public ITableCellInfoButtonDelegate
{
    Q_OBJECT

public:
    static constexpr const char* kHereHeader = "Maps At This Location";
    static constexpr const char* kAllHeader = "All Maps On Device";
    static constexpr const char* kDownloadFailedTitle = "Download map failed";
    static constexpr const char* kDownloadFailedText =
        "Please try later. If the problem persists, please let Tessaroute know.";
    static constexpr const char* kLoadingText = "Loading maps...";
    // The device or store control: its tabs.
    enum : int { kDeviceTab = 0, kStoreTab = 1, kMyMapsTab = 2 };

    static map_list* initWithChartView(CRasterleafView& view, CChartList& chartList,
                                       QWidget* parent = nullptr);
    ~map_list() override;

    void update_list();
    void refresh_everything();
    void chartsAtCurrentLocation();
    void AllCharts();
    void setTreeState();
    void storeSelectedTypes();
    void didDownloadChartOK();
    void didOpenChartOK();
    void didFinishMapDetail(int32_t result);

    void onMapvaultShop();
    void onChangeDMS(int tab);
    void onChangeAll(int tab); // 0 here, 1 all
    void searchBarSearchButtonClicked();
    void didChangeSort(int32_t order);
    void onSortByName() { didChangeSort(0); }
    void onSortByScale() { didChangeSort(1); }
    void onSortByDistance() { didChangeSort(2); }
    void onShowFolders();
    void onShowTypes();
    void onCancel();

    // ITableCellInfoButtonDelegate
    void TableCellInfoButtonWasClicked(int row, const QModelIndex& item) override;

    // What the window shows, for its tests.
    const std::string& Header() const { return m_header; }
    CChartTreeModel& Model() { return *m_model; }
    const CMapShopListing& Listing() const { return m_listing; }
    bool IsSettingSelection() const { return m_settingCurrentSelection; }
    // The charts the details were last opened for.
    const std::vector<ChartOutlinePtr>& SelectedCharts() const { return m_selectedCharts; }

    CChartOutlineView* outline = nullptr;
    QLabel* header_label = nullptr;
    QTabBar* dms_control = nullptr;
    QTabBar* all_control = nullptr;
    QWidget* search_group = nullptr;
    QLineEdit* search_bar = nullptr;
    QPushButton* search_button = nullptr;
    QToolButton* menu_button = nullptr;
    QPushButton* cancel_button = nullptr;
    QAction* item_sortbyname = nullptr;
    QAction* item_sortbyscale = nullptr;
    QAction* item_sortbyDistance = nullptr;
    QAction* item_showFolders = nullptr;
    QAction* item_showTypes = nullptr;

protected:
    // Escape from anywhere in the list cancels it and Return chooses the
    // selected row (keys the tree, the tabs and the search field leave
    // unused come here).
    void keyPressEvent(QKeyEvent* event) override;

private:
    map_list(CRasterleafView& view, CChartList& chartList, QWidget* parent);
    void viewDidLoad();
    void TickSortItem(int32_t order);
    // Fetches a store listing on a progress job, then refreshes.
    void FetchStore(bool place, bool heldOnly, const std::set<uint32_t>& held);
    void FocusSearchWhenSearching();
    void outlineViewItemDidExpandOrCollapse(const QModelIndex& index, bool expanded);
    void outlineViewSelectionDidChange();
    // The open chart's row closes the list; another row is opened only when
    // `chooseOthers` (Return: a click opened it through the selection).
    void outlineViewRowActivated(const QModelIndex& index, bool chooseOthers = false);
    bool IsOpenRow(const chart_tree_item& item) const;
    // The grouping chosen last, kept in the settings.
    static bool StoredShowFolders();
    static void StoreShowFolders(bool showFolders);
    void ChooseStoreEntry(const MapShopData& entry);
    void ChooseChart(const ChartOutlinePtr& chart);
    // The label path of a row, kept across rebuilds of the trees.
    static std::string NodePath(const chart_tree_item& item);

    CRasterleafView& m_view;
    CChartList& m_chartList;
    double m_centreLat = 999, m_centreLon = 999;
    std::string m_header;
    bool m_showingAll = false;
    bool m_showFolders = StoredShowFolders();
    bool m_showStore = false;
    bool m_myMapsOnly = false;
    std::string m_searchText;
    std::unique_ptr<CChartTree> m_chartsTree;
    std::unique_ptr<CMapShopTree> m_storeTree;
    CMapShopListing m_listing;
    std::vector<ChartOutlinePtr> m_selectedCharts;
    bool m_settingCurrentSelection = false;
    std::string m_downloadedPath;
    std::set<std::string> m_expandedPaths;
    CChartTreeModel* m_model = nullptr;
    CMapListCellView* m_cells = nullptr;
    std::unique_ptr<CMapListRefresher> m_refresher;
};

// The main window's chart list: File > Open and the maps button.
class CChartListOpener : public IChartListOpener
{
public:
    void OpenChartList(UIViewControllerWithDialog& host, CRasterleafView& view) override;
};
