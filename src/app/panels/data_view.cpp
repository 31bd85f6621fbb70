#include "app/panels/data_view.h"

#include "foundation/dialogs/MessageBox.h"
#include "panels/MainAndFlip.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <cstdio>

namespace {

EMouseButton ButtonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return EMouseButton::Left;
    case Qt::RightButton:
        return EMouseButton::Right;
    case Qt::MiddleButton:
        return EMouseButton::Middle;
    default:
        return EMouseButton::None;
    }
}

} // namespace

// ---- the foreground ----

data_view_foreground::data_view_foreground(QWidget* parent, QWidget* cells)
    : FlippedView(parent), m_cells(cells)
{
    setMouseTracking(false);
}

void data_view_foreground::paintEvent(QPaintEvent* event)
{
    if (m_dv && m_dv->m_arrangeMode && m_dv->m_selected) {
        if (!m_iconsLoaded) {
            m_moveIcon = CItemStaticImage_qt::LoadPanelImage("movearrows");
            m_resizeIcon = CItemStaticImage_qt::LoadPanelImage("resizecorner");
            m_iconsLoaded = true;
        }
        const double left = m_dv->m_selLeft, top = m_dv->m_selTop;
        const double right = m_dv->m_selRight, bottom = m_dv->m_selBottom;
        QPainter painter(this);
        painter.setPen(QPen(QColor(0, 90, 200), 2));
        painter.drawRect(QRectF(left, top, right - left, bottom - top));
        if (!m_moveIcon.isNull())
            painter.drawImage(QRectF((left + right) / 2 - 16, (top + bottom) / 2 - 16, 32, 32), m_moveIcon);
        if (!m_resizeIcon.isNull())
            painter.drawImage(QRectF(right - 32, bottom - 32, 32, 32), m_resizeIcon);
    }
    FlippedView::paintEvent(event);
}

bool data_view_foreground::Deliver(EPanelMouse call, const QPointF& position)
{
    if (!m_dv || call == EPanelMouse::None)
        return false;
    // Truncated, as the panel counts in whole points.
    const bool handled =
        DeliverPanelMouse(*m_dv, call, int32_t(std::trunc(position.x())), int32_t(std::trunc(position.y())));
    if (handled)
        update();
    return handled;
}

bool data_view_foreground::Forward(QMouseEvent* event, bool press)
{
    if (press) {
        m_forwardTarget = nullptr;
        // The foreground lies exactly over the cells' host: the same coordinates.
        QWidget* target = m_cells->childAt(event->position().toPoint());
        if (!target || target->testAttribute(Qt::WA_TransparentForMouseEvents) || !target->isEnabled())
            return false;
        m_forwardTarget = target;
    }
    QPointer<QWidget> target = m_forwardTarget;
    if (!target)
        return false;
    const QPointF local = target->mapFrom(m_cells, event->position());
    QMouseEvent copy(event->type(), local, event->globalPosition(), event->button(), event->buttons(),
                     event->modifiers());
    QCoreApplication::sendEvent(target, &copy);
    return true;
}

void data_view_foreground::mousePressEvent(QMouseEvent* event)
{
    // One drag at a time: a press while another button is held is nobody's,
    // so a middle drag still ends (and leaves arrange mode) at its release.
    if (event->buttons() & ~event->button()) {
        event->accept();
        return;
    }
    const bool control = event->modifiers() & Qt::ControlModifier;
    const EPanelMouse call = MapPanelMouse(EMouseAction::Press, ButtonOf(event->button()), m_held, control);
    m_held = call == EPanelMouse::RightMouseDown ? EMouseButton::Right : ButtonOf(event->button());
    if (Deliver(call, event->position()))
        return;
    if (call != EPanelMouse::MouseDown || !Forward(event, true))
        event->ignore();
}

void data_view_foreground::mouseMoveEvent(QMouseEvent* event)
{
    const EPanelMouse call = MapPanelMouse(EMouseAction::Move, EMouseButton::None, m_held, false);
    if (Deliver(call, event->position()))
        return;
    if (m_held == EMouseButton::Left)
        Forward(event, false);
}

void data_view_foreground::mouseReleaseEvent(QMouseEvent* event)
{
    const EMouseButton held = m_held;
    const EPanelMouse call = MapPanelMouse(EMouseAction::Release, ButtonOf(event->button()), held, false);
    if (event->buttons() == Qt::NoButton)
        m_held = EMouseButton::None;
    // A press the panel left to a cell ends at that cell: the panel takes
    // every release as its own.
    if (call == EPanelMouse::MouseUp && m_forwardTarget) {
        Forward(event, false);
        m_forwardTarget = nullptr;
        return;
    }
    if (Deliver(call, event->position())) {
        m_forwardTarget = nullptr;
        return;
    }
    if (call == EPanelMouse::MouseUp)
        Forward(event, false);
    m_forwardTarget = nullptr;
}

void data_view_foreground::contextMenuEvent(QContextMenuEvent* event)
{
    // The right press itself went to the panel.
    event->accept();
}

// ---- the data view ----

data_view::data_view(QWidget* topLevelView)
    : UIViewControllerWithDialog(topLevelView), m_host(nullptr, false),
      my_DV(&c_main_and_flip_dv::Get().m_main), dvtf_filename(c_main_and_flip_dv::WorkingCopyPath()),
      m_background(new FlippedView(this)), m_foreground(new data_view_foreground(this, m_background))
{
    m_host.SetOwner(this);
    c_main_and_flip_dv& layouts = c_main_and_flip_dv::Get();
    // Changes that could not be written last time are still in the panels:
    // reading the file again would lose them.
    if (!layouts.m_main.m_modified && !layouts.m_flip.m_modified) {
        std::string message;
        layouts.LoadWorkingCopy(&message);
        if (!message.empty())
            ShowOKMessage(topLevelView, message, "Data Panel");
    }
    m_foreground->setDV(my_DV);
    m_foreground->raise();
}

data_view::~data_view()
{
    if (m_attached)
        viewDidDisappear();
}

void data_view::viewWillAppear()
{
    m_host.SetView(m_background);
    my_DV->Attach(&m_host, this);
    m_attached = true;
}

void data_view::viewDidAppear()
{
    windowResized();
}

void data_view::resizeEvent(QResizeEvent* event)
{
    UIViewControllerWithDialog::resizeEvent(event);
    windowResized();
}

void data_view::windowResized()
{
    resizedView(); // a dialog over the panel follows
    m_background->setGeometry(rect());
    m_foreground->setGeometry(rect());
    if (!m_attached)
        return;
    my_DV->Relayout();
    if (my_DV->m_arrangeMode)
        m_foreground->update();
}

bool data_view::saveIfModified(bool tell)
{
    std::string error;
    if (c_main_and_flip_dv::Get().SaveWorkingCopy(&error))
        return true;
    std::fprintf(stderr, "Data panel: %s\n", error.c_str());
    // The view may be going away with its window: the box has its own.
    if (tell)
        ShowOKMessage(nullptr, "The panel layout could not be saved: " + error, "Data Panel");
    return false;
}

void data_view::viewDidDisappear(bool tell)
{
    my_DV->m_arrangeMode = false;
    saveIfModified(tell);
    if (m_attached)
        my_DV->Detach();
    m_attached = false;
    m_host.ReleaseView();
}

void data_view::onArrange(QAction* sender)
{
    my_DV->ToggleArrange();
    m_foreground->update();
    if (sender) {
        sender->setCheckable(true);
        sender->setChecked(my_DV->m_arrangeMode);
    }
}

void data_view::onLoadLayout()
{
    c_main_and_flip_dv::Get().LoadLayout();
    m_foreground->update();
}

void data_view::onSaveFile()
{
    c_main_and_flip_dv::Get().SaveLayout();
}

void data_view::onSaveLayout()
{
    c_main_and_flip_dv::Get().SaveLayoutAs();
}

void data_view::onRestoreDefaultLayout()
{
    c_main_and_flip_dv::Get().RestoreDefaultLayout();
    m_foreground->update();
}

void data_view::ChangeGrid(int32_t rows, int32_t columns)
{
    my_DV->ChangeGrid(rows, columns);
    m_foreground->update();
}
