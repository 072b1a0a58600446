// A window's rectangle kept inside a screen's free area, and a dialog
// centred on the window that owns it.
#pragma once

#include <QRect>

class QWidget;

namespace vexillo {

// `wanted` where it fits inside `available`; otherwise shrunk to at most the
// available size and moved the least that brings it inside.
QRect FitIntoScreen(const QRect &wanted, const QRect &available);

// Places a window that has not shown yet so that its frame's centre is the
// centre of `owner`'s frame (inside the screen's free area). Its own frame
// is taken to be as wide as the owner's (the same window manager draws
// both), none for a frameless window.
void CentreOnOwnerFrame(QWidget &window, const QWidget &owner);

} // namespace vexillo
