// Helpers shared by the tests: files, temporary folders and test assets.
#pragma once

#include "crafted.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace vexillo::test {

std::vector<uint8_t> ReadBytes(const std::filesystem::path &path);
void WriteBytes(const std::filesystem::path &path, const std::vector<uint8_t> &bytes);
std::string ReadText(const std::filesystem::path &path);
void WriteText(const std::filesystem::path &path, const std::string &text);

// A generated test file (made by ImageMagick or icoutils at test time).
std::filesystem::path Asset(const std::string &name);
// The folder of real files made by other projects, or empty when it is absent.
std::filesystem::path CorpusDir(const std::string &kind);
// Every regular file of a corpus folder, sorted by name.
std::vector<std::filesystem::path> CorpusFiles(const std::string &kind);

// A fresh empty folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// `s` as one word of a shell command, quoted.
std::string Quote(const std::string &s);

// Runs a shell command, returning its exit status and what it printed on
// standard output (standard error goes to `err` when given).
int Run(const std::string &command, std::string *out = nullptr, std::string *err = nullptr);

// Runs a shell command as one child process and measures it: its exit
// status (128 + the signal when a signal ended it), what it printed, its
// peak resident memory in KiB and the processor time it took.
struct Measured {
    int status = -1;
    long peakKiB = 0;
    double cpuSeconds = 0;
    std::string out, err;
};
Measured RunMeasured(const std::string &command);

// Runs `body` in a child process that has dropped root for the user and group
// 65534 (nobody), so that permissions apply; gives what `body` returns, or -1
// when the child could not drop root or did not end normally.
int RunAsNobody(const std::function<int()> &body);

// Counts how many times files of a folder get new contents: moved to their
// name (as a replace does) or closed after writing (as an in-place write does).
class WriteWatch {
public:
    explicit WriteWatch(const std::filesystem::path &folder);
    ~WriteWatch();
    WriteWatch(const WriteWatch &) = delete;
    WriteWatch &operator=(const WriteWatch &) = delete;
    // The count for one name since the watch began or the last call; -1
    // when the system dropped events.
    int Writes(const std::string &name);

private:
    int fd_ = -1;
};

// A hand-made bottom-up DIB for an icon: a BITMAPINFOHEADER (height doubled),
// the colour table, the XOR rows and the AND mask rows, rows 4-byte aligned.
// `pixels` holds one entry per pixel, top row first: a palette index for 1,
// 4 and 8 bits, 0x00RRGGBB for 24 bits, 0xAARRGGBB for 32 bits. `mask` holds
// 1 for transparent pixels (empty = all opaque).
std::vector<uint8_t> MakeDib(int width, int height, int bitCount, const std::vector<uint32_t> &palette,
                             const std::vector<uint32_t> &pixels, const std::vector<uint8_t> &mask = {});

// A square DIB of one colour: palette index 1 of a grey palette for 1, 4 and
// 8 bits, opaque 0xFF2266AA for more. With `clearCorner` the top-left pixel
// is 0 and transparent in the AND mask.
std::vector<uint8_t> SolidDib(int size, int bits = 24, bool clearCorner = false);

// An ICO directory read independently of the program's reader, to check
// files against.
struct ParsedEntry {
    uint8_t width, height, colors, reserved;
    uint16_t planes, bitCount;
    uint32_t size, offset;
};
struct ParsedIco {
    uint16_t reserved = 0, type = 0, count = 0;
    std::vector<ParsedEntry> entries;
};
ParsedIco ParseIco(const std::vector<uint8_t> &bytes);
// The bytes of each ICO directory entry that lies inside the file, in
// directory order.
std::vector<std::vector<uint8_t>> IcoImages(const std::vector<uint8_t> &bytes);

// A 24-bit bottom-up BMP file as the program writes it (a 14-byte file
// header, a BITMAPINFOHEADER, no colour table), read independently of the
// program; fails the current test where the file is of another shape.
struct ParsedBmp {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels; // 0xRRGGBB, top row first
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
ParsedBmp ParseBmp(const std::vector<uint8_t> &bytes);

// An ICO file holding the given images in that order, directory fields taken
// from `entries` (width, height, colours, reserved, planes, bit count).
struct EntryFields {
    uint8_t width = 0, height = 0, colors = 0, reserved = 0;
    uint16_t planes = 1, bitCount = 0;
};
std::vector<uint8_t> MakeIco(const std::vector<std::vector<uint8_t>> &images,
                             const std::vector<EntryFields> &entries = {});

// An icon-group resource naming the icon images `ids` (1, 2, ... when not
// given) in the order given, each entry's byte count that of its image and
// its other fields taken from `entries` (when not given: 0 by 0, 32 bits).
std::vector<uint8_t> MakeIconGroup(const std::vector<std::vector<uint8_t>> &images,
                                   const std::vector<uint16_t> &ids = {}, const std::vector<EntryFields> &entries = {});

// Builds a resource-only PE32+ DLL (windres and ld of the mingw-w64 tools)
// named `module` in `dir`, holding raw resources: each is a name (a number,
// a bare name, or a quoted name), a numeric type and the bytes. Fails the
// current test when the tools fail.
std::filesystem::path BuildModule(const TempDir &dir, const std::string &module,
                                  const std::vector<std::tuple<std::string, int, std::vector<uint8_t>>> &resources);

} // namespace vexillo::test
