#include "overlays/model/MarkIcons.h"

#include "foundation/drawing/Images.h"

#include <unordered_map>

namespace {

struct HotSpot
{
    const char* name;
    double x, y;
};

const HotSpot kHotSpots[] = {
    {"Flag", 0.0862, 0.875},
    {"Dot", 0.486, 0.486},
    {"Pin", 0.937, 0.937},
    {"Person", 0.592, 0.875},
    {"X", 0.5, 0.5},
    {"Anchor", 0.4375, 0.875},
    {"Boat", 0.4375, 0.6},
    {"Buoy_can", 11.0 / 24, 15.0 / 19},
    {"Buoy_cardinal", 0.5625, 35.0 / 38},
    {"Buoy_conical", 11.0 / 24, 0.84},
    {"Buoy_round", 11.0 / 24, 0.84},
    {"Car", 0.5625, 0.53125},
    {"Circle", 6.0 / 13, 6.0 / 13},
    {"Deer", 0.5625, 0.53125},
    {"Exit", 16.0 / 31, 7.0 / 15},
    {"First_aid", 0.5, 0.5},
    {"Fish", 0.40625, 8.0 / 17},
    {"Fuel", 0.46875, 0.84375},
    {"G_pin", 0.28125, 31.0 / 33},
    {"Geocache", 0.53125, 8.0 / 13},
    {"House", 0.625, 0.8125},
    {"MOB", 10.0 / 21, 10.0 / 21},
    {"Skull", 0.5, 0.71875},
    {"Square", 4.0 / 9, 4.0 / 9},
    {"Tent", 0.6875, 0.71875},
    {"Tinydot", 1.0 / 3, 1.0 / 3},
    {"Trackback", 4.0 / 9, 4.0 / 9},
    {"Triangle", 7.0 / 15, 7.0 / 13},
    {"Warning", 0.5, 0.5625},
    {"Wreck", 0.40625, 9.0 / 11},
};

struct Key
{
    std::string name;
    uint32_t colour;
    bool high;
    bool operator==(const Key& o) const { return name == o.name && colour == o.colour && high == o.high; }
};

struct KeyHash
{
    size_t operator()(const Key& k) const
    {
        return std::hash<std::string>()(k.name) ^ (size_t(k.colour) * 0x9E3779B97F4A7C15ull) ^ size_t(k.high);
    }
};

std::unordered_map<Key, CMarkIcon, KeyHash>& Cache()
{
    static std::unordered_map<Key, CMarkIcon, KeyHash> cache;
    return cache;
}

} // namespace

bool GetIconHotSpotFraction(const std::string& icon, double& fx, double& fy)
{
    for (const HotSpot& h : kHotSpots)
        if (icon == h.name) {
            fx = h.x;
            fy = h.y;
            return true;
        }
    fx = fy = 0.5;
    return false;
}

const std::vector<std::string>& GetMarkIconNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const HotSpot& h : kHotSpots)
            v.push_back(h.name);
        return v;
    }();
    return names;
}

const CMarkIcon& GetMarkIcon(const std::string& icon, const GraphicsColor& colour)
{
    // The packed colour holds 8 bits a component: equal on screen is equal here.
    Key key{icon, colour.GetPacked(), UseHighResolutionImages()};
    auto found = Cache().find(key);
    if (found != Cache().end())
        return found->second;
    CMarkIcon entry;
    // Names never hold a path separator: normalised names are [A-Za-z0-9_].
    if (!icon.empty() && icon.find('/') == std::string::npos)
        entry.image = LoadTintedImage(icon, colour);
    if (!entry.image.isNull()) {
        double fx = 0.5, fy = 0.5;
        GetIconHotSpotFraction(icon, fx, fy);
        const QSizeF size = GetImageSize(entry.image);
        entry.hotSpotX = size.width() * fx;
        entry.hotSpotY = size.height() * fy;
        QPointF offset;
        entry.trimmed = TrimTransparentBorder(entry.image, offset);
        entry.trimX = offset.x();
        entry.trimY = offset.y();
    }
    return Cache().emplace(std::move(key), std::move(entry)).first->second;
}

size_t GetMarkIconCacheSize()
{
    return Cache().size();
}
