#include "cli/printable.h"

#include "formats/utf8.h"

#include <cstdint>
#include <cstdio>

namespace vexillo {

namespace {

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
