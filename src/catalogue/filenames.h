// What a file's or a group's name says: the type a file's extension gives it
// (the types a folder scan opens) and the number a group's name reads as.
#pragma once

#include "icons/icontypes.h"

#include <cstdint>
#include <string>

namespace vexillo {

// File-type bits of a folder scan's type mask.
inline constexpr uint32_t ftExe = 0x1;
inline constexpr uint32_t ftDll = 0x10;
inline constexpr uint32_t ftIco = 0x100;
inline constexpr uint32_t ftCpl = 0x1000;
inline constexpr uint32_t ftOcx = 0x10000;
inline constexpr uint32_t ftAll = ftExe | ftDll | ftIco | ftCpl | ftOcx;
// Further types, each with a bit of its own: icon libraries (16-bit NE or
// PE .icl files), resource-only modules (.mun), screen savers (.scr) and
// cursors (.cur, and animated .ani).
inline constexpr uint32_t ftIcl = 0x100000;
inline constexpr uint32_t ftMun = 0x1000000;
inline constexpr uint32_t ftScr = 0x10000000;
inline constexpr uint32_t ftCur = 0x2;
inline constexpr uint32_t ftAni = 0x20;
// The types a search reads unless told otherwise: every module type, not
// cursors (they are asked for).
inline constexpr uint32_t ftSearchDefault = ftAll | ftIcl | ftMun | ftScr;
// Every type a scan reads.
inline constexpr uint32_t ftEveryType = ftAll | ftIcl | ftMun | ftScr | ftCur | ftAni;

// The type bit of a file from its extension (from the last dot on, ASCII
// letters lowered); 0 for any other extension or none.
uint32_t FileTypeOf(const std::string &FileName);
// True when the file's extension is ".ico" in any case: such a file is read
// as an ICO file, one with ".cur" or ".ani" as a cursor, any other as a
// module.
bool IsIconFile(const std::string &FileName);
bool IsCursorFile(const std::string &FileName);
bool IsAnimatedCursorFile(const std::string &FileName);
// The kind of entry a file that is not a module makes: a cursor for ".cur",
// an animated cursor for ".ani", else an icon.
TEntryKind EntryKindOfFile(const std::string &FileName);
// True when the whole text is a decimal integer (an optional sign, then
// digits only) that fits in an int; the value goes to `value`.
bool ReadsAsInteger(const std::string &text, int &value);

} // namespace vexillo
