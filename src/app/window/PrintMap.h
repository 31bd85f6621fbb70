#pragma once
// Printing the chart: the print dialog, then the chart widget drawn once more,
// scaled to fit the printer's page, with the chart's title strip.
#include "foundation/print/PageSetup.h"

class CRasterleafView;
class QtRasterleafView;
class QWidget;

// Returns at once; prints when the user accepts the dialog. A cancelled dialog
// prints nothing and says nothing; "Print failed" when the chosen printer
// cannot be drawn on.
void PrintChartView(QtRasterleafView& widget, CRasterleafView& view, const CPageSetup& page, QWidget* parent);
