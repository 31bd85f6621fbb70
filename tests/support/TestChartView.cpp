#include "TestChartView.h"

#include "chartwriter/ChartWriter.h"
#include "mapview/view/CachedChartTiles.h"

#include <QPainter>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tessatest {

std::string WriteTestChart(const std::string& path, double west, double north, double east, double south,
                           int tilesWide, int tilesHigh)
{
    chartwriter::CChartWriter w(tilesWide, tilesHigh);
    w.name = "Test chart";
    chartwriter::PlateCarreeCoefficients(west, north, east, south, tilesWide * 64, tilesHigh * 64, w.forward,
                                         w.inverse);
    for (int i = 0; i < 128; ++i)
        w.palette[i] = uint32_t(i * 2) << 16 | uint32_t(255 - i) << 8 | uint32_t((i * 37) & 255);
    chartwriter::MixingTableByAverage(w.palette, w.mixing);
    std::vector<uint8_t> tile(64 * 64);
    for (int ty = 0; ty < tilesHigh; ++ty)
        for (int tx = 0; tx < tilesWide; ++tx) {
            for (int i = 0; i < 64 * 64; ++i)
                tile[i] = uint8_t((tx * 5 + ty * 3 + (i % 64) / 4 + (i / 64) / 8) & 127);
            w.SetTile(tx, ty, tile.data());
        }
    return w.Write(path) ? path : std::string();
}

void CFileChartOpener::Open(const std::string& path, Completion done)
{
    auto chart = CCachedChartOpener::OpenChartFile(nullptr, path);
    const int status = chart ? 0 : -1;
    done(status, std::move(chart));
}

CFileChartCatalog::CFileChartCatalog(std::string path, double west, double north, double east, double south)
    : m_path(std::move(path)), m_west(west), m_north(north), m_east(east), m_south(south)
{
}

bool CFileChartCatalog::Covers(double latitude, double longitude) const
{
    return latitude >= m_south && latitude <= m_north && longitude >= m_west && longitude <= m_east;
}

std::string CFileChartCatalog::FindBestChartAt(double latitude, double longitude, double)
{
    return Covers(latitude, longitude) ? m_path : std::string();
}

bool CFileChartCatalog::CurrentContains(double latitude, double longitude, bool& known)
{
    known = true;
    return Covers(latitude, longitude);
}

CTestChartView::CTestChartView(int width, int height, double west, double north, double east, double south,
                               int tilesWide, int tilesHigh)
{
    static std::atomic<int> serial{0};
    m_path = WriteTestChart("/tmp/tessa_test_chart_" + std::to_string(::getpid()) + "_" +
                                std::to_string(serial++) + ".rlt",
                            west, north, east, south, tilesWide, tilesHigh);
    m_catalog = std::make_unique<CFileChartCatalog>(m_path, west, north, east, south);
    CRasterleafView::Ports ports;
    ports.opener = &m_opener;
    ports.catalog = m_catalog.get();
    view = std::make_unique<CRasterleafView>(ports);
    view->SetViewRect(0, 0, width, height);
    if (!m_path.empty())
        view->GoToPosition((north + south) / 2, (west + east) / 2, 0);
}

CTestChartView::~CTestChartView()
{
    view.reset();
    if (!m_path.empty())
        std::remove(m_path.c_str());
}

void CTestChartView::Redraw(QImage& image) const
{
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(0xd8, 0xdc, 0xe0));
    view->Draw(painter, QRectF(image.rect()));
}

void CTestChartView::RedrawUntilSettled(QImage& image) const
{
    for (int i = 0; i < 2000; ++i) {
        Redraw(image);
        if (i > 0 && !view->HasWork() && !view->IsBusy())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace tessatest
