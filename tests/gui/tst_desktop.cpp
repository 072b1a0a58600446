// The window as the desktop hands it files: the command line's paths, a
// drop, the standard keys, and the title that says what is open.
#include "app/frmmain.h"
#include "dialogs/frmfolder.h"
#include "gui/gui_support.h"
#include "settings/settings.h"
#include "test_support.h"
#include "ui/public.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <memory>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

class tst_desktop : public QObject, private WindowFixture {
    Q_OBJECT

private:
    QString icon(const fs::path &path)
    {
        fs::create_directories(path.parent_path());
        WriteBytes(path, MakeIco({SolidDib(16)}));
        return QString::fromStdString(path.string());
    }

    static int iconCount(TfrmMain &window) { return Named<QListWidget>(window, "lvLst")->count(); }

private slots:
    void init() { Begin(); }
    void cleanup() { End(); }

    void pathsOpenAsFilesAndSearchAsFolders()
    {
        const QString a = icon(dir->path() / "a.ico"), b = icon(dir->path() / "b.ico");
        for (int i = 0; i < 5; ++i)
            icon(dir->path() / "tree" / "sub" / ("t" + std::to_string(i) + ".ico"));
        WriteBytes(dir->path() / "tree" / "notes.txt", {1});
        const QString tree = QString::fromStdString((dir->path() / "tree").string());
        TfrmMain w;
        w.show();

        // Files, one of them relative and one missing: the missing one is
        // reported, the others open as Open file opens them.
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir->path().string()));
        w.OpenPaths({a, "b.ico", "gone.dll"});
        QDir::setCurrent(cwd);
        QCOMPARE(iconCount(w), 2);
        QCOMPARE(w.Catalogue().FileCount(), 2);
        QCOMPARE(ReopenCaptions(w), (QStringList{"1. " + b, "2. " + a}));
        QCOMPARE(w.windowTitle(), QString("Vexillo [Beta] - a.ico, b.ico"));
        QCOMPARE(messages.size(), size_t{1});
        QVERIFY2(messages[0].text.contains("gone.dll"), qPrintable(messages[0].text));

        // A folder is searched at once for every type, with the named files.
        w.OpenPaths({tree + "/", a});
        QCOMPARE(iconCount(w), 6);
        QCOMPARE(w.Catalogue().FileCount(), 7); // the named file and the six below the folder
        QVERIFY(w.Catalogue().Stopped());
        QCOMPARE(w.windowTitle(), "Vexillo [Beta] - " + tree + ", a.ico");
        QCOMPARE(ReopenCaptions(w).first(), "1. " + a);

        // Many files are summed up in the title.
        w.OpenPaths({a, b, a, b});
        QCOMPARE(w.windowTitle(), QString("Vexillo [Beta] - a.ico, b.ico and 2 more"));
        QCOMPARE(messages.size(), size_t{1});

        // A file without an icon is not met with an empty window alone.
        const QString text = QString::fromStdString((dir->path() / "notes.exe").string());
        WriteBytes(text.toStdString(), {'h', 'i'});
        w.OpenPaths({text});
        QCOMPARE(iconCount(w), 0);
        QCOMPARE(messages.size(), size_t{2});
        QVERIFY2(messages[1].text.startsWith("No icon found in " + text + ":\nnot a Windows program or library"),
                 qPrintable(messages[1].text));
        w.close();
    }

    void dropsOfLocalFilesAreOpened()
    {
        const QString a = icon(dir->path() / "a.ico");
        icon(dir->path() / "tree" / "x.ico");
        icon(dir->path() / "tree" / "y.ico");
        TfrmMain w;
        w.show();
        const QPoint centre = w.rect().center();

        QMimeData web;
        web.setUrls({QUrl("https://example.org/app.exe")});
        QDragEnterEvent refused(centre, Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &refused);
        QVERIFY(!refused.isAccepted());

        QMimeData files;
        files.setUrls(
            {QUrl::fromLocalFile(a), QUrl::fromLocalFile(QString::fromStdString((dir->path() / "tree").string()))});
        QDragEnterEvent enter(centre, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(centre, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(iconCount(w), 3);
        QCOMPARE(ReopenCaptions(w), QStringList{"1. " + a});
        w.close();
    }

    void standardKeysRunTheCommands()
    {
        QStringList files;
        for (int i = 0; i < 170; ++i)
            files << icon(dir->path() / ("i" + std::to_string(i) + ".ico"));
        TfrmMain::OpenDialogHook = [&](QWidget *) { return files; };
        TfrmMain w;
        w.show();
        QApplication::setActiveWindow(&w);
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(w.Catalogue().IconCount(), 170);
        const struct {
            Qt::Key key;
            int page;
        } pages[] = {{Qt::Key_PageDown, 2}, {Qt::Key_PageDown, 3}, {Qt::Key_PageDown, 3},
                     {Qt::Key_PageUp, 2},   {Qt::Key_Home, 1},     {Qt::Key_End, 3}};
        for (const auto &p : pages) {
            QTest::keyClick(Named<QListWidget>(w, "lvLst"), p.key, Qt::ControlModifier);
            QCOMPARE(w.Catalogue().CurrentPage(), p.page);
        }
        QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(Named<QListWidget>(w, "lvLst")->selectedItems().size(), 10);
        QCOMPARE(Named<QAction>(w, "actSave")->shortcut(), QKeySequence(QKeySequence::Save));
        QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!w.isVisible());
    }

    // Also where there is no display at all, as in a terminal over ssh.
    void theProgramAnswersHelpAndVersion()
    {
        const std::string program = VEXILLO_GUI;
        for (const char *environment :
             {"QT_QPA_PLATFORM=offscreen", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"}) {
            std::string out;
            const std::string run = std::string(environment) + " '" + program + "' ";
            QCOMPARE(Run(run + "--version", &out), 0);
            QCOMPARE(out, std::string("Vexillo " VEXILLO_VERSION "\n"));
            QCOMPARE(Run(run + "--help", &out), 0);
            QVERIFY2(out.find("FILE-OR-FOLDER") != std::string::npos, out.c_str());
        }
        // The window itself, without a display (none set, or one no server
        // answers): a line that says so and what was tried, status 1, no abort.
        for (const char *environment : {"env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM",
                                        "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:197"}) {
            std::string err;
            QCOMPARE(Run(std::string(environment) + " '" + program + "'", nullptr, &err), 1);
            QVERIFY2(err.rfind("vexillo: cannot open display (", 0) == 0, err.c_str());
            QVERIFY2(
                err.find(std::string(environment).find(":197") != std::string::npos ? "DISPLAY=:197" : "neither") !=
                    std::string::npos,
                err.c_str());
        }
    }
};

QTEST_MAIN(tst_desktop)
#include "tst_desktop.moc"
