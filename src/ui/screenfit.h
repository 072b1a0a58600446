// A window's rectangle kept inside a screen's free area.
#pragma once

#include <QRect>

namespace vexillo {

// `wanted` where it fits inside `available`; otherwise shrunk to at most the
// available size and moved the least that brings it inside.
QRect FitIntoScreen(const QRect &wanted, const QRect &available);

} // namespace vexillo
