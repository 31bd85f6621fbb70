#pragma once
// Desktop services: the display's scale factor, the Wi-Fi network's name,
// opening web pages and files in the user's applications.
#include "foundation/platform/DialogParent.h"

#include <functional>
#include <string>
#include <vector>

// The primary screen's device pixel ratio; 1.0 without a screen.
double GetScaleFactor();
// Tests: a fixed scale factor; 0 returns to the screen's.
void SetScaleFactorForTesting(double factor);

// The SSID of the Wi-Fi network that carries the primary connection, asked of
// NetworkManager over the system bus; "Unknown" when there is none, when the
// primary connection is not Wi-Fi, or when NetworkManager is not there.
std::string GetWiFiSSID();
// Tests: a fixed network name; an empty text returns to NetworkManager's.
void SetWiFiSSIDForTesting(const std::string& ssid);

// Opens a web address in the default browser; false when nothing took it.
// The desktop's opener only says later whether a browser took the page: when
// it ends with a failure, `failed` runs then, on the main thread.
bool OpenURLInBrowser(const std::string& url, std::function<void()> failed = {});
// Tests: web addresses go to `opener` instead of the browser (its answer is
// returned); an empty function returns to the browser.
void SetURLOpenerForTesting(std::function<bool(const std::string& url)> opener);
// Tests: the desktop's opener is this command (program and first arguments;
// the address follows them); empty returns to the desktop's own.
void SetURLOpenerCommandForTesting(const std::vector<std::string>& command);
// Tests: whether an opener started here has not ended yet.
bool IsURLOpenerRunningForTesting();
// Opens a local file in the application the desktop associates with it.
bool OpenFileWithDefaultApp(const std::string& path);
// Offers a file for sharing: there is no sharing service here, so nothing happens.
void ShareFile(QWidget* parent, const std::string& path, const std::string& title, const std::string& type);
// Marks a view and all its sub-views for redrawing. It comes with the Qt
// widget adaptors (drawing/ViewRedraw_qt.cpp): only views call it.
void SetViewControllerNeedsDisplay(QWidget* view);
