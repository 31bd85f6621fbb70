#pragma once
// Opens a page of the web site in the desktop's browser. Where no browser
// opens it, a box says so and shows the address as selectable text, so the
// user can copy it into a browser of their own.
#include <string>

class QWidget;

// True when the browser took the page; false after the box was shown.
bool OpenWebPage(QWidget* parent, const std::string& url);
