// ICO files: the 6-byte header, the 16-byte directory entries, the image
// bytes they name, and the directory fields that an image's own header
// gives. Image bytes that several entries name are read once and shared,
// and all the distinct bytes of one file together may not exceed its size
// (only overlapping entries could), so no file makes the program hold more
// image bytes than the file has.
#pragma once

#include "formats/byteview.h"
#include "formats/loadbudget.h"
#include "formats/readerror.h"
#include "formats/readnotes.h"
#include "formats/sharedbytes.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vexillo {

inline constexpr uint64_t kIcoHeaderSize = 6;
inline constexpr uint64_t kIcoEntrySize = 16;
// Image data shorter than this holds no bitmap header to read the size from.
inline constexpr uint32_t kMinImageDataSize = 16;

// The fields an image's directory entry holds in an ICO file and in an icon
// group alike (its first twelve bytes), as stored.
struct IcoEntryFields {
    uint8_t Width = 0;
    uint8_t Height = 0;
    uint8_t ColorCount = 0;
    uint8_t Reserved = 0;
    uint16_t Planes = 0;
    uint16_t BitCount = 0;
    uint32_t BytesInRes = 0;
};

// A directory entry of an ICO file: those fields, and where the image lies.
struct IcoEntry : IcoEntryFields {
    uint32_t Offset = 0;
};

// The types of an icon directory's header: an icon, or a cursor (whose
// entries hold the hot spot where an icon's hold planes and bit count).
inline constexpr uint16_t kIcoTypeIcon = 1;
inline constexpr uint16_t kIcoTypeCursor = 2;

// The type and image count of an icon or cursor header (0, type, count);
// false, with the reason, for anything else.
bool ParseIconDirHeader(ByteView header, uint16_t &type, uint16_t &count, TReadError *error);
// The image count of an icon header (0, 1, count); false, with the reason,
// for anything else (a cursor's type 2 among them).
bool ParseIcoHeader(ByteView header, uint16_t &count, TReadError *error);
// The fields of a 16-byte directory entry (or the first 12 of an icon group
// entry, Offset then 0).
IcoEntry ParseIcoEntry(ByteView entry);

// A module's cursors: a cursor group (RT_GROUP_CURSOR) holds the icon header
// (type 2) and 14-byte entries, each naming an RT_CURSOR resource, which is
// the image led by its 4-byte hot spot (x, then y).
inline constexpr uint64_t kGroupEntrySize = 14;
inline constexpr uint64_t kCursorHotspotSize = 4;

// The fields of a cursor group's entry as stored: width and height as 16-bit
// numbers (the height counts the colour and mask bitmaps, so it is twice the
// cursor's where the writer followed the rule), planes, bit count, the byte
// count of the RT_CURSOR resource (hot spot included) and its number. All
// zero for an entry shorter than kGroupEntrySize.
struct CursorGroupEntry {
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint16_t Planes = 0;
    uint16_t BitCount = 0;
    uint32_t BytesInRes = 0;
    uint16_t Id = 0;
};
CursorGroupEntry ParseCursorGroupEntry(ByteView entry);

// The hot spot that leads an RT_CURSOR resource; false when the resource is
// shorter than kCursorHotspotSize.
bool ParseCursorHotspot(ByteView resource, uint16_t &x, uint16_t &y);

// A side of an image as a directory entry holds it: its pixels up to 255,
// 0 for 256 and more (which the byte cannot hold; readers take 0 as "see the
// image", and a side modulo 256 would tell them a wrong size).
inline uint8_t EntrySide(uint64_t pixels)
{
    return pixels < 256 ? static_cast<uint8_t>(pixels) : 0;
}

// The width, height and bit count of an image's directory entry, each side
// as EntrySide gives it: a PNG's from its IHDR, a bitmap's from its
// header (its width, and half its height, which counts the colour rows and
// the mask rows). A bitmap's bit count is its header's; a PNG keeps the
// `bitCount` it is handed (the directory's or the group's) where that is a
// depth an icon has, else takes the one its IHDR gives. False when the data
// holds no such header.
bool ImageEntryFields(ByteView data, uint8_t &width, uint8_t &height, uint16_t &bitCount);
// 1, 2, 4, 8, 16, 24 or 32.
bool IsIconDepth(uint16_t bitCount);

// The image bytes of one file's entries.
class IcoImageBytes {
public:
    // Reads `size` bytes at `offset` of the file into `buffer`; false when the
    // file gives fewer.
    using Reader = std::function<bool(uint64_t offset, uint8_t *buffer, uint64_t size)>;

    // The image bytes of a file of `fileSize` bytes, charged to `budget`
    // (the file's own when none is given).
    explicit IcoImageBytes(uint64_t fileSize, TLoadBudgetPtr budget = nullptr)
        : FFileSize(fileSize), FBudget(budget ? std::move(budget) : TLoadBudget::ForFile(fileSize))
    {
    }

    // The bytes an entry names, read the first time and shared after. False,
    // with the reason (naming `what`, "image 3"), when they are fewer than
    // kMinImageDataSize, lie outside the file, overlap other entries' bytes
    // past the file's size, cannot be read, or the budget refuses them. Each
    // entry costs its work, each distinct block its bytes.
    bool Get(const IcoEntry &entry, const std::string &what, const Reader &read, SharedBytes &bytes, TReadError *error);

    const TLoadBudgetPtr &Budget() const { return FBudget; }
    // Where entries whose bytes overlap others' are noted; none by default.
    void SetNotes(ReadNotes *notes) { FNotes = notes; }

private:
    void NoteOverlap(uint64_t offset, uint64_t size, const std::string &what) const;

    uint64_t FFileSize;
    TLoadBudgetPtr FBudget;
    std::map<std::pair<uint64_t, uint64_t>, SharedBytes> FBlocks;
    uint64_t FBlockBytes = 0;
    ReadNotes *FNotes = nullptr;
};

// One image of an ICO file read whole: its entry's fields (width, height and
// bit count from the image's own header) and its bytes.
struct IcoImage {
    IcoEntry Entry;
    SharedBytes Data;
};

// Reads an ICO file's images in directory order. False, with the reason, when
// the file cannot be opened, its header is not an icon's, or an entry fails;
// the images read before the failure stay in `images`. The file's budget goes
// to *budget when given, for what is done with the images.
bool ReadIcoFile(const std::string &fileName, std::vector<IcoImage> &images, TReadError *error,
                 TLoadBudgetPtr *budget = nullptr);

} // namespace vexillo
