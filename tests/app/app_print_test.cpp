// Printing the chart through the scripted presenter: a PDF of the chart with
// its title strip on the page that was set up, nothing on a cancel, and
// "Print failed" when the printer cannot be drawn on.
#include "app/window/PrintMap.h"
#include "app/window/QtRasterleafView.h"
#include "support/ScriptedPresenter.h"
#include "support/TestChartView.h"
#include "support/TestPaths.h"

#include <QImage>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

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

} // namespace
