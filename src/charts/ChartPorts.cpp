#include "charts/ChartPorts.h"

#include "foundation/util/PortSlot.h"

#include <QtGlobal>

namespace {

CPortSlot<IChartProblemReporter>& ReporterSlot()
{
    static CPortSlot<IChartProblemReporter> slot;
    return slot;
}

CPortSlot<IChartRewriteHooks>& RewriteSlot()
{
    static CPortSlot<IChartRewriteHooks> slot;
    return slot;
}

} // namespace

void IChartProblemReporter::ReportChartProblem(QWidget*, const std::string& text)
{
    qWarning("chart problem: %s", text.c_str());
}

IChartProblemReporter& ChartProblemReporter()
{
    return ReporterSlot().Get();
}

void SetChartProblemReporter(IChartProblemReporter* reporter)
{
    ReporterSlot().Install(reporter);
}

void IChartRewriteHooks::ReleaseChartFiles(const std::vector<std::string>&) {}

void IChartRewriteHooks::ReacquireChartFiles(const std::vector<std::string>&) {}

IChartRewriteHooks& ChartRewriteHooks()
{
    return RewriteSlot().Get();
}

void SetChartRewriteHooks(IChartRewriteHooks* hooks)
{
    RewriteSlot().Install(hooks);
}
