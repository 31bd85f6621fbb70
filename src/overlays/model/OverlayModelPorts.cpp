#include "overlays/model/OverlayModelPorts.h"

#include "foundation/util/PortSlot.h"

namespace {

CPortSlot<IOverlayObjectUi>& ObjectUiSlot()
{
    static CPortSlot<IOverlayObjectUi> slot;
    return slot;
}

CPortSlot<ISaveAllPort>& SaveAllSlot()
{
    static CPortSlot<ISaveAllPort> slot;
    return slot;
}

CPortSlot<IAccountNumberSource>& AccountSlot()
{
    static CPortSlot<IAccountNumberSource> slot;
    return slot;
}

} // namespace

IOverlayObjectUi& OverlayObjectUi()
{
    return ObjectUiSlot().Get();
}

void SetOverlayObjectUi(IOverlayObjectUi* ui)
{
    ObjectUiSlot().Install(ui);
}

ISaveAllPort& SaveAllPort()
{
    return SaveAllSlot().Get();
}

void SetSaveAllPort(ISaveAllPort* port)
{
    SaveAllSlot().Install(port);
}

IAccountNumberSource& AccountNumberSource()
{
    return AccountSlot().Get();
}

void SetAccountNumberSource(IAccountNumberSource* source)
{
    AccountSlot().Install(source);
}
