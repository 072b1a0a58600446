#include "icons/advancedicon.h"

#include "formats/fileio.h"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>
#include <stdexcept>

namespace vexillo {

// ---- TIconImageList --------------------------------------------------------

bool TIconImageList::Add(std::unique_ptr<TIconImage> Image)
{
    if (Count == kMaxCount)
        return false;
    ++Count;
    if (Count > Capacity)
        SetCapacity(Count);
    Items[Count - 1] = std::move(Image);
    return true;
}

void TIconImageList::SetCapacity(uint16_t N)
{
    if (N < Count)
        N = Count;
    Items.resize(N);
    if (N == 0)
        Items.shrink_to_fit();
    Capacity = N;
}

TIconImage *TIconImageList::GetItem(uint16_t Index) const
{
    return Index < Count ? Items[Index].get() : nullptr;
}

void TIconImageList::Clear()
{
    for (size_t i = Count; i-- > 0;)
        Items[i].reset();
    Items.clear();
    Items.shrink_to_fit();
    Capacity = 0;
    Count = 0;
}

// ---- TAdvancedIcon ---------------------------------------------------------

void TAdvancedIcon::Clear()
{
    Images.Clear();
    IsCursor = false;
    Steps.clear();
    AnimatedFile = {};
    Notes.clear();
    GroupCount = 0;
    Budget.reset();
    FLastError = {};
}

void TAdvancedIcon::TakeFrom(TAdvancedIcon &Source)
{
    if (&Source == this)
        return;
    Clear();
    Images.Swap(Source.Images);
    IsCursor = Source.IsCursor;
    Steps.swap(Source.Steps);
    AnimatedFile = std::move(Source.AnimatedFile);
    Notes.swap(Source.Notes);
    GroupCount = Source.GroupCount;
    Budget = std::move(Source.Budget);
    Source.Clear();
}

void TAdvancedIcon::Assign(const TAdvancedIcon &Source)
{
    if (&Source == this)
        return;
    Images.Clear();
    Budget = Source.Budget;
    IsCursor = Source.IsCursor;
    Steps = Source.Steps;
    AnimatedFile = Source.AnimatedFile;
    Notes = Source.Notes;
    GroupCount = Source.GroupCount;
    Images.SetCapacity(Source.Images.Count);
    for (uint16_t i = 0; i < Source.Images.Count; ++i)
        if (TIconImage *image = Source.Images.GetItem(i)) {
            // An image without usable data (an entry of 0 bytes) keeps its
            // place as an empty image, so that the images after it keep
            // their positions.
            auto copy = TIconImage::CreateCopy(*image);
            if (!copy) {
                copy = std::make_unique<TIconImage>();
                copy->SetEntryBlock(image->GetEntryBlock());
            }
            copy->HotspotX = image->HotspotX;
            copy->HotspotY = image->HotspotY;
            Images.Add(std::move(copy));
        }
}

bool TAdvancedIcon::ReadHeader(TStream &Stream, uint16_t &Count)
{
    uint8_t header[kIcoHeaderSize];
    const uint64_t read = Stream.Read(header, sizeof header);
    uint16_t count = 0;
    if (!ParseIcoHeader(ByteView(header, read), count, &FLastError))
        return false;
    Count = count;
    Images.SetCapacity(Count);
    return true;
}

bool TAdvancedIcon::LoadFromFile(const std::string &FileName)
{
    Images.Clear();
    Budget.reset();
    Steps.clear();
    AnimatedFile = {};
    FLastError = {};
    TFileStream stream;
    if (!stream.OpenRead(FileName)) {
        FLastError = stream.OpenError();
        return false;
    }
    return loadStream(stream);
}

bool TAdvancedIcon::LoadFromStream(TStream &Stream)
{
    return loadStream(Stream);
}

bool TAdvancedIcon::LoadAnimatedCursorFromFile(const std::string &FileName)
{
    Clear();
    IsCursor = true;
    CursorFile file;
    ReadNotes notes;
    const bool read = ReadCursorFile(FileName, file, &FLastError, &notes);
    Budget = file.Budget;
    Notes = notes.Lines();
    // Every image of every frame the reader kept, in frame order, each
    // knowing its frame and how long the animation first shows it.
    for (size_t k = 0; k < file.Frames.size(); ++k) {
        const CursorFrame &frame = file.Frames[k];
        const auto shown = std::find_if(file.Steps.begin(), file.Steps.end(),
                                        [&](const AniStep &step) { return step.Frame == static_cast<int>(k); });
        TIconLoad load(0, Budget);
        load.Cursor = frame.Cursor;
        for (const CursorImage &stored : frame.Images) {
            std::unique_ptr<TFileIconImage> image = TFileIconImage::CreateFromCursorImage(stored, load);
            if (image) {
                image->Frame = static_cast<int>(k);
                image->DisplayMs = shown == file.Steps.end() ? 0 : shown->DurationMs;
            }
            if (!AddLoaded(std::move(image), load))
                return false;
        }
    }
    if (!read)
        return false;
    Steps = std::move(file.Steps);
    // An animated file is kept to be saved as it is (a static one is saved
    // from its images).
    if (file.Animated)
        AnimatedFile = file.Bytes;
    return true;
}

bool TAdvancedIcon::loadStream(TStream &Stream)
{
    FLastError = {};
    IsCursor = false;
    uint16_t count = 0;
    if (!ReadHeader(Stream, count))
        return false;
    TIconLoad load(Stream.Size(), Stream.LoadBudget());
    Budget = load.Budget;
    for (uint32_t i = 0; i < count; ++i) {
        load.Entry = i;
        if (!AddLoaded(TFileIconImage::CreateFromStream(Stream, load), load))
            return false;
    }
    return true;
}

bool TAdvancedIcon::AddLoaded(std::unique_ptr<TIconImage> Image, const TIconLoad &Load)
{
    if (!Image) {
        FLastError = Load.Error;
        return false;
    }
    if (!Images.Add(std::move(Image))) {
        FLastError = LimitExceeded("images of one icon", uint64_t{TIconImageList::kMaxCount} + 1,
                                   TIconImageList::kMaxCount, "images");
        return false;
    }
    return true;
}

bool TAdvancedIcon::LoadFromResourceID(HMODULE Module, int ID)
{
    // Resource numbers are 16-bit and never 0.
    if (ID < 1 || ID > 0xFFFF) {
        FLastError = NotFound("icon group " + std::to_string(ID) + " (groups are numbered 1 to 65535)");
        return false;
    }
    return LoadFromResource(Module, ResourceId::FromNumber(static_cast<uint16_t>(ID)));
}

bool TAdvancedIcon::LoadFromResourceName(HMODULE Module, const std::string &Name)
{
    if (Name.empty()) {
        FLastError = NotFound("icon group without a name");
        return false;
    }
    return LoadFromResource(Module, ResourceId::FromName(Name));
}

bool TAdvancedIcon::LoadFromResource(HMODULE Module, const ResourceId &Identifier)
{
    return loadGroup(Module, Identifier, false);
}

bool TAdvancedIcon::LoadCursorFromResource(HMODULE Module, const ResourceId &Identifier)
{
    return loadGroup(Module, Identifier, true);
}

bool TAdvancedIcon::LoadHeadsFromResource(HMODULE Module, const ResourceId &Identifier, bool Cursor, uint32_t HeadBytes,
                                          uint16_t MaxImages)
{
    return loadGroup(Module, Identifier, Cursor, HeadBytes, MaxImages);
}

bool TAdvancedIcon::ReadWholeImage(HMODULE Module, uint16_t Index)
{
    auto *image = dynamic_cast<TResourceIconImage *>(Images.GetItem(Index));
    TIconLoad load(0, Budget);
    if (image && image->ReadWhole(Module, load))
        return true;
    FLastError = image ? load.Error : NotFound("image " + std::to_string(Index));
    return false;
}

bool TAdvancedIcon::loadGroup(HMODULE Module, const ResourceId &Identifier, bool Cursor, uint32_t HeadBytes,
                              uint16_t MaxImages)
{
    GroupCount = 0;
    FLastError = {};
    IsCursor = Cursor;
    const char *kind = Cursor ? "cursor group " : "icon group ";
    const std::string name =
        kind + (Identifier.IsName ? "\"" + Identifier.Name + "\"" : std::to_string(Identifier.Number));
    SharedBytes group;
    if (!Module) {
        FLastError = NotFound("module");
        return false;
    }
    Budget = Module->Budget();
    if (!Module->FindResource(ResourceId::FromNumber(Cursor ? RT_GROUP_CURSOR : RT_GROUP_ICON), Identifier, group)) {
        FLastError = Module->LastError();
        if (FLastError.Code == TReadErrorCode::NotFound || !FLastError)
            FLastError = NotFound(name);
        return false;
    }
    TByteViewStream stream(group.View());
    uint16_t count = 0;
    uint16_t type = 0;
    if (!ParseIconDirHeader(group.View(), type, count, nullptr) || type != (Cursor ? kIcoTypeCursor : kIcoTypeIcon)) {
        FLastError = NotIconFile(name + " has no " + (Cursor ? "cursor" : "icon") + " group header");
        return false;
    }
    GroupCount = count;
    count = std::min(count, MaxImages);
    Images.SetCapacity(count);
    stream.Seek(kIcoHeaderSize, TSeekOrigin::soBeginning);
    TIconLoad load(0, Budget);
    load.HeadBytes = HeadBytes;
    for (uint32_t i = 0; i < count; ++i) {
        load.Entry = i;
        auto image = Cursor ? TResourceIconImage::CreateCursorFromResource(stream, Module, load)
                            : TResourceIconImage::CreateFromResource(stream, Module, load);
        if (!AddLoaded(std::move(image), load))
            return false;
    }
    return true;
}

namespace {

void writeU16(TStream &stream, uint16_t value)
{
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    stream.WriteBuffer(bytes, sizeof bytes);
}

void writeU32(TStream &stream, uint32_t value)
{
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    stream.WriteBuffer(bytes, sizeof bytes);
}

// Writes header, directory and data for the given images. The directory's
// size field is the number of bytes actually written for each image, so the
// file stays consistent when an image holds fewer bytes than it claims.
// Images whose stored bytes are the very same block are written once, so
// the file is never larger than the distinct bytes the icon holds.
void writeIcon(TStream &stream, const std::vector<const TIconImage *> &images, bool cursor)
{
    if (images.empty())
        return;
    const uint64_t start = stream.Position();
    writeU16(stream, 0);
    writeU16(stream, cursor ? kIcoTypeCursor : kIcoTypeIcon);
    writeU16(stream, static_cast<uint16_t>(images.size()));
    for (const TIconImage *image : images) {
        TIconEntryBlock block = image->GetEntryBlock();
        if (cursor) {
            // A cursor's entry holds its hot spot where an icon's holds
            // planes and bit count.
            block[4] = static_cast<uint8_t>(image->HotspotX);
            block[5] = static_cast<uint8_t>(image->HotspotX >> 8);
            block[6] = static_cast<uint8_t>(image->HotspotY);
            block[7] = static_cast<uint8_t>(image->HotspotY >> 8);
        }
        const uint32_t stored = image->StoredSize();
        for (size_t k = 0; k < 4; ++k)
            block[8 + k] = static_cast<uint8_t>(stored >> (8 * k));
        stream.WriteBuffer(block.data(), block.size());
        writeU32(stream, 0);
    }
    std::map<std::pair<const uint8_t *, uint32_t>, uint32_t> written;
    for (size_t i = 0; i < images.size(); ++i) {
        const TIconImage &image = *images[i];
        const auto key = std::make_pair(image.Data.data(), image.StoredSize());
        const auto same = image.Data.empty() ? written.end() : written.find(key);
        const uint64_t offset = same != written.end() ? same->second : stream.Position() - start;
        if (offset > std::numeric_limits<uint32_t>::max())
            throw EWriteError();
        const int64_t field = static_cast<int64_t>(start + 18 + 16 * i);
        if (stream.Seek(field, TSeekOrigin::soBeginning) != field)
            throw EWriteError();
        writeU32(stream, static_cast<uint32_t>(offset));
        if (stream.Seek(0, TSeekOrigin::soEnd) < 0)
            throw EWriteError();
        if (same == written.end()) {
            image.WriteData(stream);
            if (!image.Data.empty())
                written.emplace(key, static_cast<uint32_t>(offset));
        }
    }
}

} // namespace

void TAdvancedIcon::SaveToStream(TStream &Stream) const
{
    if (!AnimatedFile.empty()) {
        Stream.WriteBuffer(AnimatedFile.data(), AnimatedFile.size());
        return;
    }
    std::vector<const TIconImage *> images;
    for (uint16_t i = 0; i < Images.Count; ++i)
        if (const TIconImage *image = Images.GetItem(i))
            images.push_back(image);
    writeIcon(Stream, images, IsCursor);
}

void TAdvancedIcon::SaveToFile(const std::string &FileName) const
{
    TMemoryStream stream;
    SaveToStream(stream);
    if (!stream.Bytes().empty())
        WriteFileReplacing(FileName, stream.Bytes());
}

void TAdvancedIcon::SaveImageToStream(TStream &Stream, int Index) const
{
    if (Index < 0 || Index >= Images.Count)
        throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
    writeIcon(Stream, {Images.GetItem(static_cast<uint16_t>(Index))}, IsCursor);
}

void TAdvancedIcon::SaveImageToFile(const std::string &FileName, int Index) const
{
    TMemoryStream stream;
    SaveImageToStream(stream, Index);
    if (!stream.Bytes().empty())
        WriteFileReplacing(FileName, stream.Bytes());
}

} // namespace vexillo
