#include "mapview/view/ChartListCatalog.h"

#include "charts/chartlist/ChartList.h"
#include "foundation/util/Files.h"

namespace {

std::string PathOf(const ChartOutlinePtr& outline)
{
    return outline ? outline->path : std::string();
}

} // namespace

std::string CChartListCatalog::FindBestChartAt(double latitude, double longitude, double scale)
{
    return PathOf(m_list.FindBestChartAt(latitude, longitude, scale));
}

std::string CChartListCatalog::FindLowerScaleChartAt(double latitude, double longitude)
{
    return PathOf(m_list.FindLowerScaleChartAt(latitude, longitude));
}

std::string CChartListCatalog::FindHigherScaleChartAt(double latitude, double longitude)
{
    return PathOf(m_list.FindHigherScaleChartAt(latitude, longitude));
}

bool CChartListCatalog::SetCurrentChart(const std::string& path)
{
    ChartOutlinePtr outline = m_list.FindByPath(path);
    if (!outline)
        outline = m_list.AddChart(path);
    m_list.SetCurrentOutline(outline);
    return outline != nullptr;
}

void CChartListCatalog::ClearCurrentChart()
{
    m_list.SetCurrentOutline(nullptr);
}

bool CChartListCatalog::CurrentContains(double latitude, double longitude, bool& known)
{
    const ChartOutlinePtr& current = m_list.GetCurrentOutline();
    known = current != nullptr;
    return current && current->Contains(latitude, longitude);
}

size_t CChartListCatalog::ChartCount()
{
    return m_list.Outlines().size();
}

std::vector<IChartCatalog::ChartAtPoint> CChartListCatalog::ListChartsAt(double latitude, double longitude)
{
    std::vector<ChartOutlinePtr> outlines;
    m_list.ListChartsAt(latitude, longitude, outlines);
    std::vector<ChartAtPoint> charts;
    for (const ChartOutlinePtr& outline : outlines) {
        // A chart deleted or unplugged since the last scan cannot be opened.
        if (outline && IsRegularFile(outline->path))
            charts.push_back({outline->path, outline->name.empty() ? outline->path : outline->name});
    }
    return charts;
}
