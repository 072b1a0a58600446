// The program's pointer: the animated cursor file over the whole program,
// the standard arrow without it, and the wait cursor left on top.
#include "gui/gui_support.h"
#include "ui/animatedcursor.h"

#include <QApplication>
#include <QTest>

using namespace vexillo;
using namespace vexillo::test;

class tst_cursor : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VerifyNothingLeftOpen(); }

    void theAnimatedPointerStepsThroughItsFrames()
    {
        auto player = std::make_unique<TAnimatedCursorPlayer>();
        QVERIFY(player->Apply(QStringLiteral(VEXILLO_SOURCE_DIR "/assets/uc.ani")));
        QCOMPARE(player->FrameCount(), 8);
        QCOMPARE(player->StepCount(), 8);
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BitmapCursor);
        QCOMPARE(QApplication::overrideCursor()->hotSpot(), QPoint(0, 0));
        const QImage first = QApplication::overrideCursor()->pixmap().toImage();
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::overrideCursor()->pixmap().toImage() != first, 2000);

        // A wait cursor pushed on top stays there while the frames go on.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QTest::qWait(250);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QApplication::restoreOverrideCursor();
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BitmapCursor);
        player.reset();
    }

    // A second pointer replaces the first one's frames; a missing one leaves
    // none behind.
    void applyingAgainReplacesTheFrames()
    {
        auto player = std::make_unique<TAnimatedCursorPlayer>();
        QVERIFY(player->Apply(QStringLiteral(VEXILLO_SOURCE_DIR "/assets/uc.ani")));
        QVERIFY(player->Apply(QStringLiteral(VEXILLO_SOURCE_DIR "/assets/uc.ani")));
        QCOMPARE(player->FrameCount(), 8);
        QCOMPARE(player->StepCount(), 8);
        QVERIFY(!player->Apply(QStringLiteral("/no/such/uc.ani")));
        QCOMPARE(player->FrameCount(), 0);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        player.reset();
    }

    void withoutTheFileThePointerIsTheArrow()
    {
        auto player = std::make_unique<TAnimatedCursorPlayer>();
        QVERIFY(!player->Apply(QStringLiteral("/no/such/uc.ani")));
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        player.reset();
    }
};

QTEST_MAIN(tst_cursor)
#include "tst_cursor.moc"
