#pragma once
// What the overlay objects need from above the model: the tool a tap starts
// and the action menus (the overlay ui fills these), saving every store at
// once (the application), and the signed-in account's number (the account
// code). Each interface is its own do-nothing default: until the real one is
// installed a tap starts no tool, no menu opens, nothing is saved and new
// sync ids carry account 0.
#include "foundation/util/PortSlot.h"

#include <cstdint>

class COverlayMark;
class CRasterleafView;
class CTrackSection;
struct COverlayTap;

class IOverlayObjectUi
{
public:
    virtual ~IOverlayObjectUi() = default;
    // Makes the tool of a tapped mark or route point the active tool.
    virtual void StartMarkTool(CRasterleafView& view, COverlayMark& mark)
    {
        (void)view;
        (void)mark;
    }
    // Makes the tool of a tapped track section at the tapped position the
    // active tool.
    virtual void StartTrackTool(CRasterleafView& view, CTrackSection& section, double latitude,
                                double longitude)
    {
        (void)view;
        (void)section;
        (void)latitude;
        (void)longitude;
    }
    // The action menu of a mark (or route point) at the tapped point; true
    // when a menu opened.
    virtual bool ShowMarkMenu(CRasterleafView& view, COverlayMark& mark, const COverlayTap& tap)
    {
        (void)view;
        (void)mark;
        (void)tap;
        return false;
    }
    // The track menu of a section's track.
    virtual bool ShowTrackMenu(CRasterleafView& view, CTrackSection& section, const COverlayTap& tap)
    {
        (void)view;
        (void)section;
        (void)tap;
        return false;
    }
};

// Saving every store at once (GPX import and synchronisation ask for it).
class ISaveAllPort
{
public:
    virtual ~ISaveAllPort() = default;
    // True when everything was saved.
    virtual bool SaveAllData() { return false; }
};

// The signed-in account's number, 0 while none is known.
class IAccountNumberSource
{
public:
    virtual ~IAccountNumberSource() = default;
    virtual uint32_t AccountNumber() { return 0; }
};
