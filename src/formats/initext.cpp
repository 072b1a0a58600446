#include "formats/initext.h"

#include "formats/ascii.h"

#include <algorithm>
#include <stdexcept>
#include <cerrno>
#include <unordered_set>

namespace vexillo {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// ---- Lines -----------------------------------------------------------------

enum class TLineKind { Blank, Comment, Header, Key, Other };

struct TLine {
    size_t Start = 0; // first byte of the line
    size_t End = 0;   // end of its text, before the CR LF or LF
    size_t Next = 0;  // first byte of the next line
    TLineKind Kind = TLineKind::Blank;
    std::string_view Name; // the section's name (Header) or the key's (Key)
    size_t ValueStart = 0; // Key: the byte after the '='
};

// Walks the lines of a file's text one at a time.
class TLineCursor {
public:
    explicit TLineCursor(std::string_view text)
        : FText(text), FPos(text.substr(0, kBom.size()) == kBom ? kBom.size() : 0)
    {
    }

    bool Next(TLine &line)
    {
        if (FPos >= FText.size())
            return false;
        line = TLine{};
        line.Start = FPos;
        const size_t lf = FText.find('\n', FPos);
        line.Next = lf == std::string_view::npos ? FText.size() : lf + 1;
        line.End = lf == std::string_view::npos ? FText.size() : lf;
        while (line.End > line.Start && FText[line.End - 1] == '\r')
            --line.End;
        FPos = line.Next;

        const std::string_view content = FText.substr(line.Start, line.End - line.Start);
        const std::string_view trimmed = Trim(content);
        if (trimmed.empty()) {
            line.Kind = TLineKind::Blank;
        } else if (trimmed.front() == ';') {
            line.Kind = TLineKind::Comment;
        } else if (trimmed.front() == '[') {
            line.Kind = TLineKind::Header;
            const size_t close = trimmed.find(']');
            line.Name = Trim(trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        } else {
            const size_t eq = content.find('=');
            const std::string_view name =
                eq == std::string_view::npos ? std::string_view() : Trim(content.substr(0, eq));
            if (name.empty()) {
                line.Kind = TLineKind::Other;
            } else {
                line.Kind = TLineKind::Key;
                line.Name = name;
                line.ValueStart = line.Start + eq + 1;
            }
        }
        return true;
    }

private:
    std::string_view FText;
    size_t FPos;
};

// Where a key sits: the first section of that name, and the first line of the
// key inside it.
struct TKeyPlace {
    bool SectionFound = false;
    bool KeyFound = false;
    TLine KeyLine;
    size_t InsertAt = 0; // after the section's last line that is not blank or a comment
};

// Hands `visit` the header of the first section named `section`, then each
// line of that section up to the next header; `visit` returns false to stop.
template <typename Visit> void VisitSection(std::string_view text, std::string_view section, Visit visit)
{
    TLineCursor cursor(text);
    TLine line;
    bool inSection = false;
    while (cursor.Next(line)) {
        if (line.Kind == TLineKind::Header) {
            if (inSection)
                return;
            inSection = SameText(line.Name, section);
        }
        if (inSection && !visit(line))
            return;
    }
}

TKeyPlace FindKey(std::string_view text, std::string_view section, std::string_view key)
{
    TKeyPlace place;
    VisitSection(text, section, [&](const TLine &line) {
        if (line.Kind == TLineKind::Header) {
            place.SectionFound = true;
            place.InsertAt = line.Next;
            return true;
        }
        if (line.Kind == TLineKind::Key && !place.KeyFound && SameText(line.Name, key)) {
            place.KeyFound = true;
            place.KeyLine = line;
        }
        if (line.Kind == TLineKind::Key || line.Kind == TLineKind::Other)
            place.InsertAt = line.Next;
        return true;
    });
    return place;
}

// The start of the n+1-th character: a character is a byte that is not a
// UTF-8 continuation byte, with up to three continuation bytes after it.
size_t CharacterPrefixLength(std::string_view s, size_t characters)
{
    size_t count = 0;
    int trailing = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80;
        if (continuation && count > 0 && trailing < 3) {
            ++trailing;
            continue;
        }
        if (count == characters)
            return i;
        ++count;
        trailing = 0;
    }
    return s.size();
}

bool IsQuote(char c)
{
    return c == '"' || c == '\'';
}

std::string ValueOf(std::string_view text, const TLine &line)
{
    std::string_view value = text.substr(line.ValueStart, line.End - line.ValueStart);
    value = value.substr(0, value.find('\0'));
    value = Trim(value);
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, CharacterPrefixLength(value, kIniMaxValueLength)));
}

// The line end that new lines get: the one the file's first line uses, else LF.
std::string_view LineEndOf(std::string_view text)
{
    const size_t lf = text.find('\n');
    return lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
}

// The text as it is written: up to the first line break or NUL, in double
// quotes when reading would otherwise change it.
std::string StoredValue(std::string_view value)
{
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    const bool quote =
        !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                           (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()));
    return quote ? "\"" + std::string(value) + "\"" : std::string(value);
}

bool HasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string_view CheckedSection(std::string_view section)
{
    section = Trim(section);
    if (section.empty() || HasLineBreakOrNul(section) || section.find(']') != std::string_view::npos)
        throw std::invalid_argument("Invalid section name \"" + std::string(section) + "\"");
    return section;
}

std::string_view CheckedKey(std::string_view key)
{
    key = Trim(key);
    if (key.empty() || HasLineBreakOrNul(key) || key.find('=') != std::string_view::npos || key.front() == ';' ||
        key.front() == '[')
        throw std::invalid_argument("Invalid key name \"" + std::string(key) + "\"");
    return key;
}

} // namespace

// ---- Numbers and names -----------------------------------------------------

bool SameText(std::string_view a, std::string_view b)
{
    return EqualsIgnoringAsciiCase(a, b);
}

bool TryParseInteger(std::string_view text, int32_t &value)
{
    int base = 10;
    bool negative = false;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    const uint64_t limit = base == 16 ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    uint64_t n = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        n = n * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (n > limit)
            return false;
    }
    const uint32_t bits = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(n)) : static_cast<uint32_t>(n);
    value = static_cast<int32_t>(bits);
    return true;
}

// ---- Reading ---------------------------------------------------------------

std::optional<std::string> IniReadValue(std::string_view text, std::string_view section, std::string_view key)
{
    const TKeyPlace place = FindKey(text, Trim(section), Trim(key));
    if (!place.KeyFound)
        return std::nullopt;
    return ValueOf(text, place.KeyLine);
}

std::vector<std::string> IniReadSection(std::string_view text, std::string_view section)
{
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    size_t used = 0;
    VisitSection(text, Trim(section), [&](const TLine &line) {
        if (line.Kind != TLineKind::Key)
            return true;
        if (used + line.Name.size() + 1 > kIniMaxSectionListSize)
            return false;
        if (seen.insert(LowerAscii(std::string(line.Name))).second) {
            names.emplace_back(line.Name);
            used += line.Name.size() + 1;
        }
        return true;
    });
    return names;
}

// ---- Changing --------------------------------------------------------------

IniChange IniWriteValue(std::string &text, std::string_view section, std::string_view key, std::string_view value,
                        size_t maxSize)
{
    section = CheckedSection(section);
    key = CheckedKey(key);
    const std::string stored = StoredValue(value);
    // Every write is one replacement of a stretch of the text: the old value,
    // or nothing where a new line or section goes.
    const std::string_view eol = LineEndOf(text);
    const TKeyPlace place = FindKey(text, section, key);
    size_t at = text.size(), erase = 0;
    std::string insert;
    if (place.KeyFound) {
        // Keep the line up to its '=' and the blanks after it, then the
        // value and the line's own end.
        const TLine &line = place.KeyLine;
        at = line.ValueStart;
        while (!stored.empty() && at < line.End && IsBlank(text[at]))
            ++at;
        erase = line.End - at;
        insert = stored;
    } else {
        at = place.SectionFound ? place.InsertAt : text.size();
        if (at > 0 && text[at - 1] != '\n')
            insert.append(eol);
        if (!place.SectionFound) {
            // A blank line parts the new section from the last line before it.
            TLineCursor cursor(text);
            TLine line;
            TLineKind last = TLineKind::Blank;
            while (cursor.Next(line))
                last = line.Kind;
            if (last != TLineKind::Blank)
                insert.append(eol);
            insert.append("[").append(section).append("]").append(eol);
        }
        insert.append(key).append("=").append(stored).append(eol);
    }
    if (text.size() - erase + insert.size() > maxSize)
        return IniChange::TooLarge;
    text.replace(at, erase, insert);
    return IniChange::Changed;
}

IniChange IniDeleteKey(std::string &text, std::string_view section, std::string_view key)
{
    section = CheckedSection(section);
    key = CheckedKey(key);
    std::string out;
    TLineCursor cursor(text);
    TLine line;
    bool found = false, inSection = false, removed = false;
    size_t copied = 0;
    while (cursor.Next(line)) {
        if (line.Kind == TLineKind::Header) {
            if (inSection)
                break;
            inSection = !found && SameText(line.Name, section);
            found = found || inSection;
        } else if (inSection && line.Kind == TLineKind::Key && SameText(line.Name, key)) {
            out.append(text, copied, line.Start - copied);
            copied = line.Next;
            removed = true;
        }
    }
    if (!removed)
        return IniChange::Unchanged;
    out.append(text, copied);
    text = std::move(out);
    return IniChange::Changed;
}

IniChange IniEraseSection(std::string &text, std::string_view section)
{
    section = CheckedSection(section);
    std::string out;
    TLineCursor cursor(text);
    TLine line;
    bool inSection = false, removed = false;
    size_t copied = 0;
    while (cursor.Next(line)) {
        if (line.Kind == TLineKind::Header) {
            const bool match = SameText(line.Name, section);
            if (match && !inSection)
                out.append(text, copied, line.Start - copied);
            else if (!match && inSection)
                copied = line.Start;
            inSection = match;
            removed = removed || match;
        }
    }
    if (!removed)
        return IniChange::Unchanged;
    if (!inSection)
        out.append(text, copied);
    text = std::move(out);
    return IniChange::Changed;
}

} // namespace vexillo
