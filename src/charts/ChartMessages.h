#pragma once
// How the chart reader tells the user why a chart cannot be shown: a message
// box titled "Problem" with one "OK" button, parented to the owner window.
#include <string>

class QWidget;

void ShowChartProblem(QWidget* owner, const std::string& text);
