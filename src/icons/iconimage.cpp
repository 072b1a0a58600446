#include "icons/iconimage.h"

#include "icons/icontools.h"
#include "platform/iconobject.h"

#include <algorithm>

namespace vexillo {

namespace {

// The first 12 bytes of an ICO directory entry or an icon-group entry.
TIconEntryBlock entryBlockOf(const uint8_t *entry)
{
    TIconEntryBlock block;
    std::copy(entry, entry + block.size(), block.begin());
    return block;
}

} // namespace

TIconImage::~TIconImage()
{
    DestroyIcon(Handle);
}

uint32_t TIconImage::StoredSize() const
{
    return static_cast<uint32_t>(std::min<uint64_t>(BytesInRes, Data.size()));
}

HICON TIconImage::GetHandle()
{
    if (!Handle && !Data.empty())
        Handle = CreateIconFromResourceEx(ByteView(Data.data(), StoredSize()), true, 0x30000, Width, Height,
                                          LR_DEFAULTCOLOR);
    return Handle;
}

std::unique_ptr<THiResIcon> TIconImage::CreateGraphic()
{
    auto graphic = std::make_unique<THiResIcon>();
    graphic->SetHandle(GetHandle());
    return graphic;
}

std::unique_ptr<TIconImage> TIconImage::CreateCopy(TIconImage &Source)
{
    auto copy = std::make_unique<TIconImage>();
    copy->SetEntryBlock(Source.GetEntryBlock());
    copy->Data.assign(Source.Data.begin(), Source.Data.begin() + Source.StoredSize());
    if (HICON handle = Source.GetHandle())
        copy->Handle = CopyIcon(handle);
    if (!copy->UpdateEntry())
        return nullptr;
    return copy;
}

void TIconImage::WriteData(TStream &Stream) const
{
    if (!Data.empty())
        Stream.WriteBuffer(Data.data(), StoredSize());
}

bool TIconImage::UpdateEntry()
{
    const ByteView bytes(Data.data(), Data.size());
    if (bytes.size() < kMinImageDataSize)
        return false;

    if (IsPngStream(bytes)) {
        PngHeaderInfo png;
        if (!ReadPngHeader(bytes, png))
            return false;
        Width = static_cast<uint8_t>(png.Width % 256);
        Height = static_cast<uint8_t>(png.Height % 256);
        BitCount = png.BitCount;
        return true;
    }

    // A bitmap information header: width at 4, height (colour and mask rows
    // together) at 8, bit count at 14. Images are treated as square.
    int32_t width = 0;
    uint32_t height = 0;
    uint16_t bitCount = 0;
    bytes.readI32(4, width);
    bytes.readU32(8, height);
    bytes.readU16(14, bitCount);
    const int32_t half = static_cast<int32_t>(height >> 1);
    const int32_t size = half > width ? width : half;
    Width = static_cast<uint8_t>(static_cast<uint32_t>(size) % 256);
    Height = Width;
    BitCount = bitCount;
    return true;
}

TIconEntryBlock TIconImage::GetEntryBlock() const
{
    return {Width,
            Height,
            ColorCount,
            Reserved,
            static_cast<uint8_t>(Planes),
            static_cast<uint8_t>(Planes >> 8),
            static_cast<uint8_t>(BitCount),
            static_cast<uint8_t>(BitCount >> 8),
            static_cast<uint8_t>(BytesInRes),
            static_cast<uint8_t>(BytesInRes >> 8),
            static_cast<uint8_t>(BytesInRes >> 16),
            static_cast<uint8_t>(BytesInRes >> 24)};
}

void TIconImage::SetEntryBlock(const TIconEntryBlock &block)
{
    const ByteView b(block.data(), block.size());
    b.readU8(0, Width);
    b.readU8(1, Height);
    b.readU8(2, ColorCount);
    b.readU8(3, Reserved);
    b.readU16(4, Planes);
    b.readU16(6, BitCount);
    b.readU32(8, BytesInRes);
}

std::unique_ptr<TFileIconImage> TFileIconImage::CreateFromStream(TStream &Stream)
{
    uint8_t entry[16];
    if (!Stream.ReadExact(entry, sizeof entry))
        return nullptr;
    const uint64_t next = Stream.Position();

    auto image = std::make_unique<TFileIconImage>();
    image->SetEntryBlock(entryBlockOf(entry));
    uint32_t offset = 0;
    ByteView(entry, sizeof entry).readU32(12, offset);

    // The data must lie inside the file before anything is allocated for it.
    const uint64_t size = Stream.Size();
    bool ok = image->BytesInRes >= kMinImageDataSize && offset <= size && image->BytesInRes <= size - offset;
    if (ok && Stream.Seek(offset, TSeekOrigin::soBeginning) == static_cast<int64_t>(offset)) {
        image->Data.resize(image->BytesInRes);
        ok = Stream.ReadExact(image->Data.data(), image->Data.size());
    } else {
        ok = false;
    }
    Stream.Seek(static_cast<int64_t>(next), TSeekOrigin::soBeginning);

    if (!ok || !image->UpdateEntry())
        return nullptr;
    return image;
}

std::unique_ptr<TResourceIconImage> TResourceIconImage::CreateFromResource(TStream &GroupStream, HMODULE Module)
{
    uint8_t entry[14];
    if (!Module || !GroupStream.ReadExact(entry, sizeof entry))
        return nullptr;
    auto image = std::make_unique<TResourceIconImage>();
    image->SetEntryBlock(entryBlockOf(entry));
    uint16_t imageId = 0;
    ByteView(entry, sizeof entry).readU16(12, imageId);
    if (!Module->FindResource(ResourceId::FromNumber(RT_ICON), ResourceId::FromNumber(imageId), image->Data))
        return nullptr;
    if (!image->UpdateEntry())
        return nullptr;
    return image;
}

} // namespace vexillo
