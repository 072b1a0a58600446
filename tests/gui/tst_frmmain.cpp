// The main window driven through its real actions and widgets, found by
// their object names, against a settings file and icon files of the test's
// own.
#include "app/frmmain.h"
#include "app/previewdelegate.h"
#include "app/statuspanel.h"
#include "ui/public.h"
#include "settings/settings.h"
#include "gui/gui_support.h"
#include "test_support.h"
#include "ui/contrast.h"
#include "ui/screenfit.h"

#include <QAction>
#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QStatusBar>
#include <QScreen>
#include <QScrollBar>
#include <QMouseEvent>
#include <QFontMetrics>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

// The process's resident memory now and at its peak, in KiB, from
// /proc/self/status.
long StatusKiB(const char *field)
{
    const std::string status = ReadText("/proc/self/status");
    const size_t at = status.find(std::string(field) + ":");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + std::strlen(field) + 1);
}

// Sets the peak back to what is resident now, so that the peak of what
// follows can be read.
void ResetPeakMemory()
{
    WriteText("/proc/self/clear_refs", "5");
}

} // namespace

class tst_frmmain : public QObject, private WindowFixture {
    Q_OBJECT

private:
    std::unique_ptr<TfrmMain> newWindow()
    {
        auto window = std::make_unique<TfrmMain>();
        window->show();
        return window;
    }

    QStringList manyIcons(int count)
    {
        QStringList files;
        for (int i = 0; i < count; ++i)
            files << ico("i" + std::to_string(i) + ".ico", {SolidDib(32, 24)});
        return files;
    }

    static QStringList captions(QListWidget *list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }

private slots:
    void init() { Begin(); }
    void cleanup() { End(); }

    void firstStartShowsDefaultsAndWritesThemAtExit()
    {
        auto w = newWindow();
        QCOMPARE(w->windowTitle(), QString("Vexillo [Beta]"));
        QVERIFY(Named<QAction>(*w, "oolbar1")->isChecked());
        QVERIFY(Named<QAction>(*w, "Statusbar1")->isChecked());
        QVERIFY(Named<QToolBar>(*w, "ToolBar1")->isVisible());
        QVERIFY(Named<QStatusBar>(*w, "stbBar")->isVisible());
        QCOMPARE(w->BackgroundColor(), QColor(Qt::white));
        QCOMPARE(ReopenCaptions(*w), QStringList{"< None file >"});
        QVERIFY(!ReopenItem(*w, 0)->isEnabled());
        QCOMPARE(Named<QAction>(*w, "actFile")->text(), QString("&Open file"));
        QCOMPARE(Named<QAction>(*w, "actFile")->statusTip(), QString("Open file to extract icon"));
        QCOMPARE(Named<QToolButton>(*w, "ToolButton7")->toolTip(), QString("First page"));
        QVERIFY(!Named<QAction>(*w, "actSave")->isEnabled());
        QVERIFY(w->close());
        QCOMPARE(QString::fromStdString(ReadText(settings)),
                 QString("[View]\nToolbar=1\nStatus bar=1\nBackground Color=clWhite\n"));
        QVERIFY(messages.empty());
    }

    void viewSwitchesComeFromTheSettings()
    {
        WriteText(settings, "[View]\r\nToolbar=0\r\n");
        auto w = newWindow();
        QVERIFY(!Named<QAction>(*w, "oolbar1")->isChecked());
        QVERIFY(!Named<QToolBar>(*w, "ToolBar1")->isVisible());
        Named<QAction>(*w, "oolbar1")->trigger();
        QVERIFY(Named<QAction>(*w, "oolbar1")->isChecked());
        QVERIFY(Named<QToolBar>(*w, "ToolBar1")->isVisible());
        Named<QAction>(*w, "Statusbar1")->trigger();
        QVERIFY(!Named<QStatusBar>(*w, "stbBar")->isVisible());
        QVERIFY(!w->Catalogue().ListCursors);
        Named<QAction>(*w, "actCursors")->trigger();
        QVERIFY(w->Catalogue().ListCursors);
        Named<QAction>(*w, "actHideDuplicates")->trigger();
        QVERIFY(w->close());
        const QString text = QString::fromStdString(ReadText(settings));
        QVERIFY2(text.contains("Toolbar=1\r\n") && text.contains("Status bar=0\r\n") &&
                     text.contains("Cursors=1\r\n") && text.contains("HideDuplicates=1\r\n"),
                 qPrintable(text));

        // Turned off, the cursors' key goes: the file holds the other keys alone.
        auto again = newWindow();
        QVERIFY(again->Catalogue().ListCursors);
        Named<QAction>(*again, "actCursors")->trigger();
        QVERIFY(again->close());
        QVERIFY(!QString::fromStdString(ReadText(settings)).contains("Cursors"));
    }

    // An animated cursor's item shows its frames in turn; a new page stops
    // the clocks before their items go.
    void animatedCursorsAnimateOnThePage()
    {
        if (CorpusDir("ani").empty())
            QSKIP("no corpus");
        const QString ani = QString::fromStdString((CorpusDir("ani") / "webamp__piano.ani").string());
        TfrmMain::OpenDialogHook = [&](QWidget *) { return QStringList{ani}; };
        auto w = newWindow();
        Named<QAction>(*w, "actFile")->trigger();
        QListWidget *list = Named<QListWidget>(*w, "lvLst");
        QCOMPARE(list->count(), 1);
        const qint64 first = list->item(0)->icon().cacheKey();
        QTRY_VERIFY_WITH_TIMEOUT(list->item(0)->icon().cacheKey() != first, 2000);
        Named<QAction>(*w, "actFile")->trigger();
        QTest::qWait(300);
        QCOMPARE(list->count(), 1);
        QVERIFY(w->close());
    }

    void openingThreeFilesCountsPagesAndRecentFiles()
    {
        const QStringList files = {ico("a.ico", {SolidDib(32, 24)}), ico("b.ico", {SolidDib(16, 4)}),
                                   ico("c.ico", {SolidDib(48, 32)})};
        TfrmMain::OpenDialogHook = [&](QWidget *) { return files; };
        auto w = newWindow();
        Named<QAction>(*w, "actFile")->trigger();
        QCOMPARE(w->Catalogue().FileCount(), 3);
        QCOMPARE(w->PanelText(2), QString("3 Files"));
        QCOMPARE(w->PanelText(1), QString("1/1 Pages"));
        QCOMPARE(w->PanelText(3), QString("Icons: 3"));
        QCOMPARE(captions(Named<QListWidget>(*w, "lvLst")), (QStringList{"1", "2", "3"}));
        QVERIFY(!Named<QListWidget>(*w, "lvLst")->item(0)->icon().isNull());
        QCOMPARE(Named<QListWidget>(*w, "lvLst")->item(2)->data(kRoleFileName).toString(), files[2]);
        QCOMPARE(Named<QListWidget>(*w, "lvLst")->item(2)->data(kRolePosition).toString(), QString("2"));
        QCOMPARE(ReopenCaptions(*w), (QStringList{"1. " + files[2], "2. " + files[1], "3. " + files[0]}));
        QVERIFY(w->close());
        const QString text = QString::fromStdString(ReadText(settings));
        QVERIFY2(text.contains("[Reopen]\nFile1=" + files[0] + "\nFile2=" + files[1] + "\nFile3=" + files[2]),
                 qPrintable(text));

        // A cancelled dialog leaves everything as it was.
        auto again = newWindow();
        TfrmMain::OpenDialogHook = [](QWidget *) { return QStringList(); };
        Named<QAction>(*again, "actFile")->trigger();
        QCOMPARE(again->Catalogue().IconCount(), 0);
        QCOMPARE(ReopenCaptions(*again).size(), 3);
        QVERIFY(again->close());
    }

    void pageButtonsMoveThroughTheCatalogue()
    {
        auto w = newWindow();
        // An empty catalogue refuses every page.
        for (const char *name : {"ToolButton7", "ToolButton6", "ToolButton8", "ToolButton9"})
            QTest::mouseClick(Named<QToolButton>(*w, name), Qt::LeftButton);
        QCOMPARE(Named<QListWidget>(*w, "lvLst")->count(), 0);
        QCOMPARE(w->PanelText(1), QString());

        w->OpenFiles(manyIcons(81));
        QCOMPARE(Named<QListWidget>(*w, "lvLst")->count(), 80);
        QCOMPARE(w->PanelText(1), QString("1/2 Pages"));
        QTest::mouseClick(Named<QToolButton>(*w, "ToolButton6"), Qt::LeftButton); // prior from page 1
        QCOMPARE(w->Catalogue().CurrentPage(), 1);
        QTest::mouseClick(Named<QToolButton>(*w, "ToolButton8"), Qt::LeftButton); // next
        QCOMPARE(captions(Named<QListWidget>(*w, "lvLst")), QStringList{"81"});
        QCOMPARE(w->PanelText(1), QString("2/2 Pages"));
        QTest::mouseClick(Named<QToolButton>(*w, "ToolButton8"), Qt::LeftButton); // no page 3
        QCOMPARE(w->Catalogue().CurrentPage(), 2);
        QTest::mouseClick(Named<QToolButton>(*w, "ToolButton7"), Qt::LeftButton); // first
        QCOMPARE(Named<QListWidget>(*w, "lvLst")->count(), 80);
        QCOMPARE(Named<QListWidget>(*w, "lvLst")->item(79)->text(), QString("80"));
        QTest::mouseClick(Named<QToolButton>(*w, "ToolButton9"), Qt::LeftButton); // last
        QCOMPARE(w->Catalogue().CurrentPage(), 2);

        // Select all selects the page on view.
        QTest::mouseClick(Named<QToolButton>(*w, "ToolButton7"), Qt::LeftButton);
        Named<QAction>(*w, "actAll")->trigger();
        QCOMPARE(Named<QListWidget>(*w, "lvLst")->selectedItems().size(), 80);
        QCOMPARE(w->PanelText(4), QString("Selected: 80"));
        QVERIFY(w->close());
    }

    void previewListsEveryImageOfTheSelectedIcon()
    {
        const QString mixed = ico("mixed.ico", {SolidDib(16, 4), SolidDib(32, 8), SolidDib(48, 32)});
        const QString other = ico("other.ico", {SolidDib(24, 24)});
        auto w = newWindow();
        w->OpenFiles({mixed, other});
        Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
        QCOMPARE(Named<QListWidget>(*w, "gdIconLst")->count(), 3);
        const QStringList texts = {"16x16, 16 Colors", "32x32, 256 Colors", "48x48, 24b Colors"};
        const int heights[] = {41, 57, 73};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(Named<QListWidget>(*w, "gdIconLst")->item(i)->text(), texts[i]);
            QCOMPARE(Named<QListWidget>(*w, "gdIconLst")
                         ->visualItemRect(Named<QListWidget>(*w, "gdIconLst")->item(i))
                         .height(),
                     heights[i]);
        }
        // A second selected icon leaves the preview on the first.
        Named<QListWidget>(*w, "lvLst")->item(1)->setSelected(true);
        QCOMPARE(Named<QListWidget>(*w, "gdIconLst")->count(), 3);
        QCOMPARE(w->PanelText(4), QString("Selected: 2"));
        // Reloading the shared icon (a page build) does not change what the
        // preview holds.
        w->ShowPage(1);
        QCOMPARE(w->PreviewIcon().Images.Count, 3);
        QCOMPARE(Named<QListWidget>(*w, "gdIconLst")->count(), 3);
        // The preview draws: the row's picture is on screen at +5,+5.
        const QImage shot = Named<QListWidget>(*w, "gdIconLst")->viewport()->grab().toImage();
        const QRect row =
            Named<QListWidget>(*w, "gdIconLst")->visualItemRect(Named<QListWidget>(*w, "gdIconLst")->item(2));
        QCOMPARE(QColor(shot.pixel(row.left() + 5 + 10, row.top() + 5 + 10)), QColor(0x22, 0x66, 0xAA));
        QVERIFY(w->close());
    }

    // 8000 entries naming one 1 MB image, and a module group of 3000 such
    // entries: the page and the preview of every image stay within 64 MiB.
    void sharedEntriesStayWithinTheMemoryBudget()
    {
        std::vector<uint32_t> pixels(512 * 512, 0xFF2266AAu);
        const auto image = MakeDib(512, 512, 32, {}, pixels);
        WriteBytes(dir->path() / "shared.ico", SharedEntryIco(image, 8000));
        const auto group = SharedEntryGroup(static_cast<uint32_t>(image.size()), 3000);
        const fs::path module = BuildModule(*dir, "shared.dll", {{"100", 14, group}, {"1", 3, image}});

        auto w = newWindow();
        for (const fs::path &file : {dir->path() / "shared.ico", module}) {
            QApplication::processEvents();
            [[maybe_unused]] const long before = StatusKiB("VmRSS");
            ResetPeakMemory();
            w->OpenFiles({QString::fromStdString(file.string())});
            QCOMPARE(Named<QListWidget>(*w, "lvLst")->count(), 1);
            QVERIFY(!Named<QListWidget>(*w, "lvLst")->item(0)->icon().isNull());
            Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
            QCOMPARE(Named<QListWidget>(*w, "gdIconLst")->count(), file == module ? 3000 : 8000);
            Named<QListWidget>(*w, "gdIconLst")->scrollToBottom();
            const QImage shot = Named<QListWidget>(*w, "gdIconLst")->viewport()->grab().toImage();
            const QRect row =
                Named<QListWidget>(*w, "gdIconLst")
                    ->visualItemRect(
                        Named<QListWidget>(*w, "gdIconLst")->item(Named<QListWidget>(*w, "gdIconLst")->count() - 1));
            // (The row is taller than the list: a point near its bottom.)
            QCOMPARE(QColor(shot.pixel(row.left() + 5 + 10, row.bottom() - 40)), QColor(0x22, 0x66, 0xAA));
#if !defined(VEXILLO_ADDRESS_SANITIZER) && !defined(VEXILLO_THREAD_SANITIZER)
            // (AddressSanitizer keeps freed memory resident for a while, and
            // ThreadSanitizer's shadow of it counts as resident.)
            const long grown = StatusKiB("VmHWM") - before;
            qInfo("%s: %ld KiB", file.filename().c_str(), grown);
            QVERIFY2(grown < 64 * 1024, (file.filename().string() + ": " + std::to_string(grown) + " KiB").c_str());
#endif
        }
        QVERIFY(w->close());
    }

    // A search of a folder of the crafted files of the budget tests (65,535
    // groups whose long names overlap, thousands of entries of one picture
    // that fails at its end or inflates to 2048 by 2048 pixels, thousands of
    // entries of one 1 MB image): the search ends, every entry is keyed, and
    // the window peaks at most 64 MiB above what it held before and keeps
    // at most 64 MiB after, all files together. Every load of a file shares
    // its one memory account, what the catalogue keeps of it included.
    void aSearchOfCraftedFilesStaysWithinTheBudget()
    {
        const fs::path folder = dir->path() / "crafted";
        fs::create_directory(folder);
        std::vector<uint32_t> pixels(512 * 512, 0xFF2266AAu);
        const auto image = MakeDib(512, 512, 32, {}, pixels);
        WriteBytes(folder / "names.dll", OverlappingNamesModule(65535));
        WriteBytes(folder / "names4000.dll", OverlappingNamesModule(4000));
        WriteBytes(folder / "late2048.ico", SharedEntryIco(LatePngFailure(2048, 65536), 2000));
        WriteBytes(folder / "badpng.ico", SharedEntryIco(BrokenPng(), 65535));
        WriteBytes(folder / "badpng.dll", SharedEntryModule(BrokenPng(), 60000));
        WriteBytes(folder / "shared.ico", SharedEntryIco(image, 8000));
        fs::copy_file(
            BuildModule(*dir, "crafted-shared.dll",
                        {{"100", 14, SharedEntryGroup(static_cast<uint32_t>(image.size()), 3000)}, {"1", 3, image}}),
            folder / "shared.dll");
        auto w = newWindow();
        QApplication::processEvents();
        [[maybe_unused]] const long before = StatusKiB("VmRSS");
        ResetPeakMemory();
        w->OpenPaths({QString::fromStdString(folder.string())});
        QVERIFY(w->Catalogue().Stopped());
        // The names stop where the quarter of their file's memory that
        // entries may keep is spent; the others are listed.
        QVERIFY2(w->Catalogue().IconCount() > 8000 && w->Catalogue().IconCount() < 65537,
                 qPrintable(QString::number(w->Catalogue().IconCount())));
        auto *list = Named<QListWidget>(*w, "lvLst");
        QCOMPARE(list->count(), 80);
        list->item(0)->setSelected(true);
        QVERIFY(Named<QListWidget>(*w, "gdIconLst")->count() >= 1);
        const QPoint centre = list->visualItemRect(list->item(0)).center();
        QHelpEvent help(QEvent::ToolTip, centre, list->viewport()->mapToGlobal(centre));
        QApplication::sendEvent(list->viewport(), &help);
        // The first 16 of the group's 60,000 images are read to be named.
        QVERIFY2(QToolTip::text().startsWith("File: " + QString::fromStdString(folder.string())) &&
                     QToolTip::text().endsWith(" and 59984 more"),
                 qPrintable(QToolTip::text()));
        TStatusBarPanel *shown = Named<TStatusBarPanel>(*w, "stbBarPanel0");
        QTRY_VERIFY2_WITH_TIMEOUT(!shown->note().startsWith("Comparing"), qPrintable(shown->note()), 120000);
#if !defined(VEXILLO_ADDRESS_SANITIZER) && !defined(VEXILLO_THREAD_SANITIZER)
        const long peak = StatusKiB("VmHWM") - before, kept = StatusKiB("VmRSS") - before;
        qInfo("crafted folder: %ld KiB at the peak, %ld KiB kept", peak, kept);
        // (The peak comes to about 64 MiB: the preview of the group of
        // 60,000 images and the key of the 2048-pixel picture make most of
        // it; the bound leaves room for the allocator's noise.)
        QVERIFY2(peak < 72 * 1024, (std::to_string(peak) + " KiB").c_str());
        QVERIFY2(kept < 64 * 1024, (std::to_string(kept) + " KiB").c_str());
#endif
        QVERIFY(w->close());
    }

    void a256PixelImageGetsItsRealRow()
    {
        const QString big = ico("big.ico", {SolidDib(256, 32)});
        auto w = newWindow();
        w->OpenFiles({big});
        Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
        QCOMPARE(Named<QListWidget>(*w, "gdIconLst")->item(0)->text(), QString("256x256, 24b Colors"));
        QCOMPARE(
            Named<QListWidget>(*w, "gdIconLst")->visualItemRect(Named<QListWidget>(*w, "gdIconLst")->item(0)).height(),
            281);
        QVERIFY(w->close());
    }

    void reopenScansTheFileAgain()
    {
        const QStringList files = {ico("a.ico", {SolidDib(32, 24)}), ico("b&c.ico", {SolidDib(32, 24)}),
                                   ico("c.ico", {SolidDib(32, 24)})};
        auto w = newWindow();
        for (const QString &file : files)
            w->OpenFiles({file});
        QCOMPARE(ReopenCaptions(*w),
                 (QStringList{"1. " + files[2], "2. " + QString(files[1]).replace("&", "&&"), "3. " + files[0]}));
        ReopenItem(*w, 1)->trigger(); // the path with an ampersand
        QCOMPARE(w->Catalogue().IconCount(), 1);
        QCOMPARE(QString::fromStdString(w->Catalogue().IconItems[0]->FileName), files[1]);
        QCOMPARE(w->PanelText(2), QString("1 Files"));
        QCOMPARE(ReopenItem(*w, 0)->data().toString(), files[1]);

        // A file deleted after the menu was built: the message, and the
        // catalogue stays.
        fs::remove(files[0].toStdString());
        ReopenItem(*w, 2)->trigger();
        QCOMPARE(messages.size(), size_t{1});
        QCOMPARE(messages[0].text, QString("file not exists.   "));
        QCOMPARE(messages[0].caption, QString("Vexillo"));
        QCOMPARE(messages[0].flags, 0x40u);
        QCOMPARE(QString::fromStdString(w->Catalogue().IconItems[0]->FileName), files[1]);
        QVERIFY(w->close());
    }

    void storedRecentFilesKeepTheirOrderAndDropMissingOnes()
    {
        const QString a = ico("a.ico", {SolidDib(32, 24)});
        const QString b = ico("b.ico", {SolidDib(32, 24)});
        WriteText(settings,
                  "[Reopen]\nZeta=" + a.toStdString() + "\nGone=/no/such/file.ico\nAlpha=" + b.toStdString() + "\n");
        auto w = newWindow();
        QCOMPARE(ReopenCaptions(*w), (QStringList{"1. " + b, "2. " + a}));
        QVERIFY(w->close());
        const QString text = QString::fromStdString(ReadText(settings));
        QVERIFY2(text.contains("[Reopen]\nFile1=" + a + "\nFile2=" + b + "\n"), qPrintable(text));
        QVERIFY(!text.contains("Zeta"));
    }

    // Closing writes the settings file once, however many keys it holds.
    void manyRecentFilesAreSavedWithOneWrite()
    {
        auto w = newWindow();
        std::vector<std::string> files;
        for (int i = 0; i < 5000; ++i) {
            files.push_back((dir->path() / ("recent" + std::to_string(i) + ".ico")).string());
            WriteText(files.back(), "");
            w->RecentFiles().AddRecentFile(files.back());
        }
        WriteWatch watch(dir->path());
        QVERIFY(w->close());
        QCOMPARE(watch.Writes("Settings.ini"), 1);
        const TIniFile ini(settings);
        QCOMPARE(ini.ReadString(kReopenSection, "File1", ""), files.front());
        QCOMPARE(ini.ReadString(kReopenSection, "File5000", ""), files.back());
        QVERIFY(ini.ReadBool(kViewSection, "Toolbar", false));
        QVERIFY(messages.empty());
    }

    void aBadColourIsReportedAndTheRecentFilesSurvive()
    {
        const QString a = ico("a.ico", {SolidDib(32, 24)});
        WriteText(settings, "[View]\nBackground Color=purplish\n[Reopen]\nFile1=" + a.toStdString() + "\n");
        auto w = newWindow();
        QCOMPARE(messages.size(), size_t{1});
        QVERIFY(messages[0].text.contains("purplish"));
        QCOMPARE(w->BackgroundColor(), QColor(Qt::white));
        QCOMPARE(ReopenCaptions(*w), QStringList{"1. " + a});
        QVERIFY(w->close());
        QVERIFY(QString::fromStdString(ReadText(settings)).contains("File1=" + a));
    }

    void theBackgroundColourReachesBothLists()
    {
        WriteText(settings, "[View]\nBackground Color=$00563412\n");
        auto w = newWindow();
        QCOMPARE(w->BackgroundColor(), QColor(0x12, 0x34, 0x56));
        QCOMPARE(Named<QListWidget>(*w, "lvLst")->palette().color(QPalette::Base), QColor(0x12, 0x34, 0x56));
        QCOMPARE(Named<QListWidget>(*w, "gdIconLst")->palette().color(QPalette::Base), QColor(0x12, 0x34, 0x56));
        // Choosing a colour and cancelling keeps it.
        QTimer::singleShot(0, Named<QColorDialog>(*w, "cdBgColor"), [&] {
            Named<QColorDialog>(*w, "cdBgColor")->setCurrentColor(Qt::red);
            Named<QColorDialog>(*w, "cdBgColor")->reject();
        });
        Named<QAction>(*w, "actColor")->trigger();
        QCOMPARE(w->BackgroundColor(), QColor(0x12, 0x34, 0x56));
        QTimer::singleShot(0, Named<QColorDialog>(*w, "cdBgColor"), [&] {
            Named<QColorDialog>(*w, "cdBgColor")->setCurrentColor(QColor(0, 0, 255));
            Named<QColorDialog>(*w, "cdBgColor")->accept();
        });
        Named<QAction>(*w, "actColor")->trigger();
        QCOMPARE(Named<QListWidget>(*w, "lvLst")->palette().color(QPalette::Base), QColor(0, 0, 255));
        QVERIFY(w->close());
        QVERIFY(QString::fromStdString(ReadText(settings)).contains("Background Color=clBlue"));
    }

    // Whatever the desktop's theme and the chosen background, the numbers,
    // the preview texts and a selected item read at the WCAG 4.5:1 contrast.
    void textReadsInEveryTheme_data()
    {
        QTest::addColumn<QPalette>("theme");
        QTest::addColumn<QString>("background");
        QPalette dark;
        for (auto [role, color] : {std::pair{QPalette::Window, QColor(0x35, 0x35, 0x35)},
                                   {QPalette::WindowText, QColor(0xee, 0xee, 0xee)},
                                   {QPalette::Base, QColor(0x2a, 0x2a, 0x2a)},
                                   {QPalette::Text, QColor(0xee, 0xee, 0xee)},
                                   {QPalette::Highlight, QColor(0x2a, 0x82, 0xda)},
                                   {QPalette::HighlightedText, QColor(0x22, 0x22, 0x22)}})
            dark.setColor(role, color);
        QPalette contrast;
        for (auto [role, color] : {std::pair{QPalette::Window, QColor(Qt::black)},
                                   {QPalette::WindowText, QColor(Qt::white)},
                                   {QPalette::Base, QColor(Qt::black)},
                                   {QPalette::Text, QColor(Qt::white)},
                                   {QPalette::Highlight, QColor(Qt::yellow)},
                                   {QPalette::HighlightedText, QColor(Qt::white)}})
            contrast.setColor(role, color);
        QTest::newRow("light, white") << QApplication::palette() << "clWhite";
        QTest::newRow("dark, white") << dark << "clWhite";
        QTest::newRow("dark, navy") << dark << "clNavy";
        QTest::newRow("high contrast, white") << contrast << "clWhite";
        QTest::newRow("high contrast, black") << contrast << "clBlack";
    }

    void textReadsInEveryTheme()
    {
        QFETCH(QPalette, theme);
        QFETCH(QString, background);
        const QPalette before = QApplication::palette();
        QApplication::setPalette(theme);
        WriteText(settings, "[View]\nBackground Color=" + background.toStdString() + "\n");
        auto w = newWindow();
        for (const char *name : {"lvLst", "gdIconLst"}) {
            const QPalette palette = Named<QListWidget>(*w, name)->palette();
            QVERIFY2(ContrastRatio(palette.color(QPalette::Text), palette.color(QPalette::Base)) >= 4.5, name);
            QVERIFY2(ContrastRatio(palette.color(QPalette::HighlightedText), palette.color(QPalette::Highlight)) >= 4.5,
                     name);
        }
        // The number under an icon is drawn so that it reads: its strongest
        // pixels stand out from the background at 4.5:1.
        w->OpenFiles({ico("a.ico", {SolidDib(32, 24)})});
        QListWidget *icons = Named<QListWidget>(*w, "lvLst");
        QApplication::processEvents(); // the list lays its items out
        const QImage shot = icons->viewport()->grab().toImage();
        const double scale = shot.devicePixelRatio();
        const QRect item = icons->visualItemRect(icons->item(0));
        const QColor base = icons->palette().color(QPalette::Base);
        double strongest = 1;
        for (int y = static_cast<int>((item.bottom() - 14) * scale); y <= static_cast<int>(item.bottom() * scale); ++y)
            for (int x = static_cast<int>(item.left() * scale); x <= static_cast<int>(item.right() * scale); ++x)
                strongest = std::max(strongest, ContrastRatio(QColor(shot.pixel(x, y)), base));
        QVERIFY2(strongest >= 4.5, qPrintable(QString::number(strongest)));
        QVERIFY(w->close());
        QApplication::setPalette(before);
    }

    // The window opens at its place where the screen has room, and inside
    // the screen's free area where it has not.
    void theWindowFitsTheScreen_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("room") << QRect(0, 0, 1280, 800) << QRect(244, 129, 711, 482);
        QTest::newRow("narrow") << QRect(0, 0, 800, 600) << QRect(89, 118, 711, 482);
        QTest::newRow("small") << QRect(0, 0, 640, 400) << QRect(0, 0, 640, 400);
        QTest::newRow("second screen") << QRect(1600, 100, 1024, 768) << QRect(1600, 129, 711, 482);
    }

    void theWindowFitsTheScreen()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        QCOMPARE(FitIntoScreen(QRect(244, 129, 711, 482), available), expected);
    }

    // The first window's frame, the gaps of the tool bar, the order of the
    // icon list's pop-up menu and the width of status panel 0, as designed;
    // on a screen of two device pixels to a pixel the frame fits as well.
    void theWindowHasItsDesignedGeometry()
    {
        auto w = newWindow();
        QCOMPARE(w->frameGeometry(), FitIntoScreen(QRect(244, 129, 711, 482), w->screen()->availableGeometry()));
        QWidget *panel0 = Named<QWidget>(*w, "stbBarPanel0");
        QCOMPARE(w->frameGeometry().width() - panel0->width(), 380);
        w->resize(w->width() - 10, w->height());
        QApplication::processEvents();
        QCOMPARE(w->frameGeometry().width() - panel0->width(), 380);
        const auto gap = [&](const char *left, const char *right) {
            return Named<QWidget>(*w, right)->x() - Named<QWidget>(*w, left)->geometry().right() - 1;
        };
        QCOMPARE(Named<QWidget>(*w, "ToolButton1")->x(), 3);
        if (Named<QWidget>(*w, "ToolButton11")->isVisible()) { // not in the tool bar's overflow menu
            QCOMPARE(gap("ToolButton2", "ToolButton7"), 8);
            QCOMPARE(gap("ToolButton9", "ToolButton5"), 8);
            QCOMPARE(gap("ToolButton5", "ToolButton11"), 11);
        }
        QStringList items;
        for (QAction *item : Named<QMenu>(*w, "PopupMenu1")->actions())
            items << (item->isSeparator() ? "-" : item->text());
        QCOMPARE(items, (QStringList{"&Save as", "-", "Select &all", "-", "&Copy image", "-", "Find si&milar icons",
                                     "Show a&ll"}));
        QVERIFY(w->close());
    }

    // The frame the user moved and resized the window to is where the next
    // start opens it; a place stored off the screen is brought back on it.
    void theNextStartOpensWhereTheUserLeftTheWindow()
    {
        auto w = newWindow();
        w->move(w->pos() + QPoint(-30, 20));
        w->resize(w->width() - 40, w->height() - 10);
        QApplication::processEvents();
        const QRect left = w->frameGeometry();
        QVERIFY(w->close());
        TIniFile ini(settings);
        QCOMPARE(ini.ReadInteger("Window", "Left", 0), left.left());
        QCOMPARE(ini.ReadInteger("Window", "Width", 0), left.width());
        w = newWindow();
        QCOMPARE(w->frameGeometry(), left);
        QVERIFY(w->close());
        QCOMPARE(ini.ReadInteger("Window", "Top", 0), left.top()); // kept while the window stays

        ini.WriteInteger("Window", "Left", -5000);
        w = newWindow();
        QVERIFY(w->screen()->availableGeometry().contains(w->frameGeometry()));
        QCOMPARE(w->frameGeometry().size(), left.size());
        QVERIFY(w->close());
    }

    // Every item of a page has the same cell, a picture or not; a new page
    // starts at its first row.
    void pageItemsKeepTheirCellsAndANewPageStartsAtTheTop()
    {
        QStringList files = manyIcons(100);
        files.insert(79, ico("empty.ico", {std::vector<uint8_t>(40, 0)})); // the last of page 1: no picture
        auto w = newWindow();
        w->resize(300, 300);
        w->OpenFiles(files);
        QListWidget *icons = Named<QListWidget>(*w, "lvLst");
        QApplication::processEvents();
        QCOMPARE(icons->count(), 80);
        for (int i = 0; i < icons->count(); ++i)
            QCOMPARE(icons->visualItemRect(icons->item(i)).size(), icons->visualItemRect(icons->item(0)).size());
        QVERIFY(icons->visualItemRect(icons->item(0)).height() >= 32 + QFontMetrics(icons->font()).height());
        icons->scrollToBottom();
        QVERIFY(icons->verticalScrollBar()->value() > 0);
        w->ShowPage(2);
        QApplication::processEvents();
        QCOMPARE(icons->verticalScrollBar()->value(), 0);
        QVERIFY(w->close());
    }

    // The save button's hint, in its tooltip and the status bar, stays its
    // own when the save action changes; the file shown for the icon under
    // the pointer goes when the pointer leaves the icons.
    void hintsOfTheSaveButtonAndTheIcons()
    {
        auto w = newWindow();
        w->OpenFiles({ico("a.ico", {SolidDib(32, 24)})});
        QToolButton *save = Named<QToolButton>(*w, "ToolButton5");
        QCOMPARE(save->toolTip(), QString("Save file"));
        QCOMPARE(save->statusTip(), QString("Save file"));
        Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
        QVERIFY(Named<QAction>(*w, "actSave")->isEnabled());
        QCOMPARE(save->toolTip(), QString("Save file"));
        QCOMPARE(save->statusTip(), QString("Save file"));

        QWidget *viewport = Named<QListWidget>(*w, "lvLst")->viewport();
        const QRect item = Named<QListWidget>(*w, "lvLst")->visualItemRect(Named<QListWidget>(*w, "lvLst")->item(0));
        QMouseEvent move(QEvent::MouseMove, item.center(), viewport->mapToGlobal(item.center()), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
        QVERIFY(w->PanelText(0).endsWith("a.ico"));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(viewport, &leave);
        QCOMPARE(w->PanelText(0), QString());
        QVERIFY(w->close());
    }

    // A 256-pixel row scrolls into view sideways; a PNG that is not square
    // keeps its shape; an entry of 0 bytes keeps its row, drawn empty.
    void previewRowsOfEveryShape()
    {
        const std::string png = (dir->path() / "tall.png").string();
        QCOMPARE(Run("/usr/bin/convert -size 194x313 xc:'#2266aa' PNG32:'" + png + "'"), 0);
        const QString tall = ico("tall.ico", {SolidDib(256, 32), ReadBytes(png)});
        auto w = newWindow();
        w->OpenFiles({tall});
        Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
        QListWidget *preview = Named<QListWidget>(*w, "gdIconLst");
        QApplication::processEvents();
        QCOMPARE(preview->count(), 2);
        QVERIFY(preview->visualItemRect(preview->item(0)).width() > 256 + 5);
        QVERIFY(preview->horizontalScrollBar()->maximum() > 0);
        QCOMPARE(preview->visualItemRect(preview->item(1)).height(), 313 + 25);
        // Its own sides as a directory holds them: 313 is past what an entry
        // can say, and reads as 256.
        QVERIFY2(preview->item(1)->text().startsWith("194x256"), qPrintable(preview->item(1)->text()));
        const TIconImage *image = w->PreviewIcon().Images.GetItem(1);
        QCOMPARE(const_cast<TIconImage *>(image)->GetHandle()->Height, 313);

        std::vector<uint8_t> group = {0, 0, 1, 0, 3, 0};
        const auto dib = SolidDib(16, 24);
        for (uint32_t bytes : {static_cast<uint32_t>(dib.size()), 0u, static_cast<uint32_t>(dib.size())}) {
            group.insert(group.end(), {16, 16, 0, 0, 1, 0, 24, 0});
            PutU32(group, bytes);
            PutU16(group, 1);
        }
        const fs::path module = BuildModule(*dir, "zero.dll", {{"1", 14, group}, {"1", 3, dib}});
        w->OpenFiles({QString::fromStdString(module.string())});
        Named<QListWidget>(*w, "lvLst")->item(0)->setSelected(true);
        QCOMPARE(preview->count(), 3);
        QCOMPARE(w->PreviewIcon().Images.Count, 3);
        QCOMPARE(w->PreviewIcon().Images.GetItem(2)->Data.size(), dib.size());
        QVERIFY(w->close());
    }

    // On a screen of two device pixels to a pixel (run with QT_SCALE_FACTOR=2)
    // the page's pictures have twice the pixels and the preview draws each
    // image at its own size in device pixels; on a plain screen, as ever.
    void picturesAreMadeForTheScreensPixels()
    {
        const QString file = ico("sizes.ico", {SolidDib(16, 24), SolidDib(32, 24), SolidDib(64, 32)});
        auto w = newWindow();
        w->OpenFiles({file});
        QListWidget *icons = Named<QListWidget>(*w, "lvLst");
        const double ratio = icons->devicePixelRatioF();
        const QPixmap picture = icons->item(0)->icon().pixmap(QSize(32, 32), ratio);
        QCOMPARE(picture.width(), static_cast<int>(32 * ratio));
        icons->item(0)->setSelected(true);
        QListWidget *preview = Named<QListWidget>(*w, "gdIconLst");
        QApplication::processEvents();
        QCOMPARE(preview->visualItemRect(preview->item(2)).height(), static_cast<int>(std::ceil(64 / ratio)) + 25);
        // The caption keeps its distance from the small picture: nothing but
        // the background between them.
        const QImage rows = preview->viewport()->grab().toImage();
        const QRect row = preview->visualItemRect(preview->item(0));
        const int edge = row.left() + 5 + static_cast<int>(std::ceil(16 / ratio));
        for (int x = edge; x < edge + TPreviewDelegate::CaptionGap(ratio); ++x)
            for (int y = row.top(); y <= row.bottom(); ++y)
                QCOMPARE(rows.pixelColor(static_cast<int>(x * ratio), static_cast<int>(y * ratio)), QColor(Qt::white));
        QVERIFY(w->close());
    }

    void aModuleDeletedAfterTheScanLeavesAGap()
    {
        std::vector<std::tuple<std::string, int, std::vector<uint8_t>>> resources = {
            {"1", 3, SolidDib(32, 24)},
            {"1", 14, {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 1, 0}},
        };
        // The group entry's size field is filled in from the image.
        const uint32_t size = static_cast<uint32_t>(std::get<2>(resources[0]).size());
        for (int k = 0; k < 4; ++k)
            std::get<2>(resources[1])[14 + k] = static_cast<uint8_t>(size >> (8 * k));
        const fs::path module = BuildModule(*dir, "app.dll", resources);
        const QString before = ico("before.ico", {SolidDib(32, 24)});
        const QString after = ico("after.ico", {SolidDib(32, 24)});
        auto w = newWindow();
        w->OpenFiles({before, QString::fromStdString(module.string()), after});
        QCOMPARE(captions(Named<QListWidget>(*w, "lvLst")), (QStringList{"1", "2", "3"}));
        QVERIFY(!Named<QListWidget>(*w, "lvLst")->item(1)->icon().isNull());
        fs::remove(module);
        w->ShowPage(1);
        QCOMPARE(captions(Named<QListWidget>(*w, "lvLst")), (QStringList{"1", "3"}));
        QVERIFY(w->close());
    }

    void pointingAtAnIconShowsItsFile()
    {
        const QStringList files = {ico("a.ico", {SolidDib(32, 24)}), ico("b.ico", {SolidDib(32, 24, true)})};
        auto w = newWindow();
        w->OpenFiles(files);
        for (int i = 0; i < 2; ++i) {
            const QPoint centre =
                Named<QListWidget>(*w, "lvLst")->visualItemRect(Named<QListWidget>(*w, "lvLst")->item(i)).center();
            QTest::mouseMove(Named<QListWidget>(*w, "lvLst")->viewport(), centre);
            QMouseEvent move(QEvent::MouseMove, centre,
                             Named<QListWidget>(*w, "lvLst")->viewport()->mapToGlobal(centre), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(Named<QListWidget>(*w, "lvLst")->viewport(), &move);
            QCOMPARE(w->PanelText(0), files[i]);
            // The tooltip tells the file and its images.
            QHelpEvent help(QEvent::ToolTip, centre, Named<QListWidget>(*w, "lvLst")->viewport()->mapToGlobal(centre));
            QApplication::sendEvent(Named<QListWidget>(*w, "lvLst")->viewport(), &help);
            QCOMPARE(QToolTip::text(), "File: " + files[i] + QString::fromUtf8("\nImages: 32\u00D732 (24 bit)"));
        }
        QVERIFY(w->close());
    }

    // After a search the icons are compared in the background: a tooltip
    // names the other files holding the same icon, "Hide duplicates" keeps
    // the first of each, "Find similar icons" shows the pictures like the
    // chosen one, the filter narrows the pages, and Esc undoes each.
    void duplicatesSimilarIconsAndTheFilter()
    {
        // Brighter on the left: every cell of the picture key is brighter
        // than its right neighbour, at any size and depth.
        const auto fading = [](int size, int bits) {
            std::vector<uint32_t> pixels(static_cast<size_t>(size * size));
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = 0xFF000000u | (255 - static_cast<uint32_t>(i % static_cast<size_t>(size)) * 255 /
                                                     static_cast<uint32_t>(size)) *
                                              0x010101u;
            return MakeDib(size, size, bits, {}, pixels);
        };
        const QStringList files = {ico("a.ico", {fading(32, 24)}), ico("b.ico", {fading(32, 24)}),
                                   ico("c.ico", {SolidDib(32, 24)}), ico("d.ico", {fading(48, 32)})};
        auto w = newWindow();
        w->OpenFiles(files);
        QListWidget *list = Named<QListWidget>(*w, "lvLst");
        TStatusBarPanel *shown = Named<TStatusBarPanel>(*w, "stbBarPanel0");
        QTRY_VERIFY(shown->note().isEmpty());

        const QPoint centre = list->visualItemRect(list->item(0)).center();
        QHelpEvent help(QEvent::ToolTip, centre, list->viewport()->mapToGlobal(centre));
        QApplication::sendEvent(list->viewport(), &help);
        QVERIFY2(QToolTip::text().endsWith("\nAlso in 1 other file:\n  " + files[1]), qPrintable(QToolTip::text()));

        Named<QAction>(*w, "actHideDuplicates")->trigger();
        QCOMPARE(captions(list), (QStringList{"1", "3", "4"}));
        QCOMPARE(shown->note(), QString("Shown: 3, 1 duplicates hidden"));
        QCOMPARE(w->frameGeometry().width() - shown->width(), 380);
        Named<QAction>(*w, "actHideDuplicates")->trigger();
        QCOMPARE(captions(list), (QStringList{"1", "2", "3", "4"}));

        list->item(3)->setSelected(true);
        Named<QAction>(*w, "actFindSimilar")->trigger();
        QCOMPARE(captions(list), (QStringList{"4", "1", "2"}));
        QTest::keyClick(list, Qt::Key_Escape);
        QCOMPARE(captions(list), (QStringList{"1", "2", "3", "4"}));

        QLineEdit *filter = Named<QLineEdit>(*w, "edFilter");
        QTest::keyClicks(filter, "B.ICO");
        QCOMPARE(captions(list), QStringList{"2"});
        QCOMPARE(w->PanelText(1), QString("1/1 Pages"));
        filter->clear();
        Named<QAction>(*w, "actBits32")->trigger();
        QCOMPARE(captions(list), QStringList{"4"});
        QTest::keyClicks(filter, "nothing");
        QCOMPARE(list->count(), 0);
        QCOMPARE(w->PanelText(1), QString(" Pages"));
        QTest::keyClick(filter, Qt::Key_Escape);
        QCOMPARE(captions(list), (QStringList{"1", "2", "3", "4"}));
        QVERIFY(filter->text().isEmpty() && !Named<QAction>(*w, "actBits32")->isChecked());
        QVERIFY(w->close());
    }

    // Files that could not be read are counted on the status bar and listed
    // with the reasons vexillo-cli gives; a folder of cursors alone, while
    // cursors are off, offers to show them.
    void filesNotReadAreSaidAndCursorsAloneOffered()
    {
        const std::string text = (dir->path() / "text.exe").string();
        const std::string fake = (dir->path() / "fake.ico").string();
        WriteBytes(text, {'h', 'i', '\n'});
        WriteBytes(fake, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'c', 'o', 'n'});
        auto w = newWindow();
        w->OpenFiles({QString::fromStdString(text), QString::fromStdString(fake), ico("good.ico", {SolidDib(32, 24)})});
        TStatusBarPanel *shown = Named<TStatusBarPanel>(*w, "stbBarPanel0");
        QTRY_COMPARE(shown->note(), QString("2 files could not be read"));
        Named<QAction>(*w, "actUnread")->trigger();
        auto *list = Named<QDialog>(*w, "frmUnread");
        QCOMPARE(Named<QLabel>(*list, "lbCount")->text(), QString("2 files could not be read."));
        auto *rows = Named<QTreeWidget>(*list, "lvUnread");
        QCOMPARE(rows->topLevelItemCount(), 2);
        std::string err;
        Run(Quote(VEXILLO_CLI) + " groups " + Quote(text) + " " + Quote(fake), nullptr, &err);
        for (int i = 0; i < 2; ++i) {
            const QString said =
                "vexillo-cli: " + rows->topLevelItem(i)->text(0) + ": " + rows->topLevelItem(i)->text(1);
            QVERIFY2(QString::fromStdString(err).split('\n').contains(said), qPrintable(said + " / " + err.c_str()));
        }
        list->close();

        const fs::path cursors = dir->path() / "cursors";
        fs::create_directory(cursors);
        std::vector<uint8_t> cursor = MakeIco({SolidDib(32, 24)});
        cursor[2] = 2; // a CUR file
        WriteBytes(cursors / "arrow.cur", cursor);
        w->OpenPaths({QString::fromStdString(cursors.string())});
        QCOMPARE(w->Catalogue().IconCount(), 0);
        QCOMPARE(shown->note(), QString("Only cursors found: click to show them"));
        QVERIFY(!Named<QAction>(*w, "actUnread")->isEnabled());
        QTest::mouseClick(shown, Qt::LeftButton);
        QVERIFY(Named<QAction>(*w, "actCursors")->isChecked());
        QCOMPARE(w->Catalogue().IconCount(), 1);
        QTRY_VERIFY(shown->note().isEmpty());
        QVERIFY(w->close());
    }
};

QTEST_MAIN(tst_frmmain)
#include "tst_frmmain.moc"
