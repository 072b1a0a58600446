// The text of a settings file in the INI format, read and changed in memory.
//
// Format as read: "[Section]" lines start sections; "Key=Value" lines inside
// a section are keys (the text before the first '=', blanks trimmed); lines
// starting with ';' are comments; other lines are kept but are not keys.
// Section and key names are compared without regard to ASCII case. Lines end
// in LF or CR LF, and a UTF-8 byte order mark at the start is skipped. When a
// section or a key appears twice, the first one is the one that counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexillo {

// A value is read up to this many characters (the platform's buffer).
inline constexpr size_t kIniMaxValueLength = 2047;
// A section's key names are listed while they fit this buffer, one
// terminator each.
inline constexpr size_t kIniMaxSectionListSize = 16384;

// Reads a whole number: decimal with an optional sign, or hexadecimal after
// "$", "0x" or "0X" (up to 32 bits, taken as the bit pattern of an int32).
// False when the text is anything else or the number does not fit.
bool TryParseInteger(std::string_view text, int32_t &value);

// True when a and b are equal without regard to ASCII case, as section and
// key names are compared.
bool SameText(std::string_view a, std::string_view b);

// The value of the key with blanks (spaces, tabs) around it trimmed and one
// pair of matching quotes (' or ") around it removed, cut to
// kIniMaxValueLength characters; nothing when the section or key is missing.
std::optional<std::string> IniReadValue(std::string_view text, std::string_view section, std::string_view key);

// The names of the keys of a section in text order, each name once (as first
// spelled), as many as fit kIniMaxSectionListSize.
std::vector<std::string> IniReadSection(std::string_view text, std::string_view section);

// The changes. Each raises std::invalid_argument for a name that cannot be
// stored (empty, a line break, '=' in a key, ']' in a section, a key starting
// with ';' or '['), and leaves the text as it was when it raises or when the
// change would make the text longer than maxSize (TooLarge).
enum class IniChange { Unchanged, Changed, TooLarge };

// Sets the value of a key. An existing key keeps its line, its spelling and
// its layout up to the value; a new key goes after the last line of its
// section that is not blank and not a comment; a new section goes at the end.
// Every other line stays byte for byte. The value is stored up to its first
// line break or NUL; one that would not read back as written (blanks at its
// ends, or a quote at both ends) is stored in double quotes.
IniChange IniWriteValue(std::string &text, std::string_view section, std::string_view key, std::string_view value,
                        size_t maxSize);
// Removes every line of the key from the section that reading uses.
IniChange IniDeleteKey(std::string &text, std::string_view section, std::string_view key);
// Removes every section of that name whole: its header and its lines up to
// the next section.
IniChange IniEraseSection(std::string &text, std::string_view section);

} // namespace vexillo
