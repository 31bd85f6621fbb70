#pragma once
// A named point on the chart: a free mark (owned by the mark manager) or a
// route point (owned by its route). Carries its symbol and tint, a web link,
// and the radii of its proximity or anchor alarm.
#include "foundation/drawing/GraphicsColor.h"
#include "mapview/overlay/OverlayObject.h"
#include "overlays/model/Syncable.h"

#include <QImage>
#include <memory>
#include <string>

class COverlayRoute;

class COverlayMark : public COverlayObject, public CSyncable
{
public:
    static constexpr uint32_t kTypeId = 20;
    static constexpr double kNoPosition = 999.0;
    static inline CSerializableType<COverlayMark> cType{kTypeId};

    // Icon and colour from the mark manager's settings: those of route points
    // while route points are being made, else those of free marks.
    COverlayMark();
    ~COverlayMark() override = default;

    // A copy for the drop-mark button and route splitting: symbol, link,
    // radii, texts and flags, a new identity and no position. A name with a
    // '#' after its first character is a numbering template.
    static std::unique_ptr<COverlayMark> MakeCopy(const COverlayMark& source);

    // COverlayObject
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override;
    void Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record) override;
    bool IsVisible() const override;
    bool OnTap(CRasterleafView& view, const COverlayTap& tap) override;
    // While a route is being built the press only claims the mark: the
    // release's tap adds it once (a locked mark stays and would be added twice).
    bool OnDoubleTap(CRasterleafView& view, const COverlayTap& tap) override;
    // The mark action menu at the tapped point (a route point's menu leads to
    // its route's and its own operations).
    bool ShowActionMenu(CRasterleafView& view, const COverlayTap& tap) override;

    // CSerializable / CSyncable
    uint32_t GetTypeId() const override { return kTypeId; }
    bool Serialize(CSerialStream& stream) override;
    bool ExtendBounds(CBoundingBox& box) const override;

    // The first of: own icon, the default icon of the mark's kind, "Flag";
    // all in the mark's colour. Once per icon or colour change.
    void ResolveIcon();
    void SetIconAndColour(const std::string& icon, const GraphicsColor& colour);
    bool IsSameMark(const COverlayMark& other) const;

    double GetLatitude() const { return m_latitude; }
    double GetLongitude() const { return m_longitude; }
    bool HasPosition() const;
    void SetPosition(double latitude, double longitude);
    const std::string& GetLink() const { return m_link; }
    void SetLink(const std::string& link) { m_link = link; }
    COverlayRoute* GetRoute() const { return m_route; }
    void SetRoute(COverlayRoute* route) { m_route = route; }
    bool IsRoutePoint() const { return m_route != nullptr; }
    bool IsGotoTarget() const { return m_isGotoTarget; }
    void SetGotoTarget(bool on) { m_isGotoTarget = on; }
    bool IsAlarmRaised() const { return m_alarmRaised; }
    void SetAlarmRaised(bool on) { m_alarmRaised = on; }
    // A number given to each mark for the life of the process (alarm keys).
    uint32_t GetMarkNumber() const { return m_markNumber; }
    const GraphicsColor& GetColour() const { return m_colour; }
    const std::string& GetIcon() const { return m_icon; }
    float GetInnerRadius() const { return m_innerRadius; }
    float GetOuterRadius() const { return m_outerRadius; }
    // Metres; values that are not finite or negative become 0.
    void SetRadii(float inner, float outer);
    // The resolved image and hot spot (null until drawn or resolved).
    const QImage& GetIconImage() const { return m_iconImage; }
    double GetHotSpotX() const { return m_hotSpotX; }
    double GetHotSpotY() const { return m_hotSpotY; }

    // The tombstone of a free mark: fields cleared, no position, state 2.
    void ClearForDeletion();

private:
    void ClearIcon();

    double m_latitude = 0;
    double m_longitude = 0;
    std::string m_link;
    COverlayRoute* m_route = nullptr;
    bool m_isGotoTarget = false;
    bool m_alarmRaised = false;
    uint32_t m_markNumber = NextMarkNumber();
    static uint32_t NextMarkNumber()
    {
        // Wraps within 30 bits, so keys stay in their own range.
        static uint32_t counter = 0;
        counter = (counter + 1) & 0x3FFFFFFF;
        return counter;
    }
    GraphicsColor m_colour;
    std::string m_icon;
    float m_innerRadius = 0;
    float m_outerRadius = 0;
    QImage m_iconImage;
    double m_hotSpotX = 0;
    double m_hotSpotY = 0;
    QImage m_drawnImage; // the icon without its transparent border
    double m_drawnX = 0; // where that starts, in points from the icon's corner
    double m_drawnY = 0;
    bool m_iconResolved = false;
    bool m_iconHighResolution = false; // the image set the icon was resolved in
};
