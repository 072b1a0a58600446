// Icon objects: what the platform's icon handle stands for here. An icon
// object is built from an image's stored bytes (a DIB with its AND mask, or
// a PNG stream) and holds its colour pixels, its 1-bit AND mask and its size.
// The functions below stand in for the user32/gdi32 calls of the same names
// and follow what the icon library expects of them.
#pragma once

#include "formats/byteview.h"
#include "formats/icondecode.h"
#include "formats/image.h"
#include "formats/readerror.h"
#include "platform/gdi.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vexillo {

inline constexpr uint32_t LR_DEFAULTCOLOR = 0;
// The icon format version CreateIconFromResourceEx is asked for: the one of
// every icon since Windows 3.
inline constexpr uint32_t kIconFormatVersion = 0x30000;

// Decodes `bits` (a DIB as stored in an ICO file or RT_ICON resource, or a
// PNG stream) into a new icon object. A desired width or height of 0 means
// the image's own; any other size scales the image to it. Returns nullptr
// (handle 0) when the bytes don't decode. Reads nothing outside `bits`.
HICON CreateIconFromResourceEx(ByteView bits, bool icon, uint32_t version, int cxDesired, int cyDesired, uint32_t flags,
                               TReadError *error = nullptr);

// An icon handle with its owner: the icon object is freed (DestroyIcon)
// when the owner goes. Move-only.
struct IconDeleter {
    void operator()(HICON icon) const;
};
using UniqueIcon = std::unique_ptr<IconObject, IconDeleter>;

// A new icon object equal to `icon`; nullptr for nullptr.
HICON CopyIcon(HICON icon);

// Frees an icon object; nullptr is ignored.
bool DestroyIcon(HICON icon);

inline constexpr uint32_t DI_MASK = 1;
inline constexpr uint32_t DI_IMAGE = 2;
inline constexpr uint32_t DI_NORMAL = 3;

// Draws `icon` on `dest` at (x, y), scaled to cx by cy (0 = the icon's own
// size). A mask image is drawn as dest := (dest AND mask) XOR colour; an
// alpha image is blended over dest. Pixels outside dest are clipped.
// Returns false for a null icon or surface.
bool DrawIconEx(GdiBitmap *dest, int x, int y, HICON icon, int cx, int cy, unsigned step, void *flickerFreeBrush,
                uint32_t flags);

struct ICONINFO {
    bool fIcon = true;
    uint32_t xHotspot = 0;
    uint32_t yHotspot = 0;
    // 1-bit AND mask, white where transparent. Twice the icon's height for a
    // monochrome icon (AND rows above the XOR rows).
    HBITMAP hbmMask;
    // The colour (XOR) bitmap with its alpha; none for a monochrome icon.
    HBITMAP hbmColor;
};

// The icon's mask and colour bitmaps; false for a null icon.
bool GetIconInfo(HICON icon, ICONINFO &info);

inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
// The standard icon size: 32 for SM_CXICON and SM_CYICON.
int GetSystemMetrics(int index);

// A copy of `source` scaled to width by height.
IconObject ScaleIcon(const IconObject &source, int width, int height);

} // namespace vexillo
