#include "foundation/platform/PlatformServices.h"

#include <QWidget>

void SetViewControllerNeedsDisplay(QWidget* view)
{
    if (!view)
        return;
    view->update();
    for (QWidget* child : view->findChildren<QWidget*>())
        child->update();
}
