#include "formats/icondecode.h"

#include <algorithm>

namespace vexillo {

bool DecodeIconImage(ByteView bits, DecodedImage &out, TReadError *error)
{
    return IsPngStream(bits) ? DecodePngIcon(bits, out, error) : DecodeDibIcon(bits, out, error);
}

bool ReadImageSize(ByteView bits, uint32_t &width, uint32_t &height)
{
    if (PngHeaderInfo png; ReadPngHeader(bits, png)) {
        width = png.Width;
        height = png.Height;
        return true;
    }
    int32_t w = 0, h = 0;
    if (!bits.readI32(4, w) || !bits.readI32(8, h) || w <= 0 || h / 2 <= 0)
        return false;
    width = static_cast<uint32_t>(w);
    height = static_cast<uint32_t>(h / 2);
    return true;
}

uint64_t DecodeCost(ByteView bits, int cxDesired, int cyDesired)
{
    uint32_t width = 0, height = 0;
    const uint64_t own = ReadImageSize(bits, width, height) ? uint64_t{width} * height : 0;
    const uint64_t desired =
        static_cast<uint64_t>(std::max(cxDesired, 0)) * static_cast<uint64_t>(std::max(cyDesired, 0));
    return std::max(own, desired);
}

} // namespace vexillo
