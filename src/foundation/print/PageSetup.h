#pragma once
// The page the chart is printed on: paper, orientation and margins in points.
// It is kept as one line of text in the settings ("A4;portrait;18,18,18,18;pt")
// and read back strictly: a text that is not exactly of that form gives the
// whole default setup, never a half-read one.
#include <string>

struct CPageSetup
{
    std::string paper = "A4";
    bool landscape = false;
    double left = 18, right = 18, top = 18, bottom = 18;

    friend bool operator==(const CPageSetup&, const CPageSetup&) = default;
};

// "<paper>;portrait|landscape;<left>,<right>,<top>,<bottom>;pt", with margins
// that fit the paper; anything else gives CPageSetup{}.
CPageSetup ParsePageSetup(const std::string& text);
// The text ParsePageSetup reads back to the same setup.
std::string FormatPageSetup(const CPageSetup& page);

// The portrait width and height of a known paper in points; false for a name
// that is not on the list.
bool PaperSizePoints(const std::string& paper, double& width, double& height);
// The width and height of the page as it is turned, in points; false for an
// unknown paper.
bool PageSizePoints(const CPageSetup& page, double& width, double& height);
// Whether the margins leave something to print: each finite and not negative,
// left and right together narrower than the page, top and bottom together
// shorter. False for an unknown paper.
bool PageMarginsFit(const CPageSetup& page);

// The setup kept under "page_setup" in the settings file (the defaults until
// the settings are loaded). Storing marks it for the next save.
CPageSetup LoadPageSetup();
void StorePageSetup(const CPageSetup& page);
// Builds the settings object; start-up calls it before the settings are loaded.
void MakePageSetupSettings();
