#pragma once
// The one active overlay tool: what a tap on a mark or a track section starts
// (measuring, moving, editing). Only one tool is active at a time; starting
// another ends the previous one. Main thread only.
//
// Every tool shows a label next to its object; the chart view brackets its
// overlays with BeginDrawPass and EndDrawPass, and a tool whose object was not
// drawn in a pass (it left the view or was hidden) ends.
#include "geodesy/LocalPlane.h"
#include "mapview/overlay/ScreenPoints.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <cstdint>
#include <memory>
#include <string>

class COverlayObject;
class COverlayTrack;
class CRasterleafView;
class QPainter;

class COverlayTool
{
public:
    // Where the label anchor starts: well off the view until the first draw.
    static constexpr double kNoAnchor = -1000;
    // The label box relative to the anchor, in view points.
    static constexpr double kLabelLeft = -100;
    static constexpr double kLabelTop = -50;
    static constexpr double kLabelWidth = 200;
    static constexpr double kLabelHeight = 20;

    explicit COverlayTool(CRasterleafView* view = nullptr);
    // Clears the status message the tool was showing, never an older one.
    virtual ~COverlayTool();
    COverlayTool(const COverlayTool&) = delete;
    COverlayTool& operator=(const COverlayTool&) = delete;

    // Input from the chart view. Tap opens the object's action menu and ends
    // the tool; DragBy moves by screen units; EndDrag closes a drag.
    virtual void Tap() {}
    // Rebuilds the label text and the status line.
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
    // The track of the section (null for other tools).
    virtual const COverlayTrack* GetTrack() const { return nullptr; }
    // The chosen point of a track tool in its section (-1 for none).
    virtual int GetPointIndex() const { return -1; }
    // Drawn after the object the tool belongs to: the label at the object's
    // first screen point.
    virtual void DrawDecoration(QPainter& context, const CViewTransform& view, const ScreenPoints& record);

    // The label: its text, its anchor (view points) and whether the anchor
    // stays put instead of following the object (the view pins it while the
    // pointer holds the label).
    const std::string& GetText() const { return m_text; }
    double AnchorX() const { return m_anchorX; }
    double AnchorY() const { return m_anchorY; }
    void SetAnchor(double x, double y);
    bool IsPinned() const { return m_pinned; }
    void SetPinned(bool on) { m_pinned = on; }
    bool WasDrawn() const { return m_drawn; }
    // The box the label was last drawn in (empty before the first draw), for
    // the view to repaint.
    QRectF LastLabelRect() const;
    CRasterleafView* GetView() const { return m_view; }

    // Makes `tool` the active tool, ending the one before.
    static void SetActiveTool(std::unique_ptr<COverlayTool> tool);
    static COverlayTool* GetActiveTool();
    // Ends the active tool (nothing when there is none).
    static void EndActiveTool();
    // Ends the active tool when it works on `object` (the object goes away).
    static void EndToolOf(const COverlayObject* object);

    static bool IsActiveToolMark(const COverlayObject* mark);
    static bool IsActiveToolTrack(const COverlayTrack* track);
    static bool IsActiveToolSection(const COverlayObject* section);

    // Around the chart view's drawing of its overlays.
    static void BeginDrawPass();
    static void EndDrawPass();

protected:
    // The label's box for the anchor (x, y): it holds every line of the text.
    QRectF LabelBox(double x, double y) const;
    // Draws the label with its anchor at (x, y), or where it is pinned.
    void DrawLabel(QPainter& context, double x, double y);
    bool HasAnchor() const { return m_anchorX != kNoAnchor || m_anchorY != kNoAnchor; }
    void ForgetDrawnAnchor() { m_drawnX = m_drawnY = kNoAnchor; }

    QFont m_labelFont;
    QColor m_labelBackground{255, 255, 255, 128};
    CRasterleafView* m_view;
    double m_anchorX = kNoAnchor;
    double m_anchorY = kNoAnchor;
    double m_drawnX = kNoAnchor;
    double m_drawnY = kNoAnchor;
    bool m_drawn = false;
    bool m_pinned = false;
    CLocalPlane m_plane; // usable once centred
    std::string m_text;

private:
    uint64_t m_messagesBefore; // status messages set before the tool began
};
