// Decodes JPEG pictures with libjpeg into opaque bitmaps. Used for the About
// picture; written for untrusted bytes all the same.
#pragma once

#include "formats/byteview.h"
#include "formats/image.h"
#include "formats/readerror.h"

namespace vexillo {

// Largest width or height accepted: the program's bitmap limit.
inline constexpr int kMaxJpegDimension = kMaxBitmapDimension;
// Most scans a progressive stream may hold; every scan is a pass over the
// whole picture, so a stream of many tiny scans would otherwise decode for
// minutes.
inline constexpr int kMaxJpegScans = 200;

// Decodes a JPEG stream (baseline, extended or progressive, Huffman or
// arithmetic coded; YCbCr, RGB, grayscale, CMYK or YCCK) into a 24-bit bitmap
// of opaque 0xFFRRGGBB pixels, top row first. Returns false, leaving `out`
// untouched, on anything else: a damaged or truncated stream (libjpeg's
// warnings count as errors), a picture wider or higher than kMaxJpegDimension,
// more than kMaxJpegScans scans, or a colour space libjpeg cannot turn into
// RGB or CMYK.
// The reason of a refusal goes to *error when given.
bool DecodeJpeg(ByteView bytes, PixelImage &out, TReadError *error = nullptr);

} // namespace vexillo
