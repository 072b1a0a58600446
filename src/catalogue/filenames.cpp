#include "catalogue/filenames.h"

#include "formats/ascii.h"

#include <climits>

namespace vexillo {

namespace {

// The extension from the last dot on, dot included; empty without a dot.
std::string extensionOf(const std::string &fileName)
{
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos)
        return {};
    return LowerAscii(fileName.substr(dot));
}

} // namespace

uint32_t FileTypeOf(const std::string &FileName)
{
    const std::string ext = extensionOf(FileName);
    if (ext == ".exe")
        return ftExe;
    if (ext == ".dll")
        return ftDll;
    if (ext == ".ico")
        return ftIco;
    if (ext == ".cpl")
        return ftCpl;
    if (ext == ".ocx")
        return ftOcx;
    if (ext == ".icl")
        return ftIcl;
    if (ext == ".mun")
        return ftMun;
    if (ext == ".scr")
        return ftScr;
    if (ext == ".cur")
        return ftCur;
    if (ext == ".ani")
        return ftAni;
    return 0;
}

bool IsIconFile(const std::string &FileName)
{
    return extensionOf(FileName) == ".ico";
}

bool IsCursorFile(const std::string &FileName)
{
    return extensionOf(FileName) == ".cur";
}

bool IsAnimatedCursorFile(const std::string &FileName)
{
    return extensionOf(FileName) == ".ani";
}

TEntryKind EntryKindOfFile(const std::string &FileName)
{
    const std::string ext = extensionOf(FileName);
    return ext == ".cur" ? TEntryKind::Cursor : ext == ".ani" ? TEntryKind::AnimatedCursor : TEntryKind::Icon;
}

bool ReadsAsInteger(const std::string &text, int &value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    long long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
        if (result > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    value = static_cast<int>(result);
    return true;
}

} // namespace vexillo
