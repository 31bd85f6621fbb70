#include "foundation/dialogs/QtDialogPresenter.h"

#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QWidget* WindowOf(QWidget* parent)
{
    // Without a parent (its window was closed) a dialog still opens over the
    // main window rather than wherever the window manager puts it.
    return parent ? parent->window() : DialogMainWindow();
}

// Closes a hint at the first press anywhere else in the application; the
// press goes on to its target, so the chart takes the tap that closed it.
class CHintCloser : public QObject
{
public:
    explicit CHintCloser(QWidget* box) : QObject(box), m_box(box) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::TouchBegin)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() == m_box || !m_box->isVisible())
            return false;
        qApp->removeEventFilter(this);
        m_box->close();
        return false;
    }

private:
    QWidget* m_box;
};

} // namespace

void ApplyPageSetup(QPrinter& printer, const CPageSetup& page)
{
    double width = 0, height = 0;
    if (PaperSizePoints(page.paper, width, height))
        printer.setPageSize(QPageSize(QSize(int(width), int(height)), QString::fromStdString(page.paper)));
    printer.setPageOrientation(page.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(page.left, page.top, page.right, page.bottom), QPageLayout::Point);
}

CPageSetup PageSetupOfPrinter(const QPrinter& printer, const CPageSetup& fallback)
{
    CPageSetup page = fallback;
    const QPageLayout layout = printer.pageLayout();
    // The paper by its size: a named custom size and a standard one alike.
    const QSizeF size = layout.pageSize().size(QPageSize::Point);
    const double shortSide = std::min(size.width(), size.height());
    const double longSide = std::max(size.width(), size.height());
    for (const char* name : {"A3", "A4", "A5", "B5", "Letter", "Legal", "Tabloid", "Executive"}) {
        double width = 0, height = 0;
        if (PaperSizePoints(name, width, height) && std::abs(width - shortSide) < 2 &&
            std::abs(height - longSide) < 2) {
            page.paper = name;
            break;
        }
    }
    page.landscape = layout.orientation() == QPageLayout::Landscape;
    const QMarginsF margins = layout.margins(QPageLayout::Point);
    // Margins that leave nothing to print keep the old ones.
    CPageSetup withMargins = page;
    withMargins.left = margins.left();
    withMargins.right = margins.right();
    withMargins.top = margins.top();
    withMargins.bottom = margins.bottom();
    return PageMarginsFit(withMargins) ? withMargins : page;
}

void CQtDialogPresenter::ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer answer)
{
    // Without a view a hint still belongs to the main window, above it.
    QWidget* parent = request.parent || !request.hint ? request.parent : DialogMainWindow();
    auto* box = new QMessageBox(WindowOf(parent));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setText(QString::fromStdString(request.title));
    box->setInformativeText(QString::fromStdString(request.text));
    if (request.hint)
        box->setWindowModality(Qt::NonModal);
    else
        box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
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
    if (request.hint) {
        // open() would make it window-modal; a parented box stays above its window.
        new CHintCloser(box);
        box->show();
        return;
    }
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
    PreparePrinter(*printer);
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

void CQtDialogPresenter::ShowColourPanel(const CColourPanelRequest& request, ColourAnswer answer)
{
    auto* panel =
        new QColorDialog(QColor::fromRgbF(float(request.red), float(request.green), float(request.blue)),
                         WindowOf(request.parent));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(request.parent ? Qt::WindowModal : Qt::ApplicationModal);
    if (!request.title.empty())
        panel->setWindowTitle(QString::fromStdString(request.title));
    auto shared_answer = std::make_shared<ColourAnswer>(std::move(answer));
    QObject::connect(panel, &QDialog::finished, panel, [panel, shared_answer](int result) {
        if (!*shared_answer)
            return;
        ColourAnswer call = std::move(*shared_answer);
        *shared_answer = nullptr;
        const QColor colour = panel->selectedColor();
        if (result == QDialog::Accepted && colour.isValid())
            call(true, colour.redF(), colour.greenF(), colour.blueF());
        else
            call(false, 0, 0, 0);
    });
    panel->open();
}

void CQtDialogPresenter::ShowPageSetupPanel(const CPrintRequest& request, PageSetupAnswer answer)
{
    auto* printer = new QPrinter(QPrinter::HighResolution);
    ApplyPageSetup(*printer, request.page);
    auto* dialog = new QPageSetupDialog(printer, WindowOf(request.parent));
    dialog->setWindowModality(request.parent ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(dialog, &QObject::destroyed, [printer] { delete printer; });
    auto shared_answer = std::make_shared<PageSetupAnswer>(std::move(answer));
    const CPageSetup start = request.page;
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, printer, start, shared_answer](int result) {
        dialog->deleteLater();
        if (!*shared_answer)
            return;
        PageSetupAnswer call = std::move(*shared_answer);
        *shared_answer = nullptr;
        if (result == QDialog::Accepted)
            call(true, PageSetupOfPrinter(*printer, start));
        else
            call(false, start);
    });
    dialog->open();
}

void CQtDialogPresenter::ShowFoldersPanel(const CFoldersPanelRequest& request, FoldersAnswer answer)
{
    auto* panel = new QFileDialog(WindowOf(request.parent));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(request.parent ? Qt::WindowModal : Qt::ApplicationModal);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    // The platform's own panel takes one folder only; Qt's takes several.
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    // The list and the detail view of the folders, not the side bar.
    for (const char* name : {"listView", "treeView"})
        if (auto* view = panel->findChild<QAbstractItemView*>(name))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // A short title; the message, often a sentence, shows whole inside.
    panel->setWindowTitle(QStringLiteral("Choose Folders"));
    if (!request.message.empty())
        if (auto* grid = qobject_cast<QGridLayout*>(panel->layout())) {
            auto* message = new QLabel(QString::fromStdString(request.message), panel);
            message->setObjectName("FoldersPanelMessage");
            message->setWordWrap(true);
            grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
        }
    auto shared_answer = std::make_shared<FoldersAnswer>(std::move(answer));
    QObject::connect(panel, &QFileDialog::finished, panel, [panel, shared_answer](int result) {
        if (!*shared_answer)
            return;
        FoldersAnswer call = std::move(*shared_answer);
        *shared_answer = nullptr;
        std::vector<std::string> paths;
        if (result == QDialog::Accepted)
            for (const QString& path : panel->selectedFiles())
                if (!path.isEmpty())
                    paths.push_back(QFile::encodeName(path).toStdString());
        call(paths.empty() ? -1 : 0, paths);
    });
    panel->open();
}
