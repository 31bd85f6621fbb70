#pragma once
// One drawable piece of a track: up to 64 timestamped points. Each later
// section of a track starts with a copy of the previous section's last point,
// so sections draw as one unbroken line and can move between tracks whole.
#include "foundation/objectfile/Serializable.h"
#include "mapview/overlay/KeptLinePixels.h"
#include "mapview/overlay/OverlayObject.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class COverlayTrack;

// The stored and recorded form of one point (32 bytes).
struct CTrackPoint
{
    double latitude = 0;
    double longitude = 0;
    double time = 0;    // seconds since 1970; 0 = none
    float altitude = 0; // metres; 0 = none
    float hdop = 0;
};
static_assert(sizeof(CTrackPoint) == 32, "the stored point is 32 bytes");

class CTrackSection : public COverlayObject, public CSerializable
{
public:
    static constexpr uint32_t kMaxPoints = 64;

    explicit CTrackSection(COverlayTrack* track = nullptr);
    ~CTrackSection() override = default;

    // COverlayObject
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override;
    void Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record) override;
    bool IsVisible() const override;
    bool OnTap(CRasterleafView& view, const COverlayTap& tap) override;
    bool OnDoubleTap(CRasterleafView& view, const COverlayTap& tap) override;
    bool ShowActionMenu(CRasterleafView& view, const COverlayTap& tap) override;

    // The section record. A read section is refused (false with the stream
    // still good) when it holds more than 64 points or its element size is 0
    // or its points would cross the record; points that are not finite are
    // dropped.
    bool Serialize(CSerialStream& stream) override;

    uint32_t Count() const { return m_count; }
    bool IsFull() const { return m_count >= kMaxPoints; }
    const CTrackPoint& Point(uint32_t i) const { return m_points[i]; }
    const CTrackPoint* Points() const { return m_points; }
    const CTrackPoint& Last() const { return m_points[m_count - 1]; }
    // False when the section is full.
    bool Append(const CTrackPoint& point);
    // Keeps the first `count` points.
    void Truncate(uint32_t count);
    // Replaces the points (at most 64 are taken).
    void Assign(const CTrackPoint* points, uint32_t count);

    COverlayTrack* GetTrack() const { return m_track; }
    void SetTrack(COverlayTrack* track) { m_track = track; }

private:
    // The halo (when wider than 0) and the line through the points, solid
    // lines left off where they lie beyond `reach` outside what shows.
    void StrokeLine(QPainter& context, const std::vector<CPolyPoint>& points, double haloWidth,
                    double reach) const;

    uint32_t m_count = 0;
    CTrackPoint m_points[kMaxPoints];
    COverlayTrack* m_track;
    std::unique_ptr<CKeptLinePixels> m_kept; // the line's pixels for redraws
};
