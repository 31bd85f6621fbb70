#pragma once
// Small pieces shared by the data-panel cell families: what a cell shows
// after an event, with the stored description of a cell with nothing but its
// placement and the number conversions that never trust the value they get.
#include "panels/DisplayView.h"
#include "panels/PanelNumbers.h"
#include "panels/items/PlacementSettings.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

// A cell's label and value as one event leaves them.
struct CCellTexts
{
    bool setLabel = false;
    bool setText = true; // false: the value stays as it was
    std::string title;
    std::string unit;
    std::string text;

    void SetLabel(std::string newTitle, std::string newUnit)
    {
        setLabel = true;
        title = std::move(newTitle);
        unit = std::move(newUnit);
    }
    // Writes what changed into the cell's window (none: nothing).
    void ApplyTo(CDisplayView::ITxtWindow* window) const;
};

// The turn from `direction` to `course` (degrees): the magnitude as "%d°",
// with "<" in front for a turn to port and ">" after otherwise (dead ahead
// is "0°>"). Empty when either angle is unknown (900 or more) or not finite.
std::string FormatTurnAngle(double course, double direction);

// Spaces, tabs, line feeds and carriage returns trimmed from both ends.
std::string TrimString(const std::string& text);
