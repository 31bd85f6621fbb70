#include "app/window/overlay_window.h"

#include "app/window/OverlayWindowPorts.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/WindowPlacement.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <QCloseEvent>
#include <QVBoxLayout>

namespace {

QPointer<overlay_window>& CurrentSlot()
{
    static QPointer<overlay_window> current;
    return current;
}

} // namespace

overlay_window::overlay_window(QWidget* mainWindow) : QWidget(nullptr, Qt::Window), m_view(new QWidget(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Overlays"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    FloatAboveMainWindow(this, mainWindow);
}

overlay_window* overlay_window::Open(QWidget* mainWindow)
{
    if (overlay_window* open = CurrentSlot().data()) {
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    auto* window = new overlay_window(mainWindow);
    UIViewControllerWithDialog* list = Port<IOverlayWindowContent>().MakeOverlayList(window->view());
    if (!list) {
        delete window; // never shown, nothing refers to it yet
        return nullptr;
    }
    window->m_list = list;
    if (list->parentWidget() != window->view())
        list->setParent(window->view());
    QSize wanted = list->sizeHint();
    if (wanted.isValid())
        window->resize(wanted.expandedTo(list->minimumSize()));
    list->setGeometry(window->view()->rect());
    list->show();
    CurrentSlot() = window;
    if (!TrackWindowGeometry(window, "overlays"))
        PlaceOverMainWindow(window);
    window->show();
    return window;
}

overlay_window* overlay_window::Current()
{
    return CurrentSlot().data();
}

void overlay_window::Release()
{
    QPointer<overlay_window> window = CurrentSlot();
    if (!window)
        return;
    window->close();
    // At termination the event loop may not run again to delete it.
    delete window.data();
}

void overlay_window::closeEvent(QCloseEvent* event)
{
    QPointer<UIViewControllerWithDialog> list = m_list;
    m_list = nullptr;
    if (list && !list->isDialogEnded())
        list->destroyDialog(0);
    event->accept(); // deleted later (WA_DeleteOnClose), which clears the reference
}

void overlay_window::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_list)
        return;
    m_list->setGeometry(m_view->rect());
    m_list->resizedView();
}
