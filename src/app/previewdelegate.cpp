#include "app/previewdelegate.h"

#include "ui/qticons.h"
#include "catalogue/pages.h"
#include "icons/icontools.h"

#include <QApplication>
#include <QListWidget>

#include <algorithm>
#include <cmath>
#include <QPainter>

namespace vexillo {

int TPreviewDelegate::CaptionGap(double Ratio)
{
    return Ratio > 1 ? 5 : 0;
}

namespace {

// A cursor's hot spot: a small cross in red over a white outline, seen on
// any picture and background.
void DrawHotspotMark(QPainter &painter, QPointF at)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const auto &[color, width] : {std::pair{QColor(Qt::white), 3.0}, std::pair{QColor(Qt::red), 1.0}}) {
        painter.setPen(QPen(color, width));
        painter.drawLine(at - QPointF(4, 0), at + QPointF(4, 0));
        painter.drawLine(at - QPointF(0, 4), at + QPointF(0, 4));
    }
    painter.restore();
}

} // namespace

void TPreviewDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int row = index.row();
    if (row < 0 || row >= FIcon.Images.Count)
        return;
    TIconImage *image = FIcon.Images.GetItem(static_cast<uint16_t>(row));
    if (!image)
        return;

    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QColor background =
        selected ? option.palette.color(QPalette::Highlight) : option.palette.color(QPalette::Base);
    painter->fillRect(option.rect, background);

    // Each image at its own size in device pixels: crisp on any screen.
    const double ratio = option.widget ? option.widget->devicePixelRatioF() : 1.0;
    auto graphic = image->CreateGraphic();
    QImage picture = IconOverBackground(graphic->GetHandle(), background);
    if (!picture.isNull()) {
        picture.setDevicePixelRatio(ratio);
        painter->drawImage(option.rect.left() + 5, option.rect.top() + 5, picture);
        if (FIcon.IsCursor)
            DrawHotspotMark(*painter, QPointF(option.rect.left() + 5 + (image->HotspotX + 0.5) / ratio,
                                              option.rect.top() + 5 + (image->HotspotY + 0.5) / ratio));
    }

    const QSize drawn = DrawnSize(*image, ratio);
    const int textLeft = option.rect.left() + 5 + drawn.width() + CaptionGap(ratio);
    const int textTop = option.rect.top() + drawn.height() / 2;
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect textRect(textLeft, textTop, std::max(0, option.rect.right() - textLeft + 1),
                         option.fontMetrics.height());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.initFrom(option.widget);
        focus.rect = option.rect;
        focus.backgroundColor = background;
        QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
    painter->restore();
}

QSize TPreviewDelegate::DrawnSize(const TIconImage &Image, double Ratio)
{
    const TPictureSize size = PreviewPictureSize(Image);
    return QSize(static_cast<int>(std::ceil(size.Width / Ratio)), static_cast<int>(std::ceil(size.Height / Ratio)));
}

QSize TPreviewDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant height = index.data(kRoleRowHeight);
    // As wide as the picture and its text, so that a wide row scrolls into
    // view; at least as wide as the list.
    int width = option.rect.width() > 0 ? option.rect.width() : 100;
    const int row = index.row();
    if (const TIconImage *image =
            row >= 0 && row < FIcon.Images.Count ? FIcon.Images.GetItem(static_cast<uint16_t>(row)) : nullptr) {
        const double ratio = option.widget ? option.widget->devicePixelRatioF() : 1.0;
        const int text = option.fontMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString());
        width = std::max(width, 5 + DrawnSize(*image, ratio).width() + CaptionGap(ratio) + text + 5);
    }
    return QSize(width, height.isValid() ? height.toInt() : kDefaultPreviewRowHeight);
}

void SetUpPreviewList(QListWidget &list, const TAdvancedIcon &icon)
{
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.setFrameShape(QFrame::NoFrame);
    list.setUniformItemSizes(false);
    list.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list.setItemDelegate(new TPreviewDelegate(icon, &list));
}

namespace {

// A row of the preview: its text and height are made from its image when
// asked, so that a group of thousands of images keeps no text or data for
// each row (a row outside the icon, while the list waits to be refilled,
// has none).
class TPreviewRow : public QListWidgetItem {
public:
    TPreviewRow(const TAdvancedIcon &Icon, uint16_t Index, double Ratio) : FIcon(Icon), FIndex(Index), FRatio(Ratio) {}

    QVariant data(int role) const override
    {
        const TIconImage *image = FIndex < FIcon.Images.Count ? FIcon.Images.GetItem(FIndex) : nullptr;
        if (!image || (role != Qt::DisplayRole && role != kRoleRowHeight))
            return QListWidgetItem::data(role);
        if (role == kRoleRowHeight)
            return TPreviewDelegate::DrawnSize(*image, FRatio).height() + 25;
        std::string text = PreviewRowText(*image);
        if (FIcon.IsCursor)
            text += "  hot spot " + std::to_string(image->HotspotX) + ", " + std::to_string(image->HotspotY);
        if (image->Frame >= 0 && FIcon.Steps.size() > 1)
            text += "  frame " + std::to_string(image->Frame + 1) + ", " + std::to_string(image->DisplayMs) + " ms";
        return QString::fromStdString(text);
    }

private:
    const TAdvancedIcon &FIcon;
    uint16_t FIndex;
    double FRatio;
};

} // namespace

void ShowPreviewRows(QListWidget &list, const TAdvancedIcon &icon)
{
    list.clear();
    const double ratio = list.devicePixelRatioF();
    for (uint16_t i = 0; i < icon.Images.Count; ++i)
        list.addItem(new TPreviewRow(icon, i, ratio));
}

int SelectedPreviewRow(const QListWidget &list)
{
    const QList<QListWidgetItem *> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.front());
}

} // namespace vexillo
