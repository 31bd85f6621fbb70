#pragma once
// The dialog inside the overlay window: an outline with the categories
// "Marks", "Routes", "Tracks" and, while any AIS target is known, "AIS", each
// listing its objects with a name and a detail column. What the rows show and
// what clicks do comes from one list delegate per category.
//
// Changes of the objects only mark a delegate dirty; a once-a-second check
// rebuilds the rows then. Rows hold keys, not objects (see OverlayNode.h).
#include "ais/AISListDelegate.h"
#include "app/lists/OverlayNode.h"
#include "app/window/OverlayWindowPorts.h"
#include "foundation/dialogs/DialogViews.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/events/Heartbeat.h"

#include <QAbstractItemModel>
#include <array>
#include <memory>

namespace Ui {
class overlay_list;
}

// The outline's data: top row i is category node i, below a node its
// children. Column 1 ("detail") asks its row's detail at every draw.
class OverlayListModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    static constexpr int kDetailColumn = 1;

    explicit OverlayListModel(QObject* parent = nullptr) : QAbstractItemModel(parent) {}
    // The category rows; the first `topCount` are shown. Resets the model.
    void setCategories(const std::array<OverlayNode*, 4>& categories, int topCount);
    int topCount() const { return m_topCount; }
    OverlayNode* nodeAt(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::array<OverlayNode*, 4> m_categories{};
    int m_topCount = 0;
};

class overlay_list : public UIViewControllerWithDialog, public IRightClickTarget
{
    Q_OBJECT

public:
    // Loads the view into `topLevelView` and fills it.
    explicit overlay_list(QWidget* topLevelView);
    ~overlay_list() override;

    void viewDidLoad();
    // Rebuilds every category's rows from its delegate, then the outline.
    void reloadData();
    // The once-a-second check: moves the sort reference with the place it
    // stands for, then reloads when a delegate is dirty or the AIS category
    // appears or goes.
    void onTimer();
    // Distances are measured from the own ship while it has a fix, else from
    // the chart view's centre; false when neither is known.
    static bool SortReferencePlace(double& latitude, double& longitude);
    // The selected row's double click; nothing without a selected row.
    void onDoubleClick();
    void onRightClick(const QModelIndex& item) override;
    // Detaches the timer, then ends as every dialog does.
    void destroyDialog(int32_t code);

    OutlineViewWithRightClick* outline() const;
    OverlayListModel* model() const { return m_model; }
    bool HasTimer() const { return m_timer != nullptr; }
    // How many times the rows were rebuilt.
    int ReloadCount() const { return m_reloads; }
    QSize sizeHint() const override { return {440, 520}; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class CTimer : public CHeartbeat::Counter
    {
    public:
        explicit CTimer(overlay_list& list) : CHeartbeat::Counter(CHeartbeat::kTicksPerSecond), m_list(list)
        {
        }
        void OnTick() override { m_list.onTimer(); }

    private:
        overlay_list& m_list;
    };

    // Queues a reload behind whatever `click` opens, then runs `click`.
    template <class F> void ClickThenReload(F click);
    int WantedTopCount() const;
    // Sets the lists' sort reference to SortReferencePlace when it moved.
    void UpdateSortReference();

    std::unique_ptr<Ui::overlay_list> m_ui;
    OverlayListModel* m_model;
    CMarkListDelegate m_marks;
    CRouteListDelegate m_routes;
    CTrackListDelegate m_tracks;
    CAISListDelegate m_ais;
    std::array<std::unique_ptr<OverlayNode>, 4> m_categories;
    std::unique_ptr<CTimer> m_timer;
    int m_reloads = 0;
    bool m_referenceShown = false; // set once at the first check
    bool m_hasReference = false;
    double m_referenceLat = 0, m_referenceLon = 0;
};

// Fills the overlay window with an overlay_list.
class COverlayListContent : public IOverlayWindowContent
{
public:
    UIViewControllerWithDialog* MakeOverlayList(QWidget* hostView) override;
};
