#include "overlays/ui/OverlayUiPorts.h"

#include "foundation/util/PortSlot.h"

namespace {

CPortSlot<IOverlayUi>& Slot()
{
    static CPortSlot<IOverlayUi> slot;
    return slot;
}

} // namespace

IOverlayUi& OverlayUi()
{
    return Slot().Get();
}

void SetOverlayUi(IOverlayUi* ui)
{
    Slot().Install(ui);
}

bool HasOverlayUi()
{
    return Slot().Installed();
}
