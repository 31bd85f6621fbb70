#pragma once
// The chart list as the chart view's catalog.
#include "mapview/view/ChartViewPorts.h"

class CChartList;

class CChartListCatalog : public IChartCatalog
{
public:
    explicit CChartListCatalog(CChartList& list) : m_list(list) {}
    std::string FindBestChartAt(double latitude, double longitude, double scale) override;
    std::string FindLowerScaleChartAt(double latitude, double longitude) override;
    std::string FindHigherScaleChartAt(double latitude, double longitude) override;
    bool SetCurrentChart(const std::string& path) override;
    void ClearCurrentChart() override;
    bool CurrentContains(double latitude, double longitude, bool& known) override;
    size_t ChartCount() override;
    std::vector<ChartAtPoint> ListChartsAt(double latitude, double longitude) override;

private:
    CChartList& m_list;
};
