#pragma once
// The chart view's "mark at centre": a free mark named with the next "P"
// number, made by the mark manager.
#include "mapview/view/OverlaySourcesPorts.h"

class CNumberedMarkCreator : public IMarkCreator
{
public:
    void CreateMarkAt(CRasterleafView& view, double latitude, double longitude) override;
};
