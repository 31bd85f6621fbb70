// The chart reader's problems reach the user as a box titled "Problem" with
// one "OK" button, over the window that asked for the chart.
#include "charts/ChartMessages.h"
#include "foundation/dialogs/MessageBox.h"

namespace {

// Linked as a whole archive: installed before anything opens a chart.
[[maybe_unused]] const bool g_installed =
    (SetChartProblemReporter(
         [](QWidget* owner, const std::string& text) { ShowOKMessage(owner, text, "Problem"); }),
     true);

} // namespace
