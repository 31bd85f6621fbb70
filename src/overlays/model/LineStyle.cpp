#include "overlays/model/LineStyle.h"

#include "foundation/drawing/Drawing.h"
#include "foundation/objectfile/Serializable.h"

#include <cmath>

namespace {
const char* const kPatternNames[] = {"Solid", "Dash", "Dot", "DashDot", "DashDotDot"};
constexpr float kMaxWidth = 100.0f;
} // namespace

const char* CLineStyle::GetPatternName() const
{
    return pattern <= kDashDotDot ? kPatternNames[pattern] : kPatternNames[0];
}

void CLineStyle::Apply(QPainter& context) const
{
    SetStrokeColor(context, colour);
    // The painter maps points to device pixels, so the width is in points here.
    SetLineStyle(context, pattern <= kDashDotDot ? int(pattern) : 0, width);
}

bool CLineStyle::Serialize(CSerialStream& stream)
{
    CSerialChunk chunk(stream);
    float w = width;
    uint32_t p = pattern;
    bool ok = chunk.ExchangeColor(colour);
    ok = ok && chunk.Exchange(w);
    ok = ok && chunk.Exchange(p);
    ok = chunk.Close() && ok;
    if (stream.IsReading()) {
        if (std::isfinite(w) && w >= 0)
            width = std::min(w, kMaxWidth);
        pattern = p;
    }
    return ok;
}
