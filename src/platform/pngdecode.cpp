// Decodes the PNG images of icons with libpng, reading the stream through
// ByteView, and reads the IHDR chunk for the directory fields.

#include "platform/iconobject.h"

#include <png.h>

#include <csetjmp>

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
        png_error(png, "truncated");
    source->offset += length;
}

// Errors return to the setjmp in DecodeRows; nothing is printed.
[[noreturn]] void OnPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Reads the image as 8-bit RGBA rows into `rgba` (width * height * 4 bytes).
// Kept free of objects with destructors between setjmp and the libpng calls
// that may jump back to it; `rgba` and `rows` belong to the caller.
bool DecodeRows(png_structp png, png_infop info, std::vector<uint8_t> &rgba, std::vector<png_bytep> &rows,
                uint32_t &width, uint32_t &height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_user_limits(png, kMaxIconDimension, kMaxIconDimension);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colorType = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colorType, nullptr, nullptr, nullptr);
    if (w == 0 || h == 0 || w > kMaxIconDimension || h > kMaxIconDimension)
        return false;

    // Gamma and colour-space chunks are ignored: the samples are used as
    // stored, the way icons are shown.
    png_set_expand(png);
    png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(w) * 4)
        return false;

    rgba.resize(static_cast<size_t>(w) * h * 4);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        rows[y] = rgba.data() + static_cast<size_t>(y) * w * 4;
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

    unsigned samples = 0;
    switch (colorType) {
    case kPngGrey:
    case kPngPalette: samples = 1; break;
    case kPngGreyAlpha: samples = 2; break;
    case kPngRgb: samples = 3; break;
    case kPngRgba: samples = 4; break;
    default: return false;
    }
    out.Width = width;
    out.Height = height;
    out.BitCount = static_cast<uint16_t>(samples * depth);
    return true;
}

bool DecodePngIcon(ByteView bits, IconObject &out)
{
    // The header is checked before libpng allocates anything for the image.
    PngHeaderInfo header;
    if (!ReadPngHeader(bits, header) || header.Width == 0 || header.Height == 0 ||
        header.Width > static_cast<uint32_t>(kMaxIconDimension) ||
        header.Height > static_cast<uint32_t>(kMaxIconDimension))
        return false;

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource source{bits, 0};
    png_set_read_fn(png, &source, ReadFromSource);

    std::vector<uint8_t> rgba;
    std::vector<png_bytep> rows;
    uint32_t width = 0, height = 0;
    const bool decoded = DecodeRows(png, info, rgba, rows, width, height);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!decoded)
        return false;

    const size_t count = static_cast<size_t>(width) * height;
    out = IconObject{};
    out.Width = static_cast<int>(width);
    out.Height = static_cast<int>(height);
    out.AlphaBlend = true;
    out.Color.resize(count);
    out.Mask.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *p = &rgba[i * 4];
        out.Color[i] = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
        out.Mask[i] = p[3] == 0;
    }
    return true;
}

} // namespace vexillo
