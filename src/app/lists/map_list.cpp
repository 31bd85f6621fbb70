#include "app/lists/map_list.h"

#include "app/dialogs/Account.h"
#include "app/dialogs/map_detail.h"
#include "charts/mapstore/MapStoreDownload.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/settings/PersistantData.h"
#include "mapview/view/RasterleafView.h"

#include <QAbstractButton>
#include <QAction>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

namespace {

// Grouped by folder or by type: the choice outlives the window and the run.
class ChartListGrouping : public PersistantData
{
public:
    ChartListGrouping() : PersistantData("map_list") {}
    void Exchange() override { ExchangeBool("show_folders", showFolders); }
    bool showFolders = true;
};
ChartListGrouping gGrouping;

bool ContinueUnlessCancelled(void* arg)
{
    return !static_cast<CProgressDialogData*>(arg)->IsCancelled();
}

bool ContainsIgnoringCase(const std::string& text, const std::string& part)
{
    return QString::fromStdString(text).contains(QString::fromStdString(part), Qt::CaseInsensitive);
}

// The chart view's centre is 999 when there is none.
bool HasCentre(double latitude)
{
    return latitude <= 90;
}

} // namespace

void CMapListRefresher::Notify(const CChartList&)
{
    m_list.refresh_everything();
}

map_list* map_list::initWithChartView(CRasterleafView& view, CChartList& chartList, QWidget* parent)
{
    auto* list = new map_list(view, chartList, parent);
    list->viewDidLoad();
    return list;
}

map_list::map_list(CRasterleafView& view, CChartList& chartList, QWidget* parent)
    : UIViewControllerWithDialog(parent), m_view(view), m_chartList(chartList), m_listing(GetMapStoreSortBy())
{
    double lat = 999, lon = 999;
    if (m_view.GetCentreLatLon(lat, lon) && lat >= -90 && lat <= 90) {
        m_centreLat = lat;
        m_centreLon = lon;
    }
    m_refresher = std::make_unique<CMapListRefresher>(*this);

    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QHBoxLayout;
    dms_control = new QTabBar(this);
    dms_control->addTab("On Device");
    dms_control->addTab("Map Store");
    dms_control->addTab("My Maps");
    all_control = new QTabBar(this);
    all_control->addTab("Here");
    all_control->addTab("All");
    tabs->addWidget(dms_control);
    tabs->addStretch();
    tabs->addWidget(all_control);
    layout->addLayout(tabs);

    header_label = new QLabel(this);
    layout->addWidget(header_label);

    search_group = new QWidget(this);
    auto* search = new QHBoxLayout(search_group);
    search->setContentsMargins(0, 0, 0, 0);
    search_bar = new QLineEdit(search_group);
    search_bar->setPlaceholderText("Map name");
    search_button = new QPushButton("Search", search_group);
    search->addWidget(search_bar);
    search->addWidget(search_button);
    layout->addWidget(search_group);

    outline = new CChartOutlineView(this);
    m_model = new CChartTreeModel(this);
    outline->setModel(m_model);
    m_cells = new CMapListCellView(outline);
    m_cells->setInfoDelegate(this);
    outline->setItemDelegate(m_cells);
    layout->addWidget(outline, 1);

    auto* bottom = new QHBoxLayout;
    menu_button = new QToolButton(this);
    menu_button->setText("Sort");
    menu_button->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(menu_button);
    item_sortbyname = menu->addAction("Sort by Name", this, &map_list::onSortByName);
    item_sortbyscale = menu->addAction("Sort by Scale", this, &map_list::onSortByScale);
    item_sortbyDistance = menu->addAction("Sort by Distance", this, &map_list::onSortByDistance);
    menu->addSeparator();
    item_showFolders = menu->addAction("Show Folders", this, &map_list::onShowFolders);
    item_showTypes = menu->addAction("Show Types", this, &map_list::onShowTypes);
    for (QAction* a :
         {item_sortbyname, item_sortbyscale, item_sortbyDistance, item_showFolders, item_showTypes})
        a->setCheckable(true);
    menu_button->setMenu(menu);
    cancel_button = new QPushButton("Cancel", this);
    bottom->addWidget(menu_button);
    bottom->addStretch();
    bottom->addWidget(cancel_button);
    layout->addLayout(bottom);

    connect(dms_control, &QTabBar::currentChanged, this, &map_list::onChangeDMS);
    connect(all_control, &QTabBar::currentChanged, this, &map_list::onChangeAll);
    connect(search_button, &QPushButton::clicked, this, &map_list::searchBarSearchButtonClicked);
    connect(search_bar, &QLineEdit::returnPressed, this, &map_list::searchBarSearchButtonClicked);
    connect(cancel_button, &QPushButton::clicked, this, &map_list::onCancel);
    connect(outline, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { outlineViewItemDidExpandOrCollapse(index, true); });
    connect(outline, &QTreeView::collapsed, this,
            [this](const QModelIndex& index) { outlineViewItemDidExpandOrCollapse(index, false); });
    connect(outline->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &map_list::outlineViewSelectionDidChange);
    // A click and a double-click on a row choose it; Return comes to
    // keyPressEvent from wherever the focus is.
    for (auto signal : {&QAbstractItemView::clicked, &QAbstractItemView::doubleClicked})
        connect(outline, signal, this, [this](const QModelIndex& index) { outlineViewRowActivated(index); });
    // A click where nothing takes the focus (the tabs, the header, the Sort
    // button) puts it in the outline, not on the chart below.
    setFocusPolicy(Qt::ClickFocus);
    setFocusProxy(outline);
}

map_list::~map_list()
{
    // Nothing may refresh a half-destroyed window.
    m_refresher.reset();
}

void map_list::viewDidLoad()
{
    update_list();
    TickSortItem(CChartOutline::CSortedPointer::SortBy());
}

void map_list::TickSortItem(int32_t order)
{
    item_sortbyname->setChecked(order == CChartOutline::CSortedPointer::kByName);
    item_sortbyscale->setChecked(order == CChartOutline::CSortedPointer::kByScale);
    item_sortbyDistance->setChecked(order == CChartOutline::CSortedPointer::kByDistance);
}

void map_list::update_list()
{
    const std::set<uint32_t> held = m_listing.held;
    m_model->Clear(); // before the nodes its rows point at go
    m_chartsTree.reset();
    m_storeTree.reset();
    m_listing = CMapShopListing(GetMapStoreSortBy());
    if (!m_showStore) {
        refresh_everything();
        return;
    }
    if (m_myMapsOnly) {
        // The account's maps need the account: signing in comes first, and
        // a cancel leaves the list empty.
        QPointer<map_list> self(this);
        EnsureSignedIn(this, [self, held](int32_t code) {
            if (!self)
                return;
            if (code != 0)
                self->refresh_everything();
            else
                self->FetchStore(false, true, held);
        });
        return;
    }
    // The store has no search by name: a search filters the listing at the
    // centre. Without a centre there is nothing near to ask for.
    const bool searching = m_showingAll;
    if ((searching && m_searchText.size() < 2) || m_centreLat > 90) {
        refresh_everything();
        return;
    }
    FetchStore(true, false, {});
}

void map_list::FetchStore(bool place, bool heldOnly, const std::set<uint32_t>& held)
{
    auto result = std::make_shared<CMapShopListing>(GetMapStoreSortBy());
    QPointer<map_list> self(this);
    CCallback storage;
    PushProgressCallback(storage, CCallback([self, result](int32_t code) {
                             if (!self)
                                 return code;
                             if (code == 0) {
                                 self->m_listing = std::move(*result);
                                 if (!self->m_listing.success && !self->m_listing.error.empty())
                                     ShowOKMessage(self, self->m_listing.error, "Map Store");
                             }
                             self->refresh_everything();
                             return code;
                         }));
    const double lat = m_centreLat, lon = m_centreLon;
    RunWithProgressDialog(this, kLoadingText,
                          [result, place, heldOnly, held, lat, lon](CProgressDialogData& d) {
                              if (place)
                                  *result = QueryMapStoreAt(lat, lon, ContinueUnlessCancelled, &d);
                              else if (heldOnly)
                                  *result = QueryMapStore({}, ContinueUnlessCancelled, &d, held);
                          });
    RunDialogCallbacksUntil(storage);
}

void map_list::refresh_everything()
{
    // Remember which rows are open before the trees go.
    for (const auto& item : m_model->Items()) {
        const std::string path = NodePath(*item);
        if (outline->isExpanded(m_model->IndexOf(item.get())))
            m_expandedPaths.insert(path);
    }
    m_model->Clear(); // before the nodes its rows point at go
    if (m_showStore) {
        const bool searching = m_showingAll && !m_myMapsOnly;
        m_storeTree = std::make_unique<CMapShopTree>();
        std::unordered_map<const MapShopData*, size_t> rank;
        if (searching) {
            // Only the entries whose name holds the search text.
            CMapShopListing found(m_listing.SortBy());
            found.held = m_listing.held;
            for (const auto& record : m_listing.Records())
                if (m_searchText.size() >= 2 && ContainsIgnoringCase(record->name, m_searchText))
                    found.Add(*record);
            m_listing = std::move(found);
        }
        MakeMapShopTree(m_listing, m_myMapsOnly, *m_storeTree);
        if (searching)
            ExpandMatchingMapShop(*m_storeTree, m_searchText);
        for (size_t i = 0; i < m_listing.Records().size(); ++i)
            rank[m_listing.Records()[i].get()] = i;
        search_group->setVisible(searching);
        item_showFolders->setVisible(false);
        item_showTypes->setVisible(false);
        m_chartsTree.reset();
        m_model->SetStoreTree(m_storeTree.get(), rank);
    } else {
        search_group->setVisible(false);
        if (m_showingAll)
            AllCharts();
        else
            chartsAtCurrentLocation();
        item_showFolders->setVisible(true);
        item_showTypes->setVisible(true);
        item_showFolders->setChecked(m_showFolders);
        item_showTypes->setChecked(!m_showFolders);
        std::vector<ChartOutlinePtr> ordered = m_chartList.Outlines();
        const bool centre = HasCentre(m_centreLat);
        CChartOutline::CSortedPointer::Sort(ordered, CChartOutline::CSortedPointer::SortBy(),
                                            centre ? m_centreLat : 0, centre ? m_centreLon : 0);
        std::unordered_map<const CChartOutline*, size_t> rank;
        rank.reserve(ordered.size());
        for (size_t i = 0; i < ordered.size(); ++i)
            rank[ordered[i].get()] = i;
        m_storeTree.reset();
        m_model->SetChartTree(m_chartsTree.get(), rank, !m_showFolders);
    }
    // Rows the user had open stay open.
    for (const auto& item : m_model->Items()) {
        if (m_expandedPaths.count(NodePath(*item)) == 0)
            continue;
        if (item->co_item)
            item->co_item->expanded = true;
        else
            item->ms_item->expanded = true;
    }
    // The header names device charts only; the store's tabs say what it shows.
    header_label->setText(QString::fromStdString(m_header));
    header_label->setVisible(!m_showStore);
    QPointer<map_list> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && !self->isDialogEnded())
            self->setTreeState();
    });
}

void map_list::chartsAtCurrentLocation()
{
    m_header = kHereHeader;
    if (HasCentre(m_centreLat))
        m_chartsTree = m_chartList.MakeTreeAt(m_centreLat, m_centreLon, !m_showFolders);
    else
        m_chartsTree = std::make_unique<CChartTree>();
}

void map_list::AllCharts()
{
    m_header = kAllHeader;
    m_chartsTree = m_chartList.MakeTreeAll(!m_showFolders);
}

std::string map_list::NodePath(const chart_tree_item& item)
{
    std::string path = (item.IsStore() ? "s|" : "c|");
    std::vector<const chart_tree_item*> chain;
    for (const chart_tree_item* i = &item; i && (i->co_item || i->ms_item); i = i->parent)
        chain.push_back(i);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        path += (*it)->Label() + "|";
    return path;
}

void map_list::setTreeState()
{
    m_settingCurrentSelection = true;
    const std::string open = m_view.GetCurrentChartPath();
    const void* selected = nullptr;
    if (m_chartsTree && !open.empty()) {
        m_chartsTree->ExpandPathTo(open);
        m_chartsTree->ForEach([&](CChartTree& node) {
            if (!selected && node.Item() && node.Item()->path == open)
                selected = &node;
        });
    } else if (m_storeTree && m_view.HasChart()) {
        const std::string name = m_view.GetMapTitle();
        m_storeTree->ExpandWhere([&name](const MapShopData& entry) { return entry.name == name; });
        m_storeTree->ForEach([&](CMapShopTree& node) {
            if (!selected && node.Item() && node.Item()->name == name)
                selected = &node;
        });
    }
    for (const auto& item : m_model->Items()) {
        const bool expanded = item->co_item ? item->co_item->expanded : item->ms_item->expanded;
        if (expanded) {
            const QModelIndex index = m_model->IndexOf(item.get());
            outline->createChildrenNow(index);
            outline->expand(index);
        }
    }
    if (chart_tree_item* item = m_model->ItemFor(selected))
        outline->selectItem(m_model->IndexOf(item));
    m_settingCurrentSelection = false;
}

void map_list::storeSelectedTypes()
{
    // Grouped by folder the tree offers no choice of types: storing it would
    // show every type of every chart again, undoing the user's choice.
    if (m_chartsTree && !m_showFolders)
        m_chartsTree->StoreSelectedTypes();
    if (m_storeTree)
        m_storeTree->StoreSelectedTypes();
}

void map_list::outlineViewItemDidExpandOrCollapse(const QModelIndex& index, bool expanded)
{
    if (m_settingCurrentSelection)
        return;
    chart_tree_item* item = m_model->Item(index);
    if (!item)
        return;
    if (item->co_item)
        item->co_item->expanded = expanded;
    else
        item->ms_item->expanded = expanded;
    if (expanded)
        m_expandedPaths.insert(NodePath(*item));
    else
        m_expandedPaths.erase(NodePath(*item));
}

void map_list::outlineViewSelectionDidChange()
{
    if (m_settingCurrentSelection)
        return;
    const QModelIndexList rows = outline->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    chart_tree_item* item = m_model->Item(rows.front());
    if (!item || !item->HasEntry())
        return;
    if (item->ms_item)
        ChooseStoreEntry(*item->ms_item->Item());
    else
        ChooseChart(item->co_item->Item());
}

void map_list::ChooseStoreEntry(const MapShopData& entry)
{
    QPointer<map_list> self(this);
    // A download may end before DownloadMapFile returns; one that never
    // started is known only after.
    auto refused = std::make_shared<bool>(false);
    CCallback storage;
    PushProgressCallback(
        storage, CCallback([self, refused](int32_t code) {
            if (!self)
                return code;
            if (code < 0 || *refused)
                MessageBox(self, nullptr, kDownloadFailedTitle, kDownloadFailedText, {{"OK", nullptr}});
            else
                self->didDownloadChartOK();
            return code;
        }));
    *refused = !DownloadMapFile(this, entry.path, m_downloadedPath);
    storeSelectedTypes();
    RunDialogCallbacksUntil(storage);
}

void map_list::didDownloadChartOK()
{
    if (m_downloadedPath.size() > 6 &&
        m_downloadedPath.compare(m_downloadedPath.size() - 6, 6, ".tspkg") == 0) {
        // A package was installed: its charts are in the list now.
        destroyDialog(0);
        return;
    }
    ChooseChart(m_chartList.FindByPath(m_downloadedPath));
}

void map_list::ChooseChart(const ChartOutlinePtr& chart)
{
    const std::string path = chart ? chart->path : m_downloadedPath;
    QPointer<map_list> self(this);
    CCallback storage;
    PushProgressCallback(storage, CCallback([self](int32_t code) {
                             if (self && code >= 0)
                                 self->didOpenChartOK();
                             return code;
                         }));
    m_selectedCharts.clear();
    m_view.SwitchChart(path, true);
    storeSelectedTypes();
    RunDialogCallbacksUntil(storage);
}

void map_list::didOpenChartOK()
{
    // The chart opens on the view's own time; a switch under way counts.
    if ((m_view.HasChart() || m_view.IsSwitching()) && !isDialogEnded())
        destroyDialog(0);
}

void map_list::TableCellInfoButtonWasClicked(int, const QModelIndex& index)
{
    chart_tree_item* item = m_model->Item(index);
    if (!item || !item->co_item)
        return;
    m_selectedCharts.clear();
    item->co_item->ForEach([this](CChartTree& node) {
        if (node.Item())
            m_selectedCharts.push_back(node.Item());
    });
    if (m_selectedCharts.empty())
        return;
    QPointer<map_list> self(this);
    CCallback storage;
    PushProgressCallback(storage, CCallback([self](int32_t code) {
                             if (self)
                                 self->didFinishMapDetail(code);
                             return code;
                         }));
    OpenMapDetail(this, std::vector<ChartOutlinePtr>(m_selectedCharts));
    RunDialogCallbacksUntil(storage);
}

void map_list::didFinishMapDetail(int32_t result)
{
    storeSelectedTypes();
    if (result == 1) {
        int failed = 0, deleted = 0;
        for (const ChartOutlinePtr& chart : m_selectedCharts) {
            // Charts that came with the application are never deleted, one
            // at a time or among many.
            if (!chart || map_detail::IsBuiltInChart(chart->path))
                continue;
            if (m_view.GetCurrentChartPath() == chart->path)
                m_view.CloseChart();
            if (m_chartList.DeleteChart(chart))
                ++deleted;
            else
                ++failed;
        }
        m_selectedCharts.clear();
        if (deleted > 0)
            FireEvent<CChartList>(m_chartList); // the refresher rebuilds the list
        else
            refresh_everything();
        if (failed > 0) {
            char text[64];
            std::snprintf(text, sizeof text, "%d map(s) could not be deleted", failed);
            ShowOKMessage(this, "", text);
        }
        return;
    }
    if (result == 2) {
        destroyDialog(0);
        return;
    }
    refresh_everything();
}

void map_list::FocusSearchWhenSearching()
{
    if (m_showStore && m_showingAll && !m_myMapsOnly)
        search_bar->setFocus();
}

void map_list::onMapvaultShop()
{
    m_showStore = true;
    m_myMapsOnly = false;
    const QSignalBlocker block(dms_control);
    dms_control->setCurrentIndex(kStoreTab);
    update_list();
}

void map_list::onChangeDMS(int tab)
{
    m_showStore = tab != kDeviceTab;
    m_myMapsOnly = tab == kMyMapsTab;
    if (dms_control->currentIndex() != tab) {
        const QSignalBlocker block(dms_control);
        dms_control->setCurrentIndex(tab);
    }
    update_list();
    FocusSearchWhenSearching();
}

void map_list::onChangeAll(int tab)
{
    m_showingAll = tab == 1;
    if (all_control->currentIndex() != tab) {
        const QSignalBlocker block(all_control);
        all_control->setCurrentIndex(tab);
    }
    update_list();
    FocusSearchWhenSearching();
}

void map_list::searchBarSearchButtonClicked()
{
    const QString text = search_bar->text().trimmed();
    if (text.size() < 2)
        return;
    m_searchText = text.toStdString();
    update_list();
}

void map_list::didChangeSort(int32_t order)
{
    CChartOutline::CSortedPointer::SetSortBy(order);
    TickSortItem(order);
    ResortMapShopList(m_listing);
    refresh_everything();
}

void map_list::onShowFolders()
{
    m_showFolders = true;
    StoreShowFolders(true);
    refresh_everything();
}

void map_list::onShowTypes()
{
    m_showFolders = false;
    StoreShowFolders(false);
    refresh_everything();
}

bool map_list::StoredShowFolders()
{
    return gGrouping.showFolders;
}

void map_list::StoreShowFolders(bool showFolders)
{
    if (gGrouping.showFolders == showFolders)
        return;
    gGrouping.showFolders = showFolders;
    gGrouping.SetModified();
}

bool map_list::IsOpenRow(const chart_tree_item& item) const
{
    if (!m_view.HasChart() || !item.HasEntry())
        return false;
    return item.co_item ? item.co_item->Item()->path == m_view.GetCurrentChartPath()
                        : item.ms_item->Item()->name == m_view.GetMapTitle();
}

void map_list::outlineViewRowActivated(const QModelIndex& index, bool chooseOthers)
{
    // Choosing another row by the mouse opens it through the selection; the
    // open chart's own row, already selected, is chosen here and only closes
    // the list.
    if (isDialogEnded() || m_view.IsSwitching())
        return;
    chart_tree_item* item = m_model->Item(index);
    if (!item || !item->HasEntry())
        return;
    if (IsOpenRow(*item)) {
        storeSelectedTypes();
        destroyDialog(0);
        return;
    }
    if (!chooseOthers)
        return;
    if (item->ms_item)
        ChooseStoreEntry(*item->ms_item->Item());
    else
        ChooseChart(item->co_item->Item());
}

void map_list::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (key == Qt::Key_Escape && plain) {
        onCancel();
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && plain) {
        QWidget* focus = focusWidget();
        // The search field has searched; a button is pressed as by Space.
        if (focus == search_bar)
            return;
        if (auto* button = qobject_cast<QAbstractButton*>(focus)) {
            button->click();
            return;
        }
        const QModelIndexList rows = outline->selectionModel()->selectedRows();
        outlineViewRowActivated(rows.isEmpty() ? outline->currentIndex() : rows.front(), true);
        return;
    }
    // Nothing passes on to the chart below: its arrow keys would pan it.
    event->accept();
}

void map_list::onCancel()
{
    storeSelectedTypes();
    if (!m_view.HasChart())
        m_view.ReopenAtCentre();
    destroyDialog(-1);
}

void CChartListOpener::OpenChartList(UIViewControllerWithDialog& host, CRasterleafView& view)
{
    map_list* list = map_list::initWithChartView(view, CChartList::Instance());
    list->showInParent(&host);
}
