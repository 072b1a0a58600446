// The catalogue: file types, counters and status texts, scans of folder
// trees (with the odd things real trees hold) and the stop request.
#include "catalogue/catalogue.h"
#include "catalogue/failuretext.h"
#include "crafted.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

// A main window stand-in that records what the catalogue shows.
class RecordingView : public TCatalogueView {
public:
    std::string panels[5];
    std::vector<std::string> calls;
    int pumps = 0;
    std::function<void()> onPump;

    void SetStatusText(int panel, const std::string &text) override
    {
        panels[panel] = text;
        calls.push_back(std::to_string(panel) + ":" + text);
    }
    void ProcessMessages() override
    {
        ++pumps;
        if (onPump)
            onPump();
    }
    void ClearIconList() override { calls.push_back("clear icons"); }
    void ClearPreview() override { calls.push_back("clear preview"); }
};

std::set<std::string> FilesOf(const TCatalogue &catalogue)
{
    std::set<std::string> files;
    for (const auto &item : catalogue.IconItems)
        files.insert(item->FileName);
    return files;
}

void Touch(const fs::path &path, const std::vector<uint8_t> &bytes = {0, 0, 1, 0, 0, 0})
{
    WriteBytes(path, bytes);
}

} // namespace

TEST(CatalogueFileTypes, ExtensionsAreMatchedWithoutRegardToCase)
{
    const std::vector<std::pair<std::string, uint32_t>> table = {
        {"Setup.EXE", ftExe}, {"a.Ico", ftIco},           {"x.OCX", ftOcx}, {"shell32.dll", ftDll},
        {"desk.cpl", ftCpl},  {"icons.ico.bak", 0},       {"readme", 0},    {".ico", ftIco},
        {"/a.ico/readme", 0}, {"archive.tar.exe", ftExe}, {"name.ic", 0},   {"x.icon", 0},
    };
    for (const auto &[name, type] : table) {
        EXPECT_EQ(FileTypeOf(name), type) << name;
        EXPECT_EQ(IsIconFile(name), type == ftIco) << name;
    }
}

TEST(CatalogueFileTypes, GroupTextsThatReadAsIntegers)
{
    const std::vector<std::pair<std::string, int>> numbers = {
        {"1", 1}, {"0042", 42}, {"32512", 32512}, {"-5", -5}, {"+7", 7}};
    for (const auto &[text, value] : numbers) {
        int read = 0;
        EXPECT_TRUE(ReadsAsInteger(text, read)) << text;
        EXPECT_EQ(read, value) << text;
    }
    for (const char *text : {"", "MAINICON", "12a", " 12", "-", "99999999999", "1.5", "#1"}) {
        int read = 0;
        EXPECT_FALSE(ReadsAsInteger(text, read)) << text;
    }
}

TEST(CatalogueCounters, PagesAndStatusTexts)
{
    RecordingView view;
    TCatalogue catalogue(&view);
    catalogue.ResetCatalogue();
    EXPECT_EQ(view.calls, (std::vector<std::string>{"1: Pages", "clear icons", "3:Icons: 0", "4:Selected: 0",
                                                    "clear preview", "2:0 Files"}));
    EXPECT_FALSE(catalogue.Stopped());
    EXPECT_EQ(catalogue.CurrentPage(), 1);
    EXPECT_EQ(catalogue.PageCount(), 0);

    for (int i = 1; i <= 161; ++i) {
        catalogue.ScanFile("a.ico"); // an .ico file's entry, the file not opened
        const int pages = (i + 79) / 80;
        EXPECT_EQ(catalogue.PageCount(), pages);
        EXPECT_EQ(view.panels[spPages], "1/" + std::to_string(pages) + " Pages");
        EXPECT_EQ(view.panels[spIcons], "Icons: " + std::to_string(i));
    }
    catalogue.ShowFileCount(3);
    EXPECT_EQ(view.panels[spFiles], "3 Files");

    catalogue.ResetCatalogue();
    EXPECT_EQ(catalogue.IconCount(), 0);
    EXPECT_EQ(view.panels[spPages], " Pages");
    EXPECT_EQ(view.panels[spFiles], "0 Files");
    EXPECT_EQ(view.panels[spIcons], "Icons: 0");
    EXPECT_EQ(view.panels[spSelected], "Selected: 0");
}

// A scan starts only in a run, so it never works on the state a previous
// run left (a stop flag still set, the counters of the last run).
TEST(CatalogueRun, ScansNeedARun)
{
    TCatalogue catalogue;
    EXPECT_THROW(catalogue.ScanFile("a.ico"), std::logic_error);
    EXPECT_THROW(catalogue.ScanFolder("/"), std::logic_error);
    catalogue.ResetCatalogue(ftIco, 2);
    EXPECT_FALSE(catalogue.Stopped());
    EXPECT_EQ(catalogue.FileCount(), 2);
    catalogue.ScanFile("a.ico");
    catalogue.EndRun();
    EXPECT_TRUE(catalogue.Stopped());
    EXPECT_THROW(catalogue.ScanFile("b.ico"), std::logic_error);
    EXPECT_EQ(catalogue.IconCount(), 1);
}

// The window's scans: a named file is remembered before its scan (Reopen)
// or after it (Open file); a cancelled scan keeps what it found and ends
// its run.
TEST(CatalogueRun, NamedFilesAndCancelledScans)
{
    RecordingView view;
    TCatalogue catalogue(&view);
    for (const TRememberFile when : {TRememberFile::BeforeScan, TRememberFile::AfterScan}) {
        std::vector<int> found; // the entries found as each file was remembered
        EXPECT_TRUE(RunScan(catalogue, [&] {
            ScanNamedFiles(catalogue, {"a.ico", "b.ico"}, when,
                           [&](const std::string &) { found.push_back(catalogue.IconCount()); });
            return true;
        }));
        EXPECT_EQ(found, (when == TRememberFile::BeforeScan ? std::vector<int>{0, 1} : std::vector<int>{1, 2}));
        EXPECT_EQ(view.panels[spFiles], "2 Files");
    }
    EXPECT_TRUE(RunScan(catalogue, [&]() -> bool {
        catalogue.ResetCatalogue();
        catalogue.ScanFile("c.ico");
        throw EAbort();
    }));
    EXPECT_EQ(catalogue.IconCount(), 1);
    EXPECT_THROW(catalogue.ScanFile("d.ico"), std::logic_error);
    // Files that hold no icon: a single one that gave a fault says why;
    // otherwise the files are named as the title names them.
    const TReadError cut = Truncated(4096, "section table");
    EXPECT_EQ(NoIconFoundText({"/x/a.dll"}, "a.dll", cut), "No icon found in /x/a.dll:\n" + cut.Text());
    EXPECT_EQ(NoIconFoundText({"/x/a.dll"}, "a.dll", {}), "No icon found in a.dll.");
    EXPECT_EQ(NoIconFoundText({"/x/a.dll", "/x/b.dll"}, "a.dll, b.dll", cut), "No icon found in a.dll, b.dll.");
}

// An .ico file gets its entry without being opened; a file that is not a
// module adds nothing.
TEST(CatalogueScanFile, IconFilesAreTakenAsTheyAreAndOtherFilesMustBeModules)
{
    TempDir dir;
    Touch(dir / "not a module.dll", {'M', 'Z', 1, 2, 3});
    RecordingView view;
    TCatalogue catalogue(&view);
    catalogue.ResetCatalogue();
    catalogue.ScanFile((dir / "missing.ICO").string());
    catalogue.ScanFile((dir / "not a module.dll").string());
    catalogue.ScanFile((dir / "missing.exe").string());
    ASSERT_EQ(catalogue.IconCount(), 1);
    EXPECT_EQ(catalogue.IconItems[0]->FileName, (dir / "missing.ICO").string());
    EXPECT_EQ(catalogue.IconItems[0]->GroupName, "");
    EXPECT_EQ(catalogue.CurrentFile(), (dir / "missing.exe").string());

    // The files that gave a fault are kept with the reason vexillo-cli
    // gives; a named .ico file's header is read. A module of cursors alone
    // is read, its cursors passed over while they are not asked for.
    EXPECT_EQ(catalogue.ScanNamedFile((dir / "missing.ICO").string()).Code, TReadErrorCode::Io);
    const fs::path cursors = dir / "cursors.dll";
    WriteBytes(cursors, MakeRawModule({{12, 1, {}, MakeIconGroup({SmallDib()}, {1})}, {1, 1, {}, SmallDib()}}));
    EXPECT_FALSE(catalogue.ScanNamedFile(cursors.string()));
    EXPECT_EQ(catalogue.PassedCursors(), 1);
    ASSERT_EQ(catalogue.UnreadCount(), 3);
    EXPECT_EQ(catalogue.UnreadFiles()[0].FileName, (dir / "not a module.dll").string());
    EXPECT_EQ(catalogue.UnreadFiles()[0].Reason, "not a Windows program or library (the DOS header is cut short)");
    EXPECT_EQ(catalogue.UnreadFiles()[2].FileName, (dir / "missing.ICO").string());
    // The count stays exact past the listed files.
    for (size_t i = 0; i < TCatalogue::kMaxUnreadListed; ++i)
        catalogue.ScanFile((dir / "missing.exe").string());
    EXPECT_EQ(catalogue.UnreadCount(), 3 + static_cast<int>(TCatalogue::kMaxUnreadListed));
    EXPECT_EQ(catalogue.UnreadFiles().size(), TCatalogue::kMaxUnreadListed);
    catalogue.ResetCatalogue();
    EXPECT_EQ(catalogue.UnreadCount() + catalogue.PassedCursors(), 0);
    EXPECT_TRUE(catalogue.UnreadFiles().empty());
}

// Each load starts clean: a file that does not open leaves no images,
// budget, cursor flag or reason of the load before.
TEST(CatalogueLoad, AFailedLoadKeepsNothingOfTheLastOne)
{
    TempDir dir;
    auto cursor = SharedEntryIco(SmallDib(), 1);
    cursor[2] = 2;
    WriteBytes(dir / "a.cur", cursor);
    TCatalogue catalogue;
    ASSERT_TRUE(catalogue.LoadIconGroup((dir / "a.cur").string(), "") && catalogue.CurrentIcon.Budget);
    EXPECT_FALSE(catalogue.LoadIconGroup((dir / "missing.dll").string(), "1"));
    const TAdvancedIcon &icon = catalogue.CurrentIcon;
    EXPECT_FALSE(icon.Images.Count || icon.IsCursor || icon.Budget || icon.LastError());
}

class CatalogueScanFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        // root/
        //   A.ICO  b.ico  readme  x.Exe (not a module)
        //   .hidden.ico   .hidden-folder/c.ico
        //   sub/d.ico  sub/deeper/e.ico  sub/fifo.ico (FIFO)
        //   loop -> . (symbolic link to a folder)   link.ico -> sub/d.ico   dangling.ico -> nowhere
        root = dir.path() / "root";
        fs::create_directories(root / "sub" / "deeper");
        fs::create_directories(root / ".hidden-folder");
        for (const char *name : {"A.ICO", "b.ico", "readme", "x.Exe", ".hidden.ico", ".hidden-folder/c.ico",
                                 "sub/d.ico", "sub/deeper/e.ico"})
            Touch(root / name);
        ASSERT_EQ(mkfifo((root / "sub" / "fifo.ico").c_str(), 0600), 0);
        fs::create_directory_symlink(".", root / "loop");
        fs::create_symlink("sub/d.ico", root / "link.ico");
        fs::create_symlink("nowhere", root / "dangling.ico");
    }

    std::string R(const std::string &rel) const { return (root / rel).string(); }

    TempDir dir;
    fs::path root;
};

TEST_F(CatalogueScanFolder, FindsEveryIconFileOnceAndCountsEveryFile)
{
    RecordingView view;
    TCatalogue catalogue(&view);
    catalogue.ResetCatalogue(ftIco);
    catalogue.ScanFolder(root.string());
    EXPECT_EQ(FilesOf(catalogue),
              (std::set<std::string>{R("A.ICO"), R("b.ico"), R(".hidden.ico"), R(".hidden-folder/c.ico"),
                                     R("sub/d.ico"), R("sub/deeper/e.ico"), R("link.ico")}));
    EXPECT_EQ(catalogue.IconCount(), 7);
    // Each folder in name order, by upper case as a Windows file system keeps
    // it ('-' before '.', "A.ICO" before "b.ico"), whatever readdir gives.
    std::vector<std::string> order;
    for (const auto &entry : catalogue.IconItems)
        order.push_back(entry->FileName);
    EXPECT_EQ(order, (std::vector<std::string>{R(".hidden-folder/c.ico"), R(".hidden.ico"), R("A.ICO"), R("b.ico"),
                                               R("link.ico"), R("sub/d.ico"), R("sub/deeper/e.ico")}));
    // Files: 5 at the top (A.ICO b.ico readme x.Exe .hidden.ico), link.ico,
    // dangling.ico, c.ico, d.ico, e.ico and the FIFO.
    EXPECT_EQ(catalogue.FileCount(), 11);
    EXPECT_EQ(view.panels[spFiles], "11 Files");
    // Entries other than . and .. each pump once: 11 files, 3 folders, the loop.
    EXPECT_EQ(view.pumps, 15);
}

TEST_F(CatalogueScanFolder, OnlyTheMaskedTypesAreOpened)
{
    TCatalogue none;
    none.ResetCatalogue(ftExe | ftDll);
    none.ScanFolder(root.string());
    EXPECT_EQ(none.IconCount(), 0); // x.Exe is not a module
    EXPECT_EQ(none.FileCount(), 11);
}

TEST_F(CatalogueScanFolder, TrailingSlashMakesNoDifference)
{
    RecordingView with, without;
    TCatalogue a(&with), b(&without);
    for (TCatalogue *c : {&a, &b}) {
        c->ResetCatalogue(ftAll);
    }
    a.ScanFolder(root.string() + "/");
    b.ScanFolder(root.string());
    EXPECT_EQ(FilesOf(a), FilesOf(b));
    EXPECT_EQ(a.FileCount(), b.FileCount());
    // Panel 0 shows a folder with its slash, and keeps the last one entered.
    std::vector<std::string> shown;
    for (const auto &call : with.calls)
        if (call.rfind("0:", 0) == 0)
            shown.push_back(call.substr(2));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), root.string() + "/");
    for (const auto &folder : shown)
        EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(with.panels[0], shown.back());
}

TEST_F(CatalogueScanFolder, EmptyOrMissingFolders)
{
    RecordingView view;
    TCatalogue catalogue(&view);
    catalogue.ResetCatalogue(ftAll);
    view.panels[0] = "before";
    catalogue.ScanFolder("");
    EXPECT_EQ(view.panels[0], "before");
    EXPECT_EQ(catalogue.FileCount(), 0);

    catalogue.ScanFolder(R("no such folder"));
    EXPECT_EQ(view.panels[0], R("no such folder") + "/");
    EXPECT_EQ(catalogue.IconCount(), 0);
    EXPECT_EQ(view.pumps, 0);
}

// A folder that cannot be opened (here: no file handle left, which holds
// for root too) joins the unread files with its reason and is told to
// OnUnreadFolder; the folders before and after it are searched.
TEST_F(CatalogueScanFolder, AFolderThatCannotBeOpenedIsListedWithItsReason)
{
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    RecordingView view;
    TCatalogue catalogue(&view);
    std::string told;
    catalogue.OnUnreadFolder = [&](const std::string &folder, const TReadError &error) {
        told += folder + ": " + error.Text() + "\n";
    };
    view.onPump = [&] { // once .hidden-folder is searched, no descriptor opens
        if (view.pumps != 1)
            return;
        rlimit none = before;
        none.rlim_cur = static_cast<rlim_t>(dup(0));
        close(static_cast<int>(none.rlim_cur));
        setrlimit(RLIMIT_NOFILE, &none);
    };
    catalogue.ResetCatalogue(ftIco);
    catalogue.ScanFolder(root.string());
    setrlimit(RLIMIT_NOFILE, &before);
    EXPECT_EQ(FilesOf(catalogue).size(), 5u); // all but sub/d.ico and sub/deeper/e.ico
    EXPECT_EQ(told, R("sub") + ": cannot open the folder: Too many open files\n");
    ASSERT_EQ(catalogue.UnreadFiles().size(), 1u);
    EXPECT_EQ(R("sub") + ": " + catalogue.UnreadFiles()[0].Reason + "\n", told);
}

// A stop request ends the scan after the directory entry during which it
// came, with EAbort; what was found stays.
TEST_F(CatalogueScanFolder, StopRequestEndsTheScanWithEAbort)
{
    RecordingView view;
    TCatalogue catalogue(&view);
    catalogue.ResetCatalogue(ftAll);
    view.onPump = [&] {
        if (view.pumps == 3)
            catalogue.Stop();
    };
    EXPECT_THROW(catalogue.ScanFolder(root.string()), EAbort);
    EXPECT_EQ(view.pumps, 3);
    EXPECT_LE(catalogue.IconCount(), 3);
}
