#include "charts/ChartMessages.h"

#include "charts/ChartPorts.h"

void ShowChartProblem(QWidget* owner, const std::string& text)
{
    Port<IChartProblemReporter>().ReportChartProblem(owner, text);
}
