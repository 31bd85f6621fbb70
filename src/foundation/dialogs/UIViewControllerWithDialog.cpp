#include "foundation/dialogs/UIViewControllerWithDialog.h"

#include "foundation/dialogs/WindowPlacement.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <QVariant>
#include <algorithm>

UIViewControllerWithDialog::UIViewControllerWithDialog(QWidget* parent) : QWidget(parent)
{
    m_dcb.TakeOverPendingList();
    setAutoFillBackground(true);
}

UIViewControllerWithDialog::~UIViewControllerWithDialog()
{
    // m_dcb drops whatever it still holds without running it.
    if (m_child_dialog && m_child_dialog->m_parent_dialog == this)
        m_child_dialog->m_parent_dialog = nullptr;
    if (m_parent_dialog && m_parent_dialog->m_child_dialog == this)
        m_parent_dialog->m_child_dialog = nullptr;
}

namespace {

const char* const kBottomInset = "dialogBottomInset";

} // namespace

void UIViewControllerWithDialog::setHostBottomInset(QWidget* view, int inset)
{
    if (view)
        view->setProperty(kBottomInset, std::max(inset, 0));
}

QRect UIViewControllerWithDialog::dialogArea(const QWidget* view)
{
    if (!view)
        return QRect();
    // The top stays where it is whatever the foot holds: a dialog never moves
    // under the pointer.
    const int inset = std::min(view->property(kBottomInset).toInt(), view->height() / 2);
    return view->rect().adjusted(0, 0, 0, -std::max(inset, 0));
}

void UIViewControllerWithDialog::AddOver(QWidget* host)
{
    m_top_level_view = host;
    setParent(host);
    setGeometry(dialogArea(host));
    raise();
    show();
    // Keys go to the dialog, not to the chart it covers (arrows would pan it).
    if (host->window()->isVisible()) {
        QWidget* first = nextInFocusChain();
        while (first != this &&
               (!isAncestorOf(first) || !first->isEnabled() || !(first->focusPolicy() & Qt::TabFocus)))
            first = first->nextInFocusChain();
        first->setFocus(Qt::OtherFocusReason);
    }
}

void UIViewControllerWithDialog::showInParent(UIViewControllerWithDialog* parent)
{
    if (!parent)
        showInTopLevelWindow();
    else
        parent->showChildDialog(this);
}

void UIViewControllerWithDialog::showChildDialog(UIViewControllerWithDialog* child)
{
    if (!child || child == this)
        return;
    // A dialog already over this one keeps its place: the new one goes over
    // the innermost, so no dialog loses its parent or its child.
    UIViewControllerWithDialog* over = m_child_dialog;
    if (over && over != child && !over->m_ended) {
        while (over->m_child_dialog && !over->m_child_dialog->m_ended && over->m_child_dialog != child)
            over = over->m_child_dialog;
        if (over->m_child_dialog != child) {
            over->showChildDialog(child);
            return;
        }
    }
    if (!child->m_counted)
        ChangeOpenDialogCount(1);
    child->m_counted = true;
    child->m_parent_dialog = this;
    m_child_dialog = child;
    QWidget* host = m_top_level_view ? m_top_level_view.data() : parentWidget();
    if (!host)
        host = this;
    child->AddOver(host);
}

void UIViewControllerWithDialog::showInTopLevelWindow()
{
    auto* window = new global_dialog_window();
    m_parent_win = window;
    window->setHostedDialog(this);
    window->setWindowTitle(windowTitle());
    QSize wanted = sizeHint();
    if (wanted.isValid())
        window->resize(wanted.expandedTo(minimumSize()));
    if (!m_counted)
        ChangeOpenDialogCount(1);
    m_counted = true;
    AddOver(window->view());
    // Over the main window and inside the screen, not where the window manager puts it.
    PlaceOverMainWindow(window);
    window->show();
}

void UIViewControllerWithDialog::destroyDialog(int32_t code)
{
    if (m_ended)
        return;
    m_ended = true;
    // A dialog shown over this one moves down to this one's parent.
    UIViewControllerWithDialog* child = m_child_dialog;
    if (m_parent_dialog && m_parent_dialog->m_child_dialog == this)
        m_parent_dialog->m_child_dialog = child;
    if (child && child->m_parent_dialog == this)
        child->m_parent_dialog = m_parent_dialog;
    const bool handedDown = m_parent_dialog != nullptr;
    m_child_dialog = nullptr;
    m_parent_dialog = nullptr;
    // With no dialog below to take it, the child's host goes with this one:
    // it ends as cancelled rather than vanish still counted as open.
    if (child && !handedDown && child->m_parent_dialog == nullptr)
        child->destroyDialog(0);
    hide();
    setParent(nullptr);
    if (m_parent_win) {
        global_dialog_window* window = m_parent_win;
        m_parent_win = nullptr;
        window->setHostedDialog(nullptr);
        window->closeQuietly();
    }
    if (m_counted)
        ChangeOpenDialogCount(-1);
    m_counted = false;
    // Deleted once the continuations (which may still look at it) are done.
    deleteLater();
    m_dcb.EndDialog(code);
}

void UIViewControllerWithDialog::resizedView()
{
    if (m_top_level_view)
        setGeometry(dialogArea(m_top_level_view));
    if (m_child_dialog)
        m_child_dialog->resizedView();
}
