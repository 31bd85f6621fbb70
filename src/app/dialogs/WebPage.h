#pragma once
// Opens a page of the web site in the desktop's browser. Where no browser
// opens it, a box says so and shows the address as selectable text, so the
// user can copy it into a browser of their own.
#include <string>

class QWidget;

// False after the box was shown; true when the page went to the desktop's
// opener, which shows the box later if no browser takes it.
bool OpenWebPage(QWidget* parent, const std::string& url);
