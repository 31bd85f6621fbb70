#pragma once
// Press, drag, release and the glide that follows, without a window: the
// widget feeds pointer events with their time, the view pans by what comes
// back. The glide runs only after release, so the chart never slides away
// from under a held pointer.
#include <cstdint>

class CPanGesture
{
public:
    // Whole view pixels to pan by; zero when nothing moves.
    struct Step
    {
        int64_t dx = 0, dy = 0;
        bool IsZero() const { return dx == 0 && dy == 0; }
    };

    // `seconds` is the caller's clock. Any glide stops.
    void Press(double x, double y, double seconds);
    // The movement since the last point, aligned to 2^zoom pixels at positive
    // zoom levels. A drag without a press (one that began outside the view)
    // starts the gesture at that point.
    Step DragTo(double x, double y, double seconds, int32_t zoom);
    void Release();
    // One 0.05 s animation tick: the next glide step, none while pressed.
    Step Tick(int32_t zoom);
    // Ends any glide (GPS lock, a new chart).
    void Stop();

    bool IsPressed() const { return m_pressed; }
    bool IsGliding() const { return !m_pressed && (m_vx != 0 || m_vy != 0); }
    // Pixels per tick.
    double VelocityX() const { return m_vx; }
    double VelocityY() const { return m_vy; }

    static constexpr double kTickSeconds = 0.05;
    static constexpr double kDecay = 0.9;

private:
    bool m_pressed = false;
    double m_pressX = 0, m_pressY = 0;
    double m_pressTime = 0;
    double m_vx = 0, m_vy = 0;
};
