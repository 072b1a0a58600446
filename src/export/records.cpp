#include "export/records.h"

#include "catalogue/failuretext.h"
#include "catalogue/pages.h"
#include "formats/icondecode.h"
#include "formats/moduleresources.h"
#include "formats/utf8.h"

#include <cstdio>
#include <utility>

namespace vexillo {

namespace {

const char *KindName(TEntryKind Kind)
{
    switch (Kind) {
    case TEntryKind::Cursor: return "cursor";
    case TEntryKind::AnimatedCursor: return "animated";
    case TEntryKind::Icon: break;
    }
    return "icon";
}

// The group as a JSON value: a name as a string, a number as a number, null
// for a file that is one icon.
std::string GroupValue(const TIconItem &Entry)
{
    if (Entry.GroupIsName)
        return JsonString(Entry.GroupName);
    if (Entry.GroupName.empty())
        return "null";
    if (Entry.GroupName.find_first_not_of("0123456789") != std::string::npos)
        return JsonString(Entry.GroupName); // an entry made without the scan's flag
    return Entry.GroupName;
}

// The exact form of a name UTF-8 cannot carry: its code units; else null.
std::string GroupUnitsValue(const TIconItem &Entry)
{
    if (!Entry.GroupEscaped)
        return "null";
    std::string out = "[";
    for (const char16_t unit : EscapedNameUnits(Entry.GroupName))
        out += (out.size() > 1 ? "," : "") + std::to_string(static_cast<unsigned>(unit));
    return out + "]";
}

std::string ImagesValue(const TAdvancedIcon &Icon)
{
    std::string out = "[";
    for (uint16_t i = 0; i < Icon.Images.Count; ++i) {
        const TIconImage *image = Icon.Images.GetItem(i);
        if (!image)
            continue;
        const TPictureSize size = PreviewPictureSize(*image);
        if (out.size() > 1)
            out += ',';
        out += "{\"width\":" + std::to_string(size.Width) + ",\"height\":" + std::to_string(size.Height) +
               ",\"bits\":" + std::to_string(image->BitCount) +
               ",\"png\":" + (IsPngStream(image->StoredBytes()) ? "true" : "false") +
               ",\"bytes\":" + std::to_string(image->StoredSize()) + "}";
    }
    return out + "]";
}

} // namespace

void ForEachEntryKey(TCatalogue &Catalogue,
                     const std::function<void(int Position, const TIconItem &Entry, const TEntryKey &Key)> &each)
{
    const auto keeper = Catalogue.KeepModuleOpen();
    TPagePictures pictures;
    for (size_t i = 0; i < Catalogue.IconItems.size(); ++i) {
        const TIconItem &entry = *Catalogue.IconItems[i];
        TEntryKey key;
        ComputeEntryKey(Catalogue, entry, pictures, key);
        each(static_cast<int>(i), entry, key);
    }
}

std::string EntryFailure(const TGroupLoader &Loader, const TIconItem &Entry)
{
    // A group that loads but cannot be written again is the one failure
    // that leaves no reason behind.
    return Loader.LastError() ? FileFailureText(Entry.FileName, Loader.LastError())
                              : "the icon cannot be saved as a file";
}

std::string EntryRecord(const TGroupLoader &Loader, const TIconItem &Entry, const TEntryKey &Key)
{
    const bool utf8 = IsUtf8(Entry.FileName);
    const int language = Loader.GroupLanguage();
    std::string record = "{\"file\":" + JsonString(Entry.FileName) +
                         ",\"file_base64\":" + (utf8 ? "null" : JsonString(Base64(Entry.FileName))) + ",\"kind\":\"" +
                         KindName(Entry.Kind) + "\",\"group\":" + GroupValue(Entry) +
                         ",\"group_utf16\":" + GroupUnitsValue(Entry) +
                         ",\"language\":" + (language < 0 ? "null" : std::to_string(language)) +
                         ",\"images\":" + ImagesValue(Loader.CurrentIcon) + ",\"identity\":";
    if (Key.Has(TEntryKey::Keyed))
        record += "\"" + HexDigest(Key.Identity) + "\"";
    else
        record += "null";
    for (const auto &[name, value] : {std::pair{",\"picture_key\":", Key.PictureKey.Whole},
                                      std::pair{",\"content_key\":", Key.PictureKey.Content}}) {
        record += name;
        if (Key.Has(TEntryKey::HasPicture)) {
            char hex[20];
            std::snprintf(hex, sizeof hex, "\"%016llx\"", static_cast<unsigned long long>(value));
            record += hex;
        } else {
            record += "null";
        }
    }
    record += ",\"error\":" + (Key.Has(TEntryKey::Keyed) ? "null" : JsonString(EntryFailure(Loader, Entry)));
    return record + "}";
}

std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (c >= 0x80) {
            const size_t length = Utf8SequenceLength(text, i);
            if (length == 0) {
                out += "\xEF\xBF\xBD"; // U+FFFD
                ++i;
            } else if (length == 2 && c == 0xC2 && static_cast<uint8_t>(text[i + 1]) < 0xA0) {
                // A C1 control (U+0080 to U+009F) escaped, as a terminal
                // may act on it.
                char code[8];
                std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(static_cast<uint8_t>(text[i + 1])));
                out += code;
                i += length;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        ++i;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char code[8];
                std::snprintf(code, sizeof code, "\\u%04x", c);
                out += code;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Base64(std::string_view bytes)
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        uint32_t group = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16;
        if (left > 1)
            group |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
        if (left > 2)
            group |= static_cast<uint8_t>(bytes[i + 2]);
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += left > 1 ? kDigits[(group >> 6) & 63] : '=';
        out += left > 2 ? kDigits[group & 63] : '=';
    }
    return out;
}

} // namespace vexillo
