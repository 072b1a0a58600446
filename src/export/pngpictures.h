// Pictures as PNG bytes: one image at its own size, and the set of pictures
// an icon theme takes from an icon. Every decode, scale and encode draws on
// the budget of the file the image came from.
#pragma once

#include "icons/advancedicon.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vexillo {

// The picture of an image at its own size as a PNG file's bytes: an image
// stored as a PNG stream as it is, once its chunks are found whole; any
// other drawn with its transparency. False, with the reason in `why`, when
// the image does not decode or its load's budget refuses the work.
bool ImageAsPng(const TIconImage &Image, std::vector<uint8_t> &Png, std::string &why);

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

} // namespace vexillo
