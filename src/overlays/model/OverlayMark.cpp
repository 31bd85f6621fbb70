#include "overlays/model/OverlayMark.h"

#include "charts/PolynomialProjection.h"
#include "foundation/NumberText.h"
#include "foundation/drawing/Images.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/util/StringUtil.h"
#include "foundation/util/Xml.h"
#include "geodesy/Polygon.h"
#include "geodesy/Units.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/model/MarkIcons.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayModelPorts.h"
#include "overlays/model/OverlayNames.h"
#include "overlays/model/OverlayRoute.h"

#include <QPainter>
#include <QPoint>
#include <cmath>

namespace {

bool IsPlace(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 &&
           std::fabs(longitude) <= 360.0;
}

float UsableRadius(float r)
{
    return std::isfinite(r) && r > 0 ? r : 0.0f;
}

} // namespace

COverlayMark::COverlayMark() : COverlayObject(kKindMark, 0)
{
    const CMarkManager::Persistant& settings = CMarkManager::Settings();
    if (CMarkManager::IsMakingRoutePoints()) {
        m_icon = NormaliseIconName(settings.defaultWpIcon);
        m_colour = settings.defaultWpColor;
    } else {
        m_icon = NormaliseIconName(settings.defaultMarkIcon);
        m_colour = settings.defaultMarkColor;
    }
}

std::unique_ptr<COverlayMark> COverlayMark::MakeCopy(const COverlayMark& source)
{
    auto copy = std::make_unique<COverlayMark>();
    copy->m_link = source.m_link;
    copy->m_colour = source.m_colour;
    copy->m_icon = source.m_icon;
    copy->m_innerRadius = source.m_innerRadius;
    copy->m_outerRadius = source.m_outerRadius;
    copy->m_description = source.m_description;
    copy->m_category = source.m_category;
    copy->m_locked = source.m_locked;
    copy->m_doNotSync = source.m_doNotSync;
    const size_t hash = source.m_name.find('#');
    if (hash != std::string::npos && hash >= 1)
        copy->m_name = CMarkManager::Get().NextNumberedName(source.m_name.substr(0, hash));
    else
        copy->m_name = source.m_name;
    return copy;
}

bool COverlayMark::HasPosition() const
{
    return IsPlace(m_latitude, m_longitude);
}

void COverlayMark::SetPosition(double latitude, double longitude)
{
    if (IsPlace(latitude, longitude)) {
        m_latitude = latitude;
        m_longitude = longitude;
    } else {
        m_latitude = m_longitude = kNoPosition;
    }
}

void COverlayMark::SetRadii(float inner, float outer)
{
    m_innerRadius = UsableRadius(inner);
    m_outerRadius = UsableRadius(outer);
}

void COverlayMark::UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart)
{
    record.Reset();
    double x = 0, y = 0;
    if (HasPosition() && chart.IsValid() && chart.LatLonToPoint(m_latitude, m_longitude, x, y)) {
        record.mapPoints.push_back(CPolyPoint{x, y});
        record.hitMode = ScreenPoints::kHitPoints;
        record.hitPointCount = 1;
    }
    record.ComputeBounds();
}

void COverlayMark::ClearIcon()
{
    m_iconImage = QImage();
    m_drawnImage = QImage();
    m_iconResolved = false;
}

void COverlayMark::ResolveIcon()
{
    // The screen's image set can change (a test, a move to another screen).
    const bool high = UseHighResolutionImages();
    if (m_iconResolved && m_iconHighResolution == high)
        return;
    m_iconResolved = true;
    m_iconHighResolution = high;
    const CMarkManager::Persistant& settings = CMarkManager::Settings();
    const std::string kindDefault =
        NormaliseIconName(m_route ? settings.defaultWpIcon : settings.defaultMarkIcon);
    for (const std::string& name : {m_icon, kindDefault, std::string("Flag")}) {
        const CMarkIcon& icon = GetMarkIcon(name, m_colour);
        if (!icon.image.isNull()) {
            m_iconImage = icon.image;
            m_hotSpotX = icon.hotSpotX;
            m_hotSpotY = icon.hotSpotY;
            m_drawnImage = icon.trimmed;
            m_drawnX = icon.trimX;
            m_drawnY = icon.trimY;
            return;
        }
    }
    m_iconImage = m_drawnImage = QImage();
    m_hotSpotX = m_hotSpotY = m_drawnX = m_drawnY = 0;
}

void COverlayMark::Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record)
{
    if (record.screenPoints.empty())
        return;
    ResolveIcon();
    const CPolyPoint p = record.screenPoints[0];
    // Whole device pixels: a symbol between pixels would be drawn blurred.
    const double ratio = context.device() ? context.device()->devicePixelRatioF() : 1.0;
    const double x = std::round((p.x - m_hotSpotX) * ratio) / ratio;
    const double y = std::round((p.y - m_hotSpotY) * ratio) / ratio;
    DrawImageAt(context, m_drawnImage, x + m_drawnX, y + m_drawnY);
    if (COverlayTool* tool = COverlayTool::GetActiveTool(); tool && tool->GetMark() == this)
        tool->DrawDecoration(context, view, record);
}

bool COverlayMark::IsVisible() const
{
    return m_route ? m_route->IsVisible() : m_visible && !m_deleted;
}

bool COverlayMark::OnDoubleTap(CRasterleafView& view, const COverlayTap& tap)
{
    if (CMarkManager::Get().GetRouteBeingBuilt() && !m_route && !m_deleted)
        return true;
    return OnTap(view, tap);
}

bool COverlayMark::OnTap(CRasterleafView& view, const COverlayTap& tap)
{
    CMarkManager& manager = CMarkManager::Get();
    COverlayRoute* building = manager.GetRouteBeingBuilt();
    if (building && !m_route && !m_deleted) {
        const std::string name = IsPlainPointName(m_name) ? std::string() : m_name;
        building->AddPointWhileBuilding(&view, m_latitude, m_longitude, name, tap);
        building->AutoName();
        if (!m_locked)
            manager.DeleteMark(this);
        return true;
    }
    // The variation first: the tool's label shows a bearing at once.
    CDefaultUnits::Get().UpdateMagneticVariation(m_latitude, m_longitude, Now());
    Port<IOverlayObjectUi>().StartMarkTool(view, *this);
    SetState(kUpdated);
    return true;
}

bool COverlayMark::ShowActionMenu(CRasterleafView& view, const COverlayTap& tap)
{
    if (m_deleted)
        return false;
    return Port<IOverlayObjectUi>().ShowMarkMenu(view, *this, tap);
}

bool COverlayMark::ExtendBounds(CBoundingBox& box) const
{
    if (!HasPosition())
        return false;
    box.Extend(m_longitude - 0.001, m_latitude - 0.001);
    box.Extend(m_longitude + 0.001, m_latitude + 0.001);
    return true;
}

void COverlayMark::SetIconAndColour(const std::string& icon, const GraphicsColor& colour)
{
    m_icon = NormaliseIconName(icon);
    m_colour = colour;
    ClearIcon();
    Touch();
    SetState(kUpdated);
}

bool COverlayMark::IsSameMark(const COverlayMark& other) const
{
    return m_deleted == other.m_deleted && CompareNoCase(m_name, other.m_name) == 0 &&
           std::fabs(m_latitude - other.m_latitude) <= 1.7e-5 &&
           std::fabs(m_longitude - other.m_longitude) <= 1.7e-5;
}

void COverlayMark::ClearForDeletion()
{
    // The tool ends while the mark is still whole.
    COverlayTool::EndToolOf(this);
    MarkDeleted();
    m_name.clear();
    m_description.clear();
    m_link.clear();
    m_category.clear();
    m_outerRadius = 0;
    m_latitude = m_longitude = kNoPosition;
    SetState(kDeleted);
}

bool COverlayMark::Serialize(CSerialStream& stream)
{
    const bool routePoint = m_route != nullptr || (stream.IsReading() && CMarkManager::IsMakingRoutePoints());
    CSerialChunk chunk(stream);
    double latitude = m_latitude, longitude = m_longitude, time = m_created;
    float inner = m_innerRadius, outer = m_outerRadius;
    bool ok = chunk.ExchangeString(m_name);
    ok = ok && chunk.Exchange(latitude);
    ok = ok && chunk.Exchange(longitude);
    ok = ok && chunk.Exchange(time);
    ok = ok && chunk.ExchangeString(m_link);
    ok = ok && chunk.ExchangeString(m_description);
    ok = ok && chunk.ExchangeBool(m_isGotoTarget);
    ok = ok && chunk.ExchangeBool(m_locked);
    ok = ok && chunk.ExchangeString(m_icon);
    ok = ok && chunk.ExchangeColor(m_colour);
    ok = ok && chunk.Exchange(inner);
    ok = ok && chunk.Exchange(outer);
    if (ok && !routePoint && (stream.IsWriting() || !chunk.AtEnd())) {
        SerializeSyncBlock(stream);
        ok = stream.IsGood();
    }
    ok = ok && chunk.ExchangeString(m_category);
    ok = chunk.Close() && ok;
    if (stream.IsReading()) {
        // Outside input: unusable numbers become the sentinels and defaults.
        SetPosition(latitude, longitude);
        SetRadii(inner, outer);
        m_icon = NormaliseIconName(m_icon);
        ClearIcon();
        if (std::isfinite(time) && time != 0 && time < m_created)
            m_created = time;
        FixTimesAfterRead();
    }
    return ok;
}
