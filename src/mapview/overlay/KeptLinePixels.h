#pragma once
// The pixels of a line drawing kept for redraws of an unchanged view: copying
// them is far cheaper than stroking thousands of short legs and dashes again.
// Only strokes that are opaque and not antialiased are kept: their pixels are
// the colour or untouched, so the copy gives exactly the stroked pixels. The
// pixels are made on the second draw with the same key, so a view that moves
// on every draw never pays for them. Main thread only, as all drawing.
#include "geodesy/Polygon.h"

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRectF>
#include <cstdint>
#include <functional>
#include <vector>

class CKeptLinePixels
{
public:
    // What the pixels depend on besides the points and the painter: the
    // line's colour, width and pattern, and any wider stroke under it (a halo).
    struct Style
    {
        uint32_t colour = 0;
        float width = 0;
        uint32_t pattern = 0;
        double under = 0;
        bool operator==(const Style& other) const = default;
    };

    CKeptLinePixels() = default;
    CKeptLinePixels(const CKeptLinePixels&) = delete;
    CKeptLinePixels& operator=(const CKeptLinePixels&) = delete;
    ~CKeptLinePixels();

    // Draws the line through `points` with `stroke`, or copies the pixels
    // kept from the last draw with the same points, style and painter state.
    // `opaque`: every stroke is an opaque colour without antialiasing.
    // `reach`: how far the strokes reach beyond the points, in user units.
    // The painter's pen, brush and hints are left as they were.
    void Draw(QPainter& context, const std::vector<CPolyPoint>& points, const Style& style, bool opaque,
              double reach, const std::function<void(QPainter&)>& stroke);
    // Forgets the pixels and the key.
    void Clear();
    bool HasPixels() const { return !m_image.isNull(); }

    // Bytes of kept pixels of all lines.
    static size_t Bytes();
    // A new draw pass of the view begins: when the budget runs out, pixels
    // not drawn in the current pass give way first.
    static void BeginPass();

private:
    void Release();
    bool Matches(const std::vector<CPolyPoint>& points, const Style& style, const QPen& pen, double ratio,
                 const QRectF& visible) const;
    // Strokes into a new image of the device pixels the line can touch; false
    // (and nothing kept) when that is empty or over the budget.
    bool Keep(const QPen& pen, double reach, const std::function<void(QPainter&)>& stroke);

    bool m_keyed = false;
    std::vector<CPolyPoint> m_points;
    Style m_style;
    QPen m_pen; // the painter's, which the strokes start from
    double m_ratio = 0;
    QRectF m_visible;
    QImage m_image; // device pixels
    QPoint m_origin;
    uint64_t m_pass = 0; // the draw pass that last drew the line
};
