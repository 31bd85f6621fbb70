// A chart that is open and drawing while its package updates: the update
// never rewrites a mapped file; the view lets go of the chart for the update
// and opens it again afterwards.
// The installer and the tile cache run worker threads: TESSA_TSAN_LABEL
#include "app/shell/ChartViewRewrites.h"
#include "charts/ChartFileUse.h"
#include "charts/Rasterleaf.h"
#include "mapview/view/CachedChartTiles.h"
#include "mapview/view/RasterleafView.h"
#include "packagewriter/PackageTestFixture.h"
#include "support/InstalledPort.h"

#include <QImage>
#include <QPainter>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

using tessatest::PackageTest;

class DirectOpener : public IChartOpener
{
public:
    void Open(const std::string& path, Completion done) override
    {
        std::unique_ptr<COpenedChart> chart = CCachedChartOpener::OpenChartFile(nullptr, path);
        const int status = chart ? 0 : -1;
        done(status, std::move(chart));
    }
};

void DrawOnce(CRasterleafView& view)
{
    QImage image(200, 150, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    view.Draw(painter, QRectF(0, 0, 200, 150));
    view.OnTimer();
}

class ChartUnderUpdate : public PackageTest
{
protected:
    void InstallV1()
    {
        ASSERT_TRUE(writer.Write(pkg));
        writer.Serve(server);
        std::string error;
        ASSERT_TRUE(Install(error)) << error;
        // The next version changes the chart's pixels.
        chart2 = tessatest::MakeSmallChart("Harbour", 10.0, 55.0, 10.1, 54.95, "Topo", 9);
        ASSERT_NE(chart2, chart);
        writer.files = {{"charts/harbour.rlt", chart2}, {"charts/big.rl3", big}};
        ASSERT_TRUE(writer.Write(pkg));
        writer.Serve(server);
    }
    std::string Harbour() const { return folder + "/charts/harbour.rlt"; }
    std::string chart2;
    // As the application wires it: updates reach the one chart view.
    CChartViewRewrites rewrites;
    tessatest::CInstalledPort<IChartRewriteHooks> installed{rewrites};
};

} // namespace

TEST_F(ChartUnderUpdate, AMappedChartIsNeverRewritten)
{
    InstallV1();
    std::unique_ptr<CRasterleaf> open(CRasterleaf::OpenFile(nullptr, Harbour()));
    ASSERT_NE(open, nullptr);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        std::vector<uint32_t> pixels(64 * 64);
        while (!stop.load())
            open->GetPixels(0, 0, 64, 64, 64, 0, pixels.data(), nullptr);
    });
    std::string error;
    const bool ok = Install(error);
    stop = true;
    reader.join();
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("the map is open"), std::string::npos) << error;
    EXPECT_TRUE(tessatest::ReadWholeFile(Harbour()) == chart);

    // Closed, it updates; while an update holds the file, it does not open.
    open.reset();
    ASSERT_TRUE(Install(error)) << error;
    EXPECT_TRUE(tessatest::ReadWholeFile(Harbour()) == chart2);
    int fd = ::open(Harbour().c_str(), O_RDONLY);
    const CFileId id = FileIdOfDescriptor(fd);
    ::close(fd);
    ASSERT_TRUE(BeginChartFileRewrite(id));
    EXPECT_EQ(CRasterleaf::OpenFile(nullptr, Harbour()), nullptr);
    EndChartFileRewrite(id);
    open.reset(CRasterleaf::OpenFile(nullptr, Harbour()));
    ASSERT_NE(open, nullptr);
    EXPECT_FALSE(BeginChartFileRewrite(id));
    open.reset();
    EXPECT_TRUE(BeginChartFileRewrite(id));
    EndChartFileRewrite(id);
}

TEST_F(ChartUnderUpdate, TheViewLetsGoForTheUpdateAndOpensTheChartAgain)
{
    InstallV1();
    DirectOpener opener;
    CRasterleafView::Ports ports;
    ports.opener = &opener;
    CRasterleafView view(ports);
    view.SetViewRect(0, 0, 200, 150);
    view.OpenChart(Harbour());
    ASSERT_TRUE(view.HasChart());

    // Shown and drawing: the update fails cleanly, the chart stays usable.
    std::string error;
    std::atomic<bool> done{false};
    bool ok = true;
    std::thread install([&] {
        ok = Install(error);
        done = true;
    });
    while (!done.load())
        DrawOnce(view);
    install.join();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(tessatest::ReadWholeFile(Harbour()) == chart);
    DrawOnce(view);
    EXPECT_TRUE(view.HasChart());

    // Through the hooks the install flow calls: closed for the update, open after it.
    const std::vector<std::string> charts{Harbour()};
    ReleaseChartFiles(charts);
    EXPECT_FALSE(view.HasChart());
    ASSERT_TRUE(Install(error)) << error;
    EXPECT_TRUE(tessatest::ReadWholeFile(Harbour()) == chart2);
    ReacquireChartFiles(charts);
    ASSERT_TRUE(view.HasChart());
    EXPECT_EQ(view.GetCurrentChartPath(), Harbour());
    DrawOnce(view);
}
