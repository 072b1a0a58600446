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

bool ReadImageLength(ByteView bits, uint64_t &length)
{
    static constexpr uint8_t kIend[4] = {'I', 'E', 'N', 'D'};
    if (!IsPngStream(bits))
        return DibStoredLength(bits, length);
    // Each chunk is its length, its type, its data and a checksum.
    for (uint64_t at = sizeof kPngSignature;;) {
        uint32_t size = 0;
        ByteView type;
        if (!bits.readU32BE(at, size) || !bits.sub(at + 4, 4, type))
            return false;
        at += 12 + uint64_t{size};
        if (type.startsWith(kIend, 4)) {
            length = at;
            return true;
        }
    }
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
