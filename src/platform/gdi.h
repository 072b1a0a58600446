// The drawing surface of the icon library: device bitmaps, a canvas with a pen,
// and the graphic classes (TGraphic, TIcon, TBitmap) that the icon library
// builds on. Plain C++ without Qt; the GUI turns a bitmap into a QImage only to
// put it on screen.
#pragma once

#include "formats/image.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexillo {

// An icon object holds a decoded image: its colour pixels, its AND mask and
// its size.
using IconObject = DecodedImage;
using HICON = IconObject *; // platform icon handle; nullptr (0) means none

// A colour as the framework keeps it: red in the low byte, then green, then
// blue (0x00BBGGRR). GetPixel gives colours in this form too.
using TColor = uint32_t;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBlack = 0x000000;

inline constexpr uint8_t ColorRed(TColor c)
{
    return c & 0xFF;
}
inline constexpr uint8_t ColorGreen(TColor c)
{
    return (c >> 8) & 0xFF;
}
inline constexpr uint8_t ColorBlue(TColor c)
{
    return (c >> 16) & 0xFF;
}
inline constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b)
{
    return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

// Pixels are kept as 0xAARRGGBB words, top row first (the layout of
// QImage::Format_ARGB32). Alpha matters only in an icon's colour bitmap; the
// drawing surfaces are opaque.
inline constexpr uint32_t ArgbFromColor(TColor c)
{
    return 0xFF000000u | (static_cast<uint32_t>(ColorRed(c)) << 16) | (static_cast<uint32_t>(ColorGreen(c)) << 8) |
           ColorBlue(c);
}
inline constexpr TColor ColorFromArgb(uint32_t argb)
{
    return RGBColor((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

// Raised when a bitmap cannot be given the size asked for.
class EOutOfResources : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A device bitmap: what an HBITMAP refers to. A 1-bit mask bitmap holds only
// 0xFF000000 (black, opaque) and 0xFFFFFFFF (white, transparent) pixels.
struct GdiBitmap : PixelImage {
    GdiBitmap() = default;
    // A bitmap of the given size filled with one pixel value. Raises
    // EOutOfResources for a negative size or one above kMaxBitmapDimension.
    GdiBitmap(int width, int height, uint32_t fill, int bitsPerPixel = 32);
};
using HBITMAP = std::unique_ptr<GdiBitmap>;

// GetObject on a bitmap: its description.
struct BITMAP {
    int bmWidth = 0;
    int bmHeight = 0;
    int bmBitsPixel = 0;
};
bool GetObject(const GdiBitmap *bitmap, BITMAP &out);

// GetPixel: the pixel at (x, y) as 0x00BBGGRR; CLR_INVALID outside the bitmap.
inline constexpr TColor CLR_INVALID = 0xFFFFFFFF;
TColor GetPixel(const GdiBitmap *bitmap, int x, int y);

struct TPoint {
    int X = 0;
    int Y = 0;
};

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

class TCanvas;

// The framework's graphic: something that draws itself on a canvas and
// reports a size for layout.
class TGraphic {
public:
    virtual ~TGraphic() = default;
    virtual void Draw(TCanvas &canvas, const TRect &rect) = 0;
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    int Width() { return GetWidth(); }
    int Height() { return GetHeight(); }
};

// The framework's plain icon graphic: it shows one icon handle (without owning
// it) and reports the system's standard icon size whatever the handle holds.
class TIcon : public TGraphic {
public:
    TIcon() = default;
    TIcon(const TIcon &) = delete;
    TIcon &operator=(const TIcon &) = delete;

    HICON GetHandle() const { return FHandle; }
    // Shows another handle; the graphic does not take ownership of it.
    void SetHandle(HICON handle);

    void Draw(TCanvas &canvas, const TRect &rect) override;
    int GetWidth() override;
    int GetHeight() override;

protected:
    // Called whenever the graphic gets a new handle.
    virtual void Changed(TIcon *sender);

private:
    HICON FHandle = nullptr;
};

// A pen: the colour that MoveTo/LineTo draw with, one pixel wide and solid.
struct TPen {
    TColor Color = clBlack;
};

// The drawing operations of a bitmap. Its device context is the bitmap it
// belongs to; a canvas without one draws nothing.
class TCanvas {
public:
    explicit TCanvas(GdiBitmap *surface = nullptr) : FSurface(surface) {}

    GdiBitmap *Handle() const { return FSurface; }
    void SetHandle(GdiBitmap *surface) { FSurface = surface; }

    TPen Pen;
    TPoint PenPos;

    // Draws a graphic with its top-left corner at (x, y).
    void Draw(int x, int y, TGraphic &graphic);
    void MoveTo(int x, int y);
    // Draws a line in the pen colour from the pen position up to, but not
    // including, (x, y), and leaves the pen at (x, y).
    void LineTo(int x, int y);
    TColor GetPixel(int x, int y) const;

private:
    GdiBitmap *FSurface;
};

// The framework's bitmap: a picture at the display's colour format (24 bits,
// opaque) with a canvas. A new bitmap is 0 by 0; sizing it fills new pixels
// with white.
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(const TBitmap &) = delete;
    TBitmap &operator=(const TBitmap &) = delete;

    void SetWidth(int width);
    void SetHeight(int height);
    void SetSize(int width, int height);
    int GetWidth() override { return FBitmap.Width; }
    int GetHeight() override { return FBitmap.Height; }

    TCanvas &Canvas() { return FCanvas; }
    const GdiBitmap &Surface() const { return FBitmap; }
    void Draw(TCanvas &canvas, const TRect &rect) override;

    // Writes the picture as a 24-bit BMP file (file header, 40-byte header,
    // bottom-up rows). Raises the stream errors of SaveToFile on failure.
    void SaveToFile(const std::string &fileName) const;
    std::vector<uint8_t> SaveToBytes() const;

private:
    void Resize(int width, int height);

    GdiBitmap FBitmap;
    TCanvas FCanvas;
};

} // namespace vexillo
