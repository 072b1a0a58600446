// Text that stays readable on any background: the contrast of two colours as
// the Web Content Accessibility Guidelines measure it, and the text colour
// (black or white) that contrasts best with a background.
#pragma once

#include <QColor>

namespace vexillo {

// (L1 + 0.05) / (L2 + 0.05) of the two colours' relative luminances, the
// lighter one first: 1 for equal colours, 21 for black and white.
double ContrastRatio(const QColor &a, const QColor &b);

// Black or white, whichever contrasts more with `background` (at least 4.58:1
// for any background).
QColor ContrastingText(const QColor &background);

} // namespace vexillo
