// The shell's icon extraction for .ico files: the picture of a file's icon
// at the standard icon size.
#pragma once

#include "platform/gdi.h"

#include <string>

namespace vexillo {

// Reads the ICO file and builds an icon object of 32 by 32 pixels from the
// image that fits that size best: an image of exactly 32 pixels with the
// highest bit count, else the nearest size (the larger of two equally near)
// with the highest bit count, scaled to 32. nullptr when the file holds no
// image that decodes. The caller owns the icon (DestroyIcon).
HICON ExtractIconA(const std::string &FileName, int Index);

// The same choice for another size than the standard one: the image that
// fits Size best, scaled to Size by Size.
HICON ExtractIconAtSize(const std::string &FileName, int Size);

} // namespace vexillo
