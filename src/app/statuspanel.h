// The panels of the status bar. A panel is a sunken frame with one line of
// text; unlike a label, a new text never asks the status bar to lay itself
// out again (the panels keep the widths the window gives them), so a search
// can report every counter without the cost of a layout pass. The row of
// panels paints the ones whose text changed at most once a screen frame.
#pragma once

#include "catalogue/catalogueview.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QString>
#include <QWidget>

#include <array>

namespace vexillo {

// The status bar's panels: the search path, the pages, the files, the icons
// and the selected count (TStatusPanel).
inline constexpr int kStatusPanelCount = spSelected + 1;
// A screen frame in milliseconds: the panels, the page as it fills in and
// the message pump act at most once a frame.
inline constexpr int kFrameMs = 16;

class TStatusBarPanel : public QFrame {
    Q_OBJECT

public:
    explicit TStatusBarPanel(Qt::Alignment alignment, QWidget *parent = nullptr);

    QString text() const { return FText; }
    // Keeps the text and schedules a repaint of this panel alone; true when
    // the text changed.
    bool setText(const QString &text);
    // A standing text that the panel shows at its right end, beside its own
    // text (which gives way to it where the two do not fit).
    QString note() const { return FNote; }
    void setNote(const QString &note);

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QString FText;
    QString FNote;
    Qt::Alignment FAlignment;
};

// The panels side by side at their widths (50, 100, 80, 80, 80), 2 pixels
// apart (the status bar's own layout sets them further apart). What does
// not fit is cut off at the right rather than keeping the window from being
// narrowed.
class TStatusPanels : public QWidget {
    Q_OBJECT

public:
    // `paintClock` is the clock of the window's last paint, which the icon
    // list shares as a page fills in.
    TStatusPanels(QElapsedTimer &paintClock, QWidget *parent);

    TStatusBarPanel *Panel(int panel) const { return FPanels.at(static_cast<size_t>(panel)); }
    // The panel's text; empty for a panel that does not exist.
    QString Text(int panel) const;
    // Sets a panel's text. A search changes the counters thousands of times
    // a second: the panels that changed are painted at once, but at most
    // once a screen frame.
    void SetText(int panel, const QString &text);
    // Paints the panels whose text changed since their last paint.
    void PaintChanged();

private:
    std::array<TStatusBarPanel *, kStatusPanelCount> FPanels{};
    std::array<bool, kStatusPanelCount> FChanged{};
    QElapsedTimer &FPaintClock;
};

} // namespace vexillo
