#include "formats/neresources.h"

#include "formats/ascii.h"
#include "formats/byteview.h"
#include "formats/fileio.h"
#include "formats/icofile.h"
#include "formats/icondecode.h"

#include <algorithm>
#include <map>
#include <optional>
#include <unordered_map>

namespace vexillo {

namespace {

constexpr uint64_t kDosHeaderSize = 0x40;
constexpr uint64_t kNeHeaderSize = 0x40;
constexpr uint64_t kResourceTableField = 0x24; // ne_rsrctab, from the NE header
constexpr uint64_t kResidentNamesField = 0x26; // ne_restab
constexpr uint64_t kTypeInfoSize = 8;
constexpr uint64_t kNameInfoSize = 12;
constexpr uint16_t kIntegerId = 0x8000;
// Offsets in the table are 16-bit and a name is at most 255 bytes after its
// length: nothing the table names lies further from its start.
constexpr uint64_t kTableSpan = 0x10000 + 0x100;
// Beyond this shift an offset of 16 bits no longer fits the 32-bit files
// that NE modules are.
constexpr uint16_t kMaxShift = 15;
constexpr uint16_t kRtCursor = 1;
constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtGroupCursor = 12;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint64_t kGroupHeaderSize = 6;
constexpr uint64_t kSmallRead = 4096;
// The most group entries read for the counts that trim images: twice what
// the counts keep.
constexpr uint64_t kMaxCountedEntries = 0x10000;
// What an entry or a name kept in the index holds besides its text.
constexpr uint64_t kHeldPerEntry = 160;
constexpr uint64_t kHeldPerName = 160;
// A name's byte converted, copied into its entry and into the index's key.
constexpr uint64_t kStepsPerNameByte = 4 * steps::kPerNameUnit;

// Code page 1252's characters 0x80 to 0x9F (0 where it has none: such a
// byte is read as the C1 control of its value, as Windows reads it, so that
// every byte of a name is told apart and the name is kept exactly).
constexpr uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string Cp1252ToUtf8(ByteView text)
{
    std::string out;
    out.reserve(3 * text.size());
    for (uint64_t i = 0; i < text.size(); ++i) {
        uint8_t c = 0;
        text.readU8(i, c);
        uint32_t cp = c;
        if (c >= 0x80 && c < 0xA0)
            cp = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : c;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string Describe(const ResourceId &id)
{
    return id.IsName ? "\"" + id.Name + "\"" : std::to_string(id.Number);
}

// Whether two ids are the same: of one kind, with one value (names exactly).
bool SameId(const ResourceId &a, const ResourceId &b)
{
    return a.IsName == b.IsName && (a.IsName ? a.Name == b.Name : a.Number == b.Number);
}

} // namespace

struct NeResources::Impl {
    struct Resource {
        ResourceId name;
        uint64_t offset = 0; // in bytes
        uint64_t length = 0; // in bytes, as the shift makes it
    };
    struct Type {
        ResourceId id;
        std::vector<Resource> resources;
        // The first resource of each id (Key).
        std::unordered_map<std::string, size_t> first;
    };

    FileHandle file;
    uint64_t fileSize = 0;
    TLoadBudgetPtr budget;
    ReadNotes *notes = nullptr;
    uint16_t shift = 0;
    uint64_t tableAt = 0;
    std::vector<Type> types;
    std::unordered_map<std::string, size_t> typeIndex;
    // Why the table ended early or could not be read; the lookups give it
    // when they find nothing.
    TReadError tableError;
    bool hasTable = false;
    // The file's first bytes, read at once while the file is opened: the
    // headers and, in most files, the whole resource table lie in them.
    std::vector<uint8_t> head;

    // The byte count the first icon group naming it gives each icon image
    // number; gathered at the first icon lookup.
    mutable bool groupCountsRead = false;
    // The count each icon or cursor group gives an image, by the image's
    // type and number (type << 16 | number).
    mutable std::unordered_map<uint32_t, uint32_t> groupCounts;
    // The group entries read for the counts, at most kMaxCountedEntries.
    mutable uint64_t countedEntries = 0;
    mutable std::unique_ptr<SharedResources> shared;

    bool Charge(uint64_t work, uint64_t memory, const char *what, TReadError &error) const
    {
        if (budget->Work(work, what) && budget->Hold(memory, what))
            return true;
        error = budget->Refusal();
        return false;
    }

    // Reads [offset, offset + length), which the caller has checked against
    // the file, charging the read and (when large, or `hold`) the memory.
    bool ReadBytes(uint64_t offset, uint64_t length, std::vector<uint8_t> &out, bool hold, const char *what,
                   TReadError &error) const
    {
        if (offset > fileSize || length > fileSize - offset) {
            error = Truncated(fileSize, std::string(what) + " at " + std::to_string(offset) + " needs " +
                                            std::to_string(length) + " bytes");
            return false;
        }
        const bool inHead = offset + length <= head.size();
        if (!Charge((inHead ? 0 : steps::kPerRead) + steps::kPerByte * length, hold || length > kSmallRead ? length : 0,
                    what, error))
            return false;
        out.resize(length);
        if (inHead) {
            std::copy_n(head.data() + offset, length, out.data());
            return true;
        }
        return ReadAt(file.Get(), offset, out.data(), length, &error);
    }

    // A name of the table: a length byte and that many characters at
    // `offset` from the table's start. False for a name that lies outside
    // the table as read or has no characters.
    bool ReadName(ByteView table, uint16_t offset, std::unordered_map<uint16_t, std::string> &names, std::string &out,
                  TReadError &error) const
    {
        // Each use of a name is paid for by its length: it is copied into
        // the entry and into the index's key, besides its conversion once.
        if (auto known = names.find(offset); known != names.end()) {
            if (!Charge(kStepsPerNameByte * known->second.size(), 0, "resource names", error))
                return false;
            out = known->second;
            return true;
        }
        uint8_t length = 0;
        if (!table.readU8(offset, length) || length == 0 || uint64_t{offset} + 1 + length > table.size())
            return false;
        if (!Charge(kStepsPerNameByte * length, kHeldPerName + 3 * uint64_t{length}, "resource names", error))
            return false;
        out = Cp1252ToUtf8(ByteView(table.data() + offset + 1, length));
        names.emplace(offset, out);
        return true;
    }

    // A type or resource id as stored: a number with bit 15, else a name's
    // offset in the table.
    bool ToId(ByteView table, uint16_t stored, std::unordered_map<uint16_t, std::string> &names, ResourceId &id,
              TReadError &error) const
    {
        if (stored & kIntegerId) {
            id = ResourceId::FromNumber(static_cast<uint16_t>(stored & ~kIntegerId));
            return true;
        }
        std::string name;
        if (!ReadName(table, stored, names, name, error))
            return false;
        id = ResourceId::FromName(std::move(name));
        return true;
    }

    // Reads and indexes the resource table; what it holds up to a fault
    // stays, and the fault is kept in tableError.
    void ReadTable()
    {
        const uint64_t span = std::min(kTableSpan, fileSize - tableAt);
        std::vector<uint8_t> buf;
        if (!ReadBytes(tableAt, span, buf, true, "resource table", tableError))
            return;
        ParseTable(ByteView(buf.data(), buf.size()));
        budget->GiveBack(buf.size());
    }

    // An id as the indexes know it: numbers and names apart, names without
    // regard to ASCII case.
    static std::string Key(const ResourceId &id)
    {
        return id.IsName ? "n" + LowerAscii(id.Name) : std::to_string(id.Number);
    }

    void ParseTable(ByteView table)
    {
        if (!table.readU16(0, shift)) {
            tableError = Truncated(fileSize, "resource table at " + std::to_string(tableAt));
            return;
        }
        if (shift > kMaxShift) {
            tableError = Corrupt(tableAt, "resource alignment shift " + std::to_string(shift));
            return;
        }
        hasTable = true;
        const uint64_t end = table.size();
        std::unordered_map<uint16_t, std::string> names;
        uint64_t at = 2;
        for (;;) {
            uint16_t typeId = 0, count = 0;
            if (at + 2 > end || !table.readU16(at, typeId)) {
                tableError = Truncated(tableAt + at, "resource table");
                return;
            }
            if (typeId == 0)
                return;
            if (at + kTypeInfoSize > end) {
                tableError = Truncated(tableAt + at, "resource type record");
                return;
            }
            table.readU16(at + 2, count);
            at += kTypeInfoSize;
            ResourceId type;
            bool usable = ToId(table, typeId, names, type, tableError) && (type.IsName || type.Number != 0);
            if (tableError)
                return;
            Type *into = nullptr;
            if (usable) {
                auto [it, added] = typeIndex.emplace(Key(type), types.size());
                if (added) {
                    if (!Charge(steps::kPerEntry, kHeldPerEntry + 2 * type.Name.size(), "resource types", tableError))
                        return;
                    types.push_back({type, {}, {}});
                }
                into = &types[it->second];
            }
            for (uint16_t i = 0; i < count; ++i, at += kNameInfoSize) {
                if (at + kNameInfoSize > end) {
                    tableError = Truncated(tableAt + at, "resource record");
                    return;
                }
                if (!budget->Work(steps::kPerEntry, "resource records")) {
                    tableError = budget->Refusal();
                    return;
                }
                uint16_t offset = 0, length = 0, id = 0;
                table.readU16(at, offset);
                table.readU16(at + 2, length);
                table.readU16(at + 6, id);
                Resource r;
                if (!into || !ToId(table, id, names, r.name, tableError) || (!r.name.IsName && r.name.Number == 0)) {
                    if (tableError)
                        return;
                    continue; // an entry without a usable id is left out
                }
                // The record, its name and its place in the index.
                if (!Charge(0, kHeldPerEntry + 2 * r.name.Name.size(), "resource records", tableError))
                    return;
                r.offset = uint64_t{offset} << shift;
                r.length = uint64_t{length} << shift;
                into->first.emplace(Key(r.name), into->resources.size());
                into->resources.push_back(std::move(r));
            }
        }
    }

    const Type *FindType(const ResourceId &id) const
    {
        const auto it = typeIndex.find(Key(id));
        return it == typeIndex.end() ? nullptr : &types[it->second];
    }

    // The resource `name` stands for: the one at its place when a listing
    // gave one and it is still that id (of its kind, with its value), else
    // the first that matches; a name never matches a number.
    const Resource *FindResource(const Type &type, const ResourceId &name) const
    {
        if (name.Place >= 0 && static_cast<uint64_t>(name.Place) < type.resources.size()) {
            const Resource &placed = type.resources[static_cast<size_t>(name.Place)];
            if (SameId(placed.name, name))
                return &placed;
        }
        const auto it = type.first.find(Key(name));
        return it == type.first.end() ? nullptr : &type.resources[it->second];
    }

    // The lookup's fault: the table's when it ended early, else NotFound.
    TReadError Missing(const std::string &what) const
    {
        return tableError && tableError.Code != TReadErrorCode::NotFound ? tableError : NotFound(what);
    }

    // Gathers the byte counts the icon and cursor groups give their images.
    void ReadGroupCounts() const
    {
        groupCountsRead = true;
        if (ReadGroupCounts(kRtGroupIcon, kRtIcon))
            ReadGroupCounts(kRtGroupCursor, kRtCursor);
    }

    // The counts of the groups of one type; false when the budget stops them.
    bool ReadGroupCounts(uint16_t groupType, uint16_t imageType) const
    {
        const Type *groups = FindType(ResourceId::FromNumber(groupType));
        if (!groups)
            return true;
        TReadError ignored;
        for (const Resource &g : groups->resources) {
            if (g.offset >= fileSize)
                continue;
            // The counts only cut padding away: a module whose groups name
            // more entries than any real one (many groups may lie over the
            // same bytes) has its other images read at their own lengths.
            if (countedEntries >= kMaxCountedEntries)
                return false;
            const uint64_t size =
                std::min({g.length, fileSize - g.offset, kGroupHeaderSize + 0xFFFF * kGroupEntrySize,
                          kGroupHeaderSize + (kMaxCountedEntries - countedEntries) * kGroupEntrySize});
            std::vector<uint8_t> buf;
            if (!ReadBytes(g.offset, size, buf, false, "icon group", ignored))
                return false;
            const ByteView group(buf.data(), buf.size());
            uint16_t count = 0;
            group.readU16(4, count);
            for (uint64_t i = 0; i < count && kGroupHeaderSize + (i + 1) * kGroupEntrySize <= group.size(); ++i) {
                if (!budget->Work(steps::kPerEntry, "icon group entries"))
                    return false;
                ++countedEntries;
                // Icon and cursor groups keep the count and number at the
                // same places of an entry.
                uint32_t bytes = 0;
                uint16_t image = 0;
                group.readU32(kGroupHeaderSize + i * kGroupEntrySize + 8, bytes);
                group.readU16(kGroupHeaderSize + i * kGroupEntrySize + 12, image);
                const uint32_t key = uint32_t{imageType} << 16 | image;
                if (groupCounts.size() < kMaxCountedEntries / 2 && !groupCounts.contains(key)) {
                    if (!budget->Hold(kHeldPerEntry, "icon group entries"))
                        return false;
                    groupCounts.emplace(key, bytes);
                }
            }
            // A large group's bytes were held while it was read.
            if (size > kSmallRead)
                budget->GiveBack(size);
        }
        return true;
    }

    // An icon or cursor image of a module whose lengths are rounded up to a
    // unit: what its length is decided from once its bytes are read (Trim).
    struct IconExtent {
        bool trim = false;
        bool cursor = false; // its bytes begin with the hot spot
        uint64_t stored = 0; // the table's length in bytes
        std::optional<uint32_t> counted;
        // The table's length counts bytes, not units (it is the group's
        // count): `stored` is that many bytes, and exact.
        bool countsBytes = false;
    };

    // Where the resource lies and how many bytes of it to read: its length
    // in the table, an icon image or group cut at the end of the file (said
    // in the notes); false, with the reason, when it is missing or starts
    // past the end. An icon image of a module whose shift is not 0 is read
    // over its whole rounded length, which Trim then cuts.
    bool Locate(const ResourceId &typeId, const ResourceId &name, uint64_t &offset, uint64_t &size, IconExtent &icon,
                TReadError &error) const
    {
        if (!hasTable) {
            error = Missing("resources");
            return false;
        }
        const Type *type = FindType(typeId);
        const Resource *r = type ? FindResource(*type, name) : nullptr;
        if (!r) {
            error = Missing(type ? "resource " + Describe(name) + " of type " + Describe(typeId)
                                 : "resources of type " + Describe(typeId));
            return false;
        }
        offset = r->offset;
        size = r->length;
        if (offset > fileSize) {
            error = Truncated(fileSize, "resource " + Describe(name) + " of type " + Describe(typeId) + " at " +
                                            std::to_string(offset));
            return false;
        }
        const uint64_t available = fileSize - offset;
        const bool image = !typeId.IsName && (typeId.Number == kRtIcon || typeId.Number == kRtCursor) && !name.IsName;
        if (image && shift > 0) {
            if (!groupCountsRead)
                ReadGroupCounts();
            icon.trim = true;
            icon.cursor = typeId.Number == kRtCursor;
            icon.stored = size;
            if (auto counted = groupCounts.find(uint32_t{typeId.Number} << 16 | r->name.Number);
                counted != groupCounts.end())
                icon.counted = counted->second;
            // Read as what it is, so that it does not run over the resources
            // after it.
            icon.countsBytes = icon.counted && (size >> shift) == *icon.counted;
            if (icon.countsBytes)
                size = icon.stored = *icon.counted;
        }
        const bool group = !typeId.IsName && (typeId.Number == kRtGroupIcon || typeId.Number == kRtGroupCursor);
        if (size > available && (image || group)) {
            const bool cursor = typeId.Number == kRtCursor || typeId.Number == kRtGroupCursor;
            if (notes && !icon.countsBytes) // (Trim says it with the count)
                notes->Add(std::string(cursor ? "cursor " : "icon ") + (image ? "image " : "group ") + Describe(name) +
                           ": runs past the end of the file; cut at its end");
            size = available;
        }
        if (size > available) {
            error = Truncated(fileSize, "resource of " + std::to_string(size) + " bytes at " + std::to_string(offset));
            return false;
        }
        return true;
    }

    // The length of an icon image read over its rounded length (`bytes`,
    // perhaps cut at the end of the file): the group's count where it lies
    // within that length, else the image's own length where it ends in the
    // last unit, else the whole rounded length; never less than the image's
    // own header says it takes. Rounding up to the unit is how every linker
    // stores resources and is not noted; a count outside the rounded length,
    // or a length that counts bytes, is.
    uint64_t Trim(const ResourceId &name, const IconExtent &icon, ByteView bytes) const
    {
        const uint64_t unit = uint64_t{1} << shift;
        // A cursor image's own length counts its hot spot.
        const uint64_t hotspot = icon.cursor ? kCursorHotspotSize : 0;
        uint64_t own = 0;
        bool known = bytes.size() >= hotspot && ReadImageLength(bytes.from(hotspot), own);
        own += hotspot;
        known = known && own <= icon.stored;
        uint64_t length = icon.stored; // exact where it counts bytes
        if (!icon.countsBytes && icon.counted && *icon.counted <= icon.stored)
            length = *icon.counted;
        else if (!icon.countsBytes && known && own + unit > icon.stored)
            length = own;
        if (known)
            length = std::max(length, own);
        length = std::min<uint64_t>(length, bytes.size());
        const uint64_t units = icon.countsBytes ? icon.stored : icon.stored >> shift;
        if (notes && icon.counted &&
            (icon.countsBytes || *icon.counted > icon.stored || *icon.counted + unit <= icon.stored))
            notes->Add(std::string(icon.cursor ? "cursor" : "icon") + " image " + Describe(name) + ": stored length " +
                       std::to_string(units) + " units of " + std::to_string(unit) + " bytes" +
                       (icon.countsBytes ? " (the length counts bytes)"
                                         : std::string(icon.cursor ? ", its cursor" : ", its icon") + " group counts " +
                                               std::to_string(*icon.counted) + " bytes") +
                       "; read as " + std::to_string(length) + " bytes" +
                       (icon.stored > bytes.size() ? ", cut at the end of the file" : ""));
        return length;
    }

    // Hands the callback each id with its place, each charged as an entry,
    // until it returns false. A table cut short may have lost its last
    // records: that is said once the ids are told.
    TReadError List(std::vector<ResourceId> &ids, const std::function<bool(const ResourceId &)> &callback) const
    {
        for (size_t place = 0; place < ids.size(); ++place) {
            if (!budget->Work(steps::kPerEntry, "resource entries"))
                return budget->Refusal();
            ids[place].Place = static_cast<int32_t>(place);
            if (!callback(ids[place]))
                return {};
        }
        return tableError.Code == TReadErrorCode::NotFound ? TReadError{} : tableError;
    }
};

NeResources::NeResources() : d(std::make_unique<Impl>())
{
}
NeResources::~NeResources() = default;

std::unique_ptr<NeResources> NeResources::Open(const std::string &fileName, TReadError *error)
{
    ModuleFile file;
    if (!ModuleFile::Open(fileName, file, error))
        return nullptr;
    return Open(std::move(file), error);
}

std::unique_ptr<NeResources> NeResources::Open(ModuleFile file, TReadError *error)
{
    std::unique_ptr<NeResources> ne(new NeResources());
    Impl &d = *ne->d;
    d.file = std::move(file.File);
    d.fileSize = file.Size;
    d.budget = TLoadBudget::ForOpenFile(d.file.Get(), d.fileSize);
    d.shared = std::make_unique<SharedResources>(d.fileSize);
    d.notes = file.Notes;
    auto fail = [&](TReadError reason) {
        if (error)
            *error = std::move(reason);
        return nullptr;
    };
    TReadError reason;
    std::vector<uint8_t> buf;
    static constexpr uint8_t kMz[] = {'M', 'Z'};
    static constexpr uint8_t kNe[] = {'N', 'E'};
    if (d.fileSize < kDosHeaderSize)
        return fail(NotPeFile("the DOS header is cut short"));
    // The head, read when the file was opened, is charged as its read.
    if (!d.Charge(steps::kPerRead + steps::kPerByte * file.Head.size(), file.Head.size(), "file header", reason))
        return fail(std::move(reason));
    d.head = std::move(file.Head);
    if (!d.ReadBytes(0, kDosHeaderSize, buf, false, "DOS header", reason))
        return fail(std::move(reason));
    uint32_t neOffset = 0;
    ByteView(buf.data(), buf.size()).readU32(0x3C, neOffset);
    if (!ByteView(buf.data(), buf.size()).startsWith(kMz, sizeof kMz))
        return fail(NotPeFile("no MZ signature"));
    const uint64_t neAt = neOffset;
    if (neAt >= d.fileSize || d.fileSize - neAt < kNeHeaderSize)
        return fail(NotPeFile("no NE header at offset " + std::to_string(neAt)));
    if (!d.ReadBytes(neAt, kNeHeaderSize, buf, false, "NE header", reason))
        return fail(std::move(reason));
    const ByteView header(buf.data(), buf.size());
    if (!header.startsWith(kNe, sizeof kNe))
        return fail(NotPeFile("no NE signature at offset " + std::to_string(neAt)));
    uint16_t rsrctab = 0, restab = 0;
    header.readU16(kResourceTableField, rsrctab);
    header.readU16(kResidentNamesField, restab);
    // A module without resources has its resource table offset equal to the
    // resident names table's.
    d.tableAt = neAt + rsrctab;
    if (rsrctab == restab)
        d.tableError = NotFound("resources");
    else if (d.tableAt >= d.fileSize)
        d.tableError = Truncated(d.fileSize, "resource table at " + std::to_string(d.tableAt));
    else
        d.ReadTable();
    d.budget->GiveBack(d.head.size());
    d.head = {};
    return ne;
}

const TLoadBudgetPtr &NeResources::Budget() const
{
    return d->budget;
}

TReadError NeResources::ListTypes(const std::function<bool(const ResourceId &type)> &callback) const
{
    if (!d->hasTable)
        return d->Missing("resources");
    // The callback may look resources up, which may index more: the ids are
    // copied out first.
    std::vector<ResourceId> ids;
    for (const Impl::Type &t : d->types)
        ids.push_back(t.id);
    return d->List(ids, callback);
}

TReadError NeResources::ListNames(const ResourceId &type,
                                  const std::function<bool(const ResourceId &name)> &callback) const
{
    const Impl::Type *found = d->hasTable ? d->FindType(type) : nullptr;
    if (!found)
        return d->Missing("resources of type " + Describe(type));
    std::vector<ResourceId> ids;
    for (const Impl::Resource &r : found->resources)
        ids.push_back(r.name);
    return d->List(ids, callback);
}

TReadError NeResources::Language(const ResourceId &type, const ResourceId &name, uint16_t &language) const
{
    const Impl::Type *found = d->hasTable ? d->FindType(type) : nullptr;
    if (!found || !d->FindResource(*found, name))
        return d->Missing(found ? "resource " + Describe(name) + " of type " + Describe(type)
                                : "resources of type " + Describe(type));
    language = 0;
    return {};
}

TReadError NeResources::ReadShared(const ResourceId &type, const ResourceId &name, SharedBytes &bytes,
                                   uint64_t /*limit*/) const
{
    uint64_t offset = 0, size = 0;
    Impl::IconExtent icon;
    TReadError error;
    if (!d->Locate(type, name, offset, size, icon, error))
        return error;
    SharedBytes block;
    if (TReadError failed = d->shared->Get(offset, size, block, [&](std::vector<uint8_t> &buf) {
            return d->ReadBytes(offset, size, buf, true, "resource", error) ? TReadError{} : error;
        }))
        return failed;
    bytes = icon.trim ? block.Prefix(d->Trim(name, icon, block.View())) : block;
    return {};
}

} // namespace vexillo
