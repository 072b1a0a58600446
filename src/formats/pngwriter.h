// PNG output of an icon image at its own size with its transparency, for use
// in other programs.
#pragma once

#include "formats/image.h"

#include <cstdint>
#include <vector>

namespace vexillo {

// The icon's picture as straight-alpha 0xAARRGGBB pixels: an alpha image
// keeps its alpha; a mask image is opaque where the AND mask is clear and
// fully transparent where it is set. A monochrome icon's XOR pixels give its
// colours. Nothing for a null icon.
bool IconToArgb(const DecodedImage *icon, PixelImage &out);

// Encodes 0xAARRGGBB pixels as an 8-bit RGBA PNG stream; false on failure.
// `quick` trades size for speed (one filter, light compression), for
// pictures made on demand such as thumbnails.
bool EncodePngArgb(const PixelImage &picture, std::vector<uint8_t> &out, bool quick = false);

} // namespace vexillo
