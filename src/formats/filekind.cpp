#include "formats/filekind.h"

#include "formats/fileio.h"

#include <utility>

namespace vexillo {

namespace {

// The bytes at `at` are `bytes`.
bool Matches(ByteView head, uint64_t at, std::string_view bytes)
{
    ByteView part;
    return head.sub(at, bytes.size(), part) && std::memcmp(part.data(), bytes.data(), part.size()) == 0;
}

// Signatures that a file starts with.
constexpr std::pair<std::string_view, std::string_view> kSignatures[] = {
    {{"\x00\x00\x01\x00", 4}, kKindIconFile},
    {"MZ", kKindWindowsModule},
    {{"\x00\x00\x02\x00", 4}, kKindCursorFile},
    {"\x89PNG\r\n\x1a\n", "a PNG image"},
    {"\xFF\xD8\xFF", "a JPEG image"},
    {"GIF87a", "a GIF image"},
    {"GIF89a", "a GIF image"},
    {"\x7F"
     "ELF",
     "a Linux program or library (ELF)"},
    {"PK\x03\x04", "a ZIP archive"},
    {"%PDF-", "a PDF document"},
};

// "BM" alone starts much text: a BMP file also names the size of a DIB
// header at offset 14.
bool IsBmp(ByteView head)
{
    uint32_t headerSize = 0;
    if (!Matches(head, 0, "BM") || !head.readU32(14, headerSize))
        return false;
    for (uint32_t known : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
        if (headerSize == known)
            return true;
    return false;
}

} // namespace

std::string_view FileKindOf(ByteView head)
{
    if (head.empty())
        return "an empty file";
    for (const auto &[signature, kind] : kSignatures)
        if (Matches(head, 0, signature))
            return kind;
    // Of the RIFF files (sounds, films), the animated cursors.
    if (Matches(head, 0, "RIFF") && Matches(head, 8, "ACON"))
        return kKindAnimatedCursor;
    return IsBmp(head) ? "a BMP image" : std::string_view();
}

bool ReadFileHead(const std::string &fileName, std::vector<uint8_t> &head, TReadError *error)
{
    uint64_t size = 0;
    FileHandle file = OpenRegularFile(fileName, error, &size);
    if (!file)
        return false;
    head.resize(size < kFileKindBytes ? size : kFileKindBytes);
    return ReadAt(file.Get(), 0, head.data(), head.size(), error);
}

} // namespace vexillo
