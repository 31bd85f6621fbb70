#pragma once
// A chart view over a real single-file chart made by the chart writer, with
// the opener and catalog that serve it: what view tests and benchmarks draw
// on without a window.
#include "mapview/view/ChartViewPorts.h"
#include "mapview/view/RasterleafView.h"

#include <QImage>

#include <memory>
#include <string>

namespace tessatest {

// Writes a plate carree chart of tilesWide x tilesHigh tiles of 64 pixels over
// the box; "" when the file could not be written.
std::string WriteTestChart(const std::string& path, double west, double north, double east, double south,
                           int tilesWide, int tilesHigh);

// Opens chart files at once, on the calling thread.
class CFileChartOpener : public IChartOpener
{
public:
    void Open(const std::string& path, Completion done) override;
};

// One chart that covers a box (west, north, east, south).
class CFileChartCatalog : public IChartCatalog
{
public:
    CFileChartCatalog(std::string path, double west, double north, double east, double south);
    std::string FindBestChartAt(double latitude, double longitude, double scale) override;
    std::string FindLowerScaleChartAt(double, double) override { return ""; }
    std::string FindHigherScaleChartAt(double, double) override { return ""; }
    bool SetCurrentChart(const std::string&) override { return true; }
    void ClearCurrentChart() override {}
    bool CurrentContains(double latitude, double longitude, bool& known) override;
    size_t ChartCount() override { return 1; }

private:
    bool Covers(double latitude, double longitude) const;
    std::string m_path;
    double m_west, m_north, m_east, m_south;
};

// A view of width x height view pixels open on a written chart; the chart
// file is removed with the object.
class CTestChartView
{
public:
    CTestChartView(int width, int height, double west = -20, double north = 20, double east = 20,
                   double south = -4, int tilesWide = 40, int tilesHigh = 24);
    ~CTestChartView();
    CTestChartView(const CTestChartView&) = delete;
    CTestChartView& operator=(const CTestChartView&) = delete;

    bool IsOpen() const { return view && view->HasChart(); }
    // Paints the whole view into `image` over a plain background.
    void Redraw(QImage& image) const;
    // Redraws until the cache's workers have rendered every square in view.
    void RedrawUntilSettled(QImage& image) const;
    const std::string& Path() const { return m_path; }

    std::unique_ptr<CRasterleafView> view;

private:
    std::string m_path;
    CFileChartOpener m_opener;
    std::unique_ptr<CFileChartCatalog> m_catalog;
};

} // namespace tessatest
