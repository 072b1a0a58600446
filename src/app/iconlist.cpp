#include "app/iconlist.h"

#include "app/statuspanel.h"
#include "ui/qticons.h"

#include <QCoreApplication>
#include <QFile>
#include <QHelpEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QStatusTipEvent>
#include <QToolTip>

#include <cmath>

namespace vexillo {

TIconList::TIconList(QListWidget *list, TCatalogue &catalogue, QElapsedTimer &paintClock)
    : QObject(list), lvLst(list), FCatalogue(catalogue), FPaintClock(paintClock)
{
    lvLst->setViewMode(QListView::IconMode);
    lvLst->setIconSize(QSize(32, 32));
    lvLst->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvLst->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvLst->setWordWrap(false);
    lvLst->setMovement(QListView::Static);
    lvLst->setResizeMode(QListView::Adjust);
    lvLst->setUniformItemSizes(true);
    lvLst->setGridSize(QSize(72, 64));
    lvLst->setSpacing(4);
    lvLst->setMouseTracking(true);
    lvLst->viewport()->installEventFilter(this);
}

void TIconList::ShowEntries(TPageRange range)
{
    Clear();
    // The pictures are made for this screen's device pixels (32 on a screen
    // of one device pixel to a pixel), so that they are crisp at any scale;
    // an entry without a picture gets an empty one of the same size, so that
    // every item keeps the same cell.
    const double ratio = lvLst->devicePixelRatioF();
    const int pictureSize = static_cast<int>(std::lround(32 * ratio));
    QPixmap blank(pictureSize, pictureSize);
    blank.fill(Qt::transparent);
    blank.setDevicePixelRatio(ratio);
    ForEachPageEntry(FCatalogue, range, pictureSize, [&](int P, const TIconItem &entry, const IconObject *shown) {
        QImage picture = shown ? IconToQImage(shown) : QImage();
        auto *item = new QListWidgetItem(QString::number(P + 1));
        if (!picture.isNull()) {
            picture.setDevicePixelRatio(ratio);
            imgIcons.push_back(QPixmap::fromImage(picture));
        } else {
            imgIcons.push_back(blank);
        }
        item->setIcon(QIcon(imgIcons.back()));
        item->setData(kRolePosition, QString::number(P));
        // The file's name as the file system spells it, byte for byte: a
        // name that is not UTF-8 would not survive a QString.
        item->setData(kRoleFileName, QByteArray::fromStdString(entry.FileName));
        item->setData(kRoleGroupName, QString::fromStdString(entry.GroupName));
        lvLst->addItem(item);
        if (!FPaintClock.isValid() || FPaintClock.elapsed() >= kFrameMs) {
            lvLst->viewport()->repaint();
            FPaintClock.restart();
        }
    });
    // A new page starts at its first row.
    lvLst->scrollToTop();
    lvLst->viewport()->repaint();
}

void TIconList::Clear()
{
    lvLst->clear();
    imgIcons.clear();
}

int TIconList::Position(const QListWidgetItem *item) const
{
    bool ok = false;
    const int position = item ? item->data(kRolePosition).toString().toInt(&ok) : -1;
    return ok && position >= 0 && position < FCatalogue.IconCount() ? position : -1;
}

std::vector<TSaveEntry> TIconList::SelectedEntries() const
{
    std::vector<TSaveEntry> entries;
    for (int i = 0; i < lvLst->count(); ++i) {
        const QListWidgetItem *item = lvLst->item(i);
        const int position = Position(item);
        if (item->isSelected() && position >= 0) {
            const TIconItem &entry = *FCatalogue.IconItems[static_cast<size_t>(position)];
            entries.push_back({item->text().toStdString(), item->data(kRoleFileName).toByteArray().toStdString(),
                               item->data(kRoleGroupName).toString().toStdString(), entry.GroupPlace, entry.Kind});
        }
    }
    return entries;
}

bool TIconList::eventFilter(QObject *watched, QEvent *e)
{
    // The viewport is destroyed, and still sends events, after the list's
    // own destructors have run: the list is then a QListWidget no longer, and
    // nothing of it may be called.
    if (qobject_cast<QListWidget *>(watched->parent()) != lvLst || watched != lvLst->viewport())
        return QObject::eventFilter(watched, e);
    if (e->type() == QEvent::MouseMove)
        showFileAt(static_cast<QMouseEvent *>(e)->position().toPoint());
    if (e->type() == QEvent::ToolTip) {
        showToolTip(*static_cast<QHelpEvent *>(e));
        return true;
    }
    // The pointer has left the icons: their file is no longer shown.
    if (e->type() == QEvent::Leave) {
        lvLst->setStatusTip(QString());
        QStatusTipEvent tip{QString()};
        QCoreApplication::sendEvent(lvLst->window(), &tip);
    }
    return QObject::eventFilter(watched, e);
}

void TIconList::showFileAt(const QPoint &pos)
{
    QListWidgetItem *item = lvLst->itemAt(pos);
    if (!item)
        return;
    const QString file = QFile::decodeName(item->data(kRoleFileName).toByteArray());
    if (lvLst->statusTip() != file) {
        lvLst->setStatusTip(file);
        QStatusTipEvent tip(file);
        QCoreApplication::sendEvent(lvLst->window(), &tip);
    }
}

void TIconList::showToolTip(const QHelpEvent &e)
{
    const QListWidgetItem *item = lvLst->itemAt(e.pos());
    const int P = Position(item);
    if (P < 0) {
        QToolTip::hideText();
        return;
    }
    const std::string text = EntryToolTip(FCatalogue, *FCatalogue.IconItems[static_cast<size_t>(P)]);
    QToolTip::showText(e.globalPos(), QString::fromStdString(text), lvLst->viewport(), lvLst->visualItemRect(item));
}

} // namespace vexillo
