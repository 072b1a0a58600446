#include "crafted.h"

#include <algorithm>
#include <zlib.h>

namespace vexillo::test {

void PutU16(std::vector<uint8_t> &v, uint16_t x)
{
    v.push_back(x & 0xFF);
    v.push_back(x >> 8);
}

void PutU32(std::vector<uint8_t> &v, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v.push_back((x >> (8 * i)) & 0xFF);
}

namespace {

void PutU32BE(std::vector<uint8_t> &v, uint32_t x)
{
    for (int i = 3; i >= 0; --i)
        v.push_back((x >> (8 * i)) & 0xFF);
}

// A PNG chunk: length, type, data and the checksum (wrong when `badCrc`).
void PutChunk(std::vector<uint8_t> &v, const char *type, const std::vector<uint8_t> &data, bool badCrc = false)
{
    PutU32BE(v, static_cast<uint32_t>(data.size()));
    const size_t at = v.size();
    v.insert(v.end(), type, type + 4);
    v.insert(v.end(), data.begin(), data.end());
    const uint32_t crc = static_cast<uint32_t>(crc32(0, v.data() + at, static_cast<uInt>(v.size() - at)));
    PutU32BE(v, badCrc ? ~crc : crc);
}

std::vector<uint8_t> PngHeader(uint32_t size, uint8_t depth, uint8_t colorType, bool badCrc)
{
    std::vector<uint8_t> v = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> ihdr;
    PutU32BE(ihdr, size);
    PutU32BE(ihdr, size);
    ihdr.insert(ihdr.end(), {depth, colorType, 0, 0, 0});
    PutChunk(v, "IHDR", ihdr, badCrc);
    return v;
}

} // namespace

std::vector<uint8_t> RawPeModule(const std::vector<uint8_t> &resources)
{
    constexpr uint32_t kSectionRva = 0x1000, kSectionAt = 0x200;
    std::vector<uint8_t> v(0x40, 0);
    v[0] = 'M';
    v[1] = 'Z';
    v[0x3C] = 0x40;
    v.insert(v.end(), {'P', 'E', 0, 0});
    PutU16(v, 0x8664); // machine
    PutU16(v, 1);      // sections
    PutU32(v, 0);
    PutU32(v, 0);
    PutU32(v, 0);
    PutU16(v, 0xF0);   // optional header size
    PutU16(v, 0x2022); // a DLL
    const size_t optional = v.size();
    v.resize(optional + 0xF0, 0);
    auto put32 = [&](size_t at, uint32_t x) {
        for (int k = 0; k < 4; ++k)
            v[at + k] = static_cast<uint8_t>(x >> (8 * k));
    };
    v[optional] = 0x0B;
    v[optional + 1] = 0x02;                  // PE32+
    put32(optional + 32, 0x1000);            // section alignment
    put32(optional + 36, 0x200);             // file alignment
    put32(optional + 60, kSectionAt);        // size of headers
    put32(optional + 108, 16);               // data directories
    put32(optional + 112 + 16, kSectionRva); // resource directory
    put32(optional + 112 + 20, static_cast<uint32_t>(resources.size()));
    const char name[8] = {'.', 'r', 's', 'r', 'c'};
    v.insert(v.end(), name, name + 8);
    PutU32(v, static_cast<uint32_t>(resources.size()));
    PutU32(v, kSectionRva);
    PutU32(v, static_cast<uint32_t>(resources.size()));
    PutU32(v, kSectionAt);
    v.resize(v.size() + 12, 0);
    PutU32(v, 0x40000040);
    v.resize(kSectionAt, 0);
    v.insert(v.end(), resources.begin(), resources.end());
    return v;
}

std::vector<uint8_t> MakeRawModule(const std::vector<RawResource> &resources)
{
    // Root, one directory per type, one language directory and data entry
    // per entry (a copy of a resource being one), then the names, then the
    // bytes of each resource.
    struct Entry {
        size_t resource;
        uint32_t number;
    };
    std::vector<Entry> entries;
    std::vector<uint16_t> types;
    for (size_t i = 0; i < resources.size(); ++i) {
        for (int copy = 0; copy < resources[i].copies; ++copy)
            entries.push_back({i, resources[i].number + static_cast<uint32_t>(copy)});
        if (std::find(types.begin(), types.end(), resources[i].type) == types.end())
            types.push_back(resources[i].type);
    }
    const auto typeOf = [&](const Entry &e) { return resources[e.resource].type; };
    auto dirSize = [](size_t count) { return static_cast<uint32_t>(16 + 8 * count); };
    uint32_t at = dirSize(types.size());
    std::vector<uint32_t> typeAt;
    for (uint16_t type : types) {
        typeAt.push_back(at);
        at += dirSize(static_cast<size_t>(
            std::count_if(entries.begin(), entries.end(), [&](const Entry &e) { return typeOf(e) == type; })));
    }
    std::vector<uint32_t> languageAt, nameAt, dataAt;
    for (size_t i = 0; i < entries.size(); ++i, at += dirSize(1) + 16)
        languageAt.push_back(at);
    for (const RawResource &r : resources) {
        nameAt.push_back(at);
        at += r.name.empty() ? 0 : static_cast<uint32_t>(2 + 2 * r.name.size());
    }
    at = (at + 7) & ~7u;
    for (const RawResource &r : resources) {
        dataAt.push_back(at);
        at += static_cast<uint32_t>((r.bytes.size() + 7) & ~size_t{7});
    }
    std::vector<uint8_t> v;
    auto header = [&](size_t named, size_t ids) {
        v.resize(v.size() + 12, 0);
        PutU16(v, static_cast<uint16_t>(named));
        PutU16(v, static_cast<uint16_t>(ids));
    };
    header(0, types.size());
    for (size_t t = 0; t < types.size(); ++t) {
        PutU32(v, types[t]);
        PutU32(v, 0x80000000u | typeAt[t]);
    }
    for (uint16_t type : types) {
        size_t named = 0, ids = 0;
        for (const Entry &e : entries)
            if (typeOf(e) == type)
                ++(resources[e.resource].name.empty() ? ids : named);
        header(named, ids);
        for (size_t i = 0; i < entries.size(); ++i)
            if (typeOf(entries[i]) == type) {
                const size_t r = entries[i].resource;
                PutU32(v, resources[r].name.empty() ? entries[i].number : 0x80000000u | nameAt[r]);
                PutU32(v, 0x80000000u | languageAt[i]);
            }
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        header(0, 1);
        PutU32(v, 0x409);
        PutU32(v, languageAt[i] + dirSize(1));
        PutU32(v, 0x1000 + dataAt[entries[i].resource]);
        PutU32(v, static_cast<uint32_t>(resources[entries[i].resource].bytes.size()));
        PutU32(v, 0);
        PutU32(v, 0);
    }
    for (const RawResource &r : resources)
        if (!r.name.empty()) {
            PutU16(v, static_cast<uint16_t>(r.name.size()));
            for (char16_t c : r.name)
                PutU16(v, static_cast<uint16_t>(c));
        }
    for (size_t i = 0; i < resources.size(); ++i) {
        v.resize(dataAt[i], 0);
        v.insert(v.end(), resources[i].bytes.begin(), resources[i].bytes.end());
    }
    return RawPeModule(v);
}

std::vector<uint8_t> SmallDib(uint32_t argb)
{
    std::vector<uint8_t> v;
    PutU32(v, 40);
    PutU32(v, 16);
    PutU32(v, 32);
    PutU16(v, 1);
    PutU16(v, 32);
    v.resize(40, 0);
    for (int i = 0; i < 16 * 16; ++i)
        PutU32(v, argb);
    v.resize(v.size() + 16 * 4, 0); // the AND mask, all opaque
    return v;
}

std::vector<uint8_t> BrokenPng(uint32_t size)
{
    std::vector<uint8_t> v = PngHeader(size, 8, 6, true);
    PutChunk(v, "IEND", {});
    return v;
}

std::vector<uint8_t> LatePngFailure(uint32_t size, size_t minBytes)
{
    // 8-bit grey rows, mostly zeros with a byte of noise every so often, so
    // that the stream is as long as asked while it inflates to size * size.
    std::vector<uint8_t> raw(static_cast<size_t>(size + 1) * size, 0);
    uint32_t seed = 12345;
    const size_t every = std::max<size_t>(1, raw.size() / std::max<size_t>(1, minBytes));
    for (size_t i = 1; i < raw.size(); i += every) {
        seed = seed * 1103515245u + 12345u;
        raw[i] = static_cast<uint8_t>(seed >> 16);
    }
    for (uint32_t y = 0; y < size; ++y)
        raw[static_cast<size_t>(y) * (size + 1)] = 0; // filter: none
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(length);
    compress2(packed.data(), &length, raw.data(), static_cast<uLong>(raw.size()), 9);
    packed.resize(length);
    std::vector<uint8_t> v = PngHeader(size, 8, 0, false);
    PutChunk(v, "IDAT", packed, true);
    PutChunk(v, "IEND", {});
    return v;
}

namespace {

// An icon directory of `count` entries that all name one 32-bit image of
// imageSize bytes: in a file by its offset, just after the directory; in a
// group by its resource id, 1.
std::vector<uint8_t> SharedEntryDirectory(uint32_t imageSize, int count, bool inFile, bool cursor = false)
{
    std::vector<uint8_t> v;
    PutU16(v, 0);
    PutU16(v, cursor ? 2 : 1);
    PutU16(v, static_cast<uint16_t>(count));
    for (int i = 0; i < count; ++i) {
        // A cursor group's width and height (doubled) are 16-bit numbers.
        v.insert(v.end(), {static_cast<uint8_t>(cursor ? 16 : 0), 0, static_cast<uint8_t>(cursor ? 32 : 0), 0});
        PutU16(v, 1);
        PutU16(v, 32);
        PutU32(v, imageSize);
        if (inFile)
            PutU32(v, static_cast<uint32_t>(6 + 16 * count));
        else
            PutU16(v, 1);
    }
    return v;
}

} // namespace

std::vector<uint8_t> SharedEntryIco(const std::vector<uint8_t> &image, int count)
{
    std::vector<uint8_t> v = SharedEntryDirectory(static_cast<uint32_t>(image.size()), count, true);
    v.insert(v.end(), image.begin(), image.end());
    return v;
}

std::vector<uint8_t> SharedEntryGroup(uint32_t imageSize, int count, bool cursor)
{
    return SharedEntryDirectory(imageSize, count, false, cursor);
}

std::vector<uint8_t> SharedEntryModule(const std::vector<uint8_t> &image, int count)
{
    return MakeRawModule(
        {{14, 1, {}, SharedEntryGroup(static_cast<uint32_t>(image.size()), count)}, {3, 1, {}, image}});
}

std::vector<uint8_t> OverlappingNamesModule(int count)
{
    // Root (types 3 and 14); type 14's directory of `count` named entries,
    // all leading to one language directory; type 3's directory of icon 1;
    // the data entries; the pool of names; the group; the image.
    const std::vector<uint8_t> image = SmallDib();
    const std::vector<uint8_t> group = SharedEntryGroup(static_cast<uint32_t>(image.size()), 1);
    const uint32_t groups = 16 + 2 * 8;
    const uint32_t groupLanguage = groups + 16 + 8 * static_cast<uint32_t>(count);
    const uint32_t icons = groupLanguage + 16 + 8;
    const uint32_t iconLanguage = icons + 16 + 8;
    const uint32_t groupData = iconLanguage + 16 + 8;
    const uint32_t iconData = groupData + 16;
    const uint32_t pool = iconData + 16;
    const uint32_t groupAt = pool + 2 * 65536;
    const uint32_t imageAt = groupAt + static_cast<uint32_t>(group.size());
    std::vector<uint8_t> v;
    auto header = [&](uint16_t named, uint16_t ids) {
        v.resize(v.size() + 12, 0);
        PutU16(v, named);
        PutU16(v, ids);
    };
    auto entry = [&](uint32_t name, uint32_t target) {
        PutU32(v, name);
        PutU32(v, target);
    };
    header(0, 2);
    entry(3, 0x80000000u | icons);
    entry(14, 0x80000000u | groups);
    header(static_cast<uint16_t>(count), 0);
    for (int k = 0; k < count; ++k)
        entry(0x80000000u | (pool + 2 * static_cast<uint32_t>(k)), 0x80000000u | groupLanguage);
    header(0, 1);
    entry(0x409, groupData);
    header(0, 1);
    entry(1, 0x80000000u | iconLanguage);
    header(0, 1);
    entry(0x409, iconData);
    for (auto [at, size] : {std::pair{groupAt, group.size()}, std::pair{imageAt, image.size()}}) {
        PutU32(v, 0x1000 + at);
        PutU32(v, static_cast<uint32_t>(size));
        PutU32(v, 0);
        PutU32(v, 0);
    }
    for (uint32_t k = 0; k < 65536; ++k)
        PutU16(v, static_cast<uint16_t>(65535 - k));
    v.insert(v.end(), group.begin(), group.end());
    v.insert(v.end(), image.begin(), image.end());
    return RawPeModule(v);
}

std::vector<uint8_t> AnimatedCursorFile(const std::vector<std::vector<uint8_t>> &frames,
                                        const std::vector<uint32_t> &sequence)
{
    auto chunk = [](std::vector<uint8_t> &v, const char *id, const std::vector<uint8_t> &body) {
        v.insert(v.end(), id, id + 4);
        PutU32(v, static_cast<uint32_t>(body.size()));
        v.insert(v.end(), body.begin(), body.end());
        if (body.size() % 2)
            v.push_back(0);
    };
    std::vector<uint8_t> header, list = {'f', 'r', 'a', 'm'}, steps, body = {'A', 'C', 'O', 'N'}, file;
    const uint32_t stepCount = static_cast<uint32_t>(sequence.empty() ? frames.size() : sequence.size());
    // Size, frames, steps, width, height, bits, planes, jiffies, flags (icon
    // frames; a sequence when one is given).
    for (uint32_t x :
         {36u, static_cast<uint32_t>(frames.size()), stepCount, 0u, 0u, 0u, 0u, 6u, sequence.empty() ? 1u : 3u})
        PutU32(header, x);
    for (const auto &frame : frames)
        chunk(list, "icon", frame);
    for (uint32_t step : sequence)
        PutU32(steps, step);
    chunk(body, "anih", header);
    chunk(body, "LIST", list);
    if (!sequence.empty())
        chunk(body, "seq ", steps);
    chunk(file, "RIFF", body);
    return file;
}

} // namespace vexillo::test
