// Saving from the main window: selected icons as N.ico, one preview image as
// an icon or a bitmap, with the folder answered by the test and the written
// files read back by other programs.
#include "app/frmmain.h"
#include "ui/public.h"
#include "settings/settings.h"
#include "icons/advancedicon.h"
#include "gui/gui_support.h"
#include "test_support.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QToolBar>
#include <QStatusBar>
#include <QColorDialog>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <memory>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

// A 32-bit image of half-transparent green with a clear top-left corner.
std::vector<uint8_t> AlphaDib(int size)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size, 0x8000FF00u);
    pixels[0] = 0;
    return MakeDib(size, size, 32, {}, pixels);
}

// Width, height, channels and the top-left pixel's alpha, as ImageMagick reads a PNG file.
std::string PngFacts(const fs::path &png)
{
    std::string facts;
    Run("/usr/bin/identify -format '%m %w %h %[channels] %[fx:int(255*p{0,0}.a)]' '" + png.string() + "'", &facts);
    return facts;
}

} // namespace

class tst_save : public QObject, private WindowFixture {
    Q_OBJECT

private:
    std::vector<QString> openedFolders;
    SaveOption saveAnswer; // what the save dialog answers
    int dialogs = 0;

    fs::path out(const std::string &name = "") const { return dir->path() / "out" / name; }

    std::unique_ptr<TfrmMain> windowWith(const QStringList &files)
    {
        auto w = std::make_unique<TfrmMain>();
        w->show();
        w->OpenFiles(files);
        return w;
    }

    // A window of `count` files of one icon each, f0.ico on, all selected.
    std::unique_ptr<TfrmMain> windowAllSelected(int count)
    {
        QStringList files;
        for (int i = 0; i < count; ++i)
            files << ico("f" + std::to_string(i) + ".ico", {SolidDib(32, 24)});
        auto w = windowWith(files);
        Named<QAction>(*w, "actAll")->trigger();
        return w;
    }

private slots:
    void init()
    {
        Begin();
        fs::create_directory(out());
        openedFolders.clear();
        dialogs = 0;
        saveAnswer = SaveOption{out().string(), true, true};
        TfrmMain::AskSaveOptionHook = [this](QWidget *) {
            ++dialogs;
            return saveAnswer;
        };
        TfrmMain::OpenFolderHook = [this](const QString &path) { openedFolders.push_back(path); };
    }

    void cleanup() { End(); }

    void theSaveActionFollowsTheSelection()
    {
        auto w = windowWith({ico("a.ico", {SolidDib(32, 24)})});
        QVERIFY(!Named<QAction>(*w, "actSave")->isEnabled());
        QVERIFY(!Named<QAction>(*w, "Saveas1")->isEnabled());
        QVERIFY(!Named<QAction>(*w, "Saveas2")->isEnabled());
        QVERIFY(!Named<QToolButton>(*w, "ToolButton5")->isEnabled());
        Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
        QVERIFY(Named<QAction>(*w, "actSave")->isEnabled());
        QVERIFY(Named<QAction>(*w, "Saveas1")->isEnabled());
        QVERIFY(Named<QToolButton>(*w, "ToolButton5")->isEnabled());
        Named<QListWidget>(*w, "lvLst")->clearSelection();
        QVERIFY(!Named<QAction>(*w, "actSave")->isEnabled());
        w->close();
    }

    void selectedIconsAreWrittenByNumberAndReadBackByOtherPrograms()
    {
        const QStringList files = {ico("a.ico", {SolidDib(16, 4), SolidDib(32, 8), SolidDib(48, 32)}),
                                   ico("b.ico", {SolidDib(32, 24)}),
                                   ico("c.ico", {SolidDib(24, 24), SolidDib(32, 32)})};
        auto w = windowWith(files);
        Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
        Named<QListWidget>(*w, "lvLst")->item(2)->setSelected(true);
        WriteBytes(out("3.ico"), {1, 2, 3}); // replaced once the user says so
        answer = IDYES;
        Named<QAction>(*w, "actSave")->trigger();
        QCOMPARE(dialogs, 1);
        QCOMPARE(messages.size(), size_t{1});
        QCOMPARE(messages[0].flags, MB_REPLACEQUERY | MB_ICONQUESTION);
        QVERIFY2(messages[0].text.startsWith("A file named \"3.ico\" already exists in " +
                                             QString::fromStdString((dir->path() / "out").string()) +
                                             ".\n\nExisting file: 3 bytes, "),
                 qPrintable(messages[0].text));
        QVERIFY(fs::exists(out("1.ico")));
        QVERIFY(!fs::exists(out("2.ico")));
        TAdvancedIcon first, third;
        QVERIFY(first.LoadFromFile(out("1.ico").string()));
        QCOMPARE(int(first.Images.Count), 3);
        QVERIFY(third.LoadFromFile(out("3.ico").string()));
        QCOMPARE(int(third.Images.Count), 2);
        QCOMPARE(openedFolders, std::vector<QString>{QString::fromStdString((dir->path() / "out").string() + "/")});

        // icotool and ImageMagick list the same images.
        std::string listing;
        QCOMPARE(Run("icotool -l '" + out("1.ico").string() + "'", &listing), 0);
        QCOMPARE(std::count(listing.begin(), listing.end(), '\n'), 3L);
        QVERIFY(listing.find("--width=48 --height=48 --bit-depth=32") != std::string::npos);
        QCOMPARE(Run("/usr/bin/identify '" + out("1.ico").string() + "'", &listing), 0);
        QCOMPARE(std::count(listing.begin(), listing.end(), '\n'), 3L);
        w->close();

        // Groups named "01" and "1" beside the group numbered 1: each entry
        // is shown and saved from its own group, found again by its place and
        // whether it is named.
        const fs::path same = dir->path() / "same.dll";
        const uint32_t colours[] = {0xFFFF0000u, 0xFF0000FFu, 0xFF00FF00u};
        WriteBytes(same, MakeRawModule({{14, 0, u"01", MakeIconGroup({SmallDib()}, {1})},
                                        {14, 0, u"1", MakeIconGroup({SmallDib()}, {3})},
                                        {14, 1, {}, MakeIconGroup({SmallDib()}, {2})},
                                        {3, 1, {}, SmallDib(colours[0])},
                                        {3, 2, {}, SmallDib(colours[2])},
                                        {3, 3, {}, SmallDib(colours[1])}}));
        w = windowWith({QString::fromStdString(same.string())});
        auto *list = Named<QListWidget>(*w, "lvLst");
        for (int k = 0; k < 3; ++k) {
            list->item(k)->setSelected(true);
            const QImage shown = list->item(k)->icon().pixmap(32).toImage();
            QCOMPARE(shown.pixel(shown.width() / 2, shown.height() / 2), colours[k]);
        }
        Named<QAction>(*w, "actSave")->trigger();
        for (int k = 0; k < 3; ++k) {
            const auto saved = ReadBytes(out(std::to_string(k + 1) + ".ico"));
            QVERIFY2(std::equal(saved.end() - static_cast<long>(SmallDib().size()), saved.end(),
                                SmallDib(colours[k]).begin()),
                     qPrintable(QString::number(k + 1)));
        }
        w->close();
    }

    void aTakenNameIsReplacedOnlyWhenTheUserSaysSo()
    {
        auto w = windowAllSelected(4);
        for (const char *name : {"1.ico", "2.ico", "3.ico"})
            WriteBytes(out(name), {1, 2, 3});
        const auto kept = [this](const char *name) { return ReadBytes(out(name)) == std::vector<uint8_t>{1, 2, 3}; };
        // The answers in turn: each taken name is asked about, Cancel ends the
        // save before the free 4.ico, and the folder is not opened.
        std::vector<int> answers = {IDNO, IDYES, IDCANCEL};
        SetShowMsgHook([&](const QString &text, const QString &caption, unsigned flags) {
            messages.push_back({text, caption, flags});
            const int next = answers.empty() ? IDCANCEL : answers.front();
            answers.erase(answers.begin());
            return next;
        });
        Named<QAction>(*w, "actSave")->trigger();
        QCOMPARE(messages.size(), size_t{3});
        QVERIFY(kept("1.ico") && !kept("2.ico") && kept("3.ico"));
        QVERIFY(!fs::exists(out("4.ico")));
        QVERIFY(openedFolders.empty());

        // Replace all answers once for the rest of the save.
        messages.clear();
        answers = {IDYESTOALL};
        Named<QAction>(*w, "actSave")->trigger();
        QCOMPARE(messages.size(), size_t{1});
        QVERIFY(!kept("1.ico") && !kept("3.ico") && fs::exists(out("4.ico")));
        QCOMPARE(openedFolders.size(), size_t{1});

        // One image saved over a file of its name: Skip keeps the file; a
        // link at the name is asked about like a file.
        Named<QListWidget>(*w, "lvLst")->clearSelection();
        Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
        Named<QListWidget>(*w, "gdIconLst")->item(0)->setSelected(true);
        WriteBytes(out("1.png"), {1, 2, 3});
        fs::create_symlink(out("1.png"), out("1.bmp"));
        messages.clear();
        answers = {IDNO, IDNO};
        Named<QAction>(*w, "SaveasPNG1")->trigger();
        Named<QAction>(*w, "SaveasBMP1")->trigger();
        QCOMPARE(messages.size(), size_t{2});
        QVERIFY(kept("1.png") && fs::is_symlink(out("1.bmp")));
        w->close();
    }

    void aVanishedFileIsSkippedAndACancelWritesNothing()
    {
        const QStringList files = {ico("a.ico", {SolidDib(32, 24)}), ico("b.ico", {SolidDib(32, 24)})};
        auto w = windowWith(files);
        Named<QAction>(*w, "actAll")->trigger();
        fs::remove(files[0].toStdString());
        saveAnswer.OpenFolder = false;
        Named<QAction>(*w, "actSave")->trigger();
        QVERIFY(!fs::exists(out("1.ico")));
        QVERIFY(fs::exists(out("2.ico")));
        QVERIFY(openedFolders.empty());

        fs::remove(out("2.ico"));
        saveAnswer.Confirmed = false;
        saveAnswer.OpenFolder = true;
        Named<QAction>(*w, "actSave")->trigger();
        QVERIFY(fs::is_empty(out()));
        QVERIFY(openedFolders.empty());
        w->close();
    }

    void aWriteFailureStopsTheSaveWithOneErrorBox()
    {
        auto w = windowAllSelected(5);
        // The third file cannot be created: a folder holds its name.
        fs::create_directory(out("3.ico"));
        Named<QAction>(*w, "actSave")->trigger();
        QVERIFY(fs::exists(out("1.ico")));
        QVERIFY(fs::exists(out("2.ico")));
        QVERIFY(!fs::exists(out("4.ico")));
        QVERIFY(!fs::exists(out("5.ico")));
        QCOMPARE(messages.size(), size_t{1});
        QVERIFY2(messages[0].text.startsWith("Error Message: \n\nCannot create file \"" +
                                             QString::fromStdString(out("3.ico").string()) + "\". "),
                 qPrintable(messages[0].text));
        QVERIFY(openedFolders.empty());
        w->close();
    }

    void oneImageAsIconOrBitmap()
    {
        const QString file = ico("a.ico", {SolidDib(16, 4), SolidDib(32, 24, /*clearCorner=*/true)});
        auto w = windowWith({file});
        // Nothing selected in the preview: nothing happens, no dialog.
        Named<QAction>(*w, "MenuItem1")->trigger();
        Named<QAction>(*w, "SaveasBMP1")->trigger();
        QCOMPARE(dialogs, 0);

        Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
        QCOMPARE(Named<QListWidget>(*w, "gdIconLst")->count(), 2);
        Named<QListWidget>(*w, "gdIconLst")->item(1)->setSelected(true);
        // Another group loaded into the shared icon must not change what is saved.
        w->ShowPage(1);
        Named<QAction>(*w, "MenuItem1")->trigger();
        TAdvancedIcon one;
        QVERIFY(one.LoadFromFile(out("2.ico").string()));
        QCOMPARE(int(one.Images.Count), 1);
        QCOMPARE(int(one.Images.GetItem(0)->Width), 32);
        QCOMPARE(fs::file_size(out("2.ico")), 22 + MakeDib(32, 32, 24, {}, std::vector<uint32_t>(32 * 32)).size());

        Named<QAction>(*w, "SaveasBMP1")->trigger();
        std::string size;
        QCOMPARE(Run("/usr/bin/identify -format '%w %h' '" + out("2.bmp").string() + "'", &size), 0);
        QCOMPARE(QString::fromStdString(size), QString("32 33"));
        // The transparent corner and the extra bottom row are white; the rest
        // is the icon's colour.
        std::string pixels;
        QCOMPARE(Run("/usr/bin/convert '" + out("2.bmp").string() + "' -depth 8 rgb:- | od -An -tu1 -v -w3", &pixels),
                 0);
        std::vector<std::string> rows;
        for (size_t start = 0, end; (end = pixels.find('\n', start)) != std::string::npos; start = end + 1)
            rows.push_back(pixels.substr(start, end - start));
        QCOMPARE(rows.size(), size_t{32 * 33});
        auto rgb = [&](int x, int y) {
            return QString::fromStdString(rows[static_cast<size_t>(y) * 32 + x]).simplified();
        };
        QCOMPARE(rgb(0, 0), QString("255 255 255"));
        QCOMPARE(rgb(1, 0), QString("34 102 170"));
        QCOMPARE(rgb(5, 32), QString("255 255 255"));
        QCOMPARE(openedFolders.size(), size_t{2});
        w->close();
    }

    void pngFilesAndTheClipboardKeepTransparency()
    {
        std::vector<uint8_t> cut = SolidDib(32, 32);
        cut.resize(60); // a header without its pixels
        const QString file = ico("a.ico", {SolidDib(16, 4), SolidDib(32, 24, /*clearCorner=*/true), AlphaDib(48)});
        const QString broken = ico("b.ico", {SolidDib(16, 24), cut});
        auto w = windowWith({file, broken});
        QListWidget *icons = Named<QListWidget>(*w, "lvLst");
        QListWidget *preview = Named<QListWidget>(*w, "gdIconLst");
        icons->item(0)->setSelected(true);
        preview->item(1)->setSelected(true);

        // One previewed image as a PNG file; the AND mask's corner is clear.
        Named<QAction>(*w, "SaveasPNG1")->trigger();
        QCOMPARE(PngFacts(out("2.png")), std::string("PNG 32 32 srgba 0"));

        // Selected icons as one PNG file an image; an image that does not
        // decode is passed over and reported once.
        saveAnswer.Png = true;
        icons->item(1)->setSelected(true);
        Named<QAction>(*w, "actSave")->trigger();
        QCOMPARE(PngFacts(out("1-1.png")), std::string("PNG 16 16 srgba 255"));
        QCOMPARE(PngFacts(out("1-3.png")), std::string("PNG 48 48 srgba 0"));
        QCOMPARE(PngFacts(out("2-1.png")), std::string("PNG 16 16 srgba 255"));
        QVERIFY(!fs::exists(out("2-2.png")));
        QVERIFY(!fs::exists(out("1.ico")));
        QCOMPARE(messages.size(), size_t{1});
        QVERIFY2(messages[0].text.startsWith("1 image(s) could not be read") && messages[0].text.contains("2-2.png: "),
                 qPrintable(messages[0].text));

        // Ctrl+C in the icons copies the icon's best image, the preview's
        // pop-up item its image, alpha kept.
        icons->clearSelection();
        icons->item(0)->setSelected(true);
        QApplication::setActiveWindow(w.get());
        icons->setFocus();
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(icons, Qt::Key_C, Qt::ControlModifier);
        QImage copied = QGuiApplication::clipboard()->image();
        QCOMPARE(copied.size(), QSize(48, 48));
        QCOMPARE(qAlpha(copied.pixel(0, 0)), 0);
        QCOMPARE(copied.pixelColor(5, 5), QColor(0, 255, 0, 128));
        preview->item(1)->setSelected(true);
        Named<QAction>(*w, "CopyImage1")->trigger();
        copied = QGuiApplication::clipboard()->image();
        QCOMPARE(copied.size(), QSize(32, 32));
        QCOMPARE(qAlpha(copied.pixel(0, 0)), 0);
        QCOMPARE(copied.pixelColor(1, 0), QColor(0x22, 0x66, 0xAA));
        w->close();
    }
};

QTEST_MAIN(tst_save)
#include "tst_save.moc"
