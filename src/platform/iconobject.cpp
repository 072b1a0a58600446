// Icon objects: building them from image bytes, scaling, drawing them on a
// bitmap and handing out their mask and colour bitmaps.

#include "platform/iconobject.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace vexillo {

namespace {

bool ValidSize(int width, int height)
{
    return width > 0 && height > 0 && width <= kMaxIconDimension && height <= kMaxIconDimension;
}

bool WellFormed(const IconObject &icon)
{
    const size_t count = static_cast<size_t>(icon.Width) * static_cast<size_t>(icon.Height);
    return ValidSize(icon.Width, icon.Height) && icon.Color.size() == count && icon.Mask.size() == count;
}

bool WellFormed(const GdiBitmap &bitmap)
{
    return bitmap.Width >= 0 && bitmap.Height >= 0 &&
           bitmap.Pixels.size() == static_cast<size_t>(bitmap.Width) * static_cast<size_t>(bitmap.Height);
}

// The source index whose centre lies nearest the centre of destination index
// `i` when `source` samples are stretched over `dest`.
int NearestIndex(int i, int dest, int source)
{
    return static_cast<int>((2 * static_cast<int64_t>(i) + 1) * source / (2 * static_cast<int64_t>(dest)));
}

// The source samples and weights that make up each destination sample along
// one axis: the covered area when shrinking, linear interpolation between
// the two nearest centres when enlarging.
struct AxisFilter {
    std::vector<size_t> start; // dest + 1 offsets into index and weight
    std::vector<int> index;
    std::vector<double> weight;
};

AxisFilter MakeAxisFilter(int source, int dest)
{
    AxisFilter filter;
    filter.start.push_back(0);
    const double scale = static_cast<double>(source) / dest;
    for (int i = 0; i < dest; ++i) {
        if (dest < source) {
            const double begin = i * scale, end = (i + 1) * scale;
            const int first = static_cast<int>(begin);
            const int last = std::min(source - 1, static_cast<int>(std::ceil(end)) - 1);
            for (int j = first; j <= last; ++j) {
                const double overlap = std::min(end, j + 1.0) - std::max(begin, static_cast<double>(j));
                if (overlap > 0) {
                    filter.index.push_back(j);
                    filter.weight.push_back(overlap / scale);
                }
            }
        } else {
            const double centre = std::clamp((i + 0.5) * scale - 0.5, 0.0, source - 1.0);
            const int low = static_cast<int>(centre);
            const int high = std::min(low + 1, source - 1);
            const double fraction = centre - low;
            filter.index.push_back(low);
            filter.weight.push_back(1.0 - fraction);
            filter.index.push_back(high);
            filter.weight.push_back(fraction);
        }
        filter.start.push_back(filter.index.size());
    }
    return filter;
}

// A sample rounded to the nearest of 0 to 255, halves up as lround rounds
// them: a few operations, where lround costs a call for each of the many
// samples of a picture.
uint32_t RoundToByte(double value)
{
    if (value <= 0.0)
        return 0;
    if (value >= 255.0)
        return 255;
    const auto whole = static_cast<uint32_t>(value);
    return whole + (value - whole >= 0.5 ? 1 : 0);
}

// Resamples an alpha image's colours with the colour weighted by its alpha,
// so that transparent pixels lend no colour to their neighbours.
void ScaleAlphaColors(const IconObject &source, IconObject &out)
{
    const AxisFilter across = MakeAxisFilter(source.Width, out.Width);
    const AxisFilter down = MakeAxisFilter(source.Height, out.Height);
    // One source-width row of premultiplied samples (A, R, G, B per pixel).
    std::vector<double> row(static_cast<size_t>(source.Width) * 4);
    for (int y = 0; y < out.Height; ++y) {
        std::fill(row.begin(), row.end(), 0.0);
        for (size_t k = down.start[static_cast<size_t>(y)]; k < down.start[static_cast<size_t>(y) + 1]; ++k) {
            const uint32_t *pixels = source.Color.data() + PixelIndex(0, down.index[k], source.Width);
            const double w = down.weight[k];
            const double perUnit = w / 255.0;
            for (int x = 0; x < source.Width; ++x) {
                const uint32_t p = pixels[x];
                if (!(p >> 24))
                    continue; // a transparent pixel lends nothing
                const double a = (p >> 24) * w, perPixel = (p >> 24) * perUnit;
                double *s = &row[static_cast<size_t>(x) * 4];
                s[0] += a;
                s[1] += ((p >> 16) & 0xFF) * perPixel;
                s[2] += ((p >> 8) & 0xFF) * perPixel;
                s[3] += (p & 0xFF) * perPixel;
            }
        }
        for (int x = 0; x < out.Width; ++x) {
            double sum[4] = {0, 0, 0, 0};
            for (size_t k = across.start[static_cast<size_t>(x)]; k < across.start[static_cast<size_t>(x) + 1]; ++k) {
                const double *s = &row[static_cast<size_t>(across.index[k]) * 4];
                for (int c = 0; c < 4; ++c)
                    sum[c] += s[c] * across.weight[k];
            }
            const uint32_t alpha = RoundToByte(sum[0]);
            uint32_t pixel = 0;
            if (alpha) {
                pixel = alpha << 24;
                for (int c = 1; c < 4; ++c) {
                    pixel |= RoundToByte(sum[c] * 255.0 / sum[0]) << (8 * (3 - c));
                }
            }
            out.Color[PixelIndex(x, y, out.Width)] = pixel;
        }
    }
}

HBITMAP MakeBitmap(int width, int height, int bitsPerPixel)
{
    auto bitmap = std::make_unique<GdiBitmap>();
    bitmap->Width = width;
    bitmap->Height = height;
    bitmap->BitsPerPixel = bitsPerPixel;
    bitmap->Pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    return bitmap;
}

uint32_t Blend(uint32_t color, uint32_t dest)
{
    const uint32_t alpha = color >> 24;
    uint32_t result = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (color >> shift) & 0xFF, d = (dest >> shift) & 0xFF;
        result |= ((c * alpha + d * (255 - alpha) + 127) / 255) << shift;
    }
    return result;
}

} // namespace

IconObject ScaleIcon(const IconObject &source, int width, int height)
{
    IconObject out;
    out.Monochrome = source.Monochrome;
    out.AlphaBlend = source.AlphaBlend;
    if (!WellFormed(source) || !ValidSize(width, height))
        return out;
    if (width == source.Width && height == source.Height)
        return source;

    out.Width = width;
    out.Height = height;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    out.Color.resize(count);
    out.Mask.resize(count);
    for (int y = 0; y < height; ++y) {
        const int sourceRow = NearestIndex(y, height, source.Height);
        for (int x = 0; x < width; ++x) {
            const size_t from = PixelIndex(NearestIndex(x, width, source.Width), sourceRow, source.Width);
            const size_t to = PixelIndex(x, y, width);
            out.Color[to] = source.Color[from];
            out.Mask[to] = source.Mask[from];
        }
    }
    if (source.AlphaBlend)
        ScaleAlphaColors(source, out);
    return out;
}

HICON CreateIconFromResourceEx(ByteView bits, bool, uint32_t, int cxDesired, int cyDesired, uint32_t, TReadError *error)
{
    if (cxDesired < 0 || cyDesired < 0 || cxDesired > kMaxIconDimension || cyDesired > kMaxIconDimension ||
        static_cast<uint64_t>(cxDesired) * static_cast<uint64_t>(cyDesired) > kMaxIconPixels) {
        Fail(error, LimitExceeded("icon size", static_cast<uint64_t>(std::max(cxDesired, cyDesired)), kMaxIconDimension,
                                  "pixels"));
        return nullptr;
    }
    // A system with less memory than a picture needs refuses it like bytes
    // that do not decode.
    try {
        IconObject icon;
        if (!DecodeIconImage(bits, icon, error))
            return nullptr;
        const int width = cxDesired ? cxDesired : icon.Width;
        const int height = cyDesired ? cyDesired : icon.Height;
        if (width != icon.Width || height != icon.Height)
            return new IconObject(ScaleIcon(icon, width, height));
        return new IconObject(std::move(icon));
    } catch (const std::bad_alloc &) {
        Fail(error, OutOfMemory());
        return nullptr;
    }
}

void IconDeleter::operator()(HICON icon) const
{
    DestroyIcon(icon);
}

HICON CopyIcon(HICON icon)
{
    return icon ? new IconObject(*icon) : nullptr;
}

bool DestroyIcon(HICON icon)
{
    delete icon;
    return icon != nullptr;
}

bool DrawIconEx(GdiBitmap *dest, int x, int y, HICON icon, int cx, int cy, unsigned, void *, uint32_t flags)
{
    if (!dest || !icon || !WellFormed(*icon) || !WellFormed(*dest) || cx < 0 || cy < 0 || !(flags & DI_NORMAL))
        return false;
    const int width = cx ? cx : icon->Width;
    const int height = cy ? cy : icon->Height;
    IconObject scaled;
    const IconObject *image = icon;
    if (width != icon->Width || height != icon->Height) {
        scaled = ScaleIcon(*icon, width, height);
        if (!WellFormed(scaled))
            return false;
        image = &scaled;
    }

    // Only the part of the image that falls on the surface is drawn.
    const int64_t left = std::max<int64_t>(0, -static_cast<int64_t>(x));
    const int64_t top = std::max<int64_t>(0, -static_cast<int64_t>(y));
    const int64_t right = std::min<int64_t>(width, static_cast<int64_t>(dest->Width) - x);
    const int64_t bottom = std::min<int64_t>(height, static_cast<int64_t>(dest->Height) - y);
    for (int64_t iy = top; iy < bottom; ++iy) {
        for (int64_t ix = left; ix < right; ++ix) {
            const size_t i = static_cast<size_t>(iy) * static_cast<size_t>(width) + static_cast<size_t>(ix);
            uint32_t &d = dest->at(static_cast<int>(x + ix), static_cast<int>(y + iy));
            const uint32_t color = image->Color[i];
            if (image->AlphaBlend) {
                if (flags & DI_IMAGE)
                    d = Blend(color, d);
                else if (image->Mask[i])
                    d = 0xFF000000u | (d & 0xFFFFFFu);
                else
                    d = 0xFF000000u;
                continue;
            }
            uint32_t rgb = d & 0xFFFFFFu;
            if (flags & DI_MASK)
                rgb &= image->Mask[i] ? 0xFFFFFFu : 0;
            if (flags & DI_IMAGE)
                rgb = (flags & DI_MASK) ? rgb ^ (color & 0xFFFFFFu) : (color & 0xFFFFFFu);
            d = 0xFF000000u | rgb;
        }
    }
    return true;
}

bool GetIconInfo(HICON icon, ICONINFO &info)
{
    if (!icon || !WellFormed(*icon))
        return false;
    const int width = icon->Width, height = icon->Height;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    const uint32_t white = 0xFFFFFFFFu, black = 0xFF000000u;
    info.fIcon = true;
    info.xHotspot = static_cast<uint32_t>(width / 2);
    info.yHotspot = static_cast<uint32_t>(height / 2);
    info.hbmMask = MakeBitmap(width, icon->Monochrome ? height * 2 : height, 1);
    for (size_t i = 0; i < count; ++i)
        info.hbmMask->Pixels[i] = icon->Mask[i] ? white : black;
    if (icon->Monochrome) {
        // The XOR rows follow the AND rows in the same bitmap.
        for (size_t i = 0; i < count; ++i)
            info.hbmMask->Pixels[count + i] = (icon->Color[i] & 0xFFFFFFu) == 0xFFFFFFu ? white : black;
        info.hbmColor.reset();
    } else {
        info.hbmColor = MakeBitmap(width, height, 32);
        std::copy(icon->Color.begin(), icon->Color.end(), info.hbmColor->Pixels.begin());
    }
    return true;
}

int GetSystemMetrics(int index)
{
    return index == SM_CXICON || index == SM_CYICON ? 32 : 0;
}

} // namespace vexillo
