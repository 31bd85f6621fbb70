#include "foundation/dialogs/QtDialogPresenter.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <memory>

namespace {

QWidget* WindowOf(QWidget* parent)
{
    return parent ? parent->window() : nullptr;
}

} // namespace

void ApplyPageSetup(QPrinter& printer, const CPageSetup& page)
{
    double width = 0, height = 0;
    if (PaperSizePoints(page.paper, width, height))
        printer.setPageSize(QPageSize(QSize(int(width), int(height)), QString::fromStdString(page.paper)));
    printer.setPageOrientation(page.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(page.left, page.top, page.right, page.bottom), QPageLayout::Point);
}

void CQtDialogPresenter::ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer answer)
{
    auto* box = new QMessageBox(WindowOf(request.parent));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setText(QString::fromStdString(request.title));
    box->setInformativeText(QString::fromStdString(request.text));
    box->setWindowModality(request.parent ? Qt::WindowModal : Qt::ApplicationModal);
    std::vector<QAbstractButton*> buttons;
    for (const std::string& title : request.buttons)
        buttons.push_back(box->addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
    if (buttons.size() == 1)
        box->setEscapeButton(buttons.front());

    // finished() arrives once, after the clicked button is known (or none when
    // the box was closed another way).
    auto shared_answer = std::make_shared<BoxAnswer>(std::move(answer));
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, shared_answer](int) {
        int index = -1;
        QAbstractButton* clicked = box->clickedButton();
        for (size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i] == clicked)
                index = static_cast<int>(i);
        if (*shared_answer) {
            BoxAnswer call = std::move(*shared_answer);
            *shared_answer = nullptr;
            call(index);
        }
    });
    box->open();
}

void CQtDialogPresenter::ShowFilePanel(const CFilePanelRequest& request, PanelAnswer answer)
{
    auto* panel = new QFileDialog(WindowOf(request.parent));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(request.parent ? Qt::WindowModal : Qt::ApplicationModal);
    if (request.save) {
        panel->setAcceptMode(QFileDialog::AcceptSave);
        panel->setFileMode(QFileDialog::AnyFile);
    } else {
        panel->setAcceptMode(QFileDialog::AcceptOpen);
        panel->setFileMode(QFileDialog::ExistingFile);
    }
    if (!request.extension.empty()) {
        std::string bare = request.extension[0] == '.' ? request.extension.substr(1) : request.extension;
        panel->setNameFilter(QString::fromStdString("*." + bare));
        panel->setDefaultSuffix(QString::fromStdString(bare));
    }
    if (!request.message.empty())
        panel->setWindowTitle(QString::fromStdString(request.message));
    if (!request.start_folder.empty())
        panel->setDirectory(QString::fromStdString(request.start_folder));
    if (!request.default_name.empty())
        panel->selectFile(QString::fromStdString(request.default_name));

    auto shared_answer = std::make_shared<PanelAnswer>(std::move(answer));
    QObject::connect(panel, &QFileDialog::finished, panel, [panel, shared_answer](int result) {
        if (!*shared_answer)
            return;
        PanelAnswer call = std::move(*shared_answer);
        *shared_answer = nullptr;
        QStringList chosen = panel->selectedFiles();
        if (result == QDialog::Accepted && !chosen.isEmpty() && !chosen.front().isEmpty())
            call(0, QFile::encodeName(chosen.front()).toStdString());
        else
            call(-1, std::string());
    });
    panel->open();
}

void CQtDialogPresenter::ShowPrintDialog(const CPrintRequest& request, PrintAnswer answer)
{
    auto* printer = new QPrinter(QPrinter::HighResolution);
    ApplyPageSetup(*printer, request.page);
    auto* dialog = new QPrintDialog(printer, WindowOf(request.parent));
    dialog->setWindowModality(request.parent ? Qt::WindowModal : Qt::ApplicationModal);
    // The dialog uses the printer until it is gone.
    QObject::connect(dialog, &QObject::destroyed, [printer] { delete printer; });

    auto shared_answer = std::make_shared<PrintAnswer>(std::move(answer));
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, printer, shared_answer](int result) {
        dialog->deleteLater();
        if (!*shared_answer)
            return;
        PrintAnswer call = std::move(*shared_answer);
        *shared_answer = nullptr;
        call(result == QDialog::Accepted ? printer : nullptr);
    });
    dialog->open();
}
