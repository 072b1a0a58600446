// The About box driven through its widgets, found by their object names: its
// shape, picture and labels, the link's hover and click, the ways it closes,
// and ShowAboutBox's modal run.
#include "dialogs/frmabout.h"
#include "formats/jpegdecode.h"
#include "gui/gui_support.h"
#include "test_support.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <memory>

using namespace vexillo;
using namespace vexillo::test;

class tst_frmabout : public QObject {
    Q_OBJECT

private:
    QStringList opened; // addresses given to OpenWebPage

    static std::unique_ptr<TfrmAbout> shownBox()
    {
        auto box = std::make_unique<TfrmAbout>();
        box->show();
        if (!QTest::qWaitForWindowExposed(box.get()))
            qWarning("the About box was not exposed");
        return box;
    }

    static QColor textColor(QLabel *label) { return label->palette().color(QPalette::WindowText); }

    static QList<TfrmAbout *> openBoxes()
    {
        QList<TfrmAbout *> boxes;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<TfrmAbout *>(w))
                boxes << box;
        return boxes;
    }

private slots:
    void init()
    {
        opened.clear();
        SetOpenWebPageHook([this](const QString &address) { opened << address; });
    }

    void cleanup()
    {
        SetOpenWebPageHook(nullptr);
        VerifyNothingLeftOpen();
    }

    void boxIsABorderless400By245WindowWithNamedParts()
    {
        TfrmAbout box;
        QCOMPARE(box.objectName(), QString("frmAbout"));
        QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(box.windowType(), Qt::Dialog);
        QCOMPARE(box.size(), QSize(400, 245));
        QCOMPARE(box.minimumSize(), box.maximumSize()); // not resizable
        QCOMPARE(box.findChild<QLabel *>("Image1"), box.Image1);
        QCOMPARE(box.findChild<QLabel *>("lbWeb"), box.lbWeb);
        QCOMPARE(box.findChild<QLabel *>("lbVer"), box.lbVer);
        QCOMPARE(box.Image1->geometry(), QRect(0, 0, 400, 245));
        QCOMPARE(box.lbWeb->pos(), QPoint(22, 218));
        QCOMPARE(box.lbVer->pos(), QPoint(300, 26));
        // Back to front: the picture, then the labels over it.
        const QObjectList order = box.children();
        QVERIFY(order.indexOf(box.Image1) < order.indexOf(box.lbWeb));
        QVERIFY(order.indexOf(box.Image1) < order.indexOf(box.lbVer));
    }

    void labelsShowTheirTextsInTheirColoursOverThePicture()
    {
        TfrmAbout box;
        QCOMPARE(box.lbWeb->text(), QString(kMakerWebAddress));
        QCOMPARE(textColor(box.lbWeb), QColor(0, 0, 255));
        QCOMPARE(box.lbWeb->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(!box.lbWeb->font().underline());
        QCOMPARE(box.lbWeb->font().pixelSize(), 12);
        QCOMPARE(box.lbVer->text(), QString("Version")); // ShowAboutBox adds " [Beta]"
        QCOMPARE(textColor(box.lbVer), QColor(Qt::white));
        QVERIFY(!box.lbWeb->autoFillBackground());
        QVERIFY(!box.lbVer->autoFillBackground());
        // Sized to their texts and inside the window.
        QVERIFY(box.lbWeb->width() >= box.lbWeb->fontMetrics().horizontalAdvance(box.lbWeb->text()));
        QVERIFY(box.rect().contains(box.lbWeb->geometry()));
        QVERIFY(box.rect().contains(box.lbVer->geometry()));
    }

    // The picture shown is assets/about.jpg as the program's decoder reads it,
    // and what the screen shows keeps both labels legible.
    void showsTheDecodedPictureUnderLegibleLabels()
    {
        const auto bytes = ReadBytes(std::filesystem::path(VEXILLO_SOURCE_DIR) / "assets" / "about.jpg");
        PixelImage expected;
        QVERIFY(DecodeJpeg(ByteView(bytes.data(), bytes.size()), expected));

        auto box = shownBox();
        const QImage shown = box->Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY2(!shown.isNull(), "no picture: assets/about.jpg must be among the compiled-in resources");
        QCOMPARE(shown.size(), QSize(400, 245));
        for (QPoint p : {QPoint(0, 0), QPoint(60, 70), QPoint(360, 30), QPoint(200, 180), QPoint(399, 244)})
            QCOMPARE(shown.pixel(p), expected.at(p.x(), p.y()));

        const QImage screen = box->grab().toImage();
        const QColor behindVersion = screen.pixelColor(box->lbVer->geometry().topRight() + QPoint(4, 2));
        const QColor behindWeb = screen.pixelColor(box->lbWeb->geometry().topRight() + QPoint(4, 2));
        QVERIFY2(behindVersion.lightness() < 80, "the version label needs a dark ground");
        QVERIFY(behindVersion.blue() > behindVersion.red());
        QVERIFY2(behindWeb.lightness() > 220, "the web label needs a light ground");
    }

    void clickOnThePictureAnywhereClosesTheBox()
    {
        for (QPoint at : {QPoint(200, 80), QPoint(5, 5), QPoint(395, 240), QPoint(20, 200)}) {
            auto box = shownBox();
            QTest::mouseClick(box->Image1, Qt::LeftButton, {}, at);
            QVERIFY2(!box->isVisible(), qPrintable(QString("click at %1,%2").arg(at.x()).arg(at.y())));
        }
    }

    void otherClicksLeaveTheBoxOpen()
    {
        auto box = shownBox();
        QTest::mouseClick(box->lbVer, Qt::LeftButton);
        QTest::mouseClick(box->Image1, Qt::RightButton, {}, QPoint(200, 80));
        QVERIFY(box->isVisible());
        // Pressed on the picture but released outside it: no click.
        QTest::mousePress(box->Image1, Qt::LeftButton, {}, QPoint(200, 80));
        QTest::mouseRelease(box->Image1, Qt::LeftButton, {}, QPoint(500, 300));
        QVERIFY(box->isVisible());
        box->close();
    }

    void clickOnTheLinkOpensThePageEachTimeAndKeepsTheBoxOpen()
    {
        auto box = shownBox();
        QTest::mouseClick(box->lbWeb, Qt::LeftButton);
        QCOMPARE(opened, QStringList{kMakerWebAddress});
        QVERIFY(box->isVisible());
        QTest::mouseClick(box->lbWeb, Qt::LeftButton);
        QCOMPARE(opened, QStringList({kMakerWebAddress, kMakerWebAddress}));
        QCOMPARE(opened.first(), box->lbWeb->text()); // the address the label shows
        QTest::mouseClick(box->lbVer, Qt::LeftButton);
        QCOMPARE(opened.size(), 2);
        box->close();
    }

    void hoverUnderlinesTheLinkAndLeavingRemovesIt()
    {
        auto box = shownBox();
        QFont before = box->lbWeb->font();
        before.setBold(true); // other style flags survive both changes
        box->lbWeb->setFont(before);

        QTest::mouseMove(box->Image1, QPoint(200, 160));
        QVERIFY(!box->lbWeb->font().underline());
        QTest::mouseMove(box->lbWeb, box->lbWeb->rect().center());
        QTRY_VERIFY(box->lbWeb->font().underline());
        QVERIFY(box->lbWeb->font().bold());
        QCOMPARE(textColor(box->lbWeb), QColor(0, 0, 255));

        QTest::mouseMove(box->lbWeb, box->lbWeb->rect().center() + QPoint(3, 0)); // still over it
        QVERIFY(box->lbWeb->font().underline());

        QTest::mouseMove(box->Image1, QPoint(200, 160));
        QTRY_VERIFY(!box->lbWeb->font().underline());
        QVERIFY(box->lbWeb->font().bold());
        QCOMPARE(textColor(box->lbWeb), QColor(0, 0, 255));
        QVERIFY(box->isVisible());
        box->close();
    }

    void escapeClosesTheBox()
    {
        auto box = shownBox();
        QTest::keyClick(box.get(), Qt::Key_Escape);
        QVERIFY(!box->isVisible());
        QCOMPARE(box->result(), int(QDialog::Rejected));
    }

    // ShowAboutBox: modal over its owner, centred on it, "Version [Beta]",
    // and freed once a click on the picture has closed it.
    void showAboutBoxRunsModallyAndFreesTheBox()
    {
        QWidget owner;
        owner.setGeometry(60, 50, 640, 480); // inside the 800x600 offscreen screen
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));

        QString version;
        bool modal = false;
        QPoint centre;
        QPointer<TfrmAbout> seen;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<TfrmAbout *>(QApplication::activeModalWidget());
            if (!box) {
                for (TfrmAbout *other : openBoxes())
                    other->close();
                return;
            }
            seen = box;
            version = box->lbVer->text();
            modal = box->windowModality() != Qt::NonModal && box->isVisible();
            centre = box->geometry().center();
            QTest::mouseClick(box->Image1, Qt::LeftButton, {}, QPoint(200, 150));
        });
        // Whatever happens above, nothing stays open to hang the test.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, this, [] {
            for (TfrmAbout *box : openBoxes())
                box->close();
        });
        guard.start(5000);

        ShowAboutBox(&owner);
        QVERIFY2(guard.isActive(), "the box did not close on a click");
        QCOMPARE(version, QString("Version [Beta]"));
        QVERIFY(modal);
        QVERIFY((centre - owner.geometry().center()).manhattanLength() <= 4); // rounding, frame margins
        QVERIFY2(seen.isNull(), "the box was not freed");
        QVERIFY(owner.findChildren<TfrmAbout *>().isEmpty());
        owner.close();
    }

    // The hook stands in for the browser: no browser starts and the address
    // arrives unchanged.
    void openWebPageHandsTheAddressToTheHook()
    {
        OpenWebPage("https://example.org/a b");
        QCOMPARE(opened, QStringList{"https://example.org/a b"});
    }
};

QTEST_MAIN(tst_frmabout)
#include "tst_frmabout.moc"
