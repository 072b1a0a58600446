// What tells catalogue entries apart beyond their file and group:
//  - the identity of an icon: the SHA-256 of the file saving it writes (an
//    .ico or .cur file, an animated cursor's file as it is), so that two
//    entries are duplicates exactly when their saved files are
//    byte-identical;
//  - its picture key: two 64-bit difference hashes (dHash) of its display
//    picture, the picture the page shows at 32 pixels, one of the whole
//    picture and one of its content box (the picture without the even lines
//    at its edges: a frame, a margin). The picture is drawn over white with
//    its alpha read as a mask (opaque from half up, as an icon of 8 bits or
//    fewer holds it), made grey, reduced to 9 by 8 cells by area averaging,
//    and each bit says whether a cell is brighter than its right-hand
//    neighbour. It only needs the picture a page makes anyway, survives
//    scaling, colour depth, palettes, a frame and PNG against DIB, and two
//    keys compare with two popcounts;
//  - what the filters ask: the largest image, PNG and 32-bit images.
// Everything is read and decoded within the entry's file budget.
#pragma once

#include "catalogue/catalogue.h"
#include "catalogue/pages.h"
#include "formats/sha256.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace vexillo {

struct TPictureKey {
    uint64_t Whole = 0;   // the dHash of the whole picture
    uint64_t Content = 0; // the dHash of its content box
    bool operator==(const TPictureKey &) const = default;
};

struct TEntryKey {
    Sha256Digest Identity{};
    TPictureKey PictureKey;
    // The larger side of the entry's largest image, in pixels.
    uint16_t LargestImage = 0;
    uint8_t Flags = 0;

    enum : uint8_t {
        Keyed = 1,      // the identity was computed (the group loaded)
        HasPicture = 2, // the picture key was computed
        HasPng = 4,     // an image is stored as PNG
        Has32Bit = 8,   // an image has 32 bits per pixel
    };
    bool Has(uint8_t flag) const { return (Flags & flag) != 0; }
};

// Every entry of a search holds a key: 56 bytes (docs/architecture.md).
static_assert(sizeof(TEntryKey) <= 56);

// The size of the picture the key is taken from: the page's own size.
inline constexpr int kPictureKeySize = 32;

// The picture key of a picture (any size; 0s for an empty one).
TPictureKey PictureKeyOf(const IconObject &Picture);

// How many of the 64 bits two picture keys differ in: the fewer of their
// whole pictures' and of their content boxes'. The boxes find a picture
// framed or set in a margin of its own; the whole pictures one whose box is
// trimmed otherwise (a scaled copy's soft edges).
inline int PictureDistance(const TPictureKey &A, const TPictureKey &B)
{
    return std::min(std::popcount(A.Whole ^ B.Whole), std::popcount(A.Content ^ B.Content));
}

// Loads the entry (into Loader.CurrentIcon) and fills Key: identity,
// facts, and the picture key from its display picture at kPictureKeySize,
// made through Pictures as a page makes it, or the picture a page made of
// it when given (`Made`, at kPictureKeySize). False when the entry does not
// load (Key then stays without Keyed); a picture that does not decode leaves
// HasPicture off.
bool ComputeEntryKey(TGroupLoader &Loader, const TIconItem &Entry, TPagePictures &Pictures, TEntryKey &Key,
                     const IconObject *Made = nullptr);

} // namespace vexillo
