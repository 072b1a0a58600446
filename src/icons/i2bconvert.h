// Renders an icon graphic into a bitmap over a background colour, for
// formats without transparency (BMP files).
#pragma once

#include "platform/gdi.h"

#include <stdexcept>

namespace vexillo {

// Raised when the icon has no image that can be drawn.
class EInvalidGraphic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Sizes Bitmap (passed new and empty) to the icon's AND mask, W by H + 1,
// draws the icon over white and paints every transparent pixel and the extra
// bottom row in BackColor. Raises EInvalidGraphic when the icon has no usable
// handle, and EOutOfResources when the bitmap can't be made.
void IconToBitmap(TIcon &Icon, TColor BackColor, TBitmap &Bitmap);

} // namespace vexillo
