// BMP files at the display's colour format: 24 bits per pixel, BI_RGB,
// bottom-up rows padded to four bytes, a 14-byte file header and a 40-byte
// information header (54 bytes before the pixels).
#pragma once

#include "formats/image.h"

#include <cstdint>
#include <vector>

namespace vexillo {

std::vector<uint8_t> EncodeBmp24(const PixelImage &bitmap);

} // namespace vexillo
