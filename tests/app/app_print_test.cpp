// Printing the chart through the scripted presenter: a PDF of the chart with
// its title strip on the page that was set up, nothing on a cancel, and
// "Print failed" when the printer cannot be drawn on.
#include "app/dialogs/PageSetupDialog.h"
#include "app/shell/AppDialogPresenter.h"
#include "app/window/PrintMap.h"
#include "app/window/QtRasterleafView.h"
#include "support/ScriptedPresenter.h"
#include "support/TestChartView.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PrintChart, PrintsFittedWithTitleCancelsAndFails)
{
    const std::string dir = tessatest::MakeScratchDir("print");
    tessatest::CTestChartView chart(240, 160);
    ASSERT_TRUE(chart.IsOpen());
    QtRasterleafView widget;
    widget.resize(240, 160);
    widget.SetChartView(chart.view.get());
    QImage before(240, 160, QImage::Format_ARGB32_Premultiplied);
    chart.RedrawUntilSettled(before);

    const CPageSetup letter{"Letter", true};
    enum Script { Print, Cancel };
    struct Case
    {
        Script script;
        std::string path;
        CPageSetup page;
        const char* mediaBox; // "" when no file is written
        bool failed;
    } cases[] = {
        {Print, dir + "/a4.pdf", CPageSetup(), "/MediaBox [0 0 595.", false},
        {Print, dir + "/letter.pdf", letter, "/MediaBox [0 0 792.", false},
        {Cancel, dir + "/cancelled.pdf", CPageSetup(), "", false},
        {Print, dir + "/no such folder/x.pdf", CPageSetup(), "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        tessatest::CScriptedPresenter presenter;
        presenter.SetImmediate(true);
        if (c.script == Print)
            presenter.PrintToPdf(c.path);
        else
            presenter.CancelPrint();
        PrintChartView(widget, *chart.view, c.page, &widget);

        ASSERT_FALSE(presenter.Shown().empty());
        EXPECT_EQ(presenter.Shown()[0].kind, tessatest::CShownDialog::Print);
        EXPECT_EQ(presenter.Shown()[0].page, c.page);
        if (c.failed) {
            ASSERT_EQ(presenter.Shown().size(), 2u);
            EXPECT_EQ(presenter.Last().kind, tessatest::CShownDialog::Box);
            EXPECT_EQ(presenter.Last().title, "Print failed");
            EXPECT_EQ(presenter.Last().text, "");
            EXPECT_EQ(presenter.Last().buttons, std::vector<std::string>{"OK"});
        } else {
            EXPECT_EQ(presenter.Shown().size(), 1u);
        }
        EXPECT_EQ(fs::exists(c.path), *c.mediaBox != 0);
        if (*c.mediaBox) {
            const std::string pdf = ReadAll(c.path);
            EXPECT_EQ(pdf.substr(0, 4), "%PDF");
            EXPECT_GT(pdf.size(), 1024u);
            EXPECT_NE(pdf.find(c.mediaBox), std::string::npos);
            // The chart draws no text of its own: a font on the page is the title strip's.
            EXPECT_NE(pdf.find("/FontFile"), std::string::npos);
        }
        // The screen shows the chart without the strip again.
        QImage after(240, 160, QImage::Format_ARGB32_Premultiplied);
        chart.Redraw(after);
        EXPECT_EQ(after, before);
    }
    fs::remove_all(dir);
}

// Without an installed printer Page Setup is our own dialog; what is chosen
// there is the page the next PDF is printed on.
TEST(PrintChart, PageSetupWithoutAPrinterGivesTheNextPdfsPage)
{
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is installed: Qt's own page setup serves";
    // Margins are typed as a user types them; one that leaves nothing to
    // print says the paper's limit, and OK waits.
    const struct
    {
        int paper; // index in the dialog's list
        bool landscape;
        double marginMm;
        const char* mediaBox;
        const char* limit; // "" when taken
    } cases[] = {
        {4, true, 20, "/MediaBox [0 0 792.", ""},
        {1, false, 5, "/MediaBox [0 0 595.", ""},
        {1, true, 104, "/MediaBox [0 0 842.", ""},
        {1, false, 105, "", "A4 portrait:\nthe left and right margins together must be less than 209.9 mm"},
        {4, true, 110, "",
         "Letter landscape:\nthe left and right margins together must be less than 279.4 mm,\n"
         "and the top and bottom margins less than 215.9 mm."},
    };
    const std::string dir = tessatest::MakeScratchDir("page_setup");
    tessatest::CTestChartView chart(240, 160);
    QtRasterleafView widget;
    widget.resize(240, 160);
    widget.SetChartView(chart.view.get());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mediaBox);
        CAppDialogPresenter app;
        std::optional<CPageSetup> chosen;
        CPrintRequest request;
        app.ShowPageSetupPanel(request, [&](bool confirmed, const CPageSetup& page) {
            if (confirmed)
                chosen = page;
        });
        CPageSetupDialog* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<CPageSetupDialog*>(w); d && d->isVisible())
                dialog = d;
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(dialog->isModal());
        dialog->paper->setCurrentIndex(c.paper);
        dialog->orientation->setCurrentIndex(c.landscape ? 1 : 0);
        for (QDoubleSpinBox* margin : dialog->margins) {
            margin->selectAll();
            QTest::keyClicks(margin, QString::number(c.marginMm));
        }
        QLabel* limit = dialog->findChild<QLabel*>("marginLimit");
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        EXPECT_EQ(ok->isEnabled(), !*c.limit);
        ASSERT_EQ(limit->isVisibleTo(dialog), *c.limit != 0);
        if (*c.limit) {
            EXPECT_TRUE(limit->text().contains(c.limit)) << limit->text().toStdString();
            dialog->close();
            continue;
        }
        ok->click();
        ASSERT_TRUE(chosen.has_value());

        tessatest::CScriptedPresenter presenter;
        presenter.SetImmediate(true);
        const std::string path = dir + "/page.pdf";
        presenter.PrintToPdf(path);
        PrintChartView(widget, *chart.view, *chosen, &widget);
        EXPECT_NE(ReadAll(path).find(c.mediaBox), std::string::npos);
        QPrinter printer;
        ApplyPageSetup(printer, *chosen);
        const QMarginsF margins = printer.pageLayout().margins(QPageLayout::Millimeter);
        for (double m : {margins.left(), margins.right(), margins.top(), margins.bottom()})
            EXPECT_NEAR(m, c.marginMm, 0.1);
        EXPECT_EQ(printer.pageLayout().orientation() == QPageLayout::Landscape, c.landscape);
    }
    fs::remove_all(dir);
}

} // namespace
