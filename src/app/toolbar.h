// The main window's tool bar: fixed in place, its buttons 58 by 38 pixels
// with a 32-pixel picture and no text, raised under the pointer, and
// separators that leave a given gap.
#pragma once

#include <QToolBar>

class QToolButton;

namespace vexillo {

class TToolBar : public QToolBar {
    Q_OBJECT

public:
    explicit TToolBar(QWidget *parent);

    QToolButton *AddButton(const char *name, const QString &tooltip);
    // A button that runs `action` and shows its picture, with a hint of its
    // own in the tooltip and the status bar, also after the action changes
    // (the button takes the action's then).
    QToolButton *AddActionButton(const char *name, QAction *action, const QString &tooltip);
    // A separator that leaves `gap` pixels between the buttons beside it.
    void AddGap(int gap);

protected:
    void changeEvent(QEvent *e) override;

private:
    // The first button 3 pixels in from the bar's left edge.
    void setIndent();
};

} // namespace vexillo
