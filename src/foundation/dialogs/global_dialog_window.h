#pragma once
// The window that hosts a top-level dialog and the chain of dialogs shown
// over it. Its `view` is the area the dialogs fill. Closing the window
// cancels the dialog it hosts, so that no continuation is left waiting.
//
// Once the application has named its main window, dialog windows are tool
// windows owned by it: the window manager keeps them above the main window
// only, so other applications still cover them and nothing has to raise or
// lower them when the application is switched.
#include <QPointer>
#include <QWidget>

class UIViewControllerWithDialog;

// The window the dialog windows float above; null until set, and again once
// that window is destroyed. Main thread only.
void SetDialogMainWindow(QWidget* mainWindow);
QWidget* DialogMainWindow();

// Makes `window` a tool window owned by `mainWindow`, whose native window
// becomes its transient parent. A null main window leaves `window` as it is.
void FloatAboveMainWindow(QWidget* window, QWidget* mainWindow);

class global_dialog_window : public QWidget
{
    Q_OBJECT

public:
    explicit global_dialog_window(QWidget* parent = nullptr);

    QWidget* view() const { return m_view; }
    void setHostedDialog(UIViewControllerWithDialog* dialog);
    // Closes the window without ending the dialog (the dialog ends itself).
    void closeQuietly();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_view;
    QPointer<UIViewControllerWithDialog> m_dialog;
    bool m_quiet = false;
};
