// Files made byte by byte: modules whose resource directory no resource
// compiler would write, and the hostile files that each spend one kind of
// work or memory (long overlapping names, thousands of entries naming one
// broken picture, pictures that inflate for long before they fail). The
// tests and the budget benchmark build them at run time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexillo::test {

// Little-endian builders.
void PutU16(std::vector<uint8_t> &v, uint16_t x);
void PutU32(std::vector<uint8_t> &v, uint32_t x);

// A PE32+ file of headers and one section holding `resources`: the bytes of
// a resource section made by hand, as they lie at its address 0x1000 (file
// offset 0x200, so an RVA in them is 0x1000 + their offset).
std::vector<uint8_t> RawPeModule(const std::vector<uint8_t> &resources);

// A resource of a hand-made module: a type number, a name (the number, or the
// UTF-16 name when one is given) and its bytes; `copies` resources numbered
// from `number` on whose entries all lie at the same bytes.
struct RawResource {
    uint16_t type = 0;
    uint16_t number = 0;
    std::u16string name;
    std::vector<uint8_t> bytes;
    int copies = 1;
};
// A module whose resource directory lists the resources in the order given
// (the types in the order they first come), each of language 0x409. Unlike
// windres it keeps names that differ only in case and a name "1" beside the
// number 1.
std::vector<uint8_t> MakeRawModule(const std::vector<RawResource> &resources);

// A 16-pixel 32-bit bitmap image of one colour, as icons store it.
std::vector<uint8_t> SmallDib(uint32_t argb = 0xFF3366CCu);
// A PNG stream of `size` by `size` pixels whose IHDR checksum is wrong: it
// fails at once.
std::vector<uint8_t> BrokenPng(uint32_t size = 16);
// A PNG stream of `size` by `size` grey pixels, of at least `minBytes`
// bytes, whose one IDAT chunk has a wrong checksum: it fails only once all
// of it has been inflated.
std::vector<uint8_t> LatePngFailure(uint32_t size, size_t minBytes);

// An ICO file whose `count` entries all name the same image bytes.
std::vector<uint8_t> SharedEntryIco(const std::vector<uint8_t> &image, int count);
// An icon group (a cursor group when `cursor`) whose `count` entries all
// name image 1 of `imageSize` bytes.
std::vector<uint8_t> SharedEntryGroup(uint32_t imageSize, int count, bool cursor = false);
// A module of one icon group (number 1) naming `count` times the icon image
// 1, which holds `image`.
std::vector<uint8_t> SharedEntryModule(const std::vector<uint8_t> &image, int count);

// A module of `count` icon groups (at most 65535) whose names are long
// strings that overlap: the name of group k starts at word k of one pool of
// 65536 words and counts 65535 - k units, so every name is up to 65535 units
// long and all of them lie in 128 KiB. Every group names one small image.
std::vector<uint8_t> OverlappingNamesModule(int count);

// An animated cursor (RIFF "ACON") of `frames`, each a whole ICO or CUR file,
// shown in the order `sequence` gives (a "seq " chunk), or in frame order
// when it is empty.
std::vector<uint8_t> AnimatedCursorFile(const std::vector<std::vector<uint8_t>> &frames,
                                        const std::vector<uint32_t> &sequence = {});

} // namespace vexillo::test
