// The data window as a user meets it: it opens from the main window on the
// working copy (or the shipped layout), a change is written to the working
// copy only, cells take clicks outside arrange mode, a cell whose click
// rebuilds the panel returns safely, Control-click opens the cell menu, a
// middle drag moves a cell, and a screenshot shows the cells.
// TESSA_XVFB_LABEL
#include "app/panels/PanelAdaptors_qt.h"
#include "app/panels/data_view.h"
#include "app/panels/data_window.h"
#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Files.h"
#include "instruments/nmea/NMEASentence.h"
#include "panels/MainAndFlip.h"
#include "panels/SmallItems.h"
#include "support/MenuPopupDouble.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

void DeleteDeferred()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::vector<uint8_t> Bytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    ReadFileToBuffer(path, bytes);
    return bytes;
}

// A button cell; a switching one replaces the whole panel from its click,
// as a layout button does, which deletes the cell while its click runs.
class ProbeButton : public CDisplayView::CItemButton
{
public:
    class CSettings : public CDisplayView::CItemSettings
    {
    public:
        uint32_t GetTypeId() const override { return 9037; }
        std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override
        {
            return std::make_unique<ProbeButton>(*this, host);
        }
        bool switches = false;
    };
    ProbeButton(CSettings& settings, CDisplayView::IWindow* host)
        : CDisplayView::CItemButton(settings, host), m_switches(settings.switches)
    {
        if (m_button)
            m_button->SetTitle("Go");
    }
    void Pressed() override
    {
        ++presses;
        if (!m_switches)
            return;
        CDisplayView* panel = Panel();
        auto grid = std::make_unique<CDisplayView::CItemArrangement>();
        grid->m_designWidth = 400;
        grid->m_designHeight = 300;
        auto hint = std::make_unique<CDisplayViewHint::CSettings>();
        hint->m_row = hint->m_column = 0;
        hint->m_rows = hint->m_columns = 1;
        grid->m_cells.push_back(std::move(hint));
        CDisplayView::ArrangementList list;
        list.push_back(std::move(grid));
        panel->ReplaceArrangements(std::move(list)); // this item is gone now
    }
    static inline int presses = 0;

private:
    bool m_switches;
};

class DataWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (c_main_and_flip_dv::DefaultLayoutPath().empty())
            GTEST_SKIP() << "the shipped panel layout was not built";
        root = tessatest::MakeScratchDir("datawindow");
        SetFolderRootForTesting(root);
        InstallPort<IPanelWindowFactory>(&factory);
        main = std::make_unique<QWidget>();
        main->resize(600, 400);
    }
    void TearDown() override
    {
        if (root.empty())
            return;
        data_window::Release();
        DeleteDeferred();
        main.reset();
        InstallPort<IPanelWindowFactory>(nullptr);
        SetFolderRootForTesting("");
        fs::remove_all(root);
    }
    // A panel of one row: a button cell and a hint.
    void ShowButtonPanel(bool switches)
    {
        auto grid = std::make_unique<CDisplayView::CItemArrangement>();
        grid->m_designWidth = 400;
        grid->m_designHeight = 300;
        grid->m_columns = 2;
        auto button = std::make_unique<ProbeButton::CSettings>();
        button->switches = switches;
        button->m_row = button->m_column = 0;
        button->m_rows = button->m_columns = 1;
        grid->m_cells.push_back(std::move(button));
        auto hint = std::make_unique<CDisplayViewHint::CSettings>();
        hint->m_row = 0;
        hint->m_column = 1;
        hint->m_rows = hint->m_columns = 1;
        grid->m_cells.push_back(std::move(hint));
        CDisplayView::ArrangementList list;
        list.push_back(std::move(grid));
        c_main_and_flip_dv::Get().m_main.ReplaceArrangements(std::move(list));
    }

    std::string root;
    CQtPanelWindowFactory factory;
    std::unique_ptr<QWidget> main;
};

} // namespace

TEST_F(DataWindow, OpensOnTheShippedLayoutAndWritesOnlyTheWorkingCopy)
{
    const std::string shipped = c_main_and_flip_dv::DefaultLayoutPath();
    ASSERT_FALSE(shipped.empty());
    const std::vector<uint8_t> before = Bytes(shipped);
    const std::string working = c_main_and_flip_dv::WorkingCopyPath();
    ASSERT_FALSE(fs::exists(working));

    data_window* window = data_window::Open(main.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(data_window::Open(main.get()), window); // one at a time
    // A window of its own: the main window raised over it shows its dialogs whole.
    EXPECT_EQ(window->windowType(), Qt::Window);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    data_view* view = window->dlg();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->LayoutFile(), working);
    CDisplayView& panel = view->DV();
    ASSERT_NE(panel.CurrentArrangement(), nullptr);
    EXPECT_GT(panel.CurrentArrangement()->m_items.size(), 3u);
    // The cells are widgets of the host, laid out in the view's size.
    EXPECT_EQ(panel.HostWindow(), &view->HostAdaptor());
    EXPECT_FALSE(view->background_view()->children().isEmpty());
    int32_t width = 0, height = 0;
    panel.HostWindow()->GetSize(width, height);
    EXPECT_EQ(width, view->width());
    EXPECT_EQ(height, view->height());

    // Unchanged: closing writes nothing.
    window->close();
    DeleteDeferred();
    EXPECT_EQ(data_window::Current(), nullptr);
    EXPECT_FALSE(fs::exists(working));

    // A change (a cleared cell) is written to the working copy when the
    // window closes; the shipped layout is never written.
    window = data_window::Open(main.get());
    CDisplayView& again = window->dlg()->DV();
    const CDisplayView::CItemSettings& first = *again.CurrentArrangement()->m_cells.front();
    const size_t cells = again.CurrentArrangement()->m_cells.size();
    again.ClearCell(first.m_row, first.m_column);
    ASSERT_TRUE(again.m_modified);
    data_window::Release();
    EXPECT_EQ(data_window::Current(), nullptr);
    EXPECT_TRUE(fs::is_regular_file(working));
    EXPECT_EQ(Bytes(shipped), before);
    EXPECT_FALSE(again.m_modified);
    EXPECT_EQ(again.HostWindow(), nullptr); // detached

    // Reopened, the window reads the working copy.
    window = data_window::Open(main.get());
    EXPECT_LT(window->dlg()->DV().CurrentArrangement()->m_cells.size(), cells + 0);
}

TEST_F(DataWindow, ARefusedWorkingCopyIsKeptAsideTheUserToldAndTheDefaultShown)
{
    tessatest::CScriptedPresenter presenter;
    const std::string working = c_main_and_flip_dv::WorkingCopyPath();
    {
        std::ofstream out(working, std::ios::binary);
        out << "not a layout";
    }
    data_window* window = data_window::Open(main.get());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(fs::is_regular_file(working + ".bad"));
    EXPECT_FALSE(fs::exists(working));
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_NE((presenter.Shown()[0].title + presenter.Shown()[0].text).find("could not be read"),
              std::string::npos)
        << presenter.Shown()[0].title << " / " << presenter.Shown()[0].text;
    ASSERT_NE(window->dlg()->DV().CurrentArrangement(), nullptr);
    EXPECT_GT(window->dlg()->DV().CurrentArrangement()->m_items.size(), 3u);
    presenter.DeliverAll();
}

TEST_F(DataWindow, AFailedSaveIsToldAndTheChangeKeptForTheNextWindow)
{
    tessatest::CScriptedPresenter presenter;
    const std::string working = c_main_and_flip_dv::WorkingCopyPath();
    data_window* window = data_window::Open(main.get());
    ASSERT_NE(window, nullptr);
    CDisplayView& panel = window->dlg()->DV();
    const CDisplayView::CItemSettings& first = *panel.CurrentArrangement()->m_cells.front();
    panel.ClearCell(first.m_row, first.m_column);
    const size_t cells = panel.CurrentArrangement()->m_cells.size();
    fs::create_directories(working); // nothing can be written there
    window->close();
    DeleteDeferred();
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_NE((presenter.Shown()[0].title + presenter.Shown()[0].text).find("could not be saved"),
              std::string::npos);
    presenter.DeliverAll();
    EXPECT_TRUE(panel.m_modified);
    // With its window gone the panel tells over the main window, never over the freed view.
    EXPECT_FALSE(c_main_and_flip_dv::Get().SaveWorkingCopyOrReport());
    ASSERT_EQ(presenter.Shown().size(), 2u);
    EXPECT_EQ(presenter.Last().parent, nullptr);
    presenter.DeliverAll();
    // The next window shows the change, and writes it once it can.
    window = data_window::Open(main.get());
    EXPECT_EQ(window->dlg()->DV().CurrentArrangement()->m_cells.size(), cells);
    fs::remove(working);
    data_window::Release();
    EXPECT_TRUE(fs::is_regular_file(working));
    EXPECT_FALSE(panel.m_modified);
    EXPECT_TRUE(presenter.Shown().size() == 2u); // not told at termination
}

TEST_F(DataWindow, ButtonCellsClickOutsideArrangeModeASwitchingOneReturnsSafelyControlClickIsARightClick)
{
    data_window* window = data_window::Open(main.get());
    ASSERT_NE(window, nullptr);
    data_view* view = window->dlg();
    for (bool switches : {false, true}) {
        SCOPED_TRACE(switches ? "switching" : "plain");
        ShowButtonPanel(switches);
        CDisplayView& panel = view->DV();
        ASSERT_EQ(panel.CurrentArrangement()->m_items.size(), 2u);
        auto* adaptor =
            dynamic_cast<CButtonViewAdaptor_qt*>(panel.CurrentArrangement()->m_items[0]->Window());
        ASSERT_NE(adaptor, nullptr);
        QPushButton* button = adaptor->Button();
        EXPECT_EQ(button->text(), "Go");
        // Inside its cell by the button insets.
        const int cellWidth = panel.CurrentArrangement()->m_cellWidth;
        EXPECT_EQ(button->geometry(), QRect(3 + 2, 3 + 5, cellWidth - 6 - 4, view->height() - 6 - 10));
        // The face is tinted (red in the low byte).
        adaptor->SetColour(0x0000E0);
        const QImage face = button->grab().toImage();
        const QRgb pixel = face.pixel(4 * face.width() / 100 + 3, face.height() / 2);
        EXPECT_GT(qRed(pixel), qGreen(pixel) + 60) << std::hex << pixel;

        const int before = ProbeButton::presses;
        QTest::mouseClick(view->foreground_view(), Qt::LeftButton, {}, button->geometry().center());
        EXPECT_EQ(ProbeButton::presses, before + 1);
        DeleteDeferred();
        EXPECT_EQ(panel.CurrentArrangement()->m_items.size(), switches ? 1u : 2u);
    }
    // A click on a text cell is nobody's.
    const int before = ProbeButton::presses;
    QTest::mouseClick(view->foreground_view(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(ProbeButton::presses, before);

    // Control-click is a right click: the cell's menu, and no press.
    std::vector<std::string> menus;
    tessatest::CMenuPopupDouble popups(
        [&](std::unique_ptr<CMenuTree> tree, QWidget*, const QPoint*) { menus.push_back(tree->Title()); });
    ShowButtonPanel(false);
    QTest::mouseClick(view->foreground_view(), Qt::LeftButton, Qt::ControlModifier, QPoint(30, 30));
    EXPECT_EQ(menus, std::vector<std::string>{"Data item"});
    EXPECT_EQ(ProbeButton::presses, before);
}

TEST_F(DataWindow, TextCellsDrawTitleAndValueFromTheSizing)
{
    data_window* window = data_window::Open(main.get());
    ASSERT_NE(window, nullptr);
    window->resize(300, 300);
    QCoreApplication::processEvents();
    CDisplayView& panel = window->dlg()->DV();
    for (auto& item : panel.CurrentArrangement()->m_items) {
        auto* text = dynamic_cast<CTextViewAdaptor_qt*>(item->Window());
        if (!text)
            continue;
        QWidget* face = text->View();
        ASSERT_NE(text->TitleField(), nullptr);
        // The title line is 15 high in a cell below 75, else a fifth, at most 30.
        const int expected = face->height() < 75 ? 15 : std::min(face->height() / 5, 30);
        EXPECT_EQ(text->TitleField()->Frame().height, expected);
        EXPECT_EQ(text->ValueField().Frame().y, expected);
        text->SetText("12.5");
        const double size = text->ValueField().FontSize();
        text->SetText("13.7");
        EXPECT_EQ(text->ValueField().FontSize(), size); // same shape, same font
        // Drawn: half-white face with dark text in the value's area.
        const QImage image = face->grab().toImage();
        const QRect value(0, expected, face->width(), face->height() - expected);
        int dark = 0;
        for (int y = value.top(); y < value.bottom(); ++y)
            for (int x = value.left(); x < value.right(); ++x)
                dark += qGray(image.pixel(x * image.width() / face->width(),
                                          y * image.height() / face->height())) < 80;
        EXPECT_GT(dark, 20);
        break;
    }
}

TEST_F(DataWindow, ArrangeModeShowsTheSelectionWithItsHandlesAndAMiddleDragMovesACell)
{
    data_window* window = data_window::Open(main.get());
    ASSERT_NE(window, nullptr);
    data_view* view = window->dlg();
    CDisplayView& panel = view->DV();
    panel.m_arrangeMode = true;
    panel.m_selected = panel.CurrentArrangement()->m_items.front().get();
    panel.m_selLeft = 20;
    panel.m_selTop = 30;
    panel.m_selRight = 180;
    panel.m_selBottom = 150;
    const QImage shot = view->grab().toImage();
    const double dpr = shot.devicePixelRatio();
    auto blue = [&](int x, int y) {
        const QRgb p = shot.pixel(int(x * dpr), int(y * dpr));
        return qBlue(p) > qRed(p) + 60;
    };
    EXPECT_TRUE(blue(100, 30));  // the rectangle's top edge
    EXPECT_TRUE(blue(100, 90));  // the move arrows at the centre
    EXPECT_TRUE(blue(177, 147)); // the resize corner at the bottom right
    EXPECT_FALSE(blue(100, 60)); // between the arrows and the edge
    panel.m_arrangeMode = false;
    const QImage plain = view->grab().toImage();
    EXPECT_FALSE(qBlue(plain.pixel(int(100 * dpr), int(90 * dpr))) >
                 qRed(plain.pixel(int(100 * dpr), int(90 * dpr))) + 60);
    const std::string folder = std::string(TESSA_BUILD_DIR) + "/screenshots";
    fs::create_directories(folder);
    shot.save(QString::fromStdString(folder + "/data_window_arrange.png"));

    // A middle drag moves a cell (the hint into the empty third column) with
    // arrange mode on for the drag only.
    ShowButtonPanel(false);
    view->onAddColumn();
    CDisplayView::CItemArrangement& grid = *panel.CurrentArrangement();
    const CDisplayView::CItemSettings& hint = *grid.m_cells[1];
    const QPoint from(grid.m_cellWidth * 3 / 2, 40), to(grid.m_cellWidth * 5 / 2, 40);
    panel.m_modified = false;
    QTest::mousePress(view->foreground_view(), Qt::MiddleButton, {}, from);
    QTest::mouseMove(view->foreground_view(), to);
    EXPECT_TRUE(panel.m_arrangeMode);
    QTest::mouseClick(view->foreground_view(), Qt::LeftButton, {}, to); // no second drag
    QTest::mouseRelease(view->foreground_view(), Qt::MiddleButton, {}, to);
    EXPECT_FALSE(panel.m_arrangeMode);
    EXPECT_EQ(hint.m_column, 2);
    EXPECT_TRUE(panel.m_modified);
}

TEST(DataWindowApp, OpensBesideTheMainWindowAndQuittingWritesTheWorkingCopyBeforeTheStores)
{
    const std::string basemap = std::string(TESSA_BUILD_RESOURCES) + "/basemaps/world.rlt.COPY";
    if (!fs::exists(basemap))
        GTEST_SKIP() << "the world base map was not built (" << basemap << ")";
    const std::string root = tessatest::MakeScratchDir("datawindowapp");
    SetFolderRootForTesting(root);
    {
        AppDelegate app;
        app.Start(true);
        ViewController* main = app.Window();
        ASSERT_NE(main, nullptr);
        ASSERT_NE(main->DataWindowAction(), nullptr);
        EXPECT_EQ(main->DataWindowAction()->text(), "Data Panel");
        main->DataWindowAction()->trigger();
        data_window* window = data_window::Current();
        ASSERT_NE(window, nullptr);
        ASSERT_NE(window->windowHandle(), nullptr);
        EXPECT_EQ(window->windowHandle()->transientParent(), nullptr);
        // Beside the main window, or inside its right edge when the screen
        // has no room: the chart's left part stays in view.
        const int screenRight = main->screen()->availableGeometry().right();
        EXPECT_GE(window->frameGeometry().right(), std::min(main->frameGeometry().right(), screenRight));
        EXPECT_GT(window->frameGeometry().left(), main->frameGeometry().left());

        // Values from the running connection reach the cells.
        for (const char* line :
             {"$SDVHW,231.3,T,229.9,M,6.6,N,12.3,K*71", "$WIMWV,57.5,R,13.0,N,A*26", "$SDDPT,5.3,0.4,*79"}) {
            std::string text = line;
            EXPECT_TRUE(DispatchNMEALine(text.data(), nullptr)) << line;
        }
        QCoreApplication::processEvents();
        const QImage shot = window->grab().toImage();
        const std::string folder = std::string(TESSA_BUILD_DIR) + "/screenshots";
        fs::create_directories(folder);
        EXPECT_TRUE(shot.save(QString::fromStdString(folder + "/data_window.png")));
        // A text cell: its face is light, its value dark.
        CDisplayView& panel = window->dlg()->DV();
        bool probed = false;
        for (auto& item : panel.CurrentArrangement()->m_items) {
            auto* text = dynamic_cast<CTextViewAdaptor_qt*>(item->Window());
            if (!text || text->ValueField().Text().empty())
                continue;
            const QRect cell(text->View()->mapTo(window, QPoint(0, 0)), text->View()->size());
            const double dpr = shot.devicePixelRatio();
            const QRgb corner = shot.pixel(int((cell.left() + 2) * dpr), int((cell.bottom() - 2) * dpr));
            EXPECT_GT(qGray(corner), 200) << std::hex << corner;
            int dark = 0;
            for (int y = cell.top(); y < cell.bottom(); ++y)
                for (int x = cell.left(); x < cell.right(); ++x)
                    dark += qGray(shot.pixel(int(x * dpr), int(y * dpr))) < 80;
            EXPECT_GT(dark, 30);
            probed = true;
            break;
        }
        EXPECT_TRUE(probed);

        const CDisplayView::CItemSettings& first = *panel.CurrentArrangement()->m_cells.front();
        panel.ClearCell(first.m_row, first.m_column);
        app.Shutdown();
        EXPECT_EQ(data_window::Current(), nullptr);
    }
    const std::string working = c_main_and_flip_dv::WorkingCopyPath();
    const std::string marks = GetPlatformDataFolder() + "/marks_routes.bin";
    ASSERT_TRUE(fs::is_regular_file(working));
    ASSERT_TRUE(fs::is_regular_file(marks));
    EXPECT_LE(fs::last_write_time(working), fs::last_write_time(marks));
    SetFolderRootForTesting("");
    fs::remove_all(root);
}
