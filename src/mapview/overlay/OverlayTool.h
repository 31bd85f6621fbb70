#pragma once
// The one active overlay tool: what a tap on a mark or a track section starts
// (measuring, moving, editing). Only one tool is active at a time; starting
// another ends the previous one. Main thread only.
#include "mapview/overlay/ScreenPoints.h"

#include <memory>

class COverlayObject;
class QPainter;

class COverlayTool
{
public:
    virtual ~COverlayTool() = default;

    // Input from the chart view. Tap opens the object's action menu and ends
    // the tool; DragBy moves by screen units; EndDrag closes a drag.
    virtual void Tap() {}
    virtual void UpdateText() {}
    virtual void DragBy(double dx, double dy)
    {
        (void)dx;
        (void)dy;
    }
    virtual void EndDrag() {}

    // The mark or track section the tool works on (null when it works on no
    // such object). The delete keys remove what these return.
    virtual COverlayObject* GetMark() const { return nullptr; }
    virtual COverlayObject* GetTrackSection() const { return nullptr; }
    // The chosen point of a track tool in its section (-1 for none).
    virtual int GetPointIndex() const { return -1; }
    // Drawn after the object the tool belongs to.
    virtual void DrawDecoration(QPainter& context, const CViewTransform& view, const ScreenPoints& record)
    {
        (void)context;
        (void)view;
        (void)record;
    }

    // Makes `tool` the active tool, ending the one before.
    static void SetActiveTool(std::unique_ptr<COverlayTool> tool);
    static COverlayTool* GetActiveTool();
    // Ends the active tool (nothing when there is none).
    static void EndActiveTool();
    // Ends the active tool when it works on `object` (the object goes away).
    static void EndToolOf(const COverlayObject* object);
};
