#pragma once
// A package update closes the chart view's use of the files it rewrites and
// opens them again afterwards. The view is looked up on each call: it is made
// after the ports are wired and may be gone before they are removed.
#include "charts/ChartPorts.h"

class CChartViewRewrites : public IChartRewriteHooks
{
public:
    void ReleaseChartFiles(const std::vector<std::string>& paths) override;
    void ReacquireChartFiles(const std::vector<std::string>& paths) override;
};
