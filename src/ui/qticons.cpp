#include "ui/qticons.h"

#include "platform/iconobject.h"
#include "formats/pngwriter.h"

#include <cstring>

namespace vexillo {

namespace {

QImage toQImage(const GdiBitmap &bitmap)
{
    QImage image(bitmap.Width, bitmap.Height, QImage::Format_ARGB32);
    for (int y = 0; y < bitmap.Height; ++y)
        std::memcpy(image.scanLine(y), &bitmap.Pixels[PixelIndex(0, y, bitmap.Width)],
                    static_cast<size_t>(bitmap.Width) * 4);
    return image;
}

} // namespace

QImage IconToQImage(const IconObject *icon, int size)
{
    if (!icon)
        return {};
    GdiBitmap picture;
    if (size > 0 && (icon->Width != size || icon->Height != size)) {
        IconObject scaled = ScaleIcon(*icon, size, size);
        if (!IconToArgb(&scaled, picture))
            return {};
    } else if (!IconToArgb(icon, picture)) {
        return {};
    }
    return toQImage(picture);
}

QImage IconOverBackground(HICON icon, QColor background)
{
    if (!icon)
        return {};
    GdiBitmap surface(icon->Width, icon->Height, background.rgb() | 0xFF000000u);
    DrawIconEx(&surface, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
    return toQImage(surface);
}

QColor ColorToQColor(TColor color)
{
    return QColor(ColorRed(color), ColorGreen(color), ColorBlue(color));
}

TColor QColorToColor(const QColor &color)
{
    return RGBColor(static_cast<uint8_t>(color.red()), static_cast<uint8_t>(color.green()),
                    static_cast<uint8_t>(color.blue()));
}

} // namespace vexillo
