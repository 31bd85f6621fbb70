#include "app/shell/ChartViewRewrites.h"

#include "mapview/view/RasterleafView.h"

void CChartViewRewrites::ReleaseChartFiles(const std::vector<std::string>& paths)
{
    if (CRasterleafView* view = CRasterleafView::Global())
        view->ReleaseChartFiles(paths);
}

void CChartViewRewrites::ReacquireChartFiles(const std::vector<std::string>& paths)
{
    if (CRasterleafView* view = CRasterleafView::Global())
        view->ReacquireChartFiles(paths);
}
