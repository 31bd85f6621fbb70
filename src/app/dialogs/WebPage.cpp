#include "app/dialogs/WebPage.h"

#include "foundation/platform/PlatformServices.h"

#include <QMessageBox>
#include <QPointer>

namespace {

void ShowAddressToCopy(QWidget* parent, const std::string& url)
{
    // Not modal: the chart goes on while the address is copied.
    auto* box = new QMessageBox(QMessageBox::Warning, "Tessaroute",
                                "The web page could not be opened: no web browser was found.",
                                QMessageBox::Ok, parent ? parent->window() : nullptr);
    box->setObjectName("webPageFailed");
    box->setInformativeText(QString::fromStdString(url));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

} // namespace

bool OpenWebPage(QWidget* parent, const std::string& url)
{
    // The opener may fail after the parent has gone: the box then stands alone.
    QPointer<QWidget> later(parent);
    if (OpenURLInBrowser(url, [later, url] { ShowAddressToCopy(later.data(), url); }))
        return true;
    ShowAddressToCopy(parent, url);
    return false;
}
