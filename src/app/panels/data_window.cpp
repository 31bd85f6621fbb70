#include "app/panels/data_window.h"

#include "foundation/dialogs/WindowPlacement.h"
#include "foundation/util/Paths.h"
#include "panels/MainAndFlip.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QPointer<data_window>& CurrentSlot()
{
    static QPointer<data_window> current;
    return current;
}

} // namespace

data_window::data_window()
    : QWidget(nullptr, Qt::Window), m_toolbar(new QToolBar(this)), m_view(new QWidget(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Data Panel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* menu = m_toolbar->addAction(tr("Panel"));
    menu->setObjectName("DataPanelMenu");
    menu->setToolTip(tr("Arrange the cells, load, save or restore a layout, add or remove rows and columns"));
    connect(menu, &QAction::triggered, this, &data_window::onOpenDataMenu);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_view, 1);
    resize(480, 640);
    windowDidLoad();
}

void data_window::windowDidLoad()
{
    m_dlg = new data_view(m_view);
    m_dlg->setGeometry(m_view->rect());
    m_dlg->show();
    m_dlg->raise();
}

data_window* data_window::Open(QWidget* mainWindow)
{
    if (data_window* open = CurrentSlot().data()) {
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    auto* window = new data_window();
    CurrentSlot() = window;
    if (!TrackWindowGeometry(window, "data_panel")) {
        window->PlaceBeside(mainWindow);
        KeepInsideScreen(window);
    }
    window->show();
    window->m_dlg->setGeometry(window->m_view->rect());
    window->m_dlg->viewWillAppear();
    window->m_dlg->viewDidAppear();
    return window;
}

void data_window::PlaceBeside(QWidget* mainWindow)
{
    if (!mainWindow)
        return;
    const QRect main = mainWindow->window()->frameGeometry();
    QScreen* screen = mainWindow->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    // To the right of the main window; on a screen too narrow for that,
    // inside its right edge, where the chart stays in view.
    int x = main.right() + 1;
    if (area.isValid() && x + width() > area.right() + 1)
        x = std::max(area.left(), std::min(main.right() + 1, area.right() + 1) - width());
    int y = main.top();
    if (area.isValid())
        y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - height()));
    move(x, y);
}

data_window* data_window::Current()
{
    return CurrentSlot().data();
}

void data_window::Release()
{
    QPointer<data_window> window = CurrentSlot();
    if (!window)
        return;
    // At termination nobody would see a message.
    window->m_quiet = true;
    window->close();
    // At termination the event loop may not run again to delete it.
    delete window.data();
}

void data_window::saveIfModified()
{
    if (m_dlg)
        m_dlg->saveIfModified();
}

void data_window::closeEvent(QCloseEvent* event)
{
    QPointer<data_view> dlg = m_dlg;
    m_dlg = nullptr;
    if (dlg) {
        // Saved and detached before the panel's widgets go.
        dlg->viewDidDisappear(!m_quiet);
        if (!dlg->isDialogEnded())
            dlg->destroyDialog(0);
    }
    if (CurrentSlot() == this)
        CurrentSlot() = nullptr;
    event->accept();
}

void data_window::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_dlg)
        m_dlg->setGeometry(m_view->rect());
}

QMenu* data_window::MakeDataMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* arrange = menu->addAction(tr("Arrange"));
    arrange->setCheckable(true);
    arrange->setChecked(m_dlg && m_dlg->DV().m_arrangeMode);
    connect(arrange, &QAction::triggered, this, [this, arrange] { onArrange(arrange); });
    menu->addSeparator();
    menu->addAction(tr("Load Layout..."), this, &data_window::onLoadLayout);
    const std::string& current = c_main_and_flip_dv::Get().m_currentLayoutPath;
    if (!current.empty()) {
        const std::string name = PathBaseName(current);
        menu->addAction(QString::fromUtf8(("Save \"" + name + "\"").c_str()), this, &data_window::onSaveFile);
    }
    menu->addAction(tr("Save Layout As..."), this, &data_window::onSaveLayout);
    menu->addAction(tr("Restore Default Layout"), this, &data_window::onRestoreDefaultLayout);
    menu->addSeparator();
    menu->addAction(tr("Add Row"), this, &data_window::onAddRow);
    menu->addAction(tr("Add Column"), this, &data_window::onAddColumn);
    menu->addAction(tr("Remove Row"), this, &data_window::onRemoveRow);
    menu->addAction(tr("Remove Column"), this, &data_window::onRemoveColumn);
    return menu;
}

void data_window::onOpenDataMenu()
{
    // Opened without a nested event loop; it deletes itself when closed.
    MakeDataMenu(this)->popup(QCursor::pos());
}

void data_window::onArrange(QAction* sender)
{
    if (m_dlg)
        m_dlg->onArrange(sender);
}

void data_window::onLoadLayout()
{
    if (m_dlg)
        m_dlg->onLoadLayout();
}

void data_window::onSaveFile()
{
    if (m_dlg)
        m_dlg->onSaveFile();
}

void data_window::onSaveLayout()
{
    if (m_dlg)
        m_dlg->onSaveLayout();
}

void data_window::onRestoreDefaultLayout()
{
    if (m_dlg)
        m_dlg->onRestoreDefaultLayout();
}

void data_window::onAddRow()
{
    if (m_dlg)
        m_dlg->onAddRow();
}

void data_window::onAddColumn()
{
    if (m_dlg)
        m_dlg->onAddColumn();
}

void data_window::onRemoveRow()
{
    if (m_dlg)
        m_dlg->onRemoveRow();
}

void data_window::onRemoveColumn()
{
    if (m_dlg)
        m_dlg->onRemoveColumn();
}
