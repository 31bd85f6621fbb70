#include "foundation/dialogs/WindowPlacement.h"

#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/settings/PersistantData.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace {

// The stored geometries: "x y width height", the frame's position and the
// window's own size, as QWidget::pos() and size() give them.
class CWindowGeometries : public PersistantData
{
public:
    CWindowGeometries() : PersistantData("WindowGeometry") {}
    void Exchange() override
    {
        for (const char* key : {"main", "data_panel", "overlays"})
            ExchangeString(key, values[key]);
    }
    std::map<std::string, std::string> values;
};

// Made at start, so that the settings' loading finds it.
CWindowGeometries gGeometries;

bool ParseGeometry(const std::string& text, QRect& rect)
{
    int x = 0, y = 0, width = 0, height = 0;
    if (std::sscanf(text.c_str(), "%d %d %d %d", &x, &y, &width, &height) != 4 || width < 50 || height < 50 ||
        width > 20000 || height > 20000)
        return false;
    rect = QRect(x, y, width, height);
    return true;
}

QRect ScreenArea(QWidget* window, QWidget* near)
{
    QScreen* screen = near ? near->screen() : nullptr;
    if (!screen && window)
        screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// What the window manager adds around a window: the main window's, once it
// is shown; else a title bar's worth.
QMargins FrameMargins(QWidget* window)
{
    for (QWidget* shown : {window, DialogMainWindow()}) {
        if (!shown || !shown->isVisible())
            continue;
        // Equal when no window manager frames windows.
        const QRect frame = shown->frameGeometry(), inner = shown->geometry();
        return QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                        frame.bottom() - inner.bottom());
    }
    return QMargins(4, 28, 4, 4);
}

// A shown window's position, and that of one not made yet, is its frame's;
// a hidden native window's is that of its inside (the window manager puts
// the frame around it).
bool PositionIsInside(const QWidget* window)
{
    return !window->isVisible() && window->testAttribute(Qt::WA_WState_Created);
}

QRect FrameOf(QWidget* window, const QMargins& margins)
{
    if (!PositionIsInside(window))
        return QRect(window->pos(), window->size().grownBy(margins));
    return QRect(window->pos() - QPoint(margins.left(), margins.top()), window->size().grownBy(margins));
}

// Moves and sizes `window` so that its frame is `frame`.
void SetFrame(QWidget* window, const QRect& frame, const QMargins& margins)
{
    window->resize(std::max(frame.width() - margins.left() - margins.right(), 1),
                   std::max(frame.height() - margins.top() - margins.bottom(), 1));
    window->move(PositionIsInside(window) ? frame.topLeft() + QPoint(margins.left(), margins.top())
                                          : frame.topLeft());
}

class CGeometryTracker : public QObject
{
public:
    CGeometryTracker(QWidget* window, std::string name)
        : QObject(window), m_window(window), m_name(std::move(name))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
            m_window->isVisible() &&
            !(m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))) {
            const QPoint at = m_window->pos();
            const QSize size = m_window->size();
            std::string text = std::to_string(at.x()) + " " + std::to_string(at.y()) + " " +
                               std::to_string(size.width()) + " " + std::to_string(size.height());
            std::string& stored = gGeometries.values[m_name];
            if (stored != text) {
                stored = std::move(text);
                gGeometries.SetModified();
            }
        }
        return false;
    }

private:
    QWidget* m_window;
    std::string m_name;
};

} // namespace

QRect FitInsideRect(const QRect& frame, const QRect& screen)
{
    if (!screen.isValid())
        return frame;
    QRect fitted(frame.topLeft(), frame.size().boundedTo(screen.size()));
    fitted.moveLeft(std::clamp(fitted.left(), screen.left(), screen.right() + 1 - fitted.width()));
    fitted.moveTop(std::clamp(fitted.top(), screen.top(), screen.bottom() + 1 - fitted.height()));
    return fitted;
}

QRect PlaceOverRect(const QSize& frame, const QRect& main, const QRect& screen)
{
    QRect placed(QPoint(0, 0), frame);
    if (main.isValid())
        placed.moveCenter(main.center());
    else if (screen.isValid())
        placed.moveCenter(screen.center());
    return FitInsideRect(placed, screen);
}

void PlaceOverMainWindow(QWidget* window)
{
    if (!window)
        return;
    QWidget* main = DialogMainWindow();
    if (main == window)
        return;
    const QMargins margins = FrameMargins(window);
    const QSize frame = window->size().grownBy(margins);
    const QRect over = main && main->isVisible() ? main->frameGeometry() : QRect();
    SetFrame(window, PlaceOverRect(frame, over, ScreenArea(window, main)), margins);
}

void KeepInsideScreen(QWidget* window)
{
    if (!window)
        return;
    const QMargins margins = FrameMargins(window);
    const QRect frame = FrameOf(window, margins);
    const QRect fitted = FitInsideRect(frame, ScreenArea(window, nullptr));
    if (fitted != frame)
        SetFrame(window, fitted, margins);
}

void RaiseWindow(QWidget* window)
{
    if (!window)
        return;
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
    if (QWindow* native = window->windowHandle())
        native->requestActivate();
}

bool TrackWindowGeometry(QWidget* window, const char* name)
{
    if (!window || !name)
        return false;
    QRect stored;
    const bool found = ParseGeometry(gGeometries.values[name], stored);
    if (found) {
        const QMargins margins = FrameMargins(window);
        const QRect frame(stored.topLeft(), stored.size().grownBy(margins));
        // The screen it was on, when it is still there.
        QScreen* screen = QGuiApplication::screenAt(frame.center());
        const QRect area = screen ? screen->availableGeometry() : ScreenArea(window, nullptr);
        SetFrame(window, FitInsideRect(frame, area), margins);
    }
    new CGeometryTracker(window, name);
    return found;
}
