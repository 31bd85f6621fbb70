#pragma once
// Where the application's windows open: over or beside the main window and
// always inside the screen. The floating windows and the main window open
// where, and at the size, they last were (kept in the settings).
#include <QRect>
#include <QSize>

class QWidget;

// The frame of a window of `frame` size opened over `main`: centred on it,
// then moved (and shrunk when bigger) inside `screen`.
QRect PlaceOverRect(const QSize& frame, const QRect& main, const QRect& screen);
// `frame` moved (and shrunk when bigger) inside `screen`, else where it is.
QRect FitInsideRect(const QRect& frame, const QRect& screen);

// Before it is first shown: centres the top-level `window` over the main
// window (see DialogMainWindow), inside the main window's screen.
void PlaceOverMainWindow(QWidget* window);
// Keeps `window` inside its screen: moves and shrinks it when needed.
void KeepInsideScreen(QWidget* window);

// Brings `window` back from minimised, above the others, and asks the window
// manager to make it the active one.
void RaiseWindow(QWidget* window);

// Gives `window` the geometry last stored under `name` (fitted inside the
// screen) and stores it again whenever the window moves or is resized.
// False, leaving the window as it is, when none is stored yet.
bool TrackWindowGeometry(QWidget* window, const char* name);
