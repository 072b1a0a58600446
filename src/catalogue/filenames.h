// What a file's or a group's name says: the type a file's extension gives it
// (the types a folder scan opens) and the number a group's name reads as.
#pragma once

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

// The type bit of a file from its extension (from the last dot on, ASCII
// letters lowered); 0 for any other extension or none.
uint32_t FileTypeOf(const std::string &FileName);
// True when the file's extension is ".ico" in any case: such a file is read
// as an ICO file, any other as a module.
bool IsIconFile(const std::string &FileName);
// True when the whole text is a decimal integer (an optional sign, then
// digits only) that fits in an int; the value goes to `value`.
bool ReadsAsInteger(const std::string &text, int &value);

} // namespace vexillo
