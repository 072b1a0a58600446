#include "formats/icondecode.h"

#include <algorithm>

namespace vexillo {

bool DecodeIconImage(ByteView bits, DecodedImage &out, TReadError *error)
{
    return IsPngStream(bits) ? DecodePngIcon(bits, out, error) : DecodeDibIcon(bits, out, error);
}

uint64_t DecodeCost(ByteView bits, int cxDesired, int cyDesired)
{
    uint64_t own = 0;
    if (PngHeaderInfo png; ReadPngHeader(bits, png)) {
        own = uint64_t{png.Width} * png.Height;
    } else {
        int32_t width = 0, height = 0;
        if (bits.readI32(4, width) && bits.readI32(8, height) && width > 0 && height / 2 > 0)
            own = static_cast<uint64_t>(width) * static_cast<uint64_t>(height / 2);
    }
    const uint64_t desired = static_cast<uint64_t>(std::max(cxDesired, 0)) * static_cast<uint64_t>(std::max(cyDesired, 0));
    return std::max(own, desired);
}

} // namespace vexillo
