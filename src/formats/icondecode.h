// Decoding the stored bytes of an icon image: a DIB as an ICO file or an
// RT_ICON resource keeps it (a bitmap information header, a colour table or
// channel masks, the XOR rows and the 1-bit AND mask rows), or a PNG stream.
// Every byte is read through ByteView; nothing outside the bytes is read.
#pragma once

#include "formats/byteview.h"
#include "formats/image.h"
#include "formats/readerror.h"

#include <cstdint>

namespace vexillo {

// Each decoder decodes at the image's own size; false for bytes that don't
// decode, with the reason in *error.
bool DecodeDibIcon(ByteView bits, DecodedImage &out, TReadError *error = nullptr);
bool DecodePngIcon(ByteView bits, DecodedImage &out, TReadError *error = nullptr);
// A PNG stream by the PNG decoder, anything else by the DIB decoder.
bool DecodeIconImage(ByteView bits, DecodedImage &out, TReadError *error = nullptr);

// Width and height from a PNG stream's IHDR chunk, and the bits per pixel an
// icon's directory gives the picture its colour type and bit depth make:
// 32 with an alpha channel (grey or colour, 8 or 16 bits a sample), 24 for
// colour without one, a grey or palette picture its depth (at most 8).
struct PngHeaderInfo {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint16_t BitCount = 0;
};
bool ReadPngHeader(ByteView bits, PngHeaderInfo &out);

// True when a PNG stream's chunks are whole and their checksums right, from
// the IHDR chunk to the IEND chunk (bytes after IEND are not looked at): the
// stream can be written out as it is. Nothing is inflated. The reason of a
// fault goes to *error.
bool PngChunksIntact(ByteView bits, TReadError *error = nullptr);

// The width and height an image's own header gives: a PNG's IHDR, or a
// bitmap header's width and half its height (the XOR rows). False when
// there is no such header.
bool ReadImageSize(ByteView bits, uint32_t &width, uint32_t &height);

// The bytes an image's own header says it takes: a DIB's header, its
// channel masks and colour table, its colour rows and its mask rows; a PNG
// stream's chunks up to the end of IEND. False when there is no such header
// (or a PNG's chunks run out before IEND within `bits`).
bool ReadImageLength(ByteView bits, uint64_t &length);
// The same for a DIB alone.
bool DibStoredLength(ByteView bits, uint64_t &length);

// The pixels that decoding `bits` and scaling them to the desired size
// handles: the larger of the image's own size (from its header) and the
// desired one; 0 when the header cannot be read.
uint64_t DecodeCost(ByteView bits, int cxDesired, int cyDesired);

} // namespace vexillo
