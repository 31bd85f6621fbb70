#pragma once
// The window of the data panel: a window of its own beside the main window,
// stacked like any other, so the main window raised over it shows its
// dialogs whole. At most one exists; closing it saves a changed layout, and
// reopening makes a new one that reads the working copy again.
#include "app/panels/data_view.h"

#include <QPointer>
#include <QWidget>

class QAction;
class QMenu;
class QToolBar;

class data_window : public QWidget
{
    Q_OBJECT

public:
    // The open window, raised, or a new one, shown.
    static data_window* Open(QWidget* mainWindow);
    static data_window* Current();
    // Saves a changed layout, closes and deletes the open window. Not to be
    // called from the window's own event handlers.
    static void Release();

    data_view* dlg() const { return m_dlg; }
    QWidget* view() const { return m_view; }
    void setView(QWidget* view) { m_view = view; }

    void saveIfModified();
    // The menu of the panel's commands, at the mouse.
    void onOpenDataMenu();
    // The same menu, built afresh (the Save item shows only with a current layout).
    QMenu* MakeDataMenu(QWidget* parent);

    void onArrange(QAction* sender);
    void onLoadLayout();
    void onSaveFile();
    void onSaveLayout();
    void onRestoreDefaultLayout();
    void onAddRow();
    void onAddColumn();
    void onRemoveRow();
    void onRemoveColumn();

    QToolBar* Toolbar() const { return m_toolbar; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    data_window();
    void windowDidLoad();
    // Right of the main window, or inside its right edge when the screen is full.
    void PlaceBeside(QWidget* mainWindow);

    QToolBar* m_toolbar;
    QWidget* m_view;
    QPointer<data_view> m_dlg;
    bool m_quiet = false; // closed at termination
};
