#include "foundation/dialogs/global_dialog_window.h"

#include "foundation/dialogs/UIViewControllerWithDialog.h"

#include <QCloseEvent>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QPointer<QWidget>& MainWindowSlot()
{
    static QPointer<QWidget> main;
    return main;
}

} // namespace

void SetDialogMainWindow(QWidget* mainWindow)
{
    MainWindowSlot() = mainWindow;
}

QWidget* DialogMainWindow()
{
    return MainWindowSlot().data();
}

void FloatAboveMainWindow(QWidget* window, QWidget* mainWindow)
{
    if (!window || !mainWindow || window == mainWindow)
        return;
    // Owned by the main window's widget as a tool window; Qt sets the
    // transient parent only when both native windows exist at creation, so
    // make them now and set it here, before the window is first shown.
    window->setParent(mainWindow->window(), Qt::Tool);
    mainWindow->window()->winId();
    window->winId();
    QWindow* handle = window->windowHandle();
    QWindow* above = mainWindow->window()->windowHandle();
    if (handle && above && handle->transientParent() != above)
        handle->setTransientParent(above);
}

global_dialog_window::global_dialog_window(QWidget* parent)
    : QWidget(parent, Qt::Window), m_view(new QWidget(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    if (!parent)
        FloatAboveMainWindow(this, DialogMainWindow());
}

void global_dialog_window::closeQuietly()
{
    m_quiet = true;
    close();
}

void global_dialog_window::closeEvent(QCloseEvent* event)
{
    QPointer<UIViewControllerWithDialog> dialog = m_dialog;
    m_dialog = nullptr;
    if (!m_quiet && dialog && !dialog->isDialogEnded()) {
        // Closed by the user: the dialog chain is cancelled, innermost first.
        UIViewControllerWithDialog* innermost = dialog;
        while (innermost->child_dialog())
            innermost = innermost->child_dialog();
        while (innermost && innermost != dialog) {
            UIViewControllerWithDialog* up = innermost->parent_dialog();
            innermost->destroyDialog(-1);
            innermost = up;
        }
        dialog->destroyDialog(-1);
    }
    event->accept();
}

void global_dialog_window::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_dialog)
        m_dialog->resizedView();
}
