#pragma once
// The floating window of the overlay list. It is a tool window of the main
// window, so it stays above the main window only. At most one exists; the
// process-wide reference below is its only owner, and it clears itself when
// the window closes and deletes itself, so nothing can reach a closed window.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <QPointer>
#include <QWidget>

class overlay_window : public QWidget
{
    Q_OBJECT

public:
    // The open window, raised and activated, or a new one with a new list
    // from the content port, shown. Null when the port has no list to give.
    static overlay_window* Open(QWidget* mainWindow);
    // The open window, or null.
    static overlay_window* Current();
    // Closes and deletes the open window (the list ends with 0). Not to be
    // called from the window's own event handlers.
    static void Release();

    QWidget* view() const { return m_view; }
    UIViewControllerWithDialog* list() const { return m_list; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    explicit overlay_window(QWidget* mainWindow);

    QWidget* m_view;
    QPointer<UIViewControllerWithDialog> m_list;
};
