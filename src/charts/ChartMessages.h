#pragma once
// How the chart reader tells why a chart cannot be shown. The reader only
// reports the text with the window that asked for the chart; the layer that
// shows windows installs the reporter at start (the application shows a box
// titled "Problem" with one "OK" button). Without a reporter the text goes to
// the log.
#include <functional>
#include <string>

class QWidget;

using ChartProblemReporter = std::function<void(QWidget* owner, const std::string& text)>;

// Installs the reporter (empty: none); returns the one installed before.
ChartProblemReporter SetChartProblemReporter(ChartProblemReporter reporter);

// Main thread only, like the reporters it calls.
void ShowChartProblem(QWidget* owner, const std::string& text);
