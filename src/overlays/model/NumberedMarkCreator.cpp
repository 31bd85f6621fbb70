#include "overlays/model/NumberedMarkCreator.h"

#include "overlays/model/MarkManager.h"

void CNumberedMarkCreator::CreateMarkAt(CRasterleafView& view, double latitude, double longitude)
{
    CMarkManager& manager = CMarkManager::Get();
    manager.CreateMarkAt(&view, manager.NextNumberedName("P"), latitude, longitude);
}
