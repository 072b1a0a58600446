#include "platform/pemodule.h"

#include "platform/byteview.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <initializer_list>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

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

// One entry of a resource directory table, as stored.
struct Entry {
    bool isName = false;
    uint16_t id = 0;
    uint32_t nameOffset = 0;
    bool isDirectory = false;
    uint32_t offset = 0;
};

struct Directory {
    std::vector<Entry> entries;
    bool complete = false; // false when the table is cut short by the end of the file
};

void AppendUtf8(std::string &out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16LE to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(ByteView units)
{
    std::string out;
    const uint64_t count = units.size() / 2;
    for (uint64_t i = 0; i < count; ++i) {
        uint16_t u = 0;
        units.readU16(2 * i, u);
        uint32_t cp = u;
        if (u >= 0xD800 && u <= 0xDFFF) {
            uint16_t next = 0;
            if (u < 0xDC00 && i + 1 < count && units.readU16(2 * (i + 1), next) && next >= 0xDC00 &&
                next <= 0xDFFF) {
                cp = 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        }
        AppendUtf8(out, cp);
    }
    return out;
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

} // namespace

struct TModule::Impl {
    int fd = -1;
    uint64_t fileSize = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t sectionAlignment = 0;
    std::vector<Section> sections;
    bool hasResources = false;
    uint64_t resourceBase = 0; // file offset of the root resource directory

    ~Impl()
    {
        if (fd >= 0)
            ::close(fd);
    }

    // Reads [offset, offset + length) of the file; false when it passes the
    // end known at open time or the file yields fewer bytes (it shrank).
    bool Read(uint64_t offset, uint64_t length, std::vector<uint8_t> &out) const
    {
        if (offset > fileSize || length > fileSize - offset)
            return false;
        out.resize(length);
        uint64_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(fd, out.data() + done, length - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<uint64_t>(n);
        }
        return true;
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

    // The entries of the directory at dirOffset; only as many as the file
    // holds. False when even the header is not there.
    bool ReadDirectory(uint32_t dirOffset, Directory &dir) const
    {
        std::vector<uint8_t> buf;
        const uint64_t at = resourceBase + dirOffset;
        if (!Read(at, kDirectoryHeaderSize, buf))
            return false;
        ByteView header(buf.data(), buf.size());
        uint16_t named = 0, ids = 0;
        header.readU16(12, named);
        header.readU16(14, ids);
        const uint64_t count = static_cast<uint64_t>(named) + ids;
        const uint64_t tableAt = at + kDirectoryHeaderSize;
        const uint64_t present = std::min(count, (fileSize - tableAt) / kEntrySize);
        if (!Read(tableAt, present * kEntrySize, buf))
            return false;
        ByteView table(buf.data(), buf.size());
        dir.entries.clear();
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
            dir.entries.push_back(e);
        }
        dir.complete = present == count;
        return true;
    }

    // A name string: a 16-bit count of UTF-16 units, then the units.
    bool ReadName(uint32_t nameOffset, std::string &out) const
    {
        std::vector<uint8_t> buf;
        const uint64_t at = resourceBase + nameOffset;
        uint16_t units = 0;
        if (!Read(at, 2, buf) || !ByteView(buf.data(), buf.size()).readU16(0, units))
            return false;
        if (!Read(at + 2, uint64_t{units} * 2, buf))
            return false;
        out = Utf16ToUtf8(ByteView(buf.data(), buf.size()));
        return true;
    }

    bool ToId(const Entry &e, ResourceId &id) const
    {
        if (!e.isName) {
            id = ResourceId::FromNumber(e.id);
            return true;
        }
        std::string name;
        if (!ReadName(e.nameOffset, name))
            return false;
        id = ResourceId::FromName(std::move(name));
        return true;
    }

    // A subdirectory entry that can be followed: it points to a directory
    // header inside the file that is none of the directories above it.
    bool IsUsableSubdirectory(const Entry &e, std::initializer_list<uint32_t> ancestors) const
    {
        if (!e.isDirectory || !DirectoryFits(e.offset))
            return false;
        return std::find(ancestors.begin(), ancestors.end(), e.offset) == ancestors.end();
    }

    // The first entry of a directory matching `id`; number 0 matches nothing.
    bool FindEntry(const Directory &dir, const ResourceId &id, Entry &found) const
    {
        if (!id.IsName && id.Number == 0)
            return false;
        for (const Entry &e : dir.entries) {
            if (e.isName != id.IsName)
                continue;
            if (!e.isName) {
                if (e.id == id.Number) {
                    found = e;
                    return true;
                }
                continue;
            }
            std::string name;
            if (ReadName(e.nameOffset, name) && EqualIgnoringAsciiCase(name, id.Name)) {
                found = e;
                return true;
            }
        }
        return false;
    }

    // The offset of the type directory for `type`, or false.
    bool FindTypeDirectory(const ResourceId &type, uint32_t &typeOffset) const
    {
        Directory root;
        Entry e;
        if (!hasResources || !ReadDirectory(0, root) || !FindEntry(root, type, e) || !IsUsableSubdirectory(e, {0}))
            return false;
        typeOffset = e.offset;
        return true;
    }

    // Reports the ids of a directory's entries, each of which has to be a
    // usable subdirectory; entries numbered 0 are skipped.
    bool EnumEntries(uint32_t dirOffset, std::initializer_list<uint32_t> ancestors,
                     const std::function<bool(const ResourceId &)> &callback) const
    {
        Directory dir;
        if (!ReadDirectory(dirOffset, dir))
            return false;
        for (const Entry &e : dir.entries) {
            ResourceId id;
            if (!IsUsableSubdirectory(e, ancestors) || !ToId(e, id))
                return false;
            if (!id.IsName && id.Number == 0)
                continue;
            if (!callback(id))
                return true;
        }
        return dir.complete;
    }
};

TModule::~TModule() = default;

std::unique_ptr<TModule> TModule::LoadAsDataFile(const std::string &fileName)
{
    auto impl = std::make_unique<Impl>();
    // O_NONBLOCK keeps a FIFO from blocking the open; it is cleared once the
    // file is known to be a regular one.
    impl->fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (impl->fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(impl->fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return nullptr;
    const int flags = ::fcntl(impl->fd, F_GETFL);
    if (flags < 0 || ::fcntl(impl->fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
        return nullptr;
    impl->fileSize = static_cast<uint64_t>(st.st_size);

    static constexpr uint8_t kMz[] = {'M', 'Z'};
    static constexpr uint8_t kPe[] = {'P', 'E', 0, 0};
    std::vector<uint8_t> buf;
    uint32_t ntOffset = 0;
    if (!impl->Read(0, kDosHeaderSize, buf) || !ByteView(buf.data(), buf.size()).startsWith(kMz, sizeof kMz) ||
        !ByteView(buf.data(), buf.size()).readU32(0x3C, ntOffset))
        return nullptr;

    // The NT headers up to the largest optional header; what lies past the
    // end of a short file reads as zero, as in the loader's zero-filled page,
    // but the signature, the file header and the magic have to be there.
    const uint64_t ntAt = ntOffset;
    if (ntAt >= impl->fileSize)
        return nullptr;
    const uint64_t ntWant = kFileHeaderEnd + kOptionalHeaderMax;
    if (!impl->Read(ntAt, std::min(ntWant, impl->fileSize - ntAt), buf))
        return nullptr;
    if (buf.size() < kFileHeaderEnd + 2 || !ByteView(buf.data(), buf.size()).startsWith(kPe, sizeof kPe))
        return nullptr;
    buf.resize(ntWant, 0);
    ByteView nt(buf.data(), buf.size());
    uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
    nt.readU16(6, sectionCount);
    nt.readU16(20, optionalSize);
    nt.readU16(24, magic);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus)
        return nullptr;
    const uint64_t opt = 24;
    nt.readU32(opt + 32, impl->sectionAlignment);
    nt.readU32(opt + 60, impl->sizeOfHeaders);
    uint32_t directoryCount = 0, resourceRva = 0;
    const uint64_t countAt = opt + (magic == kMagicPe32 ? 92 : 108);
    nt.readU32(countAt, directoryCount);
    if (directoryCount > kResourceDirectoryIndex)
        nt.readU32(countAt + 4 + 8 * kResourceDirectoryIndex, resourceRva);

    // The section table; entries past the end of the file are left out
    // (a count of 0xFFFF over a short table still loads).
    const uint64_t tableAt = ntAt + kFileHeaderEnd + optionalSize;
    if (tableAt < impl->fileSize) {
        const uint64_t present =
            std::min<uint64_t>(sectionCount, (impl->fileSize - tableAt) / kSectionHeaderSize);
        if (!impl->Read(tableAt, present * kSectionHeaderSize, buf))
            return nullptr;
        ByteView table(buf.data(), buf.size());
        for (uint64_t i = 0; i < present; ++i) {
            Section s;
            table.readU32(i * kSectionHeaderSize + 12, s.virtualAddress);
            table.readU32(i * kSectionHeaderSize + 16, s.rawSize);
            table.readU32(i * kSectionHeaderSize + 20, s.rawPointer);
            impl->sections.push_back(s);
        }
    }

    // The directory's size field is not trusted (the loader ignores it);
    // only the entries that are read are checked against the file.
    if (resourceRva != 0 && impl->RvaToOffset(resourceRva, impl->resourceBase))
        impl->hasResources = impl->DirectoryFits(0);

    std::unique_ptr<TModule> module(new TModule());
    module->d = std::move(impl);
    return module;
}

bool TModule::EnumResourceTypes(const std::function<bool(const ResourceId &type)> &callback) const
{
    if (!d->hasResources)
        return false;
    return d->EnumEntries(0, {0}, callback);
}

bool TModule::EnumResourceNames(const ResourceId &type,
                                const std::function<bool(const ResourceId &name)> &callback) const
{
    uint32_t typeOffset = 0;
    if (!d->FindTypeDirectory(type, typeOffset))
        return false;
    return d->EnumEntries(typeOffset, {0, typeOffset}, callback);
}

bool TModule::FindResource(const ResourceId &type, const ResourceId &name, std::vector<uint8_t> &bytes,
                           uint64_t maxSize) const
{
    uint32_t typeOffset = 0;
    Directory dir;
    Entry nameEntry;
    if (!d->FindTypeDirectory(type, typeOffset) || !d->ReadDirectory(typeOffset, dir) ||
        !d->FindEntry(dir, name, nameEntry) || !d->IsUsableSubdirectory(nameEntry, {0, typeOffset}) ||
        !d->ReadDirectory(nameEntry.offset, dir) || dir.entries.empty())
        return false;

    // The neutral language (0) when there is one, else the first listed.
    auto chosen = std::find_if(dir.entries.begin(), dir.entries.end(),
                               [](const Entry &e) { return !e.isName && e.id == 0; });
    if (chosen == dir.entries.end())
        chosen = dir.entries.begin();
    if (chosen->isDirectory)
        return false;

    std::vector<uint8_t> buf;
    if (!d->Read(d->resourceBase + chosen->offset, kDataEntrySize, buf))
        return false;
    uint32_t rva = 0, size = 0;
    ByteView dataEntry(buf.data(), buf.size());
    dataEntry.readU32(0, rva);
    dataEntry.readU32(4, size);
    uint64_t offset = 0;
    if (size > maxSize || !d->RvaToOffset(rva, offset) || offset > d->fileSize || size > d->fileSize - offset)
        return false;
    if (!d->Read(offset, size, buf))
        return false;
    bytes = std::move(buf);
    return true;
}

} // namespace vexillo
