#include "app/window/PrintMap.h"

#include "app/window/QtRasterleafView.h"
#include "foundation/dialogs/DialogPorts.h"
#include "foundation/dialogs/MessageBox.h"
#include "mapview/view/RasterleafView.h"

#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <algorithm>

namespace {

// The chart as the widget shows it, scaled uniformly to fit the page and
// centred.
void PaintFitted(QtRasterleafView& widget, QPainter& painter, const QRectF& page)
{
    const double width = widget.width(), height = widget.height();
    if (width <= 0 || height <= 0 || page.width() <= 0 || page.height() <= 0)
        return;
    const double scale = std::min(page.width() / width, page.height() / height);
    painter.save();
    painter.translate(page.left() + (page.width() - width * scale) / 2,
                      page.top() + (page.height() - height * scale) / 2);
    painter.scale(scale, scale);
    const QRectF area(0, 0, width, height);
    painter.setClipRect(area);
    widget.PaintChart(painter, area);
    painter.restore();
}

} // namespace

void PrintChartView(QtRasterleafView& widget, CRasterleafView& view, const CPageSetup& page, QWidget* parent)
{
    CPrintRequest request;
    request.parent = parent;
    request.page = page;
    // The window may close while the dialog is open; the chart view itself
    // lives as long as the process.
    QPointer<QtRasterleafView> target(&widget);
    QPointer<QWidget> owner(parent);
    CRasterleafView* chart = &view;
    DialogPresenter().ShowPrintDialog(request, [target, owner, chart](QPrinter* printer) {
        if (!printer || !target)
            return;
        // Point sizes of fonts and pens then mean on paper what they mean on
        // the screen, relative to the chart.
        printer->setResolution(target->logicalDpiY());
        QPainter painter;
        if (!printer->isValid() || !painter.begin(printer)) {
            ShowOKMessage(owner.data(), "", "Print failed");
            return;
        }
        // The painter's origin is the top left of the printable area inside the margins.
        const QRectF area(QPointF(0, 0), printer->pageLayout().paintRectPixels(printer->resolution()).size());
        chart->SetTitleFlag(true);
        PaintFitted(*target, painter, area);
        chart->SetTitleFlag(false);
        painter.end();
        target->update();
    });
}
