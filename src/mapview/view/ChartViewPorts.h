#pragma once
// What the chart view needs from the rest of the system, as small interfaces:
// the chart opener and the tiles of an open chart, the chart catalog, the map
// store, and the window that shows the view. The application plugs in the real
// ones; tests plug in fakes, so the view's logic runs without a window.
#include "charts/PolynomialProjection.h"
#include "mapview/overlay/ScreenPoints.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;
class QRectF;
class QWidget;

// The pixels of one open chart, drawn in view coordinates.
class ITileSource
{
public:
    virtual ~ITileSource() = default;
    // Draws the part of the chart that the view rectangle `dirty` (view
    // pixels) shows under `view`; parts outside the chart stay untouched.
    virtual void Draw(QPainter& painter, const CViewTransform& view, const QRectF& dirty) = 0;
    // True while finished tiles wait to be shown (the view redraws on each tick).
    virtual bool IsBusy() { return false; }
    // Anything still queued or being made (tests and benchmarks wait on it).
    virtual bool HasWork() { return false; }
};

// An opened chart as the view keeps it.
struct COpenedChart
{
    std::string path;
    CPolynomialProjection georeference;
    bool chunked = false;
    std::string title;  // "" when the chart has none
    std::string rights; // "" when none
    std::unique_ptr<ITileSource> tiles;
};

class IChartOpener
{
public:
    // status 0 and a chart on success; a non-zero status or no chart on failure.
    using Completion = std::function<void(int status, std::unique_ptr<COpenedChart> chart)>;
    virtual ~IChartOpener() = default;
    // Opens `path`; the completion runs on the main thread, now or on a later tick.
    virtual void Open(const std::string& path, Completion done) = 0;
};

// The installed charts, as the view asks about them.
class IChartCatalog
{
public:
    virtual ~IChartCatalog() = default;
    // Path of the chart at the point whose scale fits `scale` best (0: the most
    // detailed); "" when none.
    virtual std::string FindBestChartAt(double latitude, double longitude, double scale) = 0;
    // The next chart at the point with a smaller (larger) scale value, that
    // is more (less) detailed, than the current one; "" when none.
    virtual std::string FindLowerScaleChartAt(double latitude, double longitude) = 0;
    virtual std::string FindHigherScaleChartAt(double latitude, double longitude) = 0;
    // Makes the chart at `path` the current one (adding it when not listed);
    // false when it cannot be listed (no current chart then).
    virtual bool SetCurrentChart(const std::string& path) = 0;
    virtual void ClearCurrentChart() = 0;
    // Whether the current chart's outline holds the point; false in `known`
    // when there is no current chart.
    virtual bool CurrentContains(double latitude, double longitude, bool& known) = 0;
    virtual size_t ChartCount() = 0;
    // Every available chart holding the point, in scale order, for "Maps at cursor".
    struct ChartAtPoint
    {
        std::string path;
        std::string name;
    };
    virtual std::vector<ChartAtPoint> ListChartsAt(double latitude, double longitude)
    {
        (void)latitude;
        (void)longitude;
        return {};
    }
};

// Missing charts from the map store. Look-ups never block the caller.
class IMapStore
{
public:
    // status 0 with the offered map's name and the path of the downloaded chart.
    using Completion = std::function<void(int status, const std::string& name, const std::string& localPath)>;
    virtual ~IMapStore() = default;
    // Starts a look-up (and the download of the map it offers) at the place.
    virtual void FetchMapAt(double latitude, double longitude, Completion done) = 0;
};

// The window that shows the view.
class IChartViewHost
{
public:
    virtual ~IChartViewHost() = default;
    virtual void RequestRedraw() = 0;
    // After every successful chart switch (the window title follows the chart).
    virtual void ChartOpened() {}
    virtual void ShowHint(const std::string& text) { (void)text; }
    // The widget that shows the view: pop-up menus open at view points in it.
    virtual QWidget* MenuParent() { return nullptr; }
};
