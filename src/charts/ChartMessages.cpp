#include "charts/ChartMessages.h"

#include "foundation/dialogs/MessageBox.h"

void ShowChartProblem(QWidget* owner, const std::string& text)
{
    ShowOKMessage(owner, text, "Problem");
}
