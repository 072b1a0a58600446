#include "formats/pngwriter.h"

#include <png.h>

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
            const size_t i = static_cast<size_t>(y) * icon->Width + x;
            const uint32_t color = icon->Color[i];
            if (icon->AlphaBlend)
                out.at(x, y) = color;
            else
                out.at(x, y) = icon->Mask[i] ? 0u : (color | 0xFF000000u);
        }
    }
    return true;
}

bool EncodePngArgb(const PixelImage &picture, std::vector<uint8_t> &out)
{
    if (picture.Width <= 0 || picture.Height <= 0)
        return false;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.Width);
    image.height = static_cast<png_uint_32>(picture.Height);
    // 0xAARRGGBB words on a little-endian machine are B, G, R, A in memory.
    image.format = PNG_FORMAT_BGRA;
    const png_int_32 stride = picture.Width * 4;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.Pixels.data(), stride, nullptr))
        return false;
    out.resize(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, picture.Pixels.data(), stride, nullptr)) {
        out.clear();
        return false;
    }
    out.resize(size);
    return true;
}

} // namespace vexillo
