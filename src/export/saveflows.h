// The save flows without Qt: writing the selected catalogue entries as ICO
// or PNG files, and one image as a BMP or PNG file, named by number in a
// chosen folder.
#pragma once

#include "catalogue/catalogue.h"
#include "platform/gdi.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vexillo {

// A selected entry of the icon list, read once before the save loop: its
// caption (the catalogue number) and its link to the catalogue.
struct TSaveEntry {
    std::string Caption;
    std::string FileName;
    std::string GroupName;
    // The group's place in its module, as the catalogue entry keeps it.
    int32_t GroupPlace = -1;
};

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

// Writes each entry as Path + caption + ".ico" holding every image of its
// group, in order. Before each entry `pump` runs (the window stays
// responsive). An entry whose group no longer loads is skipped; a group
// without images writes no file. The first write error is raised and ends
// the save; the files written before it stay.
void SaveIcons(TCatalogue &Catalogue, const std::vector<TSaveEntry> &Entries, const std::string &Path,
               const std::function<void()> &pump);

// The picture of an image at its own size as a PNG file's bytes: an image
// stored as a PNG stream as it is, once its chunks are found whole; any
// other drawn with its transparency. False, with the reason in `why`, when
// the image does not decode or its load's budget refuses the work.
bool ImageAsPng(const TIconImage &Image, std::vector<uint8_t> &Png, std::string &why);

// Writes the image as a PNG file, replacing one of that name. Raises
// EInvalidGraphic when the image does not decode, and the writer's errors.
void SaveImageAsPng(const TIconImage &Image, const std::string &FileName);

// Writes every image of each entry's group as Path + caption + "-" + its
// number + ".png", as SaveIcons writes ICO files. An image that does not
// decode is passed over: the count of those is returned, and the reason of
// the first goes to `firstSkipped`.
int SaveIconsAsPng(TCatalogue &Catalogue, const std::vector<TSaveEntry> &Entries, const std::string &Path,
                   const std::function<void()> &pump, std::string &firstSkipped);

// The largest picture an icon theme gets from an icon, in pixels.
inline constexpr int kMaxThemeSize = 512;

// The pictures an icon theme (hicolor) takes from an icon, smallest first,
// each handed to `write` as its size and its PNG bytes (8-bit RGBA, alpha
// kept): one for every square size of at most kMaxThemeSize pixels that the
// icon holds, made from its deepest image of that size (a PNG counts as 32
// bits; of equal depths the first). When its largest square image is larger
// than 256 pixels and it has no 256-pixel image, a 256-pixel picture scaled
// down from the largest image is added. An image that does not decode gives
// way to the next of its size (or, for 256, the next larger); its reason goes
// to `skipped` as "image K: reason". Images that hold the very same bytes are
// tried once, and every attempt draws on the icon's budget: when it is spent
// the pictures end there. The pictures are encoded from the decoded pixels,
// so the theme never holds the file's own PNG bytes.
void IconThemePictures(const TAdvancedIcon &Icon, const std::function<void(int, const std::vector<uint8_t> &)> &write,
                       std::vector<std::string> &skipped);

// Converts the graphic over white into a bitmap and writes it as a 24-bit
// BMP file. Raises the conversion's and the writer's errors.
void SaveImageAsBitmap(TIcon &Graphic, const std::string &FileName);

} // namespace vexillo
