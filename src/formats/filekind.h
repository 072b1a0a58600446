// What a file is, told by its first bytes: the words with which a failure
// says what a file that is not an icon file or a Windows program is instead.
#pragma once

#include "formats/byteview.h"
#include "formats/readerror.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexillo {

// How many of a file's first bytes FileKindOf looks at.
inline constexpr uint64_t kFileKindBytes = 32;

// The kinds FileKindOf names besides the foreign ones: what the programs
// read themselves.
inline constexpr std::string_view kKindIconFile = "an icon file";
inline constexpr std::string_view kKindWindowsModule = "a Windows program or library";
inline constexpr std::string_view kKindCursorFile = "a cursor";
inline constexpr std::string_view kKindAnimatedCursor = "an animated cursor";

// "a PNG image", "a Linux program or library (ELF)", "an empty file"...:
// what the first bytes of a file (up to kFileKindBytes of them, all of a
// shorter file) say it is; empty when they name no kind known here.
std::string_view FileKindOf(ByteView head);

// The first bytes of a file, up to kFileKindBytes; false, with the reason,
// when it cannot be opened or read.
bool ReadFileHead(const std::string &fileName, std::vector<uint8_t> &head, TReadError *error);

} // namespace vexillo
