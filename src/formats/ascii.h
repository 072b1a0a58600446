// ASCII case, as file formats compare names: resource names, INI section and
// key names and file extensions match without regard to the case of A to Z,
// whatever the bytes beyond ASCII are.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace vexillo {

inline char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string LowerAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
    return text;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

inline char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The order in which a Windows file system keeps a folder's names: by the
// names' upper case, so that "_a" comes after "Zeta" and "b" after "A"; names
// that differ only in case are then ordered by their bytes, so that the order
// is total and the same on every disk.
inline bool NameOrderLess(std::string_view a, std::string_view b)
{
    const auto folded = [](char x, char y) {
        return static_cast<unsigned char>(AsciiUpper(x)) < static_cast<unsigned char>(AsciiUpper(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded))
        return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded))
        return false;
    return a < b;
}

} // namespace vexillo
