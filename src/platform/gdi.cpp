#include "platform/gdi.h"

#include "formats/bmpwriter.h"
#include "platform/iconobject.h"
#include "platform/streams.h"

#include <algorithm>
#include <cstdlib>

namespace vexillo {

GdiBitmap::GdiBitmap(int width, int height, uint32_t fill, int bitsPerPixel)
{
    if (width < 0 || height < 0 || width > kMaxBitmapDimension || height > kMaxBitmapDimension)
        throw EOutOfResources("Out of system resources");
    Width = width;
    Height = height;
    BitsPerPixel = bitsPerPixel;
    Pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), fill);
}

bool GetObject(const GdiBitmap *bitmap, BITMAP &out)
{
    if (!bitmap)
        return false;
    out.bmWidth = bitmap->Width;
    out.bmHeight = bitmap->Height;
    out.bmBitsPixel = bitmap->BitsPerPixel;
    return true;
}

TColor GetPixel(const GdiBitmap *bitmap, int x, int y)
{
    if (!bitmap || !bitmap->inside(x, y))
        return CLR_INVALID;
    return ColorFromArgb(bitmap->at(x, y));
}

// ---- TIcon ---------------------------------------------------------------

void TIcon::SetHandle(HICON handle)
{
    FHandle = handle;
    Changed(this);
}

void TIcon::Changed(TIcon *)
{
}

void TIcon::Draw(TCanvas &canvas, const TRect &rect)
{
    if (canvas.Handle() && FHandle)
        DrawIconEx(canvas.Handle(), rect.Left, rect.Top, FHandle, 0, 0, 0, nullptr, DI_NORMAL);
}

int TIcon::GetWidth()
{
    return GetSystemMetrics(SM_CXICON);
}

int TIcon::GetHeight()
{
    return GetSystemMetrics(SM_CYICON);
}

// ---- TCanvas -------------------------------------------------------------

void TCanvas::Draw(int x, int y, TGraphic &graphic)
{
    graphic.Draw(*this, TRect{x, y, x + graphic.Width(), y + graphic.Height()});
}

void TCanvas::MoveTo(int x, int y)
{
    PenPos = {x, y};
}

void TCanvas::LineTo(int x, int y)
{
    // Bresenham's line from the pen position, leaving out the end point.
    if (FSurface) {
        const uint32_t pixel = ArgbFromColor(Pen.Color);
        int x0 = PenPos.X, y0 = PenPos.Y;
        const int dx = std::abs(x - x0), sx = x0 < x ? 1 : -1;
        const int dy = -std::abs(y - y0), sy = y0 < y ? 1 : -1;
        int err = dx + dy;
        while (x0 != x || y0 != y) {
            if (FSurface->inside(x0, y0))
                FSurface->at(x0, y0) = pixel;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
    PenPos = {x, y};
}

TColor TCanvas::GetPixel(int x, int y) const
{
    return vexillo::GetPixel(FSurface, x, y);
}

// ---- TBitmap -------------------------------------------------------------

TBitmap::TBitmap() : FBitmap(0, 0, 0xFFFFFFFFu, 24), FCanvas(&FBitmap)
{
}

void TBitmap::Resize(int width, int height)
{
    if (width == FBitmap.Width && height == FBitmap.Height)
        return;
    GdiBitmap resized(width, height, 0xFFFFFFFFu, 24);
    const int keepW = std::min(width, FBitmap.Width), keepH = std::min(height, FBitmap.Height);
    for (int y = 0; y < keepH; ++y)
        for (int x = 0; x < keepW; ++x)
            resized.at(x, y) = FBitmap.at(x, y);
    FBitmap = std::move(resized);
}

void TBitmap::SetWidth(int width)
{
    Resize(width, FBitmap.Height);
}

void TBitmap::SetHeight(int height)
{
    Resize(FBitmap.Width, height);
}

void TBitmap::SetSize(int width, int height)
{
    Resize(width, height);
}

void TBitmap::Draw(TCanvas &canvas, const TRect &rect)
{
    GdiBitmap *dest = canvas.Handle();
    if (!dest)
        return;
    for (int y = 0; y < FBitmap.Height; ++y)
        for (int x = 0; x < FBitmap.Width; ++x)
            if (dest->inside(rect.Left + x, rect.Top + y))
                dest->at(rect.Left + x, rect.Top + y) = FBitmap.at(x, y);
}

std::vector<uint8_t> TBitmap::SaveToBytes() const
{
    return EncodeBmp24(FBitmap);
}

void TBitmap::SaveToFile(const std::string &fileName) const
{
    WriteFileReplacing(fileName, SaveToBytes());
}

} // namespace vexillo
