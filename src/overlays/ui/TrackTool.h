#pragma once
// The tool of a tapped track: a chosen point of a section, labelled with its
// speed, clock time and altitude; dragging slides the point along the track
// (into the neighbouring sections) without changing the track.
#include "mapview/overlay/OverlayTool.h"

#include <QImage>

class COverlayTrack;
class CTrackSection;

class CTrackTool : public COverlayTool
{
public:
    static constexpr double kMetresPerSecondToKnots = 1.94384449;

    CTrackTool(CRasterleafView* view, CTrackSection* section, double latitude, double longitude);

    void Tap() override;
    void UpdateText() override;
    void DragBy(double dx, double dy) override;
    void EndDrag() override;
    COverlayObject* GetTrackSection() const override;
    const COverlayTrack* GetTrack() const override;
    int GetPointIndex() const override { return m_index; }
    void DrawDecoration(QPainter& context, const CViewTransform& view, const ScreenPoints& record) override;

private:
    // The section's point nearest to (x, y) in the tool's plane, and its
    // squared distance; -1 for an empty section.
    int NearestPoint(const CTrackSection& section, double x, double y, double& distanceSq) const;
    bool ChosenPointOnScreen(double& x, double& y) const;

    CTrackSection* m_section;
    int m_index = -1;
    QImage m_dot;
    double m_hotSpotX = 0;
    double m_hotSpotY = 0;
};

// Makes a track tool for the section at the tapped position the active tool.
void StartTrackTool(CRasterleafView& view, CTrackSection& section, double latitude, double longitude);
