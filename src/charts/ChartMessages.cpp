#include "charts/ChartMessages.h"

#include <QtGlobal>

namespace {

ChartProblemReporter& Reporter()
{
    static ChartProblemReporter reporter;
    return reporter;
}

} // namespace

ChartProblemReporter SetChartProblemReporter(ChartProblemReporter reporter)
{
    std::swap(Reporter(), reporter);
    return reporter;
}

void ShowChartProblem(QWidget* owner, const std::string& text)
{
    if (Reporter())
        Reporter()(owner, text);
    else
        qWarning("chart problem: %s", text.c_str());
}
