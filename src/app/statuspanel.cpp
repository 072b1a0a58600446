#include "app/statuspanel.h"

#include <QPainter>

namespace vexillo {

TStatusBarPanel::TStatusBarPanel(Qt::Alignment alignment, QWidget *parent) : QFrame(parent), FAlignment(alignment)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

bool TStatusBarPanel::setText(const QString &text)
{
    if (text == FText)
        return false;
    FText = text;
    update();
    return true;
}

void TStatusBarPanel::paintEvent(QPaintEvent *e)
{
    QFrame::paintEvent(e);
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(2, 0, -2, 0);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, static_cast<int>(FAlignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                     fontMetrics().elidedText(FText, Qt::ElideRight, area.width()));
}

} // namespace vexillo
