// Icon objects and bitmaps turned into Qt images, only to put them on screen.
#pragma once

#include "platform/gdi.h"

#include <QColor>
#include <QImage>

namespace vexillo {

// The icon's picture with its transparency, scaled to size by size when
// size is not 0. A null image for a null icon.
QImage IconToQImage(const IconObject *icon, int size = 0);

// The icon drawn at its own size over a solid background, by the same rules
// as any other drawing of it (the AND mask and XOR rule, or alpha blending).
QImage IconOverBackground(HICON icon, QColor background);

QColor ColorToQColor(TColor color);
TColor QColorToColor(const QColor &color);

} // namespace vexillo
