// A panel of the status bar: a sunken frame with one line of text. Unlike a
// label, a new text never asks the status bar to lay itself out again (the
// panels keep the widths the window gives them), so a search can report
// every counter without the cost of a layout pass.
#pragma once

#include <QFrame>
#include <QString>

namespace vexillo {

class TStatusBarPanel : public QFrame {
    Q_OBJECT

public:
    explicit TStatusBarPanel(Qt::Alignment alignment, QWidget *parent = nullptr);

    QString text() const { return FText; }
    // Keeps the text and schedules a repaint of this panel alone; true when
    // the text changed.
    bool setText(const QString &text);

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QString FText;
    Qt::Alignment FAlignment;
};

} // namespace vexillo
