#include "export/outputnames.h"

#include "formats/ascii.h"

namespace vexillo {

std::string WithTrailingSlash(const std::string &folder)
{
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + "/";
}

std::string SavedFileName(const std::string &Folder, const std::string &Icon, int Image, const std::string &Extension)
{
    std::string name = Icon;
    if (Image > 0)
        name += (name.empty() ? "" : "-") + std::to_string(Image);
    return Folder + name + Extension;
}

std::string SafeFileNamePart(const std::string &Text, size_t maxBytes)
{
    std::string out;
    size_t i = 0;
    while (i < Text.size() && out.size() < maxBytes) {
        const auto c = static_cast<unsigned char>(Text[i]);
        const bool c1 = c == 0xC2 && i + 1 < Text.size() && (static_cast<unsigned char>(Text[i + 1]) & 0xE0) == 0x80;
        if (c1 || c < 0x20 || c == 0x7F || c == '/' || c == '\\') {
            out += '_';
            i += c1 ? 2 : 1;
        } else {
            out += Text[i++];
        }
    }
    // A character cut in two at the end goes whole: its continuation bytes
    // (at most three) and the byte that leads them.
    if (i < Text.size() && (static_cast<unsigned char>(Text[i]) & 0xC0) == 0x80) {
        for (int n = 0; n < 3 && !out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80; ++n)
            out.pop_back();
        if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0)
            out.pop_back();
    }
    return out;
}

TExtractedName ExtractedFileName(const TIconItem &Item)
{
    const size_t slash = Item.FileName.rfind('/');
    const std::string name = slash == std::string::npos ? Item.FileName : Item.FileName.substr(slash + 1);
    TExtractedName out;
    if (IsIconFile(name) || IsCursorFile(name) || IsAnimatedCursorFile(name)) {
        const size_t dot = name.rfind('.');
        out.Base = SafeFileNamePart(name.substr(0, dot));
        out.Extension = name.substr(dot);
    } else {
        out.Base = SafeFileNamePart(name) + "_" + SafeFileNamePart(Item.GroupName);
        out.Extension = Item.Kind == TEntryKind::Cursor ? ".cur" : ".ico";
    }
    if (out.Base.empty())
        out.Base = "_";
    else if (out.Base[0] == '.')
        out.Base[0] = '_';
    return out;
}

std::string TUniqueNames::Claim(const std::string &Base)
{
    const std::string key = LowerAscii(Base);
    const auto [first, fresh] = FTaken.try_emplace(key, 2u);
    if (fresh)
        return Base;
    // The suffixes tried go on from the last one handed out, so a thousand
    // groups of one name cost a thousand claims, not half a million.
    for (;;) {
        const std::string suffix = "~" + std::to_string(first->second++);
        if (FTaken.try_emplace(key + suffix, 2u).second)
            return Base + suffix;
    }
}

} // namespace vexillo
