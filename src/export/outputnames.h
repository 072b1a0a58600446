// The names of the files a save or an extraction writes: the window's
// numbered names ("12.ico", "12-3.png") and an extraction's names made from
// the source's and the group's names, made safe and unique.
#pragma once

#include "catalogue/filenames.h"
#include "icons/icontypes.h"

#include <cstddef>
#include <map>
#include <string>

namespace vexillo {

// The folder with exactly one "/" at its end; empty stays empty.
std::string WithTrailingSlash(const std::string &folder);

// The file a saved icon or image is written to in Folder (ending in "/"):
// the icon's catalogue number, then "-" and the image's number (from 1) when
// one image of it is saved, then the extension ("12.ico", "12-3.png"). An
// image saved on its own from the preview is named by its number alone
// (Icon empty: "3.bmp").
std::string SavedFileName(const std::string &Folder, const std::string &Icon, int Image, const std::string &Extension);

// The longest text one part of an extracted file's name (the source's name,
// the group's name) keeps, in bytes: with the separator, a "~N" suffix, an
// image number and the extension, a name stays well below the 255 bytes a
// Linux file name may have.
inline constexpr size_t kMaxNamePartBytes = 100;

// A name from a file (a group's name, a file's own name) made fit to be part
// of a file name: '/', '\\', NUL and the other control characters (C0, DEL,
// and C1 written as UTF-8) become '_', and the text is cut to `maxBytes`
// bytes without splitting a UTF-8 character. Other bytes stay as they are.
std::string SafeFileNamePart(const std::string &Text, size_t maxBytes = kMaxNamePartBytes);

// The name an extracted catalogue entry is saved under, before it is made
// unique: Base is "SOURCE_GROUP" for a module's group ("shell32.dll_3",
// "app.exe_MAINICON"), the file's name without its extension for an .ico
// file; Extension is ".ico" for a group and the file's own for an .ico
// file. Each part is made safe (SafeFileNamePart); a Base that would start
// with '.' starts with '_' instead, and an empty one is "_". So a Base is
// never "." or "..", and never holds a '/'.
struct TExtractedName {
    std::string Base;
    std::string Extension;
};
TExtractedName ExtractedFileName(const TIconItem &Item);

// The names of one extraction: Claim hands out each base name once, giving
// a name already handed out (compared without regard to ASCII case, as a
// FAT or NTFS folder compares them) the suffix "~2", "~3", ..., the first
// of those still free.
class TUniqueNames {
public:
    std::string Claim(const std::string &Base);

private:
    // Every name handed out, in lower case, with the next suffix to try.
    std::map<std::string, unsigned> FTaken;
};

} // namespace vexillo
