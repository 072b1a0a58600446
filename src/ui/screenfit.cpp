#include "ui/screenfit.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace vexillo {

QRect FitIntoScreen(const QRect &wanted, const QRect &available)
{
    if (available.isEmpty() || available.contains(wanted))
        return wanted;
    const int width = std::min(wanted.width(), available.width());
    const int height = std::min(wanted.height(), available.height());
    const int left = std::clamp(wanted.left(), available.left(), available.left() + available.width() - width);
    const int top = std::clamp(wanted.top(), available.top(), available.top() + available.height() - height);
    return QRect(left, top, width, height);
}

void CentreOnOwnerFrame(QWidget &window, const QWidget &owner)
{
    const QWidget *ownerWindow = owner.window();
    const QRect ownerFrame = ownerWindow->frameGeometry();
    const bool frameless = window.windowFlags().testFlag(Qt::FramelessWindowHint);
    const QMargins margins =
        !frameless && ownerWindow->windowHandle() ? ownerWindow->windowHandle()->frameMargins() : QMargins();
    const QSize frame = window.size().grownBy(margins);
    const QRect wanted(ownerFrame.left() + (ownerFrame.width() - frame.width()) / 2,
                       ownerFrame.top() + (ownerFrame.height() - frame.height()) / 2, frame.width(), frame.height());
    const QScreen *screen = ownerWindow->screen();
    // Moved before it shows, the window's position is its frame's corner.
    window.move(FitIntoScreen(wanted, screen ? screen->availableGeometry() : QRect()).topLeft());
}

} // namespace vexillo
