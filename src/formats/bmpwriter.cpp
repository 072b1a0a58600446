#include "formats/bmpwriter.h"

namespace vexillo {

namespace {

void put16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

} // namespace

std::vector<uint8_t> EncodeBmp24(const PixelImage &bitmap)
{
    // Sizes are bounded by kMaxBitmapDimension, so these fit in 32 bits.
    const uint32_t width = static_cast<uint32_t>(bitmap.Width);
    const uint32_t height = static_cast<uint32_t>(bitmap.Height);
    const uint32_t stride = (width * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * height;
    const uint32_t headerSize = 14 + 40;

    std::vector<uint8_t> out;
    out.reserve(headerSize + imageSize);
    out.push_back('B');
    out.push_back('M');
    put32(out, headerSize + imageSize);
    put16(out, 0);
    put16(out, 0);
    put32(out, headerSize);

    put32(out, 40);
    put32(out, width);
    put32(out, height);
    put16(out, 1);  // planes
    put16(out, 24); // bits per pixel
    put32(out, 0);  // BI_RGB
    put32(out, imageSize);
    put32(out, 3780); // 96 dots per inch, in pixels per metre
    put32(out, 3780);
    put32(out, 0);
    put32(out, 0);

    for (uint32_t row = height; row-- > 0;) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t argb = bitmap.at(static_cast<int>(x), static_cast<int>(row));
            out.push_back(static_cast<uint8_t>(argb));       // blue
            out.push_back(static_cast<uint8_t>(argb >> 8));  // green
            out.push_back(static_cast<uint8_t>(argb >> 16)); // red
        }
        for (uint32_t pad = width * 3; pad < stride; ++pad)
            out.push_back(0);
    }
    return out;
}

} // namespace vexillo
