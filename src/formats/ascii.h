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

} // namespace vexillo
