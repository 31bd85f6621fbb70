#include "charts/ChartMessages.h"

#include "charts/ChartPorts.h"

void ShowChartProblem(QWidget* owner, const std::string& text)
{
    ChartProblemReporter().ReportChartProblem(owner, text);
}
