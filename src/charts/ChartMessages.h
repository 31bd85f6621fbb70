#pragma once
// How the chart reader tells why a chart cannot be shown: through the problem
// reporter port (ChartPorts.h), with the window that asked for the chart.
#include "foundation/platform/DialogParent.h"

#include <string>

// Main thread only, like the reporters it calls.
void ShowChartProblem(QWidget* owner, const std::string& text);
