#include "app/previewdelegate.h"

#include "app/frmmain.h"
#include "ui/qticons.h"
#include "catalogue/pages.h"
#include "icons/icontools.h"

#include <QApplication>
#include <QPainter>

namespace vexillo {

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

    auto graphic = image->CreateGraphic();
    const QImage picture = IconOverBackground(graphic->GetHandle(), background);
    if (!picture.isNull())
        painter->drawImage(option.rect.left() + 5, option.rect.top() + 5, picture);

    const int textLeft = option.rect.left() + PreviewImageSize(image->Width) + 5;
    const int textTop = option.rect.top() + PreviewImageSize(image->Height) / 2;
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

QSize TPreviewDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant height = index.data(kRoleRowHeight);
    return QSize(option.rect.width() > 0 ? option.rect.width() : 100,
                 height.isValid() ? height.toInt() : kDefaultPreviewRowHeight);
}

} // namespace vexillo
