#pragma once
// The window that hosts a top-level dialog and the chain of dialogs shown
// over it. Its `view` is the area the dialogs fill. Closing the window
// cancels the dialog it hosts, so that no continuation is left waiting.
#include <QPointer>
#include <QWidget>

class UIViewControllerWithDialog;

class global_dialog_window : public QWidget
{
    Q_OBJECT

public:
    explicit global_dialog_window(QWidget* parent = nullptr);

    QWidget* view() const { return m_view; }
    void setHostedDialog(UIViewControllerWithDialog* dialog) { m_dialog = dialog; }
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
