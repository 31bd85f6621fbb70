#include "charts/ChartPorts.h"

#include "foundation/util/PortSlot.h"

#include <QtGlobal>

void IChartProblemReporter::ReportChartProblem(QWidget*, const std::string& text)
{
    qWarning("chart problem: %s", text.c_str());
}

void IChartRewriteHooks::ReleaseChartFiles(const std::vector<std::string>&) {}

void IChartRewriteHooks::ReacquireChartFiles(const std::vector<std::string>&) {}
