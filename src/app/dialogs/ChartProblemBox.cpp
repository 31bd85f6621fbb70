#include "app/dialogs/ChartProblemBox.h"

#include "foundation/dialogs/MessageBox.h"

void CChartProblemBox::ReportChartProblem(QWidget* owner, const std::string& text)
{
    ShowOKMessage(owner, text, "Problem");
}
