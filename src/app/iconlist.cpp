#include "app/iconlist.h"

#include "app/statuspanel.h"
#include "platform/iconobject.h"
#include "ui/qticons.h"

#include <QCoreApplication>
#include <QFile>
#include <QHelpEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vexillo {

namespace {

// Most frames an item animates; a cursor of more frames shows its first
// picture still.
constexpr int kMaxAnimatedFrames = 64;
// The shortest time a frame shows on the page.
constexpr int kMinFrameMs = 10;

// One picture per frame of an animated cursor, each the frame's image nearest
// `size` (of those, the deepest) scaled to it, drawing on the file's budget;
// none when it has fewer than two frames or too many, or a frame that does
// not decode.
std::vector<QIcon> FramePictures(const TAdvancedIcon &icon, int size, double ratio)
{
    int frames = 0;
    for (uint16_t i = 0; i < icon.Images.Count; ++i)
        frames = std::max(frames, icon.Images.GetItem(i)->Frame + 1);
    if (frames < 2 || frames > kMaxAnimatedFrames)
        return {};
    std::vector<QIcon> pictures(static_cast<size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        const TIconImage *best = nullptr;
        auto distance = [size](const TIconImage &image) { return std::abs((image.Width ? image.Width : 256) - size); };
        for (uint16_t i = 0; i < icon.Images.Count; ++i) {
            const TIconImage *image = icon.Images.GetItem(i);
            if (image->Frame == f && (!best || distance(*image) < distance(*best) ||
                                      (distance(*image) == distance(*best) && image->BitCount > best->BitCount)))
                best = image;
        }
        // A frame the file held nothing readable for shows the one before.
        if (!best && f > 0) {
            pictures[static_cast<size_t>(f)] = pictures[static_cast<size_t>(f - 1)];
            continue;
        }
        const TDecodedPicture own = best ? best->DecodeOwnSize() : TDecodedPicture{};
        if (!own ||
            !ChargeScale(icon.Budget, static_cast<uint64_t>(own.Icon->Width) * static_cast<uint64_t>(own.Icon->Height),
                         static_cast<uint64_t>(size) * static_cast<uint64_t>(size), nullptr))
            return {};
        const IconObject scaled = ScaleIcon(*own.Icon, size, size);
        QImage picture = IconToQImage(&scaled);
        picture.setDevicePixelRatio(ratio);
        pictures[static_cast<size_t>(f)] = QIcon(QPixmap::fromImage(picture));
    }
    return pictures;
}

} // namespace

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

void TIconList::ShowEntries(const std::vector<int> &positions)
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
    ForEachPageEntry(FCatalogue, positions, pictureSize, [&](int P, const TIconItem &entry, const IconObject *shown) {
        if (shown && PictureMade && pictureSize == PictureMadeSize)
            PictureMade(P, *shown);
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
        // A cursor file's frames, from the file read again here: the page's
        // pictures were made on other threads.
        const bool cursorFile = IsCursorFile(entry.FileName) || IsAnimatedCursorFile(entry.FileName);
        if (cursorFile && FCatalogue.LoadIconGroup(entry) && FCatalogue.CurrentIcon.Steps.size() > 1)
            animate(item, FramePictures(FCatalogue.CurrentIcon, pictureSize, ratio), FCatalogue.CurrentIcon.Steps);
        if (!FPaintClock.isValid() || FPaintClock.elapsed() >= kFrameMs) {
            lvLst->viewport()->repaint();
            FPaintClock.restart();
        }
    });
    // A new page starts at its first row.
    lvLst->scrollToTop();
    lvLst->viewport()->repaint();
}

void TIconList::animate(QListWidgetItem *item, std::vector<QIcon> frames, const std::vector<AniStep> &steps)
{
    for (const AniStep &step : steps)
        if (step.Frame < 0 || static_cast<size_t>(step.Frame) >= frames.size())
            return;
    item->setIcon(frames[static_cast<size_t>(steps.front().Frame)]);
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    FAnimations.push_back(timer);
    connect(timer, &QTimer::timeout, this, [timer, item, frames = std::move(frames), steps, at = size_t{0}]() mutable {
        at = (at + 1) % steps.size();
        item->setIcon(frames[static_cast<size_t>(steps[at].Frame)]);
        timer->start(std::max(steps[at].DurationMs, kMinFrameMs));
    });
    timer->start(std::max(steps.front().DurationMs, kMinFrameMs));
}

void TIconList::Clear()
{
    // The clocks go before the items they change.
    for (QTimer *timer : FAnimations)
        delete timer;
    FAnimations.clear();
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
        if (item->isSelected() && position >= 0)
            entries.push_back({item->text().toStdString(), *FCatalogue.IconItems[static_cast<size_t>(position)]});
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
    std::string text = EntryToolTip(FCatalogue, *FCatalogue.IconItems[static_cast<size_t>(P)]);
    if (const std::string more = ExtraToolTip ? ExtraToolTip(P) : std::string(); !more.empty())
        text += "\n" + more;
    QToolTip::showText(e.globalPos(), QString::fromStdString(text), lvLst->viewport(), lvLst->visualItemRect(item));
}

} // namespace vexillo
