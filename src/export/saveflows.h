// The window's save flows without Qt: writing the selected catalogue entries
// as ICO or PNG files, and one image as a BMP or PNG file, named by number in
// a chosen folder (export/outputnames.h makes the names). A file of a name
// that is taken is replaced only when the user says so (TSaveTarget).
#pragma once

#include "catalogue/grouploader.h"
#include "export/outputnames.h"
#include "export/pngpictures.h"
#include "platform/gdi.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vexillo {

// What the user answers when a file a save would write exists: replace it,
// replace it and every other one of the same save, keep it and go on, or
// end the save (the files written so far stay).
enum class TReplaceAnswer { Replace, ReplaceAll, Skip, Cancel };
// Asked with the taken name and the size of the file that would replace it.
using TAskReplace = std::function<TReplaceAnswer(const std::string &FileName, uint64_t NewSize)>;

// The files of one save: each is written as a new file; a name that is taken
// (by anything, a link too) is put to `Ask` and replaced only on its word,
// "Replace all" answering for the rest of the save. Without `Ask` a taken
// name is kept. Raises the writers' errors (EFCreateError, EWriteError).
class TSaveTarget {
public:
    explicit TSaveTarget(TAskReplace Ask = nullptr) : FAsk(std::move(Ask)) {}

    // Writes Bytes as FileName; false when it was skipped, or the save has
    // been cancelled (then nothing more is written).
    bool Write(const std::string &FileName, const std::vector<uint8_t> &Bytes);
    bool Cancelled() const { return FCancelled; }
    int Written() const { return FWritten; }
    int Skipped() const { return FSkipped; }

private:
    TAskReplace FAsk;
    bool FReplaceAll = false;
    bool FCancelled = false;
    int FWritten = 0;
    int FSkipped = 0;
};

// The question about a taken name: the file's name, its folder, its size
// and time, and the size of the new one.
std::string ReplaceQuestionText(const std::string &FileName, uint64_t NewSize);

// A selected entry of the icon list, read once before the save loop: its
// caption (the catalogue number) and a copy of its catalogue entry, which
// names the group by its place, its kind (number or name) and its value.
struct TSaveEntry {
    std::string Caption;
    TIconItem Item;
};

// Writes each entry as Path + caption + ".ico" (".cur" for a cursor, ".ani"
// for an animated cursor, its file as it is) holding every image of its
// group, in order, through Target. Before each entry `pump` runs (the window
// stays responsive). An entry whose group no longer loads is skipped; a group
// without images writes no file; a cancel at a taken name ends the save. The
// first write error is raised and ends the save; the files written before it
// stay.
void SaveIcons(TGroupLoader &Loader, const std::vector<TSaveEntry> &Entries, const std::string &Path,
               const std::function<void()> &pump, TSaveTarget &Target);

// The image as the bytes of a PNG file. Raises EInvalidGraphic when the
// image does not decode.
std::vector<uint8_t> ImagePngBytes(const TIconImage &Image);

// Writes every image of each entry's group as Path + caption + "-" + its
// number + ".png", as SaveIcons writes ICO files. An image that does not
// decode is passed over: the count of those is returned, and the reason of
// the first goes to `firstSkipped`.
int SaveIconsAsPng(TGroupLoader &Loader, const std::vector<TSaveEntry> &Entries, const std::string &Path,
                   const std::function<void()> &pump, TSaveTarget &Target, std::string &firstSkipped);

// The graphic converted over white into a bitmap, as the bytes of a 24-bit
// BMP file. Raises the conversion's errors.
std::vector<uint8_t> BitmapFileBytes(TIcon &Graphic);

} // namespace vexillo
