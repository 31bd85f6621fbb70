#include "app/shell/AppDialogPresenter.h"

#include "app/dialogs/PageSetupDialog.h"
#include "foundation/settings/PersistantData.h"

#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <memory>

namespace {

class PrintFileSettings : public PersistantData
{
public:
    PrintFileSettings() : PersistantData("PrintToFile") {}
    void Exchange() override { ExchangeString("file", file); }
    std::string file; // the last print that went to a file; "" after one to a printer
};
PrintFileSettings gPrintFile;

QWidget* WindowOfParent(QWidget* parent)
{
    return parent ? parent->window() : nullptr;
}

} // namespace

void CAppDialogPresenter::ShowPrintDialog(const CPrintRequest& request, PrintAnswer answer)
{
    auto* printer = new QPrinter(QPrinter::HighResolution);
    // Naming the file first: it turns the printer to PDF, and the page setup then applies to that.
    if (!gPrintFile.file.empty())
        printer->setOutputFileName(QFile::decodeName(gPrintFile.file.c_str()));
    ApplyPageSetup(*printer, request.page);
    auto* dialog = new QPrintDialog(printer, WindowOfParent(request.parent));
    dialog->setWindowModality(request.parent ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(dialog, &QObject::destroyed, [printer] { delete printer; });
    auto shared_answer = std::make_shared<PrintAnswer>(std::move(answer));
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, printer, shared_answer](int result) {
        dialog->deleteLater();
        if (!*shared_answer)
            return;
        PrintAnswer call = std::move(*shared_answer);
        *shared_answer = nullptr;
        if (result == QDialog::Accepted) {
            const std::string file = QFile::encodeName(printer->outputFileName()).toStdString();
            if (file != gPrintFile.file) {
                gPrintFile.file = file;
                gPrintFile.SetModified();
            }
        }
        call(result == QDialog::Accepted ? printer : nullptr);
    });
    dialog->open();
}

void CAppDialogPresenter::ShowPageSetupPanel(const CPrintRequest& request, PageSetupAnswer answer)
{
    // Qt's page setup works on a native printer only.
    if (!QPrinterInfo::availablePrinterNames().isEmpty()) {
        CQtDialogPresenter::ShowPageSetupPanel(request, std::move(answer));
        return;
    }
    auto* dialog = new CPageSetupDialog(request.page, WindowOfParent(request.parent), std::move(answer));
    dialog->show();
}
