// The tool bar's filter: a field matched against the entries' file paths
// and group names as the user types (Ctrl+F goes to it), and a button whose
// menu asks for what an icon holds (an image of at least 48 or 256 pixels,
// PNG, 32-bit) and which kinds of entry to show.
#pragma once

#include "catalogue/entryview.h"

#include <QObject>

class QAction;
class QLineEdit;
class QMenu;
class QToolBar;
class QToolButton;
class QWidget;

namespace vexillo {

class TFindBar : public QObject {
    Q_OBJECT

public:
    // Adds the field and the button to `bar`, and the Ctrl+F key to `window`.
    TFindBar(QToolBar *bar, QWidget *window);

    TEntryFilter Filter() const;
    bool Empty() const { return Filter().Empty(); }
    // Empties the field and unchecks every choice.
    void Clear();

signals:
    void Changed(const TEntryFilter &filter);

private:
    void changed();

    bool FClearing = false;
    QLineEdit *edFilter;
    QToolButton *btnFilter;
    QMenu *mnFilter;
    QAction *actMin48, *actMin256, *actPng, *actBits32, *actIcons, *actCursors, *actAnimated;
};

} // namespace vexillo
