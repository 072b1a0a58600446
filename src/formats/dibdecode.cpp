// Decodes the DIB of an icon image: a bitmap information header, an optional
// colour table or set of channel masks, the bottom-up XOR rows and the 1-bit
// AND mask rows. Every byte is read through ByteView.

#include "formats/icondecode.h"

#include <algorithm>
#include <bit>

namespace vexillo {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kInfoHeaderSize = 40;
// A header this large or larger holds the red, green and blue masks at 40.
constexpr uint32_t kHeaderWithMasks = 52;
// A header this large or larger also holds the alpha mask at 52.
constexpr uint32_t kHeaderWithAlphaMask = 56;

// One colour channel of a 16- or 32-bit pixel, scaled to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0; // the largest value the channel holds after shifting

    explicit Channel(uint32_t m) : mask(m)
    {
        if (m) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }

    uint32_t operator()(uint32_t pixel) const
    {
        if (!max)
            return 0;
        const uint64_t value = (pixel & mask) >> shift;
        return static_cast<uint32_t>((value * 255 + max / 2) / max);
    }
};

// Bytes per stored row of `width` pixels at `bits` per pixel, rows padded to
// four bytes. Width is at most kMaxIconDimension, so this cannot overflow.
uint64_t RowStride(uint64_t width, uint64_t bits)
{
    return (width * bits + 31) / 32 * 4;
}

// What the header and the colour layout of a DIB say.
struct DibLayout {
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t colorHeight = 0; // the XOR rows; the stored height counts the AND rows too
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    uint64_t tableOffset = 0;  // where the colour table starts
    uint32_t storedColors = 0; // colour table entries stored
    uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
};

// Reads and checks the bitmap information header.
bool ReadDibHeader(ByteView bits, DibLayout &dib, TReadError *error)
{
    int32_t height = 0;
    if (!bits.readU32(0, dib.headerSize) || dib.headerSize < kInfoHeaderSize)
        return Fail(error, BadImage("no bitmap header"));
    if (!bits.contains(0, dib.headerSize))
        return Fail(error, Truncated(bits.size(), "bitmap header of " + std::to_string(dib.headerSize) + " bytes"));
    if (!bits.readI32(4, dib.width) || !bits.readI32(8, height) || !bits.readU16(14, dib.bitCount) ||
        !bits.readU32(16, dib.compression) || !bits.readU32(32, dib.colorsUsed))
        return Fail(error, Truncated(bits.size(), "bitmap header"));

    dib.colorHeight = height / 2;
    const int32_t width = dib.width, colorHeight = dib.colorHeight;
    const uint16_t bitCount = dib.bitCount;
    if (width <= 0 || colorHeight <= 0)
        return Fail(error, BadImage("size " + std::to_string(width) + " by " + std::to_string(colorHeight)));
    if (width > kMaxIconDimension || colorHeight > kMaxIconDimension)
        return Fail(error, LimitExceeded("icon size", static_cast<uint64_t>(std::max(width, colorHeight)),
                                         kMaxIconDimension, "pixels"));
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(colorHeight);
    if (pixels > kMaxIconPixels)
        return Fail(error, LimitExceeded("icon pixels", pixels, kMaxIconPixels, "pixels"));
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return Fail(error, BadImage(std::to_string(bitCount) + " bits per pixel"));
    if (dib.compression != kBiRgb && !(dib.compression == kBiBitfields && (bitCount == 16 || bitCount == 32)))
        return Fail(error, BadImage("compression " + std::to_string(dib.compression)));
    return true;
}

// The stored colour table: biClrUsed entries (at most 256), or the full
// palette of a 1-, 4- or 8-bit image when that is 0. Only the first 2^bits
// entries can be addressed.
uint32_t StoredColors(const DibLayout &dib)
{
    const uint32_t stored = std::min<uint32_t>(dib.colorsUsed, 256);
    return dib.bitCount <= 8 && stored == 0 ? 1u << dib.bitCount : stored;
}

// Reads the channel masks of a 16- or 32-bit image and the colour table of
// a 1-, 4- or 8-bit one.
bool ReadColourLayout(ByteView bits, DibLayout &dib, std::vector<uint32_t> &palette, TReadError *error)
{
    dib.tableOffset = dib.headerSize;
    if (dib.compression == kBiBitfields) {
        // A BITMAPINFOHEADER is followed by the three masks; larger headers
        // hold them inside.
        const uint64_t maskOffset = dib.headerSize >= kHeaderWithMasks ? kInfoHeaderSize : dib.headerSize;
        if (!bits.readU32(maskOffset, dib.redMask) || !bits.readU32(maskOffset + 4, dib.greenMask) ||
            !bits.readU32(maskOffset + 8, dib.blueMask) ||
            (dib.headerSize >= kHeaderWithAlphaMask && !bits.readU32(52, dib.alphaMask)))
            return Fail(error, Truncated(bits.size(), "colour masks"));
        if (dib.headerSize < kHeaderWithMasks)
            dib.tableOffset += 12;
        // Without an alpha mask, a top byte that no colour uses is the alpha.
        if (!dib.alphaMask && ((dib.redMask | dib.greenMask | dib.blueMask) & 0xFF000000u) == 0)
            dib.alphaMask = 0xFF000000u;
    } else if (dib.bitCount == 16) {
        dib.redMask = 0x7C00;
        dib.greenMask = 0x03E0;
        dib.blueMask = 0x001F;
    } else if (dib.bitCount == 32) {
        dib.redMask = 0x00FF0000;
        dib.greenMask = 0x0000FF00;
        dib.blueMask = 0x000000FF;
        dib.alphaMask = 0xFF000000u;
    }

    dib.storedColors = StoredColors(dib);
    if (dib.bitCount <= 8) {
        palette.resize(std::min<uint32_t>(dib.storedColors, 1u << dib.bitCount));
        for (size_t i = 0; i < palette.size(); ++i) {
            uint32_t bgr = 0;
            if (!bits.readU32(dib.tableOffset + 4 * i, bgr))
                return Fail(error,
                            Truncated(bits.size(), "colour table of " + std::to_string(palette.size()) + " entries"));
            palette[i] = 0xFF000000u | (bgr & 0x00FFFFFFu);
        }
    }
    return true;
}

// Decodes the XOR rows (bottom-up) into out.Color and the AND rows into
// out.Mask; true when a 32-bit image has any alpha.
bool DecodeRows(const DibLayout &dib, const std::vector<uint32_t> &palette, ByteView xorBits, ByteView andBits,
                DecodedImage &out)
{
    const int32_t width = dib.width, colorHeight = dib.colorHeight;
    const uint16_t bitCount = dib.bitCount;
    const uint64_t xorStride = RowStride(static_cast<uint64_t>(width), bitCount);
    const uint64_t andStride = RowStride(static_cast<uint64_t>(width), 1);
    const size_t pixelCount = static_cast<size_t>(width) * static_cast<size_t>(colorHeight);
    out.Color.assign(pixelCount, 0xFF000000u);
    out.Mask.assign(pixelCount, 0);

    const Channel red(dib.redMask), green(dib.greenMask), blue(dib.blueMask), alpha(dib.alphaMask);
    const uint32_t black = 0xFF000000u;
    bool anyAlpha = false;
    for (int32_t y = 0; y < colorHeight; ++y) {
        // Rows are stored bottom-up.
        const uint64_t storedRow = static_cast<uint64_t>(colorHeight - 1 - y);
        ByteView row;
        xorBits.sub(storedRow * xorStride, xorStride, row);
        uint32_t *dest = out.Color.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            const uint64_t ux = static_cast<uint64_t>(x);
            uint32_t pixel = black;
            switch (bitCount) {
            case 1:
            case 4:
            case 8: {
                uint8_t byte = 0;
                row.readU8(ux * bitCount / 8, byte);
                const unsigned shift = 8 - bitCount - static_cast<unsigned>(ux * bitCount % 8);
                const uint32_t index = (byte >> shift) & ((1u << bitCount) - 1);
                pixel = index < palette.size() ? palette[index] : black;
                break;
            }
            case 16: {
                uint16_t value = 0;
                row.readU16(ux * 2, value);
                pixel = black | (red(value) << 16) | (green(value) << 8) | blue(value);
                break;
            }
            case 24: {
                uint8_t b = 0, g = 0, r = 0;
                row.readU8(ux * 3, b);
                row.readU8(ux * 3 + 1, g);
                row.readU8(ux * 3 + 2, r);
                pixel = black | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
                break;
            }
            case 32: {
                uint32_t value = 0;
                row.readU32(ux * 4, value);
                const uint32_t a = alpha(value);
                anyAlpha = anyAlpha || a != 0;
                pixel = (a << 24) | (red(value) << 16) | (green(value) << 8) | blue(value);
                break;
            }
            }
            dest[x] = pixel;

            uint8_t maskByte = 0;
            andBits.readU8(storedRow * andStride + ux / 8, maskByte);
            out.Mask[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                (maskByte >> (7 - ux % 8)) & 1;
        }
    }

    return anyAlpha;
}

} // namespace

bool DibStoredLength(ByteView bits, uint64_t &length)
{
    DibLayout dib;
    if (!ReadDibHeader(bits, dib, nullptr))
        return false;
    // Three masks follow a BITMAPINFOHEADER of BI_BITFIELDS; larger headers
    // hold them inside.
    const uint64_t table =
        dib.headerSize + (dib.compression == kBiBitfields && dib.headerSize < kHeaderWithMasks ? 12u : 0u);
    const uint64_t width = static_cast<uint64_t>(dib.width), rows = static_cast<uint64_t>(dib.colorHeight);
    length = table + 4ull * StoredColors(dib) + (RowStride(width, dib.bitCount) + RowStride(width, 1)) * rows;
    return true;
}

bool DecodeDibIcon(ByteView bits, DecodedImage &out, TReadError *error)
{
    DibLayout dib;
    std::vector<uint32_t> palette;
    if (!ReadDibHeader(bits, dib, error) || !ReadColourLayout(bits, dib, palette, error))
        return false;

    const uint64_t xorOffset = dib.tableOffset + 4ull * dib.storedColors;
    const uint64_t xorSize =
        RowStride(static_cast<uint64_t>(dib.width), dib.bitCount) * static_cast<uint64_t>(dib.colorHeight);
    ByteView xorBits;
    if (!bits.sub(xorOffset, xorSize, xorBits))
        return Fail(error, Truncated(bits.size(),
                                     "pixels: " + std::to_string(xorSize) + " bytes at " + std::to_string(xorOffset)));
    // The AND mask may be cut short: the bits that are missing read as 0.
    const ByteView andBits = bits.from(xorOffset + xorSize);

    out = DecodedImage{};
    out.Width = dib.width;
    out.Height = dib.colorHeight;
    const bool anyAlpha = DecodeRows(dib, palette, xorBits, andBits, out);
    if (dib.bitCount == 32 && anyAlpha) {
        out.AlphaBlend = true;
    } else if (dib.bitCount == 32) {
        // An alpha channel of zeros means the image is drawn by its mask.
        for (uint32_t &pixel : out.Color)
            pixel |= 0xFF000000u;
    }
    out.Monochrome = dib.bitCount == 1 && palette.size() == 2 && (palette[0] & 0x00FFFFFFu) == 0 &&
                     (palette[1] & 0x00FFFFFFu) == 0x00FFFFFFu;
    return true;
}

} // namespace vexillo
