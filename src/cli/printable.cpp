#include "cli/printable.h"

#include <cstdint>
#include <cstdio>

namespace vexillo {

namespace {

// The length of the well-formed UTF-8 sequence that starts at `at` (2 to 4),
// or 0 when the bytes there are not one.
size_t Utf8SequenceLength(std::string_view text, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = 0;
    uint8_t low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    return length;
}

void AppendHex(std::string &out, const char *prefix, unsigned value, int digits)
{
    char code[12];
    std::snprintf(code, sizeof code, "%s%0*X", prefix, digits, value);
    out += code;
}

} // namespace

std::string Printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        // Printable text is copied in runs: ASCII but controls and the
        // backslash, and well-formed UTF-8 but the C1 controls.
        size_t run = i;
        while (run < text.size()) {
            const auto c = static_cast<uint8_t>(text[run]);
            if (c >= 0x20 && c < 0x7F && c != '\\') {
                ++run;
                continue;
            }
            const size_t length = c >= 0x80 ? Utf8SequenceLength(text, run) : 0;
            if (length == 0 || (length == 2 && c == 0xC2 && static_cast<uint8_t>(text[run + 1]) < 0xA0))
                break;
            run += length;
        }
        out.append(text, i, run - i);
        i = run;
        if (i == text.size())
            break;
        const auto c = static_cast<uint8_t>(text[i]);
        switch (c) {
        case '\t':
            out += "\\t";
            ++i;
            continue;
        case '\n':
            out += "\\n";
            ++i;
            continue;
        case '\r':
            out += "\\r";
            ++i;
            continue;
        case '\\':
            out += "\\\\";
            ++i;
            continue;
        default: break;
        }
        if (c < 0x80) { // the other C0 controls, NUL and DEL
            AppendHex(out, "\\x", c, 2);
            ++i;
            continue;
        }
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            AppendHex(out, "\\x", c, 2);
            ++i;
        } else if (length == 2 && c == 0xC2 && static_cast<uint8_t>(text[i + 1]) < 0xA0) {
            AppendHex(out, "\\u", static_cast<uint8_t>(text[i + 1]), 4); // a C1 control
            i += 2;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

} // namespace vexillo
