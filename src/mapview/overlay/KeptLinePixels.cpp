#include "mapview/overlay/KeptLinePixels.h"

#include "foundation/drawing/Drawing.h"

#include <QPaintDevice>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {

size_t gBytes = 0;
// A few full screens' worth: beyond it lines are stroked on every draw.
constexpr size_t kBudget = size_t(96) << 20;
uint64_t gPass = 1;
// The lines holding pixels, so that those out of the picture can give way.
std::unordered_set<CKeptLinePixels*>& Holders()
{
    static std::unordered_set<CKeptLinePixels*> holders;
    return holders;
}

} // namespace

void CKeptLinePixels::BeginPass()
{
    ++gPass;
}

CKeptLinePixels::~CKeptLinePixels()
{
    Release();
}

size_t CKeptLinePixels::Bytes()
{
    return gBytes;
}

void CKeptLinePixels::Release()
{
    if (m_image.isNull())
        return;
    gBytes -= size_t(m_image.sizeInBytes());
    m_image = QImage();
    Holders().erase(this);
}

void CKeptLinePixels::Clear()
{
    Release();
    m_keyed = false;
    m_points.clear();
    m_points.shrink_to_fit();
}

bool CKeptLinePixels::Matches(const std::vector<CPolyPoint>& points, const Style& style, const QPen& pen,
                              double ratio, const QRectF& visible) const
{
    return m_keyed && m_style == style && m_pen == pen && m_ratio == ratio && m_visible == visible &&
           points.size() == m_points.size() &&
           std::equal(points.begin(), points.end(), m_points.begin(),
                      [](const CPolyPoint& a, const CPolyPoint& b) { return a.x == b.x && a.y == b.y; });
}

void CKeptLinePixels::Draw(QPainter& context, const std::vector<CPolyPoint>& points, const Style& style,
                           bool opaque, double reach, const std::function<void(QPainter&)>& stroke)
{
    const double ratio = context.device() ? context.device()->devicePixelRatioF() : 1.0;
    QRectF visible;
    // Whole ratios and no transform keep the copied pixels on the pixels the
    // strokes would give; printers and other devices are stroked.
    const bool keepable = opaque && std::isfinite(reach) && reach >= 0 && (ratio == 1.0 || ratio == 2.0) &&
                          context.worldTransform().isIdentity() &&
                          context.compositionMode() == QPainter::CompositionMode_SourceOver &&
                          context.opacity() == 1.0 && GetVisibleUserRect(context, visible);
    if (!keepable) {
        Clear();
        stroke(context);
        return;
    }
    m_pass = gPass;
    const QPen pen = context.pen();
    if (!Matches(points, style, pen, ratio, visible)) {
        Release();
        m_keyed = true;
        m_points = points;
        m_style = style;
        m_pen = pen;
        m_ratio = ratio;
        m_visible = visible;
        stroke(context);
        return;
    }
    if (m_image.isNull() && !Keep(pen, reach, stroke)) {
        stroke(context);
        return;
    }
    context.drawImage(QPointF(m_origin.x() / ratio, m_origin.y() / ratio), m_image);
}

bool CKeptLinePixels::Keep(const QPen& pen, double reach, const std::function<void(QPainter&)>& stroke)
{
    // The device pixels the line can touch: its points' box grown by how far
    // the strokes reach, within what shows.
    QRectF box;
    for (const CPolyPoint& p : m_points)
        if (std::isfinite(p.x) && std::isfinite(p.y))
            box |= QRectF(p.x - 0.5, p.y - 0.5, 1, 1);
    box = box.adjusted(-reach, -reach, reach, reach) & m_visible;
    if (box.isEmpty())
        return false;
    const double left = std::floor(box.left() * m_ratio), top = std::floor(box.top() * m_ratio);
    const double right = std::ceil(box.right() * m_ratio), bottom = std::ceil(box.bottom() * m_ratio);
    const double bytes = (right - left) * (bottom - top) * 4;
    if (!(bytes > 0) || bytes > double(kBudget))
        return false;
    if (double(gBytes) + bytes > double(kBudget)) {
        // Lines not drawn in this pass are out of the picture: they go first.
        std::vector<CKeptLinePixels*> stale;
        for (CKeptLinePixels* holder : Holders())
            if (holder->m_pass != gPass)
                stale.push_back(holder);
        for (CKeptLinePixels* holder : stale)
            holder->Clear();
        if (double(gBytes) + bytes > double(kBudget))
            return false;
    }
    QImage image(int(right - left), int(bottom - top), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return false;
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(m_ratio);
    {
        QPainter painter(&image);
        painter.setWorldTransform(QTransform::fromTranslate(-left / m_ratio, -top / m_ratio));
        painter.setPen(pen);
        stroke(painter);
    }
    m_image = std::move(image);
    m_origin = QPoint(int(left), int(top));
    gBytes += size_t(m_image.sizeInBytes());
    Holders().insert(this);
    return true;
}
