#include "panels/PanelPorts.h"

#include "foundation/util/PortSlot.h"

namespace {

CPortSlot<IPanelWindowFactory>& Slot()
{
    static CPortSlot<IPanelWindowFactory> slot;
    return slot;
}

} // namespace

IPanelWindowFactory& PanelWindowFactory()
{
    return Slot().Get();
}

void SetPanelWindowFactory(IPanelWindowFactory* factory)
{
    Slot().Install(factory);
}

bool HasPanelWindowFactory()
{
    return Slot().Installed();
}
