// The picture a file manager shows for a Windows program, an .ico or .cur
// file or an animated cursor: the icon the file shows, at the size asked for.
#pragma once

#include "formats/loadbudget.h"
#include "formats/readerror.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexillo {

// The largest thumbnail, in pixels.
inline constexpr int kMaxThumbnailSize = 1024;

// The PNG (8-bit RGBA, transparency kept) of the icon `FileName` shows: an
// ICO or CUR file's, an animated cursor's first frame to show (told by the
// header, whatever the name), or a module's (PE or NE) first icon group in
// directory order. Of its images the one that is the smallest
// at least Size pixels, else the largest, scaled down so that its larger side
// is Size, never up; an image that does not decode gives way to the next
// (images holding the very same bytes are tried once). Any other file is
// refused at its first bytes. Everything done draws on the file's budget,
// the PNG's bytes included. False, with the reason in `Error` (Code None for
// a file that holds no icon), when there is no picture.
// The file's budget goes to *Budget when given, for a caller that measures
// what was spent.
bool MakeThumbnail(const std::string &FileName, int Size, std::vector<uint8_t> &Png, TReadError &Error,
                   TLoadBudgetPtr *Budget = nullptr);

} // namespace vexillo
