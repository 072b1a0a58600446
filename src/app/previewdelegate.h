// Draws the rows of the preview list: each image of the previewed icon at its
// own size, with its size and colour count beside it (and a cursor's hot
// spot, marked on the picture too).
#pragma once

#include "icons/advancedicon.h"

#include <QStyledItemDelegate>

class QListWidget;

namespace vexillo {

// Item data role of the preview list: the row's height, for the screen the
// list was on when the row was added.
inline constexpr int kRoleRowHeight = Qt::UserRole + 3;

class TPreviewDelegate : public QStyledItemDelegate {
public:
    TPreviewDelegate(const TAdvancedIcon &icon, QObject *parent) : QStyledItemDelegate(parent), FIcon(icon) {}

    // Fills the row with the list's (or the highlight) colour, draws image
    // `row` with its top-left corner at +5,+5 and its text starting at the
    // picture's right edge (and CaptionGap beyond it), its top at the
    // picture's vertical middle.
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The row's height as it was measured when the row was added; its width
    // takes in the picture and its text.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The size an image takes in the row, in the widget's pixels, on a
    // screen of `Ratio` device pixels to a pixel.
    static QSize DrawnSize(const TIconImage &Image, double Ratio);
    // The room between a picture and its caption: none on a plain screen;
    // 5 pixels where a picture drawn at its own size in device pixels is
    // small beside the caption's letters.
    static int CaptionGap(double Ratio);

private:
    const TAdvancedIcon &FIcon;
};

// Sets the preview list up: one row selected at a time, each drawn by a
// TPreviewDelegate of the icon at its own height, scrolled by the pixel.
void SetUpPreviewList(QListWidget &list, const TAdvancedIcon &icon);
// Fills the preview list with a row for each image of the icon: its text,
// and its height, the picture's (in the list's screen pixels) and 25 more.
void ShowPreviewRows(QListWidget &list, const TAdvancedIcon &icon);
// The preview list's selected row; -1 when none is selected.
int SelectedPreviewRow(const QListWidget &list);

} // namespace vexillo
