#include "ui/screenfit.h"

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

} // namespace vexillo
