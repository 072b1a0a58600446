// The plain pictures the decoders hand back and the writers take: a picture
// of 0xAARRGGBB pixels, and a decoded icon image with its colour pixels and
// its 1-bit AND mask. The limits on what a decoder accepts live here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexillo {

// Largest width or height of any picture the program builds. Icons are at
// most 256 pixels on Windows; PNG images inside icons are sometimes larger,
// and nothing sensible is bigger than this.
inline constexpr int kMaxBitmapDimension = 4096;

// Limits on what an icon decoder accepts, so that a hostile header cannot
// make it allocate without bound: a width or height, and the pixels of one
// image (2048 by 2048, eight times the largest standard icon; about 20 MB
// decoded).
inline constexpr int kMaxIconDimension = kMaxBitmapDimension;
inline constexpr uint64_t kMaxIconPixels = uint64_t{2048} * 2048;
// A PNG stream may be compressed far beyond any picture's needs (a few
// hundred bytes can inflate to millions of pixels), so a PNG image larger
// than kFreePngPixels needs at least one stored byte for every
// kMaxPngPixelsPerByte pixels. The work of decoding then stays in
// proportion to the bytes of the file; real icons use far more bytes.
inline constexpr uint64_t kFreePngPixels = uint64_t{512} * 512;
inline constexpr uint64_t kMaxPngPixelsPerByte = 64;

// Where pixel (x, y) lies in rows of `width` pixels, top row first; x and y
// are never negative where it is used.
inline size_t PixelIndex(int x, int y, int width)
{
    return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
}

// A picture: Width * Height pixels as 0xAARRGGBB words, top row first (the
// layout of QImage::Format_ARGB32).
struct PixelImage {
    int Width = 0;
    int Height = 0;
    int BitsPerPixel = 32;
    std::vector<uint32_t> Pixels;

    uint32_t at(int x, int y) const { return Pixels[PixelIndex(x, y, Width)]; }
    uint32_t &at(int x, int y) { return Pixels[PixelIndex(x, y, Width)]; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
};

// An icon image as decoded: its colour pixels, its AND mask and its size.
struct DecodedImage {
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

} // namespace vexillo
