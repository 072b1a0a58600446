// One image of an icon (one size and colour depth): its directory fields and
// its bytes exactly as stored, plus the icon object built from them on first
// use.
#pragma once

#include "platform/gdi.h"
#include "platform/iconobject.h"
#include "platform/pemodule.h"
#include "formats/anicursor.h"
#include "formats/icofile.h"
#include "formats/loadbudget.h"
#include "formats/readerror.h"
#include "formats/sharedbytes.h"
#include "platform/streams.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexillo {

class THiResIcon;

// The seven directory fields from Width to BytesInRes, laid out as the first
// 12 bytes of an ICO directory entry (little-endian).
using TIconEntryBlock = std::array<uint8_t, 12>;

// What the images of one load share: the stored bytes that several entries
// name, read once (for an ICO file; a module shares its resources itself),
// and the file's budget, which every decode of the images and their copies
// draws on (so a picture past it is listed and saved, but shows none); and
// why the load failed.
struct TIconLoad {
    // A load of an ICO file of `fileSize` bytes, or (with the module's
    // budget) of a module's group.
    explicit TIconLoad(uint64_t fileSize, TLoadBudgetPtr budget = nullptr)
        : Bytes(fileSize, std::move(budget)), FileSize(fileSize), Budget(Bytes.Budget())
    {
    }

    IcoImageBytes Bytes;
    uint64_t FileSize;
    TLoadBudgetPtr Budget;
    // The directory entry being read (from 0), for the reasons.
    uint32_t Entry = 0;
    // The load reads a cursor: a CUR file's entries hold hot spots where an
    // icon's hold planes and bit count.
    bool Cursor = false;
    // A module's group read for its picture: each image's first HeadBytes
    // only (what its fields are read from), until ReadWhole; 0 reads whole
    // images.
    uint32_t HeadBytes = 0;
    TReadError Error;
};

// A picture decoded for one use (saved, scaled, encoded), with the memory it
// holds of its load's budget while it lives.
struct TDecodedPicture {
    UniqueIcon Icon;
    THeldMemory Memory;
    explicit operator bool() const { return Icon != nullptr; }
};

// An image of an icon: its directory entry's fields (IcoEntryFields: Width,
// Height, ColorCount, Reserved, Planes, BitCount, BytesInRes), its bytes and
// the icon object built from them.
class TIconImage : public IcoEntryFields {
public:
    TIconImage() = default;
    virtual ~TIconImage();
    TIconImage(const TIconImage &) = delete;
    TIconImage &operator=(const TIconImage &) = delete;

    HICON Handle = nullptr;
    // A cursor image's hot spot, in the image's pixels from its top left;
    // 0, 0 for an icon's image.
    uint16_t HotspotX = 0;
    uint16_t HotspotY = 0;
    // An animated cursor's image: the frame it belongs to (from 0) and how
    // long that frame shows when the animation first reaches it; -1 and 0
    // for any other image.
    int Frame = -1;
    int DisplayMs = 0;
    // The image as stored, shared with every entry and copy that names the
    // same bytes; empty means none. For an image read from a module it may
    // hold fewer bytes than BytesInRes says.
    SharedBytes Data;
    // The budget of the load that read the image, which building its object
    // (and its copies') draws on; none means no limit but the size of one
    // image.
    TLoadBudgetPtr Budget;

    // The icon object built from Data, or nullptr when none can be built;
    // a failed build is tried again on the next call.
    virtual HICON GetHandle();
    // GetHandle, with the reason in *error when no object can be built.
    HICON BuildHandle(TReadError *error);
    // A new graphic that shows this image's handle. The caller owns the
    // graphic; it must not outlive the image.
    virtual std::unique_ptr<THiResIcon> CreateGraphic();
    // A deep copy as a plain TIconImage, or nullptr when the copy can't be
    // completed (Source holds no usable image data). The copy shares the
    // source's bytes; it copies the source's object when there is one, and
    // otherwise builds the same object itself when first asked.
    static std::unique_ptr<TIconImage> CreateCopy(TIconImage &Source);

    // The picture of the stored bytes at their own size, decoded afresh for
    // one use and charged to Budget (work, and memory while it lives);
    // empty, with the reason in *error, when they do not decode or the
    // budget refuses.
    TDecodedPicture DecodeOwnSize(TReadError *error = nullptr) const;
    // The same, with the reason as the text the programs show.
    TDecodedPicture DecodeOwnSize(std::string &Why) const;

    // Appends the image bytes (at most BytesInRes, never past Data).
    void WriteData(TStream &Stream) const;
    // The number of bytes WriteData writes.
    uint32_t StoredSize() const;
    // Those bytes: the image as stored, what a decoder reads.
    ByteView StoredBytes() const;
    // Sets Width and Height (each its own) and BitCount from Data, as
    // ImageEntryFields gives them (a PNG keeps the BitCount its entry gave);
    // false when Data holds no header to read them from.
    bool UpdateEntry();

    TIconEntryBlock GetEntryBlock() const;
    void SetEntryBlock(const TIconEntryBlock &block);

private:
    // The size a copy builds its object at: the source's directory size,
    // which is what the source's own object would have been built at.
    std::optional<std::pair<uint8_t, uint8_t>> FHandleSize;
    // The memory Handle holds of Budget.
    THeldMemory FHandleMemory;
};

// An image read from an ICO file.
class TFileIconImage : public TIconImage {
public:
    // Reads the image whose 16-byte directory entry the stream stands at. The
    // stream is left just after the entry, also on failure. Returns nullptr
    // when the entry or its data can't be read, or the data is too short.
    static std::unique_ptr<TFileIconImage> CreateFromStream(TStream &Stream);
    // The same as one entry of a load: bytes that an earlier entry named are
    // shared, and the reason of a failure goes to Load.Error.
    static std::unique_ptr<TFileIconImage> CreateFromStream(TStream &Stream, TIconLoad &Load);
    // An image of a cursor file's frame as ReadCursorFile read it: its
    // entry's fields (those its own header gives from its bytes), its bytes
    // and its hot spot. Charged to Load as an entry; nullptr, with the reason
    // in Load.Error, when the budget refuses.
    static std::unique_ptr<TFileIconImage> CreateFromCursorImage(const CursorImage &Image, TIconLoad &Load);
};

// An image read from an icon group of a program module.
class TResourceIconImage : public TIconImage {
public:
    // Reads the 14-byte group entry the stream stands at (advancing it to the
    // next entry) and the icon-image resource it names. Data holds the whole
    // resource and BytesInRes its length (a head read, TIconLoad::HeadBytes,
    // keeps the entry's count until ReadWhole). Returns nullptr when the
    // entry is short, the resource is missing, or its data is too short.
    static std::unique_ptr<TResourceIconImage> CreateFromResource(TStream &GroupStream, HMODULE Module);
    // The same as one entry of a load (the module shares the bytes).
    static std::unique_ptr<TResourceIconImage> CreateFromResource(TStream &GroupStream, HMODULE Module,
                                                                  TIconLoad &Load);
    // The same for a cursor group's entry and the cursor resource it names:
    // the hot spot that leads the resource goes to HotspotX/Y and Data holds
    // the image after it, BytesInRes its length.
    static std::unique_ptr<TResourceIconImage> CreateCursorFromResource(TStream &GroupStream, HMODULE Module,
                                                                        TIconLoad &Load);
    // Reads the whole resource of an image that a load read the head of
    // (TIconLoad::HeadBytes), from the same module; false, with the reason
    // in Load.Error, when it no longer reads.
    bool ReadWhole(HMODULE Module, TIconLoad &Load);

private:
    // Reads resource `Id` of `Type` into Data (a cursor's hot spot into
    // HotspotX/Y) and the fields its header gives; false, with the reason
    // in Load.Error, when it is missing or unreadable.
    bool readResource(HMODULE Module, uint16_t Type, uint16_t Id, const char *What, const std::string &NamedBy,
                      TIconLoad &Load);
    // The resource the image was read from.
    uint16_t FType = 0, FId = 0;
};

} // namespace vexillo
