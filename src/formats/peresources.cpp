#include "formats/peresources.h"

#include "formats/ascii.h"
#include "formats/byteview.h"
#include "formats/fileio.h"
#include "formats/utf8.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <map>
#include <unordered_set>
#include <sys/stat.h>
#include <tuple>
#include <string_view>
#include <unordered_map>

namespace vexillo {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint64_t kDirectoryHeaderSize = 16;
constexpr uint64_t kEntrySize = 8;
constexpr uint64_t kDataEntrySize = 16;
constexpr uint64_t kDosHeaderSize = 0x40;
constexpr uint64_t kFileHeaderEnd = 24; // "PE\0\0" and the COFF file header
constexpr uint64_t kOptionalHeaderMax = 0xF0;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint64_t kSectionHeaderSize = 40;
// Below this section alignment the loader maps the file as it lies: every
// RVA equals its file offset.
constexpr uint32_t kPageSize = 0x1000;

struct Section {
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawPointer = 0;
};

// What the NT headers say that the walk needs.
struct PeHeaders {
    uint64_t ntAt = 0;
    uint16_t sectionCount = 0;
    uint16_t optionalSize = 0;
    uint32_t resourceRva = 0;
};

// One entry of a resource directory table, as stored.
struct Entry {
    bool isName = false;
    uint16_t id = 0;
    uint32_t nameOffset = 0;
    bool isDirectory = false;
    uint32_t offset = 0;
};

// Writes the UTF-8 form of a code point at `out`; the end of what it wrote.
char *PutUtf8(char *out, uint32_t cp)
{
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// Whether the units hold an unpaired surrogate, which UTF-8 cannot carry.
bool HasLoneSurrogate(ByteView units)
{
    const uint64_t count = units.size() / 2;
    for (uint64_t i = 0; i < count; ++i) {
        uint16_t u = 0, next = 0;
        units.readU16(2 * i, u);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < count && units.readU16(2 * (i + 1), next) && next >= 0xDC00 &&
            next <= 0xDFFF)
            ++i;
        else if (u >= 0xD800 && u <= 0xDFFF)
            return true;
    }
    return false;
}

// UTF-16LE to UTF-8, then `suffix`. In a name with an unpaired surrogate,
// which UTF-8 cannot carry, each such unit is shown escaped as JSON writes
// it, \uD800 (upper-case hex digits), and a backslash as \\, so that names
// that differ only there read apart and the units can be read back
// (EscapedNameUnits). The text holds no more memory than its length.
std::string Utf16ToUtf8(ByteView units, std::string_view suffix = {})
{
    const uint64_t count = units.size() / 2;
    const bool escaped = HasLoneSurrogate(units);
    // At most six bytes a unit (an escape): a pair of two units makes four.
    std::string out(6 * count + suffix.size(), '\0');
    char *end = out.data();
    for (uint64_t i = 0; i < count; ++i) {
        uint16_t u = 0;
        units.readU16(2 * i, u);
        uint32_t cp = u;
        if (escaped && u == '\\') {
            *end++ = '\\';
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            uint16_t next = 0;
            if (u < 0xDC00 && i + 1 < count && units.readU16(2 * (i + 1), next) && next >= 0xDC00 && next <= 0xDFFF) {
                cp = 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            } else {
                static constexpr char kHex[] = "0123456789ABCDEF";
                *end++ = '\\';
                *end++ = 'u';
                for (int shift = 12; shift >= 0; shift -= 4)
                    *end++ = kHex[(u >> shift) & 0xF];
                continue;
            }
        }
        end = PutUtf8(end, cp);
    }
    end = std::copy(suffix.begin(), suffix.end(), end);
    return std::string(out.data(), end);
}

} // namespace

// A directory as read, with its entries indexed for lookups: one module
// may be asked for thousands of resources, and each lookup must not walk the
// whole table again.
struct Directory {
    std::vector<Entry> entries;
    bool complete = false;  // false when the table is cut short by the end of the file
    uint64_t endOffset = 0; // file offset just past the entries present
    std::unordered_map<uint16_t, size_t> firstById;
    // Names of the named entries, lowered, to the first entry so named; read
    // on the first lookup by name.
    bool namesRead = false;
    std::unordered_map<std::string, size_t> firstByName;
};

struct PeResources::Impl {
    FileHandle file;
    uint64_t fileSize = 0;
    TLoadBudgetPtr budget;
    uint32_t sizeOfHeaders = 0;
    uint32_t sectionAlignment = 0;
    bool pe32Plus = false;
    std::vector<Section> sections;
    bool hasResources = false;
    uint64_t resourceBase = 0; // file offset of the root resource directory
    // Why a module that names a resource directory has none to read.
    TReadError resourceError;

    // What the lookups have read: directories by offset, and the shared
    // bytes of resources by their place in the file.
    mutable std::unordered_map<uint32_t, Directory> directories;
    mutable std::unordered_map<uint32_t, std::pair<uint32_t, uint32_t>> dataEntries; // RVA and size
    mutable std::unique_ptr<SharedResources> shared;
    // Names by their offset in the resource area, each read once however
    // many entries name it.
    mutable std::unordered_map<uint32_t, std::string> names;
    // The units of the names among them that UTF-8 cannot carry.
    // (Their units are read back from the text, EscapedNameUnits.)
    mutable std::unordered_set<uint32_t> escapedNames;
    // The reason of the call in progress, which the call returns.
    mutable TReadError error;
    // The window that small reads are served from.
    mutable std::vector<uint8_t> window;
    mutable uint64_t windowStart = 0;
    // Whether the window was checked against the file during this call: a
    // call that reads nothing new costs no system call.
    mutable bool windowChecked = false;
    static constexpr uint64_t kSmallRead = 4096;
    // What an entry kept in an index holds besides its own bytes, and a name
    // kept besides its text (the string's block and the index's node).
    static constexpr uint64_t kHeldPerEntry = 48;
    static constexpr uint64_t kHeldPerName = 160;
    static constexpr uint64_t kWindowSize = 8192;
    static constexpr uint64_t kWindowAlign = 4096;

    bool Fail(TReadError reason) const
    {
        error = std::move(reason);
        return false;
    }

    // The start of a public call: its reason starts empty, and the window is
    // checked against the file again at the call's first read from it.
    void BeginCall() const
    {
        error = {};
        windowChecked = false;
    }

    // What a public call returns: nothing when it succeeded, else the reason
    // its walk left.
    TReadError Outcome(bool succeeded) const
    {
        TReadError reason = succeeded ? TReadError{} : std::move(error);
        error = {};
        return reason;
    }

    // Charges work and held memory to the file's budget; false, with the
    // budget's reason, when it refuses.
    bool Charge(uint64_t work, uint64_t memory, const char *what) const
    {
        return (budget->Work(work, what) && budget->Hold(memory, what)) || Fail(budget->Refusal());
    }

    // Reads [offset, offset + length) of the file; false when it passes the
    // end known at open time or the file yields fewer bytes (it shrank).
    // `Direct` reads even a small block by itself, not through the window.
    bool Read(uint64_t offset, uint64_t length, std::vector<uint8_t> &out, const char *what, bool Direct = false) const
    {
        if (offset > fileSize || length > fileSize - offset)
            return Fail(Truncated(fileSize, std::string(what) + " at " + std::to_string(offset) + " needs " +
                                                std::to_string(length) + " bytes"));
        // A small read is a copy out of the window (its bytes are held by the
        // caller only for a moment); any other holds what it reads.
        const bool windowed = length <= kSmallRead && !Direct;
        if (!Charge(steps::kPerByte * length + (windowed ? 0 : steps::kPerRead), windowed ? 0 : length, what))
            return false;
        out.resize(length);
        // Headers, directory tables, names and data entries are small and lie
        // close together: they are served from one window of the file read
        // at a time, so a walk costs a few reads rather than one for each.
        // (See CheckWindow.)
        if (windowed) {
            if (!windowChecked) {
                CheckWindow();
                windowChecked = true;
            }
            if (offset < windowStart || offset + length > windowStart + window.size()) {
                if (!budget->Work(steps::kPerRead + kWindowSize, what))
                    return Fail(budget->Refusal());
                windowStart = offset / kWindowAlign * kWindowAlign;
                window.resize(std::min<uint64_t>(kWindowSize, fileSize - windowStart));
                TReadError reason;
                if (!ReadAt(file.Get(), windowStart, window.data(), window.size(), &reason)) {
                    window.clear();
                    return Fail(std::move(reason));
                }
            }
            std::copy_n(window.data() + (offset - windowStart), length, out.data());
            return true;
        }
        TReadError reason;
        return ReadAt(file.Get(), offset, out.data(), length, &reason) || Fail(std::move(reason));
    }

    // The window stays from one call to the next while the file keeps its
    // size; a file that shrank or grew since is read afresh, so its end is
    // found out. Checked at the first read from the window of each call.
    void CheckWindow() const
    {
        struct stat st {};
        if (::fstat(file.Get(), &st) != 0 || static_cast<uint64_t>(st.st_size) != fileSize)
            window.clear();
    }

    // The file offset of an RVA. Inside a section's raw data it goes through
    // the section table (first match, as the loader searches); below the
    // first section, in sectionless images and in images aligned below a page
    // the file lies as mapped, so the RVA is the offset.
    bool RvaToOffset(uint32_t rva, uint64_t &offset) const
    {
        uint64_t lowestSection = std::numeric_limits<uint64_t>::max();
        for (const Section &s : sections) {
            const uint64_t start = s.virtualAddress;
            if (rva >= start && rva < start + s.rawSize) {
                offset = static_cast<uint64_t>(s.rawPointer) + (rva - start);
                return true;
            }
            lowestSection = std::min(lowestSection, start);
        }
        if (rva < sizeOfHeaders || rva < lowestSection || sectionAlignment < kPageSize) {
            offset = rva;
            return true;
        }
        return false;
    }

    // True when a directory header at this offset of the resource area lies
    // inside the file.
    bool DirectoryFits(uint32_t dirOffset) const
    {
        const uint64_t at = resourceBase + dirOffset;
        return at <= fileSize && kDirectoryHeaderSize <= fileSize - at;
    }

    // The directory at dirOffset with only as many entries as the file holds,
    // read once per module; nullptr when even the header is not there.
    const Directory *ReadDirectory(uint32_t dirOffset) const
    {
        if (auto it = directories.find(dirOffset); it != directories.end())
            return &it->second;
        std::vector<uint8_t> buf;
        const uint64_t at = resourceBase + dirOffset;
        if (!Read(at, kDirectoryHeaderSize, buf, "resource directory"))
            return nullptr;
        ByteView header(buf.data(), buf.size());
        uint16_t named = 0, ids = 0;
        header.readU16(12, named);
        header.readU16(14, ids);
        const uint64_t count = static_cast<uint64_t>(named) + ids;
        const uint64_t tableAt = at + kDirectoryHeaderSize;
        const uint64_t present = std::min(count, (fileSize - tableAt) / kEntrySize);
        if (!Charge(steps::kPerEntry * present, present * kHeldPerEntry, "resource directory entries") ||
            !Read(tableAt, present * kEntrySize, buf, "resource directory entries"))
            return nullptr;
        ByteView table(buf.data(), buf.size());
        Directory dir;
        dir.entries.reserve(present);
        for (uint64_t i = 0; i < present; ++i) {
            uint32_t name = 0, target = 0;
            table.readU32(i * kEntrySize, name);
            table.readU32(i * kEntrySize + 4, target);
            Entry e;
            e.isName = (name & kHighBit) != 0;
            e.nameOffset = name & ~kHighBit;
            e.id = static_cast<uint16_t>(name & 0xFFFF);
            e.isDirectory = (target & kHighBit) != 0;
            e.offset = target & ~kHighBit;
            if (!e.isName)
                dir.firstById.emplace(e.id, dir.entries.size());
            dir.entries.push_back(e);
        }
        dir.complete = present == count;
        dir.endOffset = tableAt + present * kEntrySize;
        return &directories.emplace(dirOffset, std::move(dir)).first->second;
    }

    // A name string: a 16-bit count of UTF-16 units, then the units; read
    // once for each place it lies at, and kept to kMaxNameUnits units. A name
    // UTF-8 cannot carry (an unpaired surrogate) also gives its units, kept,
    // as `exact`; any other an empty `exact`.
    bool ReadName(uint32_t nameOffset, std::string &out, std::u16string *exact = nullptr) const
    {
        if (auto known = names.find(nameOffset); known != names.end()) {
            if (!budget->Work(steps::kPerEntry, "resource names"))
                return Fail(budget->Refusal());
            out = known->second;
            if (exact) {
                *exact = escapedNames.contains(nameOffset) ? EscapedNameUnits(out) : std::u16string();
            }
            return true;
        }
        std::vector<uint8_t> buf;
        const uint64_t at = resourceBase + nameOffset;
        uint16_t units = 0;
        if (!Read(at, 2, buf, "resource name") || !ByteView(buf.data(), buf.size()).readU16(0, units))
            return false;
        // The whole name has to lie inside the file; only what is kept is read.
        if (at + 2 > fileSize || uint64_t{units} * 2 > fileSize - (at + 2))
            return Fail(Truncated(fileSize, "resource name at " + std::to_string(at + 2) + " needs " +
                                                std::to_string(uint64_t{units} * 2) + " bytes"));
        const uint16_t kept = std::min(units, kMaxNameUnits);
        if (!Charge(steps::kPerNameUnit * kept, 0, "resource names") ||
            !Read(at + 2, uint64_t{kept} * 2, buf, "resource name"))
            return false;
        ByteView view(buf.data(), buf.size());
        if (kept < units) {
            // A surrogate pair cut in two loses its first half too.
            uint16_t last = 0;
            if (view.readU16(view.size() - 2, last) && last >= 0xD800 && last < 0xDC00)
                view = ByteView(buf.data(), buf.size() - 2);
        }
        std::string name = Utf16ToUtf8(view, kept < units ? kNameCutMark : "");
        const bool escaped = HasLoneSurrogate(view);
        if (!Charge(0, name.size() + kHeldPerName, "resource names"))
            return false;
        if (escaped)
            escapedNames.insert(nameOffset);
        if (exact)
            *exact = escaped ? EscapedNameUnits(name) : std::u16string();
        out = names.emplace(nameOffset, std::move(name)).first->second;
        return true;
    }

    bool ToId(const Entry &e, ResourceId &id) const
    {
        if (!e.isName) {
            id = ResourceId::FromNumber(e.id);
            return true;
        }
        std::string name;
        std::u16string exact;
        if (!ReadName(e.nameOffset, name, &exact))
            return false;
        id = ResourceId::FromName(std::move(name));
        id.Units = std::move(exact);
        return true;
    }

    // A subdirectory entry that can be followed: it points to a directory
    // header inside the file that is none of the directories above it.
    bool IsUsableSubdirectory(const Entry &e, std::initializer_list<uint32_t> ancestors) const
    {
        if (!e.isDirectory)
            return Fail(Corrupt(resourceBase + e.offset, "resource data where a directory belongs"));
        if (!DirectoryFits(e.offset))
            return Fail(Truncated(fileSize, "resource directory at " + std::to_string(resourceBase + e.offset)));
        if (std::find(ancestors.begin(), ancestors.end(), e.offset) != ancestors.end())
            return Fail(ResourceLoop(resourceBase + e.offset));
        return true;
    }

    // The entry of a directory that `id` stands for: the one at its place
    // when a listing gave one and it still is that id, else the first that
    // matches it (a name never matches a number, "01" and "1" never the
    // number 1); number 0 matches nothing.
    const Entry *FindEntry(const Directory &dir, const ResourceId &id) const
    {
        if (id.Place >= 0 && static_cast<uint64_t>(id.Place) < dir.entries.size()) {
            // The entry at the place answers when it is of the id's kind and
            // holds its value: a number the same number, a name the same
            // name exactly as a listing reads it.
            const Entry &placed = dir.entries[static_cast<size_t>(id.Place)];
            std::string name;
            std::u16string exact;
            if (placed.isName == id.IsName &&
                (id.IsName ? ReadName(placed.nameOffset, name, &exact) && name == id.Name && exact == id.Units
                           : placed.id == id.Number))
                return &placed;
        }
        if (id.IsName && !id.Units.empty()) {
            // A name UTF-8 cannot carry is found by its units alone.
            for (const Entry &e : dir.entries) {
                std::string name;
                std::u16string exact;
                if (e.isName && ReadName(e.nameOffset, name, &exact) && exact == id.Units)
                    return &e;
            }
            return nullptr;
        }
        if (!id.IsName) {
            const auto it = id.Number == 0 ? dir.firstById.end() : dir.firstById.find(id.Number);
            return it == dir.firstById.end() ? nullptr : &dir.entries[it->second];
        }
        Directory &indexed = const_cast<Directory &>(dir);
        if (!indexed.namesRead) {
            indexed.namesRead = true;
            for (size_t i = 0; i < dir.entries.size(); ++i) {
                std::string name;
                if (dir.entries[i].isName && ReadName(dir.entries[i].nameOffset, name))
                    indexed.firstByName.emplace(LowerAscii(std::move(name)), i);
            }
        }
        const auto it = dir.firstByName.find(LowerAscii(id.Name));
        return it == dir.firstByName.end() ? nullptr : &dir.entries[it->second];
    }

    // The offset of the type directory for `type`, or false.
    bool FindTypeDirectory(const ResourceId &type, uint32_t &typeOffset) const
    {
        if (!hasResources)
            return Fail(resourceError ? resourceError : NotFound("resources"));
        const Directory *root = ReadDirectory(0);
        if (!root)
            return false;
        const Entry *e = FindEntry(*root, type);
        if (!e) {
            if (error.Code != TReadErrorCode::LimitExceeded)
                Fail(NotFound("resources of type " + Describe(type)));
            return false;
        }
        if (!IsUsableSubdirectory(*e, {0}))
            return false;
        typeOffset = e->offset;
        return true;
    }

    // Reports the ids of a directory's entries, each of which has to be a
    // usable subdirectory; entries numbered 0 are skipped.
    bool EnumEntries(uint32_t dirOffset, std::initializer_list<uint32_t> ancestors,
                     const std::function<bool(const ResourceId &)> &callback) const
    {
        const Directory *dir = ReadDirectory(dirOffset);
        if (!dir)
            return false;
        // The callback may look resources up, which may read (and so add)
        // directories: the table is copied rather than referenced.
        const std::vector<Entry> entries = dir->entries;
        const bool complete = dir->complete;
        const uint64_t endOffset = dir->endOffset;
        for (size_t place = 0; place < entries.size(); ++place) {
            const Entry &e = entries[place];
            ResourceId id;
            if (!budget->Work(steps::kPerEntry, "resource entries"))
                return Fail(budget->Refusal());
            if (!IsUsableSubdirectory(e, ancestors) || !ToId(e, id))
                return false;
            if (!id.IsName && id.Number == 0)
                continue;
            id.Place = static_cast<int32_t>(place);
            if (!callback(id))
                return true;
        }
        return complete || Fail(Truncated(endOffset, "resource directory entries"));
    }

    // The language entry of the resource of that type and name: of several
    // languages the neutral one (0), else the first listed.
    const Entry *FindLanguage(const ResourceId &type, const ResourceId &name) const
    {
        uint32_t typeOffset = 0;
        if (!FindTypeDirectory(type, typeOffset))
            return nullptr;
        const Directory *typeDirectory = ReadDirectory(typeOffset);
        if (!typeDirectory)
            return nullptr;
        const Entry *nameEntry = FindEntry(*typeDirectory, name);
        if (!nameEntry) {
            if (error.Code != TReadErrorCode::LimitExceeded)
                Fail(NotFound("resource " + Describe(name) + " of type " + Describe(type)));
            return nullptr;
        }
        if (!IsUsableSubdirectory(*nameEntry, {0, typeOffset}))
            return nullptr;
        const Directory *languages = ReadDirectory(nameEntry->offset);
        if (!languages)
            return nullptr;
        if (languages->entries.empty()) {
            Fail(NotFound("language of resource " + Describe(name) + " of type " + Describe(type)));
            return nullptr;
        }
        auto chosen = languages->firstById.find(0);
        return chosen != languages->firstById.end() ? &languages->entries[chosen->second] : &languages->entries.front();
    }

    // The place in the file of the resource of that type and name, in the
    // language FindLanguage picks.
    bool LocateResource(const ResourceId &type, const ResourceId &name, uint64_t &offset, uint32_t &size) const
    {
        const Entry *chosenLanguage = FindLanguage(type, name);
        if (!chosenLanguage)
            return false;
        const Entry &language = *chosenLanguage;
        // Resource directories are three levels deep: type, name, language.
        if (language.isDirectory)
            return Fail(Corrupt(resourceBase + language.offset, "a fourth resource directory level"));

        uint32_t rva = 0;
        if (auto known = dataEntries.find(language.offset); known != dataEntries.end()) {
            std::tie(rva, size) = known->second;
        } else {
            std::vector<uint8_t> buf;
            if (!Charge(steps::kPerEntry, kHeldPerEntry, "resource data entries") ||
                !Read(resourceBase + language.offset, kDataEntrySize, buf, "resource data entry"))
                return false;
            ByteView dataEntry(buf.data(), buf.size());
            dataEntry.readU32(0, rva);
            dataEntry.readU32(4, size);
            dataEntries.emplace(language.offset, std::make_pair(rva, size));
        }
        if (!RvaToOffset(rva, offset))
            return Fail(Corrupt(resourceBase + language.offset, "resource address outside every section"));
        if (offset > fileSize || size > fileSize - offset)
            return Fail(
                Truncated(fileSize, "resource of " + std::to_string(size) + " bytes at " + std::to_string(offset)));
        return true;
    }

    // The offset of the NT headers, from a DOS header that starts with "MZ".
    bool ReadDosHeader(uint64_t &ntAt)
    {
        static constexpr uint8_t kMz[] = {'M', 'Z'};
        std::vector<uint8_t> buf;
        if (!Read(0, std::min(kDosHeaderSize, fileSize), buf, "DOS header"))
            return false;
        const ByteView dos(buf.data(), buf.size());
        if (!dos.startsWith(kMz, sizeof kMz))
            return Fail(NotPeFile("no MZ signature"));
        if (buf.size() < kDosHeaderSize)
            return Fail(NotPeFile("the DOS header is cut short"));
        uint32_t ntOffset = 0;
        dos.readU32(0x3C, ntOffset);
        ntAt = ntOffset;
        if (ntAt >= fileSize)
            return Fail(NotPeFile("the PE header offset " + std::to_string(ntAt) + " lies past the end of the file"));
        return true;
    }

    // The NT headers up to the largest optional header; what lies past the
    // end of a short file reads as zero, as in the loader's zero-filled page,
    // but the signature, the file header and the magic have to be there.
    bool ReadNtHeaders(uint64_t ntAt, PeHeaders &headers)
    {
        static constexpr uint8_t kPe[] = {'P', 'E', 0, 0};
        const uint64_t ntWant = kFileHeaderEnd + kOptionalHeaderMax;
        std::vector<uint8_t> buf;
        if (!Read(ntAt, std::min(ntWant, fileSize - ntAt), buf, "PE header"))
            return false;
        if (buf.size() < kFileHeaderEnd + 2 || !ByteView(buf.data(), buf.size()).startsWith(kPe, sizeof kPe))
            return Fail(NotPeFile("no PE signature at offset " + std::to_string(ntAt)));
        buf.resize(ntWant, 0);
        const ByteView nt(buf.data(), buf.size());
        uint16_t magic = 0;
        nt.readU16(6, headers.sectionCount);
        nt.readU16(20, headers.optionalSize);
        nt.readU16(24, magic);
        if (magic != kMagicPe32 && magic != kMagicPe32Plus)
            return Fail(NotPeFile("unknown optional header magic " + std::to_string(magic)));
        const uint64_t opt = 24;
        pe32Plus = magic == kMagicPe32Plus;
        nt.readU32(opt + 32, sectionAlignment);
        nt.readU32(opt + 60, sizeOfHeaders);
        uint32_t directoryCount = 0;
        const uint64_t countAt = opt + (magic == kMagicPe32 ? 92 : 108);
        nt.readU32(countAt, directoryCount);
        if (directoryCount > kResourceDirectoryIndex)
            nt.readU32(countAt + 4 + uint64_t{8} * kResourceDirectoryIndex, headers.resourceRva);
        headers.ntAt = ntAt;
        return true;
    }

    // The section table; entries past the end of the file are left out
    // (a count of 0xFFFF over a short table still loads).
    bool ReadSectionTable(const PeHeaders &headers)
    {
        const uint64_t tableAt = headers.ntAt + kFileHeaderEnd + headers.optionalSize;
        if (tableAt >= fileSize)
            return true;
        const uint64_t present = std::min<uint64_t>(headers.sectionCount, (fileSize - tableAt) / kSectionHeaderSize);
        std::vector<uint8_t> buf;
        if (!Read(tableAt, present * kSectionHeaderSize, buf, "section table"))
            return false;
        const ByteView table(buf.data(), buf.size());
        for (uint64_t i = 0; i < present; ++i) {
            Section s;
            table.readU32(i * kSectionHeaderSize + 12, s.virtualAddress);
            table.readU32(i * kSectionHeaderSize + 16, s.rawSize);
            table.readU32(i * kSectionHeaderSize + 20, s.rawPointer);
            sections.push_back(s);
        }
        return true;
    }

    // Where the resource directory lies. Its size field is not trusted (the
    // loader ignores it); only the entries that are read are checked against
    // the file. A directory that cannot be found leaves a reason for the
    // lookups to give.
    void FindResourceDirectory(const PeHeaders &headers)
    {
        if (headers.resourceRva == 0)
            return;
        if (!RvaToOffset(headers.resourceRva, resourceBase))
            resourceError = Corrupt(headers.ntAt, "the resource directory's address lies outside every section");
        else if (!(hasResources = DirectoryFits(0)))
            resourceError = Truncated(fileSize, "resource directory at " + std::to_string(resourceBase));
    }

    static std::string Describe(const ResourceId &id)
    {
        return id.IsName ? "\"" + id.Name + "\"" : std::to_string(id.Number);
    }
};

PeResources::~PeResources() = default;

std::u16string EscapedNameUnits(std::string_view shown)
{
    std::u16string out;
    for (size_t i = 0; i < shown.size();) {
        const auto c = static_cast<uint8_t>(shown[i]);
        uint32_t cp = c;
        size_t length = 1;
        if (c == '\\' && i + 1 < shown.size() && shown[i + 1] == '\\') {
            length = 2;
        } else if (c == '\\' && i + 6 <= shown.size() && shown[i + 1] == 'u' &&
                   shown.substr(i + 2, 4).find_first_not_of("0123456789ABCDEF") == std::string_view::npos) {
            cp = static_cast<uint32_t>(std::stoul(std::string(shown.substr(i + 2, 4)), nullptr, 16));
            length = 6;
        } else if (c >= 0x80 && (length = Utf8SequenceLength(shown, i)) != 0) {
            cp = c & (0x7Fu >> length);
            for (size_t k = 1; k < length; ++k)
                cp = (cp << 6) | (static_cast<uint8_t>(shown[i + k]) & 0x3Fu);
        } else {
            length = 1;
            cp = c >= 0x80 ? 0xFFFD : c;
        }
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return out;
}

std::unique_ptr<PeResources> PeResources::Open(const std::string &fileName, TReadError *error)
{
    ModuleFile file;
    if (!ModuleFile::Open(fileName, file, error))
        return nullptr;
    return Open(std::move(file), error);
}

std::unique_ptr<PeResources> PeResources::Open(ModuleFile file, TReadError *error)
{
    auto impl = std::make_unique<Impl>();
    impl->file = std::move(file.File);
    impl->fileSize = file.Size;
    impl->budget = TLoadBudget::ForOpenFile(impl->file.Get(), impl->fileSize);
    impl->shared = std::make_unique<SharedResources>(impl->fileSize);
    // The head read at open is the first window, charged as its read.
    static_assert(Impl::kWindowSize == kModuleHeadSize);
    if (!file.Head.empty() && !impl->budget->Work(steps::kPerRead + Impl::kWindowSize, "DOS header")) {
        if (error)
            *error = impl->budget->Refusal();
        return nullptr;
    }
    impl->window = std::move(file.Head);
    impl->windowStart = 0;
    uint64_t ntAt = 0;
    PeHeaders headers;
    if (!impl->ReadDosHeader(ntAt) || !impl->ReadNtHeaders(ntAt, headers) || !impl->ReadSectionTable(headers)) {
        if (error)
            *error = impl->error;
        return nullptr;
    }
    impl->FindResourceDirectory(headers);
    std::unique_ptr<PeResources> resources(new PeResources());
    resources->d = std::move(impl);
    return resources;
}

const TLoadBudgetPtr &PeResources::Budget() const
{
    return d->budget;
}

bool PeResources::IsPe32Plus() const
{
    return d->pe32Plus;
}

TReadError PeResources::ListTypes(const std::function<bool(const ResourceId &type)> &callback) const
{
    d->BeginCall();
    if (!d->hasResources)
        return d->resourceError ? d->resourceError : NotFound("resources");
    return d->Outcome(d->EnumEntries(0, {0}, callback));
}

TReadError PeResources::ListNames(const ResourceId &type,
                                  const std::function<bool(const ResourceId &name)> &callback) const
{
    d->BeginCall();
    uint32_t typeOffset = 0;
    return d->Outcome(d->FindTypeDirectory(type, typeOffset) && d->EnumEntries(typeOffset, {0, typeOffset}, callback));
}

TReadError PeResources::Language(const ResourceId &type, const ResourceId &name, uint16_t &language) const
{
    d->BeginCall();
    const auto *entry = d->FindLanguage(type, name);
    if (entry)
        language = entry->id;
    return d->Outcome(entry != nullptr);
}

TReadError PeResources::ReadShared(const ResourceId &type, const ResourceId &name, SharedBytes &bytes,
                                   uint64_t limit) const
{
    d->BeginCall();
    uint64_t offset = 0;
    uint32_t size = 0;
    if (!d->LocateResource(type, name, offset, size))
        return d->Outcome(false);
    if (limit < size) {
        // A head: read by itself, not through the window, so that the heads
        // of a group's images cost their own bytes and not the window's.
        return d->shared->Get(offset, limit, bytes, [&](std::vector<uint8_t> &buf) {
            return d->Outcome(d->Read(offset, limit, buf, "resource head", true));
        });
    }
    return d->shared->Get(offset, size, bytes, [&](std::vector<uint8_t> &buf) {
        if ((size <= Impl::kSmallRead && !d->Charge(0, size, "resource")) || !d->Read(offset, size, buf, "resource"))
            return d->Outcome(false);
        return TReadError{};
    });
}

} // namespace vexillo
