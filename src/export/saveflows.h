// The window's save flows without Qt: writing the selected catalogue entries
// as ICO or PNG files, and one image as a BMP or PNG file, named by number in
// a chosen folder (export/outputnames.h makes the names).
#pragma once

#include "catalogue/catalogue.h"
#include "export/outputnames.h"
#include "export/pngpictures.h"
#include "platform/gdi.h"

#include <functional>
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
    TEntryKind Kind = TEntryKind::Icon;
};

// Writes each entry as Path + caption + ".ico" (".cur" for a cursor, ".ani"
// for an animated cursor, its file as it is) holding every image of its
// group, in order. Before each entry `pump` runs (the window stays
// responsive). An entry whose group no longer loads is skipped; a group
// without images writes no file. The first write error is raised and ends
// the save; the files written before it stay.
void SaveIcons(TCatalogue &Catalogue, const std::vector<TSaveEntry> &Entries, const std::string &Path,
               const std::function<void()> &pump);

// Writes the image as a PNG file, replacing one of that name. Raises
// EInvalidGraphic when the image does not decode, and the writer's errors.
void SaveImageAsPng(const TIconImage &Image, const std::string &FileName);

// Writes every image of each entry's group as Path + caption + "-" + its
// number + ".png", as SaveIcons writes ICO files. An image that does not
// decode is passed over: the count of those is returned, and the reason of
// the first goes to `firstSkipped`.
int SaveIconsAsPng(TCatalogue &Catalogue, const std::vector<TSaveEntry> &Entries, const std::string &Path,
                   const std::function<void()> &pump, std::string &firstSkipped);

// Converts the graphic over white into a bitmap and writes it as a 24-bit
// BMP file. Raises the conversion's and the writer's errors.
void SaveImageAsBitmap(TIcon &Graphic, const std::string &FileName);

} // namespace vexillo
