#pragma once
// Small pieces shared by the data-panel cell families: what a cell shows
// after an event, the stored description of a cell with nothing but its
// placement, and number conversions that never trust the value they get.
// Instruments and fixes can deliver anything (NaN, infinities, huge numbers),
// and converting such a value to an integer is undefined in C++.
#include "panels/DisplayView.h"

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

// The description of a cell that stores only its placement: the item type
// Item (made from it) under the id Id.
template <class Item, uint32_t Id> class CPlacedItemSettings : public CDisplayView::CItemSettings
{
public:
    uint32_t GetTypeId() const override { return Id; }
    std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override
    {
        return std::make_unique<Item>(*this, host);
    }
    static inline CSerializableType<CPlacedItemSettings> cType{Id};
};

// The value truncated toward zero when it is finite and fits; false otherwise.
bool SafeToInt(double value, int32_t& out);
// A time in seconds since 1970, when it is finite and within the years a
// calendar can show (year 0 to 9999).
bool SafeToTime(double seconds, time_t& out);

// The turn from `direction` to `course` (degrees): the magnitude as "%d°",
// with "<" in front for a turn to port and ">" after otherwise (dead ahead
// is "0°>"). Empty when either angle is unknown (900 or more) or not finite.
std::string FormatTurnAngle(double course, double direction);

// Spaces, tabs, line feeds and carriage returns trimmed from both ends.
std::string TrimString(const std::string& text);
