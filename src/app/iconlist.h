// The icon list's items and what they tell: the entries of one catalogue
// page with their pictures, made for the list's screen, and, for the item
// the pointer is on, its file in the status bar and its description as a
// tooltip.
#pragma once

#include "catalogue/pages.h"
#include "export/saveflows.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QPixmap>

#include <functional>
#include <string>
#include <vector>

class QHelpEvent;
class QListWidget;
class QListWidgetItem;
class QTimer;

namespace vexillo {

// Item data roles of the icon list: the hidden sub-texts of an item.
inline constexpr int kRolePosition = Qt::UserRole;      // sub-text 0: catalogue position
inline constexpr int kRoleFileName = Qt::UserRole + 1;  // sub-text 1: the entry's file
inline constexpr int kRoleGroupName = Qt::UserRole + 2; // sub-text 2: the entry's group

class TIconList : public QObject {
    Q_OBJECT

public:
    // Sets the list up: icons of 32 pixels in cells of 72 by 64, laid out
    // again at every width, several selected at once. `paintClock` is the
    // clock of the window's last paint: the list fills in before the eye, at
    // most once a screen frame.
    TIconList(QListWidget *list, TCatalogue &catalogue, QElapsedTimer &paintClock);

    // Fills the list with the entries at the catalogue positions given, each item
    // captioned with its entry's number, and shows the list's first row.
    void ShowEntries(const std::vector<int> &positions);
    // Empties the list and its pictures.
    void Clear();
    // The catalogue position of the entry an item stands for; -1 for none.
    int Position(const QListWidgetItem *item) const;
    // The selected items as the save flows take them, in list order.
    std::vector<TSaveEntry> SelectedEntries() const;
    // More for an entry's tooltip, by its catalogue position (what else
    // holds the same icon); none when not set or empty.
    std::function<std::string(int)> ExtraToolTip;
    // Told of each picture a page makes, by catalogue position, when made at
    // PictureMadeSize pixels; none when not set.
    std::function<void(int, const IconObject &)> PictureMade;
    int PictureMadeSize = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    // The pointed-at item's file goes to the window's status bar.
    void showFileAt(const QPoint &pos);
    // The pointed-at icon's file, group, language and images, as a tooltip.
    void showToolTip(const QHelpEvent &e);

    // Shows an animated cursor's item frame after frame, at its steps'
    // times, until the page changes.
    void animate(QListWidgetItem *item, std::vector<QIcon> frames, const std::vector<AniStep> &steps);

    QListWidget *lvLst;
    TCatalogue &FCatalogue;
    QElapsedTimer &FPaintClock;
    // The items' pictures.
    std::vector<QPixmap> imgIcons;
    // The clocks of the page's animated items.
    std::vector<QTimer *> FAnimations;
};

} // namespace vexillo
