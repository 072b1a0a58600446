// One image of an icon (one size and colour depth): its directory fields and
// its bytes exactly as stored, plus the icon object built from them on first
// use.
#pragma once

#include "platform/gdi.h"
#include "platform/pemodule.h"
#include "platform/streams.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace vexillo {

class THiResIcon;

// The seven directory fields from Width to BytesInRes, laid out as the first
// 12 bytes of an ICO directory entry (little-endian).
using TIconEntryBlock = std::array<uint8_t, 12>;

// Image data shorter than this holds no bitmap header to read the size from.
inline constexpr uint32_t kMinImageDataSize = 16;

class TIconImage {
public:
    TIconImage() = default;
    virtual ~TIconImage();
    TIconImage(const TIconImage &) = delete;
    TIconImage &operator=(const TIconImage &) = delete;

    HICON Handle = nullptr;
    uint8_t Width = 0;
    uint8_t Height = 0;
    uint8_t ColorCount = 0;
    uint8_t Reserved = 0;
    uint16_t Planes = 0;
    uint16_t BitCount = 0;
    uint32_t BytesInRes = 0;
    // The image as stored; empty means none. For an image read from a module
    // it may hold fewer bytes than BytesInRes says.
    std::vector<uint8_t> Data;

    // The icon object built from Data, or nullptr when none can be built;
    // a failed build is tried again on the next call.
    virtual HICON GetHandle();
    // A new graphic that shows this image's handle. The caller owns the
    // graphic; it must not outlive the image.
    virtual std::unique_ptr<THiResIcon> CreateGraphic();
    // A deep copy as a plain TIconImage, or nullptr when the copy can't be
    // completed (Source holds no usable image data).
    static std::unique_ptr<TIconImage> CreateCopy(TIconImage &Source);

    // Appends the image bytes (at most BytesInRes, never past Data).
    void WriteData(TStream &Stream) const;
    // The number of bytes WriteData writes.
    uint32_t StoredSize() const;
    // Sets Width, Height and BitCount from Data; false when Data holds no
    // header to read them from.
    bool UpdateEntry();

    TIconEntryBlock GetEntryBlock() const;
    void SetEntryBlock(const TIconEntryBlock &block);
};

// An image read from an ICO file.
class TFileIconImage : public TIconImage {
public:
    // Reads the image whose 16-byte directory entry the stream stands at. The
    // stream is left just after the entry, also on failure. Returns nullptr
    // when the entry or its data can't be read, or the data is too short.
    static std::unique_ptr<TFileIconImage> CreateFromStream(TStream &Stream);
};

// An image read from an icon group of a program module.
class TResourceIconImage : public TIconImage {
public:
    // Reads the 14-byte group entry the stream stands at (advancing it to the
    // next entry) and the icon-image resource it names. Data holds the whole
    // resource; BytesInRes keeps the entry's value. Returns nullptr when the
    // entry is short, the resource is missing, or its data is too short.
    static std::unique_ptr<TResourceIconImage> CreateFromResource(TStream &GroupStream, HMODULE Module);
};

} // namespace vexillo
