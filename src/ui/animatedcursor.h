// The program's pointer: an animated cursor file whose frames step over the
// whole program (an override cursor), or the standard arrow without one.
#pragma once

#include <QCursor>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

namespace vexillo {

class TAnimatedCursorPlayer : public QObject {
    Q_OBJECT

public:
    explicit TAnimatedCursorPlayer(QObject *parent = nullptr);
    ~TAnimatedCursorPlayer() override;

    // Loads the file and makes it the pointer everywhere in the program;
    // false (and the standard arrow) when it is missing or unreadable.
    bool Apply(const QString &fileName);

    int FrameCount() const { return static_cast<int>(FFrames.size()); }
    int StepCount() const { return static_cast<int>(FSteps.size()); }

private:
    void showStep(int step);

    std::vector<QCursor> FFrames;
    std::vector<std::pair<int, int>> FSteps; // frame, duration in ms
    int FStep = 0;
    bool FApplied = false;
    QTimer FTimer;
};

// Where the pointer file lies: beside the executable, or in the installed
// data folder (../share/vexillo/uc.ani).
QString CursorFileName();

} // namespace vexillo
