#include "mapview/view/PanGesture.h"

#include <cmath>

namespace {

// Toward zero, to a multiple of 2^zoom when the zoom level is positive.
int64_t WholeStep(double value, int32_t zoom)
{
    if (!std::isfinite(value) || std::fabs(value) > 1e15)
        return 0;
    int64_t step = int64_t(value);
    if (zoom > 0 && zoom < 62) {
        const int64_t mask = ~((int64_t{1} << zoom) - 1);
        step = step >= 0 ? (step & mask) : -((-step) & mask);
    }
    return step;
}

// Down to a multiple of 2^zoom when the zoom level is positive.
double AlignDown(double value, int32_t zoom)
{
    if (zoom <= 0 || zoom >= 62)
        return value;
    const double unit = std::ldexp(1.0, zoom);
    return std::floor(value / unit) * unit;
}

} // namespace

void CPanGesture::Press(double x, double y, double seconds)
{
    m_pressed = true;
    m_pressX = x;
    m_pressY = y;
    m_pressTime = seconds;
    m_vx = m_vy = 0;
}

CPanGesture::Step CPanGesture::DragTo(double x, double y, double seconds, int32_t zoom)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return {};
    if (!m_pressed) {
        Press(x, y, seconds);
        return {};
    }
    x = AlignDown(x, zoom);
    y = AlignDown(y, zoom);
    Step step;
    step.dx = WholeStep(x - m_pressX, 0);
    step.dy = WholeStep(y - m_pressY, 0);
    if (step.IsZero())
        return step;
    // The press time stays put, so a slow drag leaves little glide.
    const double elapsed = seconds - m_pressTime;
    if (std::isfinite(elapsed) && elapsed >= kTickSeconds) {
        m_vx = double(step.dx) * kTickSeconds / elapsed;
        m_vy = double(step.dy) * kTickSeconds / elapsed;
    }
    m_pressX = x;
    m_pressY = y;
    return step;
}

void CPanGesture::Release()
{
    m_pressed = false;
}

CPanGesture::Step CPanGesture::Tick(int32_t zoom)
{
    if (m_pressed)
        return {};
    m_vx *= kDecay;
    m_vy *= kDecay;
    Step step{WholeStep(m_vx, zoom), WholeStep(m_vy, zoom)};
    if (step.IsZero())
        m_vx = m_vy = 0;
    return step;
}

void CPanGesture::Stop()
{
    m_vx = m_vy = 0;
}
