// Well-formed UTF-8, as the programs check text from files and file names
// before they print it: no overlong forms, no surrogates, nothing past
// U+10FFFF.
#pragma once

#include <cstddef>
#include <string_view>

namespace vexillo {

// The length of the well-formed multi-byte UTF-8 sequence that starts at
// `at` (2 to 4), or 0 when the bytes there are not one (an ASCII byte
// included).
size_t Utf8SequenceLength(std::string_view text, size_t at);

// Whether the whole text is well-formed UTF-8.
bool IsUtf8(std::string_view text);

} // namespace vexillo
