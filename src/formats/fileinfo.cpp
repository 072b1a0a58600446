#include "formats/fileinfo.h"

#include "formats/byteview.h"
#include "formats/filekind.h"
#include "formats/icofile.h"
#include "formats/moduleresources.h"

#include <algorithm>
#include <cstdlib>

namespace vexillo {

namespace {

constexpr uint16_t kRtCursor = 1;
constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtGroupCursor = 12;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint64_t kMaxIconFileSize = 64ull << 20;

// Width, height and bit count from the image's own header; false when it
// has none (the entry's fields then stand).
bool OwnFields(ByteView data, ImageInfo &image)
{
    uint8_t w8 = 0, h8 = 0;
    if (!ImageEntryFields(data, w8, h8, image.BitCount))
        return false;
    image.Png = IsPngStream(data);
    uint32_t width = 0, height = 0;
    int32_t dibHeight = 0;
    if (image.Png ? data.readU32BE(16, width) && data.readU32BE(20, height)
                  : data.readU32(4, width) && data.readI32(8, dibHeight)) {
        image.Width = width;
        image.Height = image.Png ? height : static_cast<uint32_t>(std::abs(int64_t{dibHeight}) / 2);
    }
    return true;
}

std::string GroupText(bool cursor, const std::string &name)
{
    return std::string(cursor ? "cursor group " : "icon group ") + name;
}

std::string IdText(const ResourceId &id)
{
    return id.IsName ? id.Name : std::to_string(id.Number);
}

// What a record of `info` costs the file's budget: the memory it holds (its
// vector may hold twice its size while it grows) and the line printed for
// it, so that a file of many small groups naming many images cannot make
// `info` hold or print more than its budget.
constexpr uint64_t kLineBytes = 48;

bool ChargeRecord(const TLoadBudgetPtr &budget, uint64_t bytes, uint64_t text, TReadError *error)
{
    if (!budget->Hold(2 * bytes, "file description") || !budget->Output(kLineBytes + text, "file description"))
        return Fail(error, budget->Refusal());
    return true;
}

// One group of a module and the images it names.
bool ReadGroup(const ModuleResources &module, bool cursor, const ResourceId &name, FileInfo &info, TReadError *error)
{
    const TLoadBudgetPtr &budget = module.Budget();
    std::string text = IdText(name);
    if (!ChargeRecord(budget, sizeof(GroupInfo) + text.size(), text.size(), error))
        return false;
    // Listed at once, so that what is read before a failure stays shown.
    GroupInfo &group = info.Groups.emplace_back();
    group.Cursor = cursor;
    group.Name = std::move(text);
    const std::string where = GroupText(cursor, group.Name);
    const ResourceId type = ResourceId::FromNumber(cursor ? kRtGroupCursor : kRtGroupIcon);
    SharedBytes bytes;
    TReadError reason = module.ReadShared(type, name, bytes, UINT64_MAX);
    if (!reason)
        reason = module.Language(type, name, group.Language);
    uint16_t kind = 0, count = 0;
    if (!reason)
        ParseIconDirHeader(bytes.View(), kind, count, &reason);
    if (reason.Code == TReadErrorCode::LimitExceeded)
        return Fail(error, reason);
    if (reason) {
        info.Notes.Add(where + ": " + reason.Text());
        return true;
    }
    const uint64_t fit = (bytes.size() - kIcoHeaderSize) / kGroupEntrySize;
    if (fit < count)
        info.Notes.Add(where + ": names " + std::to_string(count) + " images, holds entries for " +
                       std::to_string(fit));
    for (uint64_t i = 0; i < std::min<uint64_t>(count, fit); ++i) {
        // An image is looked up, checked, kept and printed.
        if (!budget->Work(steps::kPerImage, "icon group entries") || !ChargeRecord(budget, sizeof(ImageInfo), 0, error))
            return Fail(error, budget->Refusal());
        const ByteView entry(bytes.data() + kIcoHeaderSize + i * kGroupEntrySize, kGroupEntrySize);
        // Made only for a note: most images have none.
        const auto what = [&] { return where + ", image " + std::to_string(i); };
        ImageInfo image;
        uint16_t id = 0, entryHeight = 0;
        uint32_t counted = 0;
        if (cursor) {
            const CursorGroupEntry e = ParseCursorGroupEntry(entry);
            image = {e.Width, e.Height / 2u, e.BitCount, false, 0, 0, 0};
            id = e.Id;
            counted = e.BytesInRes;
            entryHeight = e.Height;
        } else {
            const IcoEntry e = ParseIcoEntry(entry);
            image = {e.Width ? e.Width : 256u, e.Height ? e.Height : 256u, e.BitCount, false, 0, 0, 0};
            entry.readU16(12, id);
            counted = e.BytesInRes;
        }
        const ResourceId imageType = ResourceId::FromNumber(cursor ? kRtCursor : kRtIcon);
        SharedBytes data;
        if (TReadError missing = module.ReadShared(imageType, ResourceId::FromNumber(id), data, UINT64_MAX)) {
            if (missing.Code == TReadErrorCode::LimitExceeded)
                return Fail(error, missing);
            info.Notes.Add(what() + ": " + (cursor ? "RT_CURSOR " : "RT_ICON ") + std::to_string(id) +
                           (missing.Code == TReadErrorCode::NotFound ? " is missing" : ": " + missing.Text()));
            continue;
        }
        if (counted != data.size())
            info.Notes.Add(what() + ": the group counts " + std::to_string(counted) + " bytes, the resource holds " +
                           std::to_string(data.size()));
        if (cursor) {
            if (!ParseCursorHotspot(data.View(), image.HotspotX, image.HotspotY))
                info.Notes.Add(what() + ": too short for its hot spot");
            data = data.Suffix(kCursorHotspotSize);
        }
        image.Bytes = data.size();
        if (!OwnFields(data.View(), image))
            info.Notes.Add(what() + ": holds no bitmap or PNG header");
        else if (cursor && entryHeight != 0 && entryHeight == image.Height)
            info.Notes.Add(what() + ": the group gives the height " + std::to_string(entryHeight) + ", not doubled");
        group.Images.push_back(image);
    }
    return true;
}

bool ReadModuleInfo(const std::string &fileName, FileInfo &info, TReadError *error)
{
    ModuleFile file;
    if (!ModuleFile::Open(fileName, file, error))
        return false;
    file.Notes = &info.Notes;
    const std::unique_ptr<ModuleResources> module = ModuleResources::Open(std::move(file), error);
    if (!module)
        return false;
    info.Kind = module->FormatName();
    const TLoadBudgetPtr &budget = module->Budget();
    // What a listed name holds until its group is read.
    const auto nameBytes = [](const ResourceId &n) {
        return 2 * sizeof(ResourceId) + n.Name.size() + 2 * n.Units.size();
    };
    for (const bool cursor : {false, true}) {
        std::vector<ResourceId> names;
        bool refused = false;
        TReadError listed =
            module->ListNames(ResourceId::FromNumber(cursor ? kRtGroupCursor : kRtGroupIcon), [&](const ResourceId &n) {
                refused = !budget->Hold(nameBytes(n), "group names");
                if (!refused)
                    names.push_back(n);
                return !refused;
            });
        if (refused)
            listed = budget->Refusal();
        const bool stopped = listed.Code == TReadErrorCode::LimitExceeded;
        if (listed && !stopped && listed.Code != TReadErrorCode::NotFound)
            info.Notes.Add(listed.Text()); // said once when both listings fail alike
        // The groups listed before a limit are read all the same, so that
        // what the budget allowed is shown before the reason it stopped: the
        // later half of the names is let go to make room for the records of
        // the first, and each name read gives back its memory too.
        if (stopped) {
            for (size_t i = names.size() / 2; i < names.size(); ++i)
                budget->GiveBack(nameBytes(names[i]));
            names.resize(names.size() / 2);
            names.shrink_to_fit();
        }
        for (ResourceId &listedName : names) {
            const ResourceId name = std::move(listedName);
            budget->GiveBack(nameBytes(name));
            if (!ReadGroup(*module, cursor, name, info, error))
                return false;
        }
        if (stopped)
            return Fail(error, listed);
    }
    return true;
}

bool ReadIconFileInfo(const std::vector<uint8_t> &file, const TLoadBudgetPtr &budget, FileInfo &info, TReadError *error)
{
    const ByteView bytes(file.data(), file.size());
    uint16_t kind = 0, count = 0;
    if (!ParseIconDirHeader(bytes, kind, count, error))
        return false;
    GroupInfo &group = info.Groups.emplace_back();
    group.Cursor = kind == kIcoTypeCursor;
    info.Kind = group.Cursor ? "CUR" : "ICO";
    const uint64_t fit = (bytes.size() - kIcoHeaderSize) / kIcoEntrySize;
    if (fit < count)
        info.Notes.Add("the header names " + std::to_string(count) + " images, the file holds entries for " +
                       std::to_string(fit));
    IcoImageBytes images(file.size(), budget);
    images.SetNotes(&info.Notes);
    const IcoImageBytes::Reader read = [&](uint64_t offset, uint8_t *buffer, uint64_t size) {
        std::copy_n(file.data() + offset, size, buffer);
        return true;
    };
    for (uint64_t i = 0; i < std::min<uint64_t>(count, fit); ++i) {
        const IcoEntry entry = ParseIcoEntry(ByteView(file.data() + kIcoHeaderSize + i * kIcoEntrySize, kIcoEntrySize));
        const std::string what = "image " + std::to_string(i);
        SharedBytes data;
        TReadError reason;
        if (!images.Get(entry, what, read, data, &reason)) {
            if (reason.Code == TReadErrorCode::LimitExceeded)
                return Fail(error, reason);
            info.Notes.Add(reason.Text());
            continue;
        }
        ImageInfo image{entry.Width ? entry.Width : 256u,
                        entry.Height ? entry.Height : 256u,
                        entry.BitCount,
                        false,
                        data.size(),
                        0,
                        0};
        if (group.Cursor) {
            image.HotspotX = entry.Planes;
            image.HotspotY = entry.BitCount;
            image.BitCount = 0;
        }
        if (!OwnFields(data.View(), image))
            info.Notes.Add(what + ": holds no bitmap or PNG header");
        group.Images.push_back(image);
    }
    return true;
}

} // namespace

bool ReadFileInfo(const std::string &fileName, FileInfo &info, TReadError *error)
{
    std::vector<uint8_t> head;
    if (!ReadFileHead(fileName, head, error))
        return false;
    static constexpr uint8_t kRiff[] = {'R', 'I', 'F', 'F'};
    static constexpr uint8_t kIcon[] = {0, 0, 1, 0};
    static constexpr uint8_t kCursor[] = {0, 0, 2, 0};
    const ByteView first(head.data(), head.size());
    const bool riff = first.startsWith(kRiff, sizeof kRiff);
    if (!riff && !first.startsWith(kIcon, sizeof kIcon) && !first.startsWith(kCursor, sizeof kCursor))
        return ReadModuleInfo(fileName, info, error);
    std::vector<uint8_t> file;
    TLoadBudgetPtr budget;
    if (!ReadWholeFile(fileName, riff ? kMaxCursorFileSize : kMaxIconFileSize, file, error, &budget))
        return false;
    if (!riff)
        return ReadIconFileInfo(file, budget, info, error);
    info.Kind = "ANI";
    return ReadCursorFile(SharedBytes(std::move(file)), budget, info.Animation, error, &info.Notes);
}

} // namespace vexillo
