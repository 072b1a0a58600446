#include "formats/pngwriter.h"

#include <png.h>

#include <bit>
#include <csetjmp>

namespace vexillo {

bool IconToArgb(const DecodedImage *icon, PixelImage &out)
{
    if (!icon)
        return false;
    out.Width = icon->Width;
    out.Height = icon->Height;
    out.BitsPerPixel = 32;
    out.Pixels.assign(static_cast<size_t>(icon->Width) * static_cast<size_t>(icon->Height), 0);
    for (int y = 0; y < icon->Height; ++y) {
        for (int x = 0; x < icon->Width; ++x) {
            const size_t i = PixelIndex(x, y, icon->Width);
            const uint32_t color = icon->Color[i];
            if (icon->AlphaBlend)
                out.at(x, y) = color;
            else
                out.at(x, y) = icon->Mask[i] ? 0u : (color | 0xFF000000u);
        }
    }
    return true;
}

namespace {

void AppendToVector(png_structp png, png_bytep data, size_t length)
{
    auto *out = static_cast<std::vector<uint8_t> *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp)
{
}

[[noreturn]] void OnWriteError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void OnWriteWarning(png_structp, png_const_charp)
{
}

// Writes the rows in one pass. Kept free of objects with destructors between
// setjmp and the libpng calls that may jump back to it.
bool WriteRows(png_structp png, png_infop info, const PixelImage &picture, std::vector<png_bytep> &rows, bool quick)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    if (quick) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_compression_level(png, 1);
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width), static_cast<png_uint_32>(picture.Height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Each 0xAARRGGBB word as R, G, B, A bytes.
    if constexpr (std::endian::native == std::endian::little)
        png_set_bgr(png);
    else
        png_set_swap_alpha(png);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    return true;
}

} // namespace

bool EncodePngArgb(const PixelImage &picture, std::vector<uint8_t> &out, bool quick)
{
    out.clear();
    if (picture.Width <= 0 || picture.Height <= 0 ||
        picture.Pixels.size() != static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height))
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnWriteError, OnWriteWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(picture.Height));
    for (int y = 0; y < picture.Height; ++y)
        rows[static_cast<size_t>(y)] = reinterpret_cast<png_bytep>(
            const_cast<uint32_t *>(picture.Pixels.data() + PixelIndex(0, y, picture.Width)));
    out.reserve(picture.Pixels.size());
    png_set_write_fn(png, &out, AppendToVector, FlushNothing);
    const bool written = WriteRows(png, info, picture, rows, quick);
    png_destroy_write_struct(&png, &info);
    if (!written)
        out.clear();
    return written;
}

} // namespace vexillo
