#include "formats/icofile.h"

#include "formats/fileio.h"
#include "formats/icondecode.h"

#include <algorithm>
#include <cstdlib>

namespace vexillo {

bool ParseIconDirHeader(ByteView header, uint16_t &type, uint16_t &count, TReadError *error)
{
    uint16_t reserved = 0;
    if (!header.readU16(0, reserved) || !header.readU16(2, type) || !header.readU16(4, count))
        return Fail(error, Truncated(header.size(), "the icon header is cut short"));
    if (reserved != 0 || (type != kIcoTypeIcon && type != kIcoTypeCursor))
        return Fail(error, NotIconFile("header " + std::to_string(reserved) + ", " + std::to_string(type)));
    return true;
}

bool ParseIcoHeader(ByteView header, uint16_t &count, TReadError *error)
{
    uint16_t type = 0;
    if (!ParseIconDirHeader(header, type, count, error))
        return false;
    return type == kIcoTypeIcon || Fail(error, NotIconFile("a cursor"));
}

CursorGroupEntry ParseCursorGroupEntry(ByteView entry)
{
    CursorGroupEntry e;
    if (entry.size() < kGroupEntrySize)
        return e;
    entry.readU16(0, e.Width);
    entry.readU16(2, e.Height);
    entry.readU16(4, e.Planes);
    entry.readU16(6, e.BitCount);
    entry.readU32(8, e.BytesInRes);
    entry.readU16(12, e.Id);
    return e;
}

bool ParseCursorHotspot(ByteView resource, uint16_t &x, uint16_t &y)
{
    return resource.readU16(0, x) && resource.readU16(2, y);
}

IcoEntry ParseIcoEntry(ByteView entry)
{
    IcoEntry e;
    entry.readU8(0, e.Width);
    entry.readU8(1, e.Height);
    entry.readU8(2, e.ColorCount);
    entry.readU8(3, e.Reserved);
    entry.readU16(4, e.Planes);
    entry.readU16(6, e.BitCount);
    entry.readU32(8, e.BytesInRes);
    entry.readU32(12, e.Offset);
    return e;
}

bool IsIconDepth(uint16_t bitCount)
{
    return bitCount == 1 || bitCount == 2 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
           bitCount == 32;
}

bool ImageEntryFields(ByteView data, uint8_t &width, uint8_t &height, uint16_t &bitCount)
{
    if (data.size() < kMinImageDataSize)
        return false;
    if (IsPngStream(data)) {
        PngHeaderInfo png;
        if (!ReadPngHeader(data, png))
            return false;
        width = EntrySide(png.Width);
        height = EntrySide(png.Height);
        // The depth the directory gives stands: a PNG's colour type is how
        // its writer chose to compress it (a 32-bit picture of few colours
        // is often stored as a palette or as grey and alpha), not the depth
        // the icon was drawn at.
        if (!IsIconDepth(bitCount))
            bitCount = png.BitCount;
        return true;
    }
    // A bitmap information header: width at 4, height (colour and mask rows
    // together) at 8, bit count at 14. Each side is its own.
    uint32_t w = 0;
    int32_t h = 0;
    uint16_t bits = 0;
    data.readU32(4, w);
    data.readI32(8, h);
    data.readU16(14, bits);
    width = EntrySide(w);
    height = EntrySide(static_cast<uint64_t>(std::abs(int64_t{h}) / 2));
    bitCount = bits;
    return true;
}

bool IcoImageBytes::Get(const IcoEntry &entry, const std::string &what, const Reader &read, SharedBytes &bytes,
                        TReadError *error)
{
    const uint64_t offset = entry.Offset, size = entry.BytesInRes;
    // The data must lie inside the file before anything is allocated for it,
    // and bytes that an earlier entry named are not read again.
    if (size < kMinImageDataSize)
        return Fail(error, BadImage(what + " holds " + std::to_string(size) + " bytes"));
    if (offset > FFileSize || size > FFileSize - offset)
        return Fail(error,
                    Truncated(FFileSize, what + ": " + std::to_string(size) + " bytes at " + std::to_string(offset)));
    if (!FBudget->Work(steps::kPerEntry, "image entries"))
        return Fail(error, FBudget->Refusal());
    if (auto known = FBlocks.find({offset, size}); known != FBlocks.end()) {
        bytes = known->second;
        return true;
    }
    if (FNotes)
        NoteOverlap(offset, size, what);
    if (size > FFileSize - FBlockBytes)
        return Fail(error, LimitExceeded("image bytes of overlapping entries", FBlockBytes + size, FFileSize, "bytes"));
    if (!FBudget->Work(steps::kPerRead + steps::kPerByte * size, "image bytes") || !FBudget->Hold(size, "image bytes"))
        return Fail(error, FBudget->Refusal());
    std::vector<uint8_t> buffer(size);
    if (!read(offset, buffer.data(), size))
        return Fail(error, Truncated(FFileSize, what + ": the file shrank while it was read"));
    bytes = SharedBytes(std::move(buffer));
    FBlocks.emplace(std::make_pair(offset, size), bytes);
    FBlockBytes += size;
    return true;
}

void IcoImageBytes::NoteOverlap(uint64_t offset, uint64_t size, const std::string &what) const
{
    // The blocks are ordered by offset; only the two that start nearest
    // below this one's end are looked at, which finds entries that overlap
    // their neighbours at a fixed cost. The note is a hint: a block far
    // below that spans this one past two others is not named.
    auto after = FBlocks.lower_bound({offset + size, 0});
    for (int i = 0; i < 2 && after != FBlocks.begin(); ++i) {
        --after;
        const auto [at, length] = after->first;
        if (at < offset + size && offset < at + length) {
            FNotes->Add(what + ": its bytes " + std::to_string(offset) + "+" + std::to_string(size) +
                        " overlap another image's " + std::to_string(at) + "+" + std::to_string(length));
            return;
        }
    }
}

bool ReadIcoFile(const std::string &fileName, std::vector<IcoImage> &images, TReadError *error, TLoadBudgetPtr *budget)
{
    uint64_t fileSize = 0;
    FileHandle file = OpenRegularFile(fileName, error, &fileSize);
    if (!file)
        return false;
    const IcoImageBytes::Reader read = [&](uint64_t offset, uint8_t *buffer, uint64_t size) {
        return ReadAt(file.Get(), offset, buffer, size, nullptr);
    };
    uint8_t header[kIcoHeaderSize];
    uint16_t count = 0;
    if (!read(0, header, fileSize < kIcoHeaderSize ? fileSize : kIcoHeaderSize) ||
        !ParseIcoHeader(ByteView(header, fileSize < kIcoHeaderSize ? fileSize : kIcoHeaderSize), count, error))
        return false;
    IcoImageBytes blocks(fileSize, TLoadBudget::ForOpenFile(file.Get(), fileSize));
    const TLoadBudgetPtr &spent = blocks.Budget();
    if (budget)
        *budget = spent;
    // The directory is read in one go, as far as the file holds it.
    const uint64_t present = std::min<uint64_t>(count, (fileSize - std::min(fileSize, kIcoHeaderSize)) / kIcoEntrySize);
    std::vector<uint8_t> directory;
    if (!spent->Work(steps::kPerRead + present * kIcoEntrySize, "image entries") ||
        !spent->Hold(present * (kIcoEntrySize + sizeof(IcoImage)), "image entries"))
        return Fail(error, spent->Refusal());
    directory.resize(present * kIcoEntrySize);
    if (!read(kIcoHeaderSize, directory.data(), directory.size()))
        return Fail(error, Truncated(fileSize, "the file shrank while it was read"));
    for (uint32_t i = 0; i < count; ++i) {
        const std::string what = "image " + std::to_string(i);
        const uint64_t at = kIcoHeaderSize + kIcoEntrySize * i;
        ByteView entry;
        if (!ByteView(directory.data(), directory.size()).sub(kIcoEntrySize * i, kIcoEntrySize, entry))
            return Fail(error, Truncated(fileSize, "directory entry of " + what + " at " + std::to_string(at)));
        IcoImage image{ParseIcoEntry(entry), {}};
        if (!blocks.Get(image.Entry, what, read, image.Data, error))
            return false;
        if (!ImageEntryFields(image.Data.View(), image.Entry.Width, image.Entry.Height, image.Entry.BitCount))
            return Fail(error, BadImage(what + " has no readable bitmap or PNG header"));
        images.push_back(std::move(image));
    }
    return true;
}

} // namespace vexillo
