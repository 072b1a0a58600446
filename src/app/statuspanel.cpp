#include "app/statuspanel.h"

#include <QHBoxLayout>
#include <QPainter>

namespace vexillo {

namespace {
// The room between a panel's text and its note.
constexpr int kNoteGap = 12;
} // namespace

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

void TStatusBarPanel::setNote(const QString &note)
{
    if (note == FNote)
        return;
    FNote = note;
    update();
}

void TStatusBarPanel::paintEvent(QPaintEvent *e)
{
    QFrame::paintEvent(e);
    QPainter painter(this);
    QRect area = contentsRect().adjusted(2, 0, -2, 0);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics = fontMetrics();
    // The note keeps the right end whole, as far as it fits; the text has
    // the rest of the panel.
    if (!FNote.isEmpty()) {
        const QString note = metrics.elidedText(FNote, Qt::ElideRight, area.width());
        painter.drawText(area, static_cast<int>(Qt::AlignRight | Qt::AlignVCenter) | Qt::TextSingleLine, note);
        area.setRight(area.right() - metrics.horizontalAdvance(note) - kNoteGap);
    }
    if (area.width() > 0)
        painter.drawText(area, static_cast<int>(FAlignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                         metrics.elidedText(FText, Qt::ElideRight, area.width()));
}

TStatusPanels::TStatusPanels(QElapsedTimer &paintClock, QWidget *parent) : QWidget(parent), FPaintClock(paintClock)
{
    setObjectName("stbBarPanels");
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    const std::array<int, kStatusPanelCount> widths = {50, 100, 80, 80, 80};
    const std::array<Qt::Alignment, kStatusPanelCount> alignments = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight,
                                                                     Qt::AlignLeft, Qt::AlignLeft};
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    for (size_t i = 0; i < FPanels.size(); ++i) {
        auto *panel = new TStatusBarPanel(alignments[i], this);
        panel->setObjectName(QStringLiteral("stbBarPanel%1").arg(i));
        panel->setMinimumHeight(panel->fontMetrics().height() + 4);
        panel->setFixedWidth(widths[i]);
        row->addWidget(panel);
        FPanels[i] = panel;
    }
    row->addStretch(1);
}

QString TStatusPanels::Text(int panel) const
{
    return panel >= 0 && panel < kStatusPanelCount ? Panel(panel)->text() : QString();
}

void TStatusPanels::SetText(int panel, const QString &text)
{
    if (panel < 0 || panel >= kStatusPanelCount || !Panel(panel)->setText(text))
        return;
    FChanged[static_cast<size_t>(panel)] = true;
    if (!FPaintClock.isValid() || FPaintClock.elapsed() >= kFrameMs)
        PaintChanged();
}

void TStatusPanels::PaintChanged()
{
    for (size_t i = 0; i < FPanels.size(); ++i)
        if (FChanged[i]) {
            FPanels[i]->repaint();
            FChanged[i] = false;
        }
    FPaintClock.restart();
}

} // namespace vexillo
