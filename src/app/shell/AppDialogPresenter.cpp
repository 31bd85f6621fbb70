#include "app/shell/AppDialogPresenter.h"

#include "app/dialogs/PageSetupDialog.h"
#include "foundation/settings/PersistantData.h"

#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>

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

void CAppDialogPresenter::PreparePrinter(QPrinter& printer)
{
    // Naming the file first: it turns the printer to PDF, and the page setup then applies to that.
    if (!gPrintFile.file.empty())
        printer.setOutputFileName(QFile::decodeName(gPrintFile.file.c_str()));
}

void CAppDialogPresenter::ShowPrintDialog(const CPrintRequest& request, PrintAnswer answer)
{
    CQtDialogPresenter::ShowPrintDialog(request, [answer = std::move(answer)](QPrinter* printer) {
        if (printer) {
            const std::string file = QFile::encodeName(printer->outputFileName()).toStdString();
            if (file != gPrintFile.file) {
                gPrintFile.file = file;
                gPrintFile.SetModified();
            }
        }
        if (answer)
            answer(printer);
    });
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
