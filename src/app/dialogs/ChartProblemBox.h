#pragma once
// The chart reader's problems reach the user as a box titled "Problem" with
// one "OK" button, over the window that asked for the chart.
#include "charts/ChartPorts.h"

class CChartProblemBox : public IChartProblemReporter
{
public:
    void ReportChartProblem(QWidget* owner, const std::string& text) override;
};
