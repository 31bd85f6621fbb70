#include "foundation/jobs/progress_dialog.h"

#include "foundation/jobs/ProgressJobs.h"
#include "ui_progress_dialog.h"

#include <QTimer>
#include <cmath>

progress_dialog::progress_dialog(QWidget* parent, std::shared_ptr<CProgressDialogData> data,
                                 const std::string& message)
    : QDialog(parent), m_ui(std::make_unique<Ui::progress_dialog>()), m_watch(std::move(data), message, this)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
    connect(m_ui->btn_cancel, &QPushButton::clicked, this, &progress_dialog::onCancel);
}

progress_dialog::~progress_dialog() = default;

progress_dialog* CQtProgressDialogOpener::OpenProgressDialog(QWidget* parent,
                                                             std::shared_ptr<CProgressDialogData> data,
                                                             const std::string& message)
{
    auto* dialog = new progress_dialog(parent, std::move(data), message);
    dialog->Open();
    return dialog;
}

void progress_dialog::Open()
{
    m_watch.Start();
    if (parentWidget())
        setWindowModality(Qt::WindowModal);
    show();
    // Timers with this dialog as context die with it.
    QTimer::singleShot(250, this, [this] { onTimer(); });
}

void progress_dialog::onCancel()
{
    m_watch.Cancel();
}

void progress_dialog::reject()
{
    onCancel();
}

void progress_dialog::onTimer()
{
    if (!m_watch.OnTimer()) {
        QTimer::singleShot(250, this, [this] { onTimer(); });
        return;
    }
    hide();
    deleteLater();
}

void progress_dialog::ShowMessage(const std::string& message)
{
    m_ui->lab_message->setText(QString::fromStdString(message));
}

void progress_dialog::SetBar(double fraction)
{
    m_ui->progress_bar->setValue(static_cast<int>(std::lround(fraction * 1000.0)));
}

void progress_dialog::ShowTimeLabel(bool shown)
{
    m_ui->lab_time_label->setVisible(shown);
}

void progress_dialog::SetTimeText(const std::string& text)
{
    m_ui->lab_time_remaining->setText(QString::fromStdString(text));
}

std::string progress_dialog::MessageText() const
{
    return m_ui->lab_message->text().toStdString();
}

std::string progress_dialog::TimeText() const
{
    return m_ui->lab_time_remaining->text().toStdString();
}

bool progress_dialog::TimeLabelShown() const
{
    return !m_ui->lab_time_label->isHidden();
}

int progress_dialog::BarValue() const
{
    return m_ui->progress_bar->value();
}
