#pragma once
// The mark symbols: where each image sits on its point, and one cache of
// tinted images for the whole program, keyed by (normalised name, colour).
// Main thread only.
#include "foundation/drawing/GraphicsColor.h"

#include <QImage>
#include <string>
#include <vector>

struct CMarkIcon
{
    QImage image;        // null when the icon has no image
    double hotSpotX = 0; // points from the image's top left
    double hotSpotY = 0;
    // The image without its transparent border and where that starts, in
    // points from the image's top left: what is drawn.
    QImage trimmed;
    double trimX = 0;
    double trimY = 0;
};

// The hot spot of a normalised icon name as fractions of the image size;
// false (and the centre) for an icon not in the table.
bool GetIconHotSpotFraction(const std::string& icon, double& fx, double& fy);
// The names of the table, in its order.
const std::vector<std::string>& GetMarkIconNames();

// The tinted image of a normalised icon name with its hot spot; loaded once
// per name and colour, misses included.
const CMarkIcon& GetMarkIcon(const std::string& icon, const GraphicsColor& colour);
size_t GetMarkIconCacheSize();
