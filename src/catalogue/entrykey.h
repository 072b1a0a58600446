// What tells catalogue entries apart beyond their file and group:
//  - the identity of an icon: the SHA-256 of the file saving it writes (an
//    .ico or .cur file, an animated cursor's file as it is), so that two
//    entries are duplicates exactly when their saved files are
//    byte-identical;
//  - its picture key: a 64-bit difference hash (dHash) of its display
//    picture, the picture the page shows at 32 pixels. The picture is drawn
//    over white, made grey, reduced to 9 by 8 cells by area averaging, and
//    each bit says whether a cell is brighter than its right-hand neighbour.
//    It only needs the picture a page makes anyway, survives scaling, colour
//    depth and PNG against DIB, and two keys compare with one popcount;
//  - what the filters ask: the largest image, PNG and 32-bit images.
// Everything is read and decoded within the entry's file budget.
#pragma once

#include "catalogue/catalogue.h"
#include "catalogue/pages.h"
#include "formats/sha256.h"

#include <bit>
#include <cstdint>

namespace vexillo {

struct TEntryKey {
    Sha256Digest Identity{};
    uint64_t PictureKey = 0;
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

// The size of the picture the key is taken from: the page's own size.
inline constexpr int kPictureKeySize = 32;

// The picture key of a picture (any size; 0 for an empty one).
uint64_t PictureKeyOf(const IconObject &Picture);

// How many of the 64 bits two picture keys differ in.
inline int PictureDistance(uint64_t A, uint64_t B)
{
    return std::popcount(A ^ B);
}

// Loads the entry (into Catalogue.CurrentIcon) and fills Key: identity,
// facts, and the picture key from its display picture at kPictureKeySize,
// made through Pictures as a page makes it, or the picture a page made of
// it when given (`Made`, at kPictureKeySize). False when the entry does not
// load (Key then stays without Keyed); a picture that does not decode leaves
// HasPicture off.
bool ComputeEntryKey(TCatalogue &Catalogue, const TIconItem &Entry, TPagePictures &Pictures, TEntryKey &Key,
                     const IconObject *Made = nullptr);

} // namespace vexillo
