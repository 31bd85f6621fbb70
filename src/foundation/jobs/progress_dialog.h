#pragma once
// The progress dialog: a thin Qt view over CProgressWatch. A one-shot timer
// ticks it every quarter second; when the job has ended the dialog closes and
// deletes itself (its continuations have run by then). It is opened without a
// nested event loop.
#include "foundation/jobs/JobPorts.h"
#include "foundation/jobs/ProgressWatch.h"

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class progress_dialog;
}

class progress_dialog : public QDialog, private IProgressView
{
    Q_OBJECT
public:
    progress_dialog(QWidget* parent, std::shared_ptr<CProgressDialogData> data, const std::string& message);
    ~progress_dialog() override;

    // Opens the dialog (window-modal over a parent) and starts ticking.
    void Open();
    CProgressWatch& Watch() { return m_watch; }

    std::string MessageText() const;
    std::string TimeText() const;
    bool TimeLabelShown() const;
    int BarValue() const; // 0..1000

public slots:
    void onCancel();

private:
    void onTimer();
    void reject() override; // Escape and the close box cancel the job, never the dialog

    void ShowMessage(const std::string& message) override;
    void SetBar(double fraction) override;
    void ShowTimeLabel(bool shown) override;
    void SetTimeText(const std::string& text) override;

    std::unique_ptr<Ui::progress_dialog> m_ui;
    CProgressWatch m_watch;
};

// The application's dialog opener port: opens this dialog.
class CQtProgressDialogOpener : public IProgressDialogOpener
{
public:
    progress_dialog* OpenProgressDialog(QWidget* parent, std::shared_ptr<CProgressDialogData> data,
                                        const std::string& message) override;
};
