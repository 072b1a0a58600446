#include "ui/animatedcursor.h"

#include "ui/qticons.h"
#include "formats/anicursor.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>

namespace vexillo {

TAnimatedCursorPlayer::TAnimatedCursorPlayer(QObject *parent) : QObject(parent)
{
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, [this] { showStep((FStep + 1) % StepCount()); });
}

TAnimatedCursorPlayer::~TAnimatedCursorPlayer()
{
    FTimer.stop();
    if (FApplied)
        QApplication::restoreOverrideCursor();
}

bool TAnimatedCursorPlayer::Apply(const QString &fileName)
{
    // The frames of a pointer applied before give way to the new ones.
    FTimer.stop();
    FFrames.clear();
    FSteps.clear();
    CursorFile cursor;
    const bool loaded = !fileName.isEmpty() && ReadCursorFile(fileName.toStdString(), cursor, nullptr) &&
                        !cursor.Frames.empty() && !cursor.Steps.empty();
    if (loaded) {
        for (const CursorFrame &frame : cursor.Frames) {
            const CursorImage &shown = frame.ShownImage();
            const QImage image = IconToQImage(&shown.Picture);
            FFrames.emplace_back(QPixmap::fromImage(image), shown.HotspotX, shown.HotspotY);
        }
        for (const AniStep &step : cursor.Steps)
            FSteps.emplace_back(step.Frame, step.DurationMs);
    }
    if (FApplied)
        QApplication::restoreOverrideCursor();
    QApplication::setOverrideCursor(loaded ? FFrames[static_cast<size_t>(FSteps[0].first)] : QCursor(Qt::ArrowCursor));
    FApplied = true;
    if (loaded)
        showStep(0);
    return loaded;
}

void TAnimatedCursorPlayer::showStep(int step)
{
    FStep = step;
    const QCursor *current = QApplication::overrideCursor();
    // Another cursor on top (the wait cursor while a folder is listed) is
    // left alone; the animation goes on beneath it.
    if (current && current->shape() == Qt::BitmapCursor)
        QApplication::changeOverrideCursor(FFrames[static_cast<size_t>(FSteps[static_cast<size_t>(step)].first)]);
    if (StepCount() > 1)
        FTimer.start(std::max(10, FSteps[static_cast<size_t>(step)].second));
}

QString CursorFileName()
{
    const QString dir = QCoreApplication::applicationDirPath();
    QString beside = dir + "/uc.ani";
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = QDir::cleanPath(dir + "/../share/vexillo/uc.ani");
    return QFileInfo::exists(installed) ? installed : beside;
}

} // namespace vexillo
