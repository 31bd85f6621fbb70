#pragma once
// The base of every dialog: a widget that is shown either over its parent
// dialog (filling the parent's host window) or in a window of its own, and
// that runs the continuations it took over when it is destroyed with a code.
// Constructing one takes over the pending list; deleting one that was never
// ended drops those continuations without running them.
#include "foundation/dialogs/DialogCallback.h"

#include <QPointer>
#include <QWidget>
#include <cstdint>

class global_dialog_window;

class UIViewControllerWithDialog : public QWidget
{
    Q_OBJECT

public:
    explicit UIViewControllerWithDialog(QWidget* parent = nullptr);
    ~UIViewControllerWithDialog() override;

    // Over `parent` when given, else in a window of its own.
    void showInParent(UIViewControllerWithDialog* parent);
    // Shows `child` over this dialog, in the same host window.
    void showChildDialog(UIViewControllerWithDialog* child);
    // Makes a dialog window and shows this dialog in it.
    void showInTopLevelWindow();
    // Ends the dialog: unlinks it from its parent, removes it from the host,
    // closes its own window, posts `code` and runs its continuations. The
    // object is deleted later by the event loop.
    void destroyDialog(int32_t code);
    // The host was resized: fill it again, and so does the child.
    void resizedView();
    // Makes this a host whose children fill `topLevelView` (a main window's
    // chart); the host itself stays hidden.
    void setHostView(QWidget* topLevelView) { m_top_level_view = topLevelView; }
    // Dialogs over `view` end `inset` pixels above its foot, where the view
    // keeps its status line; call resizedView() afterwards.
    static void setHostBottomInset(QWidget* view, int inset);
    // The part of `view` the dialogs over it fill.
    static QRect dialogArea(const QWidget* view);

    UIViewControllerWithDialog* child_dialog() const { return m_child_dialog; }
    UIViewControllerWithDialog* parent_dialog() const { return m_parent_dialog; }
    QWidget* dialog_view() { return this; }
    QWidget* top_level_view() const { return m_top_level_view; }
    global_dialog_window* parent_win() const { return m_parent_win; }
    CDialogCallbackList& dcb() { return m_dcb; }
    bool isDialogEnded() const { return m_ended; }

private:
    void AddOver(QWidget* host);

    QPointer<UIViewControllerWithDialog> m_child_dialog;
    QPointer<UIViewControllerWithDialog> m_parent_dialog;
    QPointer<QWidget> m_top_level_view;
    QPointer<global_dialog_window> m_parent_win;
    CDialogCallbackList m_dcb;
    bool m_ended = false;
    bool m_counted = false; // counted among the open dialogs
};
