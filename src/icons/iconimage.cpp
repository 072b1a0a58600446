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

// Charges one entry of a load: the work of reading it and the image object
// it becomes; false, with the reason in Load.Error, when the budget refuses.
bool ChargeEntry(TIconLoad &Load)
{
    if (Load.Budget->Work(steps::kPerImage, "image entries") &&
        Load.Budget->Hold(sizeof(TResourceIconImage) + sizeof(void *), "image entries"))
        return true;
    Load.Error = Load.Budget->Refusal();
    return false;
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

ByteView TIconImage::StoredBytes() const
{
    ByteView stored;
    Data.View().sub(0, StoredSize(), stored);
    return stored;
}

HICON TIconImage::GetHandle()
{
    return BuildHandle(nullptr);
}

HICON TIconImage::BuildHandle(TReadError *error)
{
    if (!Handle && !Data.empty()) {
        const ByteView stored = StoredBytes();
        const auto [entryWidth, entryHeight] = FHandleSize.value_or(std::make_pair(Width, Height));
        // The object is built at the directory's size. Where that is just the
        // image's own size as a directory stores it (EntrySide), it is built
        // at the own size: a 194 by 313 PNG is not squashed to the 194 by 256
        // its entry reads as.
        int width = entryWidth, height = entryHeight;
        if (uint32_t ownWidth = 0, ownHeight = 0; ReadImageSize(stored, ownWidth, ownHeight) &&
                                                  EntrySide(ownWidth) == entryWidth &&
                                                  EntrySide(ownHeight) == entryHeight)
            width = height = 0;
        if (!ChargeDecode(Budget, stored, DecodeCost(stored, width, height), FHandleMemory, error))
            return nullptr;
        Handle = CreateIconFromResourceEx(stored, true, kIconFormatVersion, width, height, LR_DEFAULTCOLOR, error);
        if (!Handle)
            FHandleMemory.Reset();
    }
    return Handle;
}

TDecodedPicture TIconImage::DecodeOwnSize(TReadError *error) const
{
    TDecodedPicture picture;
    const ByteView stored = StoredBytes();
    if (!ChargeDecode(Budget, stored, DecodeCost(stored, 0, 0), picture.Memory, error))
        return picture;
    picture.Icon.reset(CreateIconFromResourceEx(stored, true, kIconFormatVersion, 0, 0, LR_DEFAULTCOLOR, error));
    if (!picture.Icon)
        picture.Memory.Reset();
    return picture;
}

TDecodedPicture TIconImage::DecodeOwnSize(std::string &Why) const
{
    TReadError error;
    TDecodedPicture picture = DecodeOwnSize(&error);
    if (!picture)
        Why = error ? error.Text() : "the image does not decode";
    return picture;
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
    copy->Data = Source.Data.Prefix(Source.StoredSize());
    copy->Budget = Source.Budget;
    copy->FHandleSize = Source.FHandleSize.value_or(std::make_pair(Source.Width, Source.Height));
    // An object the source built is copied (its pixels count against the
    // same budget); otherwise nothing is decoded until the copy is drawn.
    if (HICON handle = Source.Handle) {
        const uint64_t pixels = static_cast<uint64_t>(handle->Width) * static_cast<uint64_t>(handle->Height);
        copy->FHandleMemory = THeldMemory(copy->Budget, kBytesPerDecodedPixel * pixels, "decoded pictures");
        if (copy->FHandleMemory.ok())
            copy->Handle = CopyIcon(handle);
    }
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
    return ImageEntryFields(Data.View(), Width, Height, BitCount);
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
    static_cast<IcoEntryFields &>(*this) = ParseIcoEntry(ByteView(block.data(), block.size()));
}

std::unique_ptr<TFileIconImage> TFileIconImage::CreateFromStream(TStream &Stream)
{
    TIconLoad load(Stream.Size(), Stream.LoadBudget());
    return CreateFromStream(Stream, load);
}

std::unique_ptr<TFileIconImage> TFileIconImage::CreateFromStream(TStream &Stream, TIconLoad &Load)
{
    if (!ChargeEntry(Load))
        return nullptr;
    const std::string name = "image " + std::to_string(Load.Entry);
    auto fail = [&](TReadError reason) {
        Load.Error = std::move(reason);
        return nullptr;
    };
    uint8_t entry[kIcoEntrySize];
    const uint64_t at = Stream.Position();
    if (!Stream.ReadExact(entry, sizeof entry))
        return fail(Truncated(Load.FileSize, "directory entry of " + name + " at " + std::to_string(at)));
    const uint64_t next = Stream.Position();

    auto image = std::make_unique<TFileIconImage>();
    image->SetEntryBlock(entryBlockOf(entry));
    image->Budget = Load.Budget;
    if (Load.Cursor) {
        image->HotspotX = image->Planes;
        image->HotspotY = image->BitCount;
        image->Planes = 1;
        image->BitCount = 0; // the image's own header gives it
    }
    TReadError error;
    const bool read = Load.Bytes.Get(
        ParseIcoEntry(ByteView(entry, sizeof entry)), name,
        [&](uint64_t offset, uint8_t *buffer, uint64_t size) {
            return Stream.Seek(static_cast<int64_t>(offset), TSeekOrigin::soBeginning) ==
                       static_cast<int64_t>(offset) &&
                   Stream.ReadExact(buffer, size);
        },
        image->Data, &error);
    Stream.Seek(static_cast<int64_t>(next), TSeekOrigin::soBeginning);

    if (!read)
        return fail(std::move(error));
    if (!image->UpdateEntry())
        return fail(BadImage(name + " has no readable bitmap or PNG header"));
    return image;
}

std::unique_ptr<TFileIconImage> TFileIconImage::CreateFromCursorImage(const CursorImage &Image, TIconLoad &Load)
{
    if (!ChargeEntry(Load))
        return nullptr;
    auto image = std::make_unique<TFileIconImage>();
    static_cast<IcoEntryFields &>(*image) = Image.Entry;
    image->Budget = Load.Budget;
    image->Data = Image.Stored;
    image->HotspotX = static_cast<uint16_t>(Image.HotspotX);
    image->HotspotY = static_cast<uint16_t>(Image.HotspotY);
    if (Load.Cursor) {
        image->Planes = 1;
        image->BitCount = 0; // the image's own header gives it
    }
    // The reader kept only images whose header reads.
    image->UpdateEntry();
    return image;
}

std::unique_ptr<TResourceIconImage> TResourceIconImage::CreateFromResource(TStream &GroupStream, HMODULE Module)
{
    TIconLoad load(0, Module ? Module->Budget() : nullptr);
    return CreateFromResource(GroupStream, Module, load);
}

namespace {

// Reads the 14-byte entry of an icon or cursor group that the stream stands
// at; false, with the reason in Load.Error, when there is no module, the
// budget refuses or the entry is cut short.
bool ReadGroupEntry(TStream &GroupStream, HMODULE Module, TIconLoad &Load, const std::string &name,
                    uint8_t (&entry)[kGroupEntrySize])
{
    if (!Module) {
        Load.Error = NotFound("module");
        return false;
    }
    if (!ChargeEntry(Load))
        return false;
    const uint64_t at = GroupStream.Position();
    if (GroupStream.ReadExact(entry, sizeof entry))
        return true;
    Load.Error = Truncated(at, name + " is cut short");
    return false;
}

} // namespace

std::unique_ptr<TResourceIconImage> TResourceIconImage::CreateFromResource(TStream &GroupStream, HMODULE Module,
                                                                           TIconLoad &Load)
{
    const std::string name = "entry " + std::to_string(Load.Entry) + " of the icon group";
    uint8_t entry[kGroupEntrySize];
    if (!ReadGroupEntry(GroupStream, Module, Load, name, entry))
        return nullptr;
    auto image = std::make_unique<TResourceIconImage>();
    image->SetEntryBlock(entryBlockOf(entry));
    image->Budget = Load.Budget;
    uint16_t imageId = 0;
    ByteView(entry, sizeof entry).readU16(12, imageId);
    if (!image->readResource(Module, RT_ICON, imageId, "icon image", name, Load))
        return nullptr;
    return image;
}

std::unique_ptr<TResourceIconImage> TResourceIconImage::CreateCursorFromResource(TStream &GroupStream, HMODULE Module,
                                                                                 TIconLoad &Load)
{
    const std::string name = "entry " + std::to_string(Load.Entry) + " of the cursor group";
    uint8_t entry[kGroupEntrySize];
    if (!ReadGroupEntry(GroupStream, Module, Load, name, entry))
        return nullptr;
    const CursorGroupEntry fields = ParseCursorGroupEntry(ByteView(entry, sizeof entry));
    auto image = std::make_unique<TResourceIconImage>();
    image->Budget = Load.Budget;
    image->Planes = 1;
    image->BitCount = fields.BitCount;
    image->BytesInRes = fields.BytesInRes - std::min<uint32_t>(fields.BytesInRes, kCursorHotspotSize);
    if (!image->readResource(Module, RT_CURSOR, fields.Id, "cursor image", name, Load))
        return nullptr;
    return image;
}

bool TResourceIconImage::readResource(HMODULE Module, uint16_t Type, uint16_t Id, const char *What,
                                      const std::string &NamedBy, TIconLoad &Load)
{
    const std::string what = What + (" " + std::to_string(Id));
    FType = Type;
    FId = Id;
    const uint64_t limit = Load.HeadBytes ? Load.HeadBytes + (Type == RT_CURSOR ? kCursorHotspotSize : 0) : UINT64_MAX;
    if (!Module->FindResource(ResourceId::FromNumber(Type), ResourceId::FromNumber(Id), Data, limit)) {
        TReadError error = Module->LastError();
        if (error.Code == TReadErrorCode::NotFound || !error)
            error = NotFound(what + " named by " + NamedBy);
        Load.Error = std::move(error);
        return false;
    }
    if (Type == RT_CURSOR) {
        if (!ParseCursorHotspot(Data.View(), HotspotX, HotspotY)) {
            Load.Error = BadImage(what + " is too short to hold its hot spot");
            return false;
        }
        Data = Data.Suffix(kCursorHotspotSize);
    }
    if (!UpdateEntry()) {
        Load.Error = BadImage(what + " has no readable bitmap or PNG header");
        return false;
    }
    // The image is as long as the module's reader found it (the resource's
    // own length, or within an NE module's rounded one the group's count);
    // the group's count is not the length, as it may lie: a save writes
    // the image whole.
    if (!Load.HeadBytes)
        BytesInRes = static_cast<uint32_t>(std::min<uint64_t>(Data.size(), UINT32_MAX));
    return true;
}

bool TResourceIconImage::ReadWhole(HMODULE Module, TIconLoad &Load)
{
    Load.HeadBytes = 0;
    const bool cursor = FType == RT_CURSOR;
    return Module && readResource(Module, FType, FId, cursor ? "cursor image" : "icon image",
                                  cursor ? "the cursor group" : "the icon group", Load);
}

} // namespace vexillo
