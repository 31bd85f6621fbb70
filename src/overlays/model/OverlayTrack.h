#pragma once
// A recorded path: sections of at most 64 points in time order, a line style,
// and cached statistics (distance, moving time, highest speed). Tracks belong
// to the track manager.
#include "overlays/model/LineStyle.h"
#include "overlays/model/Syncable.h"
#include "overlays/model/TrackSection.h"

#include <memory>
#include <vector>

class COverlayRoute;

class COverlayTrack : public CSyncable
{
public:
    static constexpr uint32_t kMaxSections = 10000000;
    // Below this speed (metres per second) the ship counts as stopped.
    static constexpr double kMovingSpeed = 0.447;
    static constexpr double kKnotsToMetresPerSecond = 0.5144444444444445;

    COverlayTrack();
    ~COverlayTrack() override;

    // The track record. Colours are clamped to 0..1, a width that is not
    // finite and positive reads as 2, an unknown pattern as solid.
    bool Serialize(CSerialStream& stream) override;
    bool ExtendBounds(CBoundingBox& box) const override;

    const std::vector<std::unique_ptr<CTrackSection>>& Sections() const { return m_sections; }
    CLineStyle& GetLineStyle() { return m_lineStyle; }
    const CLineStyle& GetLineStyle() const { return m_lineStyle; }

    // Appends to the last section; a full one starts a new section seeded
    // with its last point. A later time becomes the modification time.
    void AddPoint(const CTrackPoint& point, bool notify);
    // Every point in order, each shared section boundary once.
    std::vector<CTrackPoint> AllPoints() const;
    size_t PointCount() const;
    bool HasPoints() const { return !m_sections.empty() && m_sections.front()->Count() > 0; }
    const CTrackPoint& FirstPoint() const { return m_sections.front()->Point(0); }
    const CTrackPoint& LastPoint() const { return m_sections.back()->Last(); }
    // Recording is on and this is the last track.
    bool IsRecorded() const;
    bool IsTrivial() const;

    // Metres; movingTime in seconds, maxSpeed in metres per second. Each step
    // is measured on a plane centred at its first point.
    double TotalDistance(double& movingTime, double& maxSpeed) const;
    // The cached statistics, computed first when they are not known yet.
    void EnsureStatistics();
    double CachedDistance() const { return m_distance; }
    double CachedMovingTime() const { return m_movingTime; }
    double CachedMaxSpeed() const { return m_maxSpeed; }
    double ElapsedTime() const;
    double MovingTime() const;
    double StoppedTime() const;

    // Appends a recorded point: dt and d (seconds, metres) from the last
    // point, and the fix's speed over ground in knots.
    void RecordPoint(const CTrackPoint& point, double dt, double d, double sogKnots);

    // Drops points that lie within sqrt(toleranceSquared) metres of the line
    // between their neighbours; repeated until a pass drops nothing, so a
    // second run drops nothing. Returns the number of points dropped.
    size_t Simplify(double toleranceSquared);
    // Splits at point `index` of `section`; the new "-split" track holds what
    // follows (the split point is in both). Null for a section not in the track.
    COverlayTrack* Split(CTrackSection* section, uint32_t index);
    // Appends the other track and deletes it; false (nothing changed) for this
    // track itself or a deleted track.
    bool Join(COverlayTrack* other);
    // The new route "<name>-converted"; the track is deleted.
    COverlayRoute* ConvertToRoute();
    // Simplifies, then appends every point to the route as a "Dot" point in
    // the route's colour. False when nothing was appended; else the position
    // of the first appended point.
    bool AppendToRoute(COverlayRoute& route, double toleranceSquared, double* firstLatitude = nullptr,
                       double* firstLongitude = nullptr);
    bool IsSameTrack(const COverlayTrack& other) const;

    // Every section gets the state.
    void NotifySections(uint32_t state);
    // Sections destroyed (each announcing itself), statistics forgotten.
    void ClearSections();
    // Takes over a section (its track pointer is set).
    void AppendSection(std::unique_ptr<CTrackSection> section);
    // Replaces every point (sections rebuilt from `points`).
    void SetPoints(const std::vector<CTrackPoint>& points);
    void ForgetStatistics();

    // A track the application shows for a while (chunk outlines): never
    // written to the store.
    void SetTemporary(bool temporary) { m_temporary = temporary; }
    bool IsTemporary() const { return m_temporary; }

private:
    size_t SimplifyPass(double toleranceSquared);

    std::vector<std::unique_ptr<CTrackSection>> m_sections;
    CLineStyle m_lineStyle;
    double m_distance = 0;
    double m_movingTime = 0;
    double m_maxSpeed = 0;
    bool m_statisticsKnown = false;
    bool m_temporary = false;
};

// Ends the active tool when it works on a section of `track` (before the
// track's sections change under it).
void EndToolOnTrack(const COverlayTrack& track);

// Listener<COverlayTrack> receives the recorded track after every fix.
