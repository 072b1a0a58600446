// Decodes the PNG images of icons with libpng, reading the stream through
// ByteView, and reads the IHDR chunk for the directory fields.

#include "formats/icondecode.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>

namespace vexillo {

namespace {

constexpr uint8_t kPngGrey = 0;
constexpr uint8_t kPngRgb = 2;
constexpr uint8_t kPngPalette = 3;
constexpr uint8_t kPngGreyAlpha = 4;
constexpr uint8_t kPngRgba = 6;

// The reading position in the stream libpng pulls bytes from.
struct PngSource {
    ByteView bytes;
    uint64_t offset = 0;
};

void ReadFromSource(png_structp png, png_bytep data, size_t length)
{
    auto *source = static_cast<PngSource *>(png_get_io_ptr(png));
    if (!source->bytes.copyTo(source->offset, data, length))
        png_error(png, "the stream ends early");
    source->offset += length;
}

// libpng's message of the error that ended a decode.
struct PngMessage {
    char text[160] = {};
};

// Errors return to the setjmp in DecodeRows with libpng's message kept;
// nothing is printed.
[[noreturn]] void OnPngError(png_structp png, png_const_charp message)
{
    if (auto *kept = static_cast<PngMessage *>(png_get_error_ptr(png)))
        std::snprintf(kept->text, sizeof kept->text, "%s", message ? message : "");
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp)
{
}

// Reads the image as 8-bit pixels straight into `pixels` (one 0xAARRGGBB
// word per pixel, top row first). Kept free of objects with destructors
// between setjmp and the libpng calls that may jump back to it; `pixels` and
// `rows` belong to the caller.
bool DecodeRows(png_structp png, png_infop info, std::vector<uint32_t> &pixels, std::vector<png_bytep> &rows,
                uint32_t &width, uint32_t &height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_user_limits(png, kMaxIconDimension, kMaxIconDimension);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colorType = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colorType, nullptr, nullptr, nullptr);
    if (w == 0 || h == 0 || w > kMaxIconDimension || h > kMaxIconDimension || uint64_t{w} * h > kMaxIconPixels)
        png_error(png, "the image is larger than the header said");

    // Gamma and colour-space chunks are ignored: the samples are used as
    // stored, the way icons are shown.
    png_set_expand(png);
    png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    // Bytes in the order that makes each pixel one 0xAARRGGBB word.
    if constexpr (std::endian::native == std::endian::little)
        png_set_bgr(png);
    else
        png_set_swap_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(w) * 4)
        png_error(png, "unexpected row layout");

    pixels.resize(static_cast<size_t>(w) * h);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        rows[y] = reinterpret_cast<png_bytep>(pixels.data() + static_cast<size_t>(y) * w);
    png_read_image(png, rows.data());
    width = w;
    height = h;
    return true;
}

} // namespace

bool ReadPngHeader(ByteView bits, PngHeaderInfo &out)
{
    static constexpr uint8_t kIhdr[4] = {'I', 'H', 'D', 'R'};
    uint32_t length = 0, width = 0, height = 0;
    uint8_t depth = 0, colorType = 0;
    ByteView name;
    if (!IsPngStream(bits) || !bits.readU32BE(8, length) || length != 13 || !bits.sub(12, 4, name) ||
        !name.startsWith(kIhdr, 4) || !bits.readU32BE(16, width) || !bits.readU32BE(20, height) ||
        !bits.readU8(24, depth) || !bits.readU8(25, colorType))
        return false;

    // The depth the picture is drawn at, as an icon's directory counts it:
    // a channel of alpha makes 32 bits, colour without one 24; grey and
    // palette pictures their depth, at most 8.
    uint16_t bitCount = 0;
    switch (colorType) {
    case kPngGrey:
    case kPngPalette: bitCount = std::min<uint16_t>(depth, 8); break;
    case kPngGreyAlpha:
    case kPngRgba: bitCount = 32; break;
    case kPngRgb: bitCount = 24; break;
    default: return false;
    }
    out.Width = width;
    out.Height = height;
    out.BitCount = bitCount;
    return true;
}

bool PngChunksIntact(ByteView bits, TReadError *error)
{
    static constexpr uint8_t kIend[4] = {'I', 'E', 'N', 'D'};
    PngHeaderInfo header;
    if (!ReadPngHeader(bits, header))
        return Fail(error, BadImage("no PNG header"));
    uint64_t at = sizeof kPngSignature;
    while (true) {
        uint32_t length = 0, crc = 0;
        ByteView typeAndData;
        if (!bits.readU32BE(at, length) || !bits.sub(at + 4, 4 + uint64_t{length}, typeAndData) ||
            !bits.readU32BE(at + 8 + length, crc))
            return Fail(error, BadImage("PNG: the chunk at " + std::to_string(at) + " is cut short"));
        const uint32_t computed = static_cast<uint32_t>(
            crc32(crc32(0, nullptr, 0), typeAndData.data(), static_cast<uInt>(typeAndData.size())));
        if (computed != crc)
            return Fail(error, BadImage("PNG: " + std::string(reinterpret_cast<const char *>(typeAndData.data()), 4) +
                                        ": CRC error"));
        if (typeAndData.startsWith(kIend, 4))
            return true;
        at += 12 + uint64_t{length};
    }
}

bool DecodePngIcon(ByteView bits, DecodedImage &out, TReadError *error)
{
    // The header is checked before libpng allocates anything for the image.
    PngHeaderInfo header;
    if (!ReadPngHeader(bits, header))
        return Fail(error, BadImage("no PNG header"));
    if (header.Width == 0 || header.Height == 0)
        return Fail(error, BadImage("PNG of " + std::to_string(header.Width) + " by " + std::to_string(header.Height) +
                                    " pixels"));
    if (header.Width > static_cast<uint32_t>(kMaxIconDimension) ||
        header.Height > static_cast<uint32_t>(kMaxIconDimension))
        return Fail(error,
                    LimitExceeded("icon size", std::max(header.Width, header.Height), kMaxIconDimension, "pixels"));
    const uint64_t pixelCount = uint64_t{header.Width} * header.Height;
    if (pixelCount > kMaxIconPixels)
        return Fail(error, LimitExceeded("icon pixels", pixelCount, kMaxIconPixels, "pixels"));
    if (pixelCount > kFreePngPixels && pixelCount > bits.size() * kMaxPngPixelsPerByte)
        return Fail(error, LimitExceeded("PNG pixels per stored byte", pixelCount / std::max<uint64_t>(bits.size(), 1),
                                         kMaxPngPixelsPerByte, "pixels"));

    PngMessage message;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, OnPngError, OnPngWarning);
    if (!png)
        return Fail(error, BadImage("libpng cannot start"));
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return Fail(error, BadImage("libpng cannot start"));
    }
    PngSource source{bits, 0};
    png_set_read_fn(png, &source, ReadFromSource);

    DecodedImage icon;
    std::vector<png_bytep> rows;
    uint32_t width = 0, height = 0;
    const bool decoded = DecodeRows(png, info, icon.Color, rows, width, height);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!decoded)
        return Fail(error, BadImage(std::string("PNG: ") + message.text));

    icon.Width = static_cast<int>(width);
    icon.Height = static_cast<int>(height);
    icon.AlphaBlend = true;
    icon.Mask.resize(icon.Color.size());
    for (size_t i = 0; i < icon.Color.size(); ++i)
        icon.Mask[i] = (icon.Color[i] >> 24) == 0;
    out = std::move(icon);
    return true;
}

} // namespace vexillo
