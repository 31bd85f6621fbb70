#include "app/lists/overlay_list.h"

#include "ais/AISTargetManager.h"
#include "foundation/dialogs/DialogCallback.h"
#include "geodesy/LocalPlane.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "mapview/view/RasterleafView.h"
#include "ui_overlay_list.h"

#include <QHeaderView>
#include <QPointer>
#include <QScrollBar>
#include <algorithm>

// -- OverlayListModel --

void OverlayListModel::setCategories(const std::array<OverlayNode*, 4>& categories, int topCount)
{
    beginResetModel();
    m_categories = categories;
    m_topCount = std::clamp(topCount, 0, 4);
    endResetModel();
}

OverlayNode* OverlayListModel::nodeAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<OverlayNode*>(index.internalPointer()) : nullptr;
}

QModelIndex OverlayListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column > kDetailColumn || row < 0)
        return {};
    if (!parent.isValid())
        return row < m_topCount && m_categories[size_t(row)]
                   ? createIndex(row, column, m_categories[size_t(row)])
                   : QModelIndex();
    OverlayNode* node = nodeAt(parent);
    OverlayNode* child = node ? node->childAtIndex(row) : nullptr;
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex OverlayListModel::parent(const QModelIndex& child) const
{
    OverlayNode* node = nodeAt(child);
    OverlayNode* up = node ? node->parentNode() : nullptr;
    if (!up)
        return {};
    for (int i = 0; i < m_topCount; ++i)
        if (m_categories[size_t(i)] == up)
            return createIndex(i, 0, up);
    return {};
}

int OverlayListModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_topCount;
    if (parent.column() != 0)
        return 0;
    OverlayNode* node = nodeAt(parent);
    return node ? std::max(0, node->numberOfChildren()) : 0;
}

int OverlayListModel::columnCount(const QModelIndex&) const
{
    return kDetailColumn + 1;
}

bool OverlayListModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_topCount > 0;
    OverlayNode* node = nodeAt(parent);
    return parent.column() == 0 && node && node->numberOfChildren() > 0;
}

QVariant OverlayListModel::data(const QModelIndex& index, int role) const
{
    OverlayNode* node = nodeAt(index);
    // A text cut at the column's edge shows whole under the mouse.
    if (!node || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const std::string text =
        index.column() == kDetailColumn ? node->detailStringValue() : node->stringValue();
    return QString::fromStdString(text);
}

QVariant OverlayListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == kDetailColumn ? tr("Details") : tr("Name");
}

// -- overlay_list --

overlay_list::overlay_list(QWidget* topLevelView)
    : UIViewControllerWithDialog(topLevelView), m_ui(std::make_unique<Ui::overlay_list>()),
      m_model(new OverlayListModel(this))
{
    m_ui->setupUi(this);
    m_categories = {OverlayNode::initWithCategory("Marks"), OverlayNode::initWithCategory("Routes"),
                    OverlayNode::initWithCategory("Tracks"), OverlayNode::initWithCategory("AIS")};
    m_ui->outline->setModel(m_model);
    m_ui->outline->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    m_ui->outline->setColumnWidth(0, 180);
    connect(m_ui->outline, &QAbstractItemView::doubleClicked, this, [this] { onDoubleClick(); });
    UpdateSortReference();
    reloadData();
    viewDidLoad();
}

overlay_list::~overlay_list() = default;

OutlineViewWithRightClick* overlay_list::outline() const
{
    return m_ui->outline;
}

void overlay_list::viewDidLoad()
{
    m_ui->outline->setRight_click_target(this);
    m_timer = std::make_unique<CTimer>(*this);
}

int overlay_list::WantedTopCount() const
{
    return CAISTargetManager::Global().Count() > 0 ? 4 : 3;
}

void overlay_list::reloadData()
{
    if (isDialogEnded())
        return;
    ++m_reloads;
    // What the user opened, selected and scrolled to survives the rebuild.
    OutlineViewWithRightClick* view = m_ui->outline;
    std::array<bool, 4> expanded{};
    for (int i = 0; i < m_model->topCount(); ++i)
        expanded[size_t(i)] = view->isExpanded(m_model->index(i, 0));
    const OverlayNode* current = m_model->nodeAt(view->currentIndex());
    const OverlayNode* currentCategory = current && !current->isCategory() ? current->parentNode() : current;
    const std::optional<COverlayListRowKey> currentKey = current ? current->key() : std::nullopt;
    const int scroll = view->verticalScrollBar()->value();

    COverlayListDelegate* delegates[4] = {&m_marks, &m_routes, &m_tracks, &m_ais};
    std::array<OverlayNode*, 4> nodes{};
    for (size_t i = 0; i < 4; ++i) {
        m_categories[i]->setupChildrenWithDelegate(delegates[i]);
        nodes[i] = m_categories[i].get();
    }
    // The reset drops every index into the old rows before they are used again.
    m_model->setCategories(nodes, WantedTopCount());

    for (int i = 0; i < m_model->topCount(); ++i) {
        if (expanded[size_t(i)])
            view->setExpanded(m_model->index(i, 0), true);
        if (m_categories[size_t(i)].get() != currentCategory)
            continue;
        QModelIndex select = m_model->index(i, 0);
        for (int row = 0; currentKey && row < currentCategory->numberOfChildren(); ++row)
            if (*currentCategory->childAtIndex(row)->key() == *currentKey)
                select = m_model->index(row, 0, select);
        if (!currentKey || select.parent().isValid())
            view->setCurrentIndex(select);
    }
    view->verticalScrollBar()->setValue(scroll);
}

bool overlay_list::SortReferencePlace(double& latitude, double& longitude)
{
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    if (own.m_fixStatus != CDataGPSPosition::kNoFix && own.HasPosition()) {
        latitude = own.m_latitude;
        longitude = own.m_longitude;
        return true;
    }
    const CRasterleafView* view = CRasterleafView::Global();
    return view && view->GetCentreLatLon(latitude, longitude) && IsValidPosition(latitude, longitude);
}

void overlay_list::UpdateSortReference()
{
    double lat = 0, lon = 0;
    const bool found = SortReferencePlace(lat, lon);
    // The first time also clears what an earlier list left.
    if (m_referenceShown && found == m_hasReference &&
        (!found || (lat == m_referenceLat && lon == m_referenceLon)))
        return;
    if (!found)
        COverlayListDelegate::ClearSortReference();
    else if (m_hasReference)
        COverlayListDelegate::MoveSortReference(lat, lon);
    else
        COverlayListDelegate::SetSortReference(lat, lon);
    m_referenceShown = true;
    m_hasReference = found;
    m_referenceLat = lat;
    m_referenceLon = lon;
    // The marks' distances and bearings are read at each draw.
    m_ui->outline->viewport()->update();
}

void overlay_list::onTimer()
{
    if (isDialogEnded())
        return;
    UpdateSortReference();
    if (m_marks.IsDirty() || m_routes.IsDirty() || m_tracks.IsDirty() || m_ais.IsDirty() ||
        m_model->topCount() != WantedTopCount())
        reloadData();
}

template <class F> void overlay_list::ClickThenReload(F click)
{
    CCallback storage;
    QPointer<overlay_list> self(this);
    PushProgressCallback(storage, CCallback([self](int32_t) {
                             if (self && !self->isDialogEnded())
                                 self->reloadData();
                             return 0;
                         }));
    click();
    RunDialogCallbacksUntil(storage);
}

void overlay_list::onDoubleClick()
{
    const QModelIndex current = m_ui->outline->currentIndex();
    const OverlayNode* node = m_model->nodeAt(current);
    if (!node || node->isCategory() || isDialogEnded())
        return;
    // The node may be rebuilt by the reload; its key is all the click needs.
    COverlayListDelegate* delegate = node->delegate();
    const COverlayListRowKey key = *node->key();
    ClickThenReload([this, delegate, key] { delegate->Activate(key, this); });
}

void overlay_list::onRightClick(const QModelIndex& item)
{
    const OverlayNode* node = m_model->nodeAt(item);
    if (!node || isDialogEnded())
        return;
    COverlayListDelegate* delegate = node->delegate();
    if (node->isCategory())
        ClickThenReload([this, delegate] { delegate->ShowListMenu(this); });
    else
        ClickThenReload([this, delegate, key = *node->key()] { delegate->ShowRowMenu(this, key); });
}

void overlay_list::destroyDialog(int32_t code)
{
    m_timer.reset();
    UIViewControllerWithDialog::destroyDialog(code);
}

void overlay_list::hideEvent(QHideEvent* event)
{
    UIViewControllerWithDialog::hideEvent(event);
    // Ended (the window closed): a dialog opened over the list ends with it,
    // before the window that hosts both is deleted.
    if (isDialogEnded() && child_dialog())
        child_dialog()->destroyDialog(-1);
}

void overlay_list::resizeEvent(QResizeEvent* event)
{
    UIViewControllerWithDialog::resizeEvent(event);
    if (child_dialog())
        child_dialog()->resizedView();
}

UIViewControllerWithDialog* COverlayListContent::MakeOverlayList(QWidget* hostView)
{
    return new overlay_list(hostView);
}
