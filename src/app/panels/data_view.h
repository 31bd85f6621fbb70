#pragma once
// The view that puts the main panel on screen: a host widget for the cells
// and, over them, a transparent foreground that shows the arrange-mode
// handles and takes the mouse. Its layout file is always the working copy:
// the shipped default is only read.
#include "app/panels/PanelAdaptors_qt.h"
#include "foundation/dialogs/DialogViews.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "panels/PanelFrames.h"

#include <QImage>
#include <QPointer>
#include <string>

class QAction;

// Over the cells: the selection rectangle with the "movearrows" and
// "resizecorner" handles in arrange mode, and the mouse for the panel. A
// click the panel does not take goes on to the cell under it.
class data_view_foreground : public FlippedView
{
    Q_OBJECT

public:
    explicit data_view_foreground(QWidget* parent, QWidget* cells);
    void setDV(CDisplayView* dv) { m_dv = dv; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool Deliver(EPanelMouse call, const QPointF& position);
    // Sends the event on to the cell widget under the point; true when one took it.
    bool Forward(QMouseEvent* event, bool press);

    CDisplayView* m_dv = nullptr;
    QWidget* m_cells;
    QImage m_moveIcon;
    QImage m_resizeIcon;
    bool m_iconsLoaded = false;
    EMouseButton m_held = EMouseButton::None;
    QPointer<QWidget> m_forwardTarget;
};

class data_view : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    // Reads the working copy (else the shipped layout) into the panels; a
    // refused working copy is kept aside and the user told.
    data_view(QWidget* topLevelView);
    ~data_view() override;

    // On screen: the panel is attached to the host widget and laid out.
    void viewWillAppear();
    void viewDidAppear();
    // The window was resized.
    void windowResized();
    // Writes the working copy when the panel changed. A failed write is
    // told to the user when `tell` (not at termination).
    bool saveIfModified(bool tell = true);
    // Off screen: arrange mode off, saved (a failure told when `tell`), detached.
    void viewDidDisappear(bool tell = false);

    // The menu actions.
    void onArrange(QAction* sender);
    void onLoadLayout();
    void onSaveFile();
    void onSaveLayout();
    void onRestoreDefaultLayout();
    void onAddRow() { ChangeGrid(1, 0); }
    void onAddColumn() { ChangeGrid(0, 1); }
    void onRemoveRow() { ChangeGrid(-1, 0); }
    void onRemoveColumn() { ChangeGrid(0, -1); }
    // The panel's background picture: accepted, not shown.
    void setBackgroundImageFile(const std::string& path) { m_backgroundFile = path; }
    // A first click acts at once.
    static bool acceptsFirstMouse() { return true; }

    CDisplayView& DV() const { return *my_DV; }
    CViewAdaptor_qt& HostAdaptor() { return m_host; }
    QWidget* background_view() const { return m_background; }
    data_view_foreground* foreground_view() const { return m_foreground; }
    const std::string& LayoutFile() const { return dvtf_filename; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ChangeGrid(int32_t rows, int32_t columns);

    CViewAdaptor_qt m_host;
    CDisplayView* my_DV;
    std::string dvtf_filename;
    std::string m_backgroundFile;
    QWidget* m_background;
    data_view_foreground* m_foreground;
    bool m_attached = false;
};
