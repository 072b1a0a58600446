// The image on preview saved and copied, without Qt: one image as a
// one-image ICO file, a BMP file or a PNG file named by its number, the image
// Copy takes, and the guard that turns a save's error into the one message
// the window shows.
#pragma once

#include "export/saveflows.h"
#include "icons/advancedicon.h"
#include "platform/iconobject.h"

#include <functional>
#include <string>

namespace vexillo {

enum class TImageFile { Icon, Bitmap, Png };

// Writes image `Index` of the icon on its own in Folder (ending in "/"),
// named by its number from 1: "3.ico" holding that image alone ("3.cur" with
// its hot spot, for a cursor), "3.bmp"
// drawn over white, "3.png" with its transparency, through Target. False,
// writing nothing, when the icon has no such image. Raises the writers' and
// the conversion's errors.
bool SaveOneImage(TAdvancedIcon &Icon, int Index, TImageFile Format, const std::string &Folder, TSaveTarget &Target);

// The image Copy puts on the clipboard: the one of preview row `Row` when
// `Previewed`, else the icon's best image (the largest, the deepest of that
// size); null when there is none.
const TIconImage *ImageToCopy(const TAdvancedIcon &Icon, bool Previewed, int Row);

// Runs the steps of a save. The first error the save flows raise (a file
// that cannot be created or written, a picture that cannot be converted, an
// image index out of range, memory the system does not have) ends them,
// and `message` gets the text the window shows for it. False after an error.
bool RunSaveSteps(const std::function<void()> &steps, std::string &message);

// What a save of icons as PNG files reports when images did not decode.
std::string SkippedImagesText(int Skipped, const std::string &FirstSkipped);

} // namespace vexillo
