// Text that stays readable on any background: the contrast of two colours as
// the Web Content Accessibility Guidelines measure it, and the text colour
// (black or white) that contrasts best with a background.
#pragma once

#include <QColor>

class QWidget;

namespace vexillo {

// (L1 + 0.05) / (L2 + 0.05) of the two colours' relative luminances, the
// lighter one first: 1 for equal colours, 21 for black and white.
double ContrastRatio(const QColor &a, const QColor &b);

// Black or white, whichever contrasts more with `background` (at least 4.58:1
// for any background).
QColor ContrastingText(const QColor &background);

// Gives a list the background, and its texts the colour that reads on it
// (ContrastingText), whatever the desktop's theme gives the text; so does
// the text of a selected item on the theme's selection colour.
void SetListColors(QWidget &list, const QColor &background);

} // namespace vexillo
