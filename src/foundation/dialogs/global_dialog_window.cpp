#include "foundation/dialogs/global_dialog_window.h"

#include "foundation/dialogs/UIViewControllerWithDialog.h"

#include <QCloseEvent>
#include <QVBoxLayout>

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
    // Qt makes the main window's native window first when needed and sets
    // it as the transient parent of a parented tool window.
    window->setParent(mainWindow->window(), Qt::Tool);
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

void global_dialog_window::setHostedDialog(UIViewControllerWithDialog* dialog)
{
    m_dialog = dialog;
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
