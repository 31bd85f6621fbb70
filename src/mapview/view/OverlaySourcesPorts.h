#pragma once
// What the chart view needs from the owner of marks: making the mark of
// CreateMarkAtCentre. The interface is its own do-nothing default (no mark is
// made until the mark owner's implementation is installed).
#include "foundation/util/PortSlot.h"

class CRasterleafView;

class IMarkCreator
{
public:
    virtual ~IMarkCreator() = default;
    // A new mark at the position, made from the view.
    virtual void CreateMarkAt(CRasterleafView& view, double latitude, double longitude)
    {
        (void)view;
        (void)latitude;
        (void)longitude;
    }
};
