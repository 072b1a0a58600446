// Icon objects: what the platform's icon handle stands for here. An icon
// object is built from an image's stored bytes (a DIB with its AND mask, or
// a PNG stream) and holds its colour pixels, its 1-bit AND mask and its size.
// The functions below stand in for the user32/gdi32 calls of the same names
// and follow what the icon library expects of them.
#pragma once

#include "formats/byteview.h"
#include "platform/gdi.h"
#include "formats/readerror.h"

#include <cstdint>
#include <vector>

namespace vexillo {

struct IconObject {
    int Width = 0;
    int Height = 0;
    // A 1-bit image whose colour table is exactly black and white: it has no
    // colour bitmap, and its mask bitmap holds the AND rows above the XOR rows.
    bool Monochrome = false;
    // Drawn by alpha blending (a 32-bit image with a non-zero alpha channel, or
    // a PNG image) rather than by the AND mask and XOR rule.
    bool AlphaBlend = false;
    // Width * Height pixels, top row first, 0xAARRGGBB. For a mask image these
    // are the XOR pixels (alpha 0xFF unless the image is 32-bit).
    std::vector<uint32_t> Color;
    // Width * Height entries, top row first: 1 where the AND mask is set
    // (transparent), 0 where it is clear (opaque).
    std::vector<uint8_t> Mask;
};

// Limits on what a decoder accepts, so that a hostile header cannot make it
// allocate without bound: a width or height, and the pixels of one image
// (2048 by 2048, eight times the largest standard icon; about 20 MB decoded).
inline constexpr int kMaxIconDimension = kMaxBitmapDimension;
inline constexpr uint64_t kMaxIconPixels = uint64_t{2048} * 2048;
// A PNG stream may be compressed far beyond any picture's needs (a few
// hundred bytes can inflate to millions of pixels), so a PNG image larger
// than kFreePngPixels needs at least one stored byte for every
// kMaxPngPixelsPerByte pixels. The work of decoding then stays in
// proportion to the bytes of the file; real icons use far more bytes.
inline constexpr uint64_t kFreePngPixels = uint64_t{512} * 512;
inline constexpr uint64_t kMaxPngPixelsPerByte = 64;

inline constexpr uint32_t LR_DEFAULTCOLOR = 0;

// Decodes `bits` (a DIB as stored in an ICO file or RT_ICON resource, or a
// PNG stream) into a new icon object. A desired width or height of 0 means
// the image's own; any other size scales the image to it. Returns nullptr
// (handle 0) when the bytes don't decode. Reads nothing outside `bits`.
HICON CreateIconFromResourceEx(ByteView bits, bool icon, uint32_t version, int cxDesired, int cyDesired,
                               uint32_t flags, TReadError *error = nullptr);

// The pixels that building an icon object from `bits` at the desired size
// decodes: the larger of the image's own size (from its header) and the
// desired one; 0 when the header cannot be read.
uint64_t DecodeCost(ByteView bits, int cxDesired, int cyDesired);

// A new icon object equal to `icon`; nullptr for nullptr.
HICON CopyIcon(HICON icon);

// Frees an icon object; nullptr is ignored.
bool DestroyIcon(HICON icon);

inline constexpr uint32_t DI_MASK = 1;
inline constexpr uint32_t DI_IMAGE = 2;
inline constexpr uint32_t DI_NORMAL = 3;

// Draws `icon` on `dest` at (x, y), scaled to cx by cy (0 = the icon's own
// size). A mask image is drawn as dest := (dest AND mask) XOR colour; an
// alpha image is blended over dest. Pixels outside dest are clipped.
// Returns false for a null icon or surface.
bool DrawIconEx(GdiBitmap *dest, int x, int y, HICON icon, int cx, int cy, unsigned step, void *flickerFreeBrush,
                uint32_t flags);

struct ICONINFO {
    bool fIcon = true;
    uint32_t xHotspot = 0;
    uint32_t yHotspot = 0;
    // 1-bit AND mask, white where transparent. Twice the icon's height for a
    // monochrome icon (AND rows above the XOR rows).
    HBITMAP hbmMask;
    // The colour (XOR) bitmap with its alpha; none for a monochrome icon.
    HBITMAP hbmColor;
};

// The icon's mask and colour bitmaps; false for a null icon.
bool GetIconInfo(HICON icon, ICONINFO &info);

inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
// The standard icon size: 32 for SM_CXICON and SM_CYICON.
int GetSystemMetrics(int index);

// Decoders behind CreateIconFromResourceEx, each at the image's own size.
// They return false for bytes that don't decode, with the reason in *error.
bool DecodeDibIcon(ByteView bits, IconObject &out, TReadError *error = nullptr);
bool DecodePngIcon(ByteView bits, IconObject &out, TReadError *error = nullptr);

// Width and height from a PNG stream's IHDR chunk, and the bits per pixel its
// colour type and bit depth give (8-bit RGBA 32, RGB 24, palette its depth).
struct PngHeaderInfo {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint16_t BitCount = 0;
};
bool ReadPngHeader(ByteView bits, PngHeaderInfo &out);

// A copy of `source` scaled to width by height.
IconObject ScaleIcon(const IconObject &source, int width, int height);

} // namespace vexillo
