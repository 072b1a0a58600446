// The program's settings: colours as text, the table's defaults and encodings
// in a real file, and where the settings file lives.
#include "settings/settings.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <unistd.h>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

TEST(SettingsColor, WritesNamesElseEightHexDigits)
{
    const struct {
        TColor color;
        const char *text;
    } cases[] = {
        {RGBColor(0x40, 0x80, 0xC0), "$00C08040"},
        {RGBColor(0x12, 0x34, 0x56), "$00563412"},
        {0x00FF0000, "clBlue"},
        {0x00FFFFFF, "clWhite"},
        {0x00000000, "clBlack"},
        {0x1FFFFFFF, "clNone"},
        {0xFF000005, "clWindow"},
        {0xFF00001E, "clMenuBar"},
        {0xFF000019, "$FF000019"},
        {0x80000005, "$80000005"},
        {0x00ABCDEF, "$00ABCDEF"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ColorToText(c.color), c.text) << std::hex << c.color;
}

TEST(SettingsColor, ReadsNamesInAnyCaseAndNumbers)
{
    const struct {
        const char *text;
        TColor color;
    } cases[] = {
        {"clwhite", 0xFFFFFF},   {"CLBLUE", 0xFF0000},      {"clBtnFace", 0xFF00000F},
        {"$00FF0000", 0xFF0000}, {"$ff0000", 0xFF0000},     {"0x00C08040", 0xC08040},
        {"16711680", 0xFF0000},  {"-16777211", 0xFF000005}, {"$FFFFFFFF", 0xFFFFFFFF},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TextToColor(c.text), c.color) << c.text;
}

TEST(SettingsColor, GarbageRaisesConvertError)
{
    for (const std::string text :
         {"xyz", "", "cl", "clWhite2", " clWhite", "$", "$100000000", "#FF0000", "4294967295", "12 34"}) {
        try {
            TextToColor(text);
            ADD_FAILURE() << text << ": no exception";
        } catch (const EConvertError &e) {
            EXPECT_EQ(std::string(e.what()), "\"" + text + "\" is not a valid integer value");
        }
    }
}

// Every name reads as its value and each value writes as its own name, so no
// two names share a value and each name survives a round trip.
TEST(SettingsColor, NameTableRoundTrips)
{
    for (const TColorName &c : kColorNames) {
        EXPECT_EQ(TextToColor(c.Name), c.Value) << c.Name;
        EXPECT_EQ(ColorToText(c.Value), c.Name);
    }
    for (TColor color : {0x00000001u, 0x00123456u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu})
        EXPECT_EQ(TextToColor(ColorToText(color)), color);
}

TEST(SettingsColor, ReadAndWriteThroughTheFile)
{
    TempDir dir;
    const fs::path path = dir / "Settings.ini";
    WriteText(path, "[View]\r\nBackground Color=$00FF0000\r\nBad=xyz\r\n");
    TIniFile ini(path.string());
    EXPECT_EQ(ReadColor(ini, "View", "background color", clWhite), 0xFF0000u);
    EXPECT_EQ(ReadColor(ini, "View", "Missing", 0x123456), 0x123456u);
    EXPECT_THROW(ReadColor(ini, "View", "Bad", clWhite), EConvertError);
    WriteColor(ini, "View", "Background Color", ReadColor(ini, "View", "Background Color", clWhite));
    WriteColor(ini, "View", "Other", RGBColor(0x12, 0x34, 0x56));
    EXPECT_EQ(ReadText(path), "[View]\r\nBackground Color=clBlue\r\nBad=xyz\r\nOther=$00563412\r\n");
}

// ---- The settings table ------------------------------------------------------

class SettingsTable : public ::testing::Test {
protected:
    TempDir dir;
    fs::path path = dir / "Settings.ini";
    TIniFile ini{path.string()};
};

TEST_F(SettingsTable, DefaultsWhenTheFileIsMissing)
{
    EXPECT_TRUE(ReadSettingBool(ini, TSetting::Toolbar));
    EXPECT_TRUE(ReadSettingBool(ini, TSetting::StatusBar));
    EXPECT_EQ(ReadSettingColor(ini, TSetting::BackgroundColor), clWhite);
    EXPECT_EQ(ReadSettingFolder(ini, TSetting::LastPath), HomeFolder());
    EXPECT_EQ(ReadSettingFolder(ini, TSetting::DefPath), HomeFolder());
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsTable, ReadsTheEncodingsOfAFileWrittenElsewhere)
{
    WriteText(path,
              "\xEF\xBB\xBF[VIEW]\r\ntoolbar=0x0\r\nSTATUS BAR=yes\r\nbackground color=clwhite\r\n"
              "LastPath = /data/icons \r\n[Reopen]\r\nFile1=/a.exe\r\n");
    EXPECT_FALSE(ReadSettingBool(ini, TSetting::Toolbar));
    EXPECT_TRUE(ReadSettingBool(ini, TSetting::StatusBar)); // unreadable: the default
    EXPECT_EQ(ReadSettingColor(ini, TSetting::BackgroundColor), clWhite);
    EXPECT_EQ(ReadSettingFolder(ini, TSetting::LastPath), "/data/icons");
    EXPECT_EQ(ini.ReadString(kReopenSection, SettingListKey(TSetting::ReopenFile, 1), ""), "/a.exe");

    WriteText(path, "[View]\nToolbar=$0\n");
    EXPECT_FALSE(ReadSettingBool(ini, TSetting::Toolbar));
}

TEST_F(SettingsTable, WritesEverySettingUnderItsName)
{
    WriteSettingBool(ini, TSetting::Toolbar, false);
    WriteSettingBool(ini, TSetting::StatusBar, true);
    WriteSettingColor(ini, TSetting::BackgroundColor, RGBColor(0x40, 0x80, 0xC0));
    WriteSettingFolder(ini, TSetting::LastPath, "/home/u/My Icons");
    WriteSettingFolder(ini, TSetting::DefPath, "/opt");
    ini.WriteString(kReopenSection, SettingListKey(TSetting::ReopenFile, 2), "/b.dll");
    EXPECT_EQ(ReadText(path),
              "[View]\nToolbar=0\nStatus bar=1\nBackground Color=$00C08040\n"
              "LastPath=/home/u/My Icons\nDefPath=/opt\n\n[Reopen]\nFile2=/b.dll\n");
}

// The window's place is read only when all four numbers are there and the
// size is one a screen can hold.
TEST_F(SettingsTable, AWindowPlaceIsFourNumbersOrNone)
{
    SetSettingsFileNameForTesting(path.string());
    const std::vector<std::pair<std::string, bool>> files = {
        {"[Window]\nLeft=-20\nTop=$10\nWidth=711\nHeight=482\n", true},
        {"[Window]\nLeft=10\nTop=10\nWidth=711\n", false},
        {"[Window]\nLeft=10\nTop=x\nWidth=711\nHeight=482\n", false},
        {"[Window]\nLeft=10\nTop=10\nWidth=0\nHeight=482\n", false},
        {"[Window]\nLeft=10\nTop=10\nWidth=711\nHeight=40000\n", false},
    };
    for (const auto &[text, read] : files) {
        WriteText(path, text);
        TWindowPlace place;
        EXPECT_EQ(LoadWindowPlace(place), read) << text;
        if (read) {
            EXPECT_EQ(place, (TWindowPlace{-20, 16, 711, 482}));
        }
    }
    SetSettingsFileNameForTesting("");
}

// ---- Where the settings live -------------------------------------------------

class SettingsLocation : public ::testing::Test {
protected:
    TempDir dir;
    std::set<std::string> denied; // paths the fake access check calls unwritable

    std::string Choose(const std::string &exe, const std::string &xdg, const std::string &home)
    {
        return ChooseSettingsFileName(exe, xdg, home, [this](const std::string &p) {
            return !denied.count(p) && ::access(p.c_str(), W_OK) == 0;
        });
    }
};

TEST_F(SettingsLocation, BesideTheExecutableWhenWritableElsePerUser)
{
    const std::string bin = (dir / "bin").string();
    fs::create_directory(bin);
    const std::string exe = bin + "/vexillo";
    const std::string beside = bin + "/Settings.ini";
    const std::string missing = (dir / "usr/bin/vexillo").string();

    EXPECT_EQ(Choose(exe, "/xdg", "/home/u"), beside);
    EXPECT_EQ(Choose(missing, "/xdg", "/home/u"), "/xdg/vexillo/Settings.ini");
    EXPECT_EQ(Choose(missing, "", "/home/u"), "/home/u/.config/vexillo/Settings.ini");
    EXPECT_EQ(Choose(missing, "relative/xdg", "/home/u"), "/home/u/.config/vexillo/Settings.ini");
    EXPECT_EQ(Choose("", "/xdg", "/home/u"), "/xdg/vexillo/Settings.ini");
    EXPECT_EQ(Choose("vexillo", "", "/home/u"), "/home/u/.config/vexillo/Settings.ini");

    denied.insert(bin);
    EXPECT_EQ(Choose(exe, "/xdg", "/home/u"), "/xdg/vexillo/Settings.ini");
    EXPECT_EQ(Choose(exe, "", ""), beside); // nowhere else to go
    denied.clear();

    // A file beside the program wins, even where it cannot be written.
    WriteText(beside, "[View]\n");
    EXPECT_EQ(Choose(exe, "/xdg", "/home/u"), beside);
    denied.insert(bin);
    denied.insert(beside);
    EXPECT_EQ(Choose(exe, "/xdg", "/home/u"), beside);
}

TEST_F(SettingsLocation, AnInstalledProgramKeepsThemWithTheUser)
{
    // PREFIX/bin/vexillo beside PREFIX/share/vexillo, as installed.
    fs::create_directories(dir / "prefix/bin");
    fs::create_directories(dir / "prefix/share/vexillo");
    const std::string exe = (dir / "prefix/bin/vexillo").string();
    EXPECT_EQ(Choose(exe, "/xdg", "/home/u"), "/xdg/vexillo/Settings.ini");
    EXPECT_EQ(Choose(exe, "", "/home/u"), "/home/u/.config/vexillo/Settings.ini");
    // A folder named bin alone is a build or portable folder.
    fs::create_directories(dir / "portable/bin");
    EXPECT_EQ(Choose((dir / "portable/bin/vexillo").string(), "/xdg", "/home/u"),
              (dir / "portable/bin/Settings.ini").string());
    // A Settings.ini put beside the installed program wins.
    WriteText(dir / "prefix/bin/Settings.ini", "");
    EXPECT_EQ(Choose(exe, "/xdg", "/home/u"), (dir / "prefix/bin/Settings.ini").string());
}

TEST_F(SettingsLocation, TheRunningProgramUsesItsOwnFolderWhenWritable)
{
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
    const std::string name = SettingsFileName();
    if (fs::exists(folder / "Settings.ini") || ::access(folder.c_str(), W_OK) == 0) {
        EXPECT_EQ(name, (folder / "Settings.ini").string());
    } else {
        EXPECT_TRUE(name.ends_with("/vexillo/Settings.ini")) << name;
    }
}

// The place chosen first holds for the run: a child process that has lost
// write access to the program's folder keeps it, though choosing again now
// would pick the per-user folder.
TEST_F(SettingsLocation, TheChoiceHoldsForTheWholeRun)
{
    const std::string first = SettingsFileName();
    SetSettingsFileNameForTesting((dir / "Settings.ini").string());
    EXPECT_EQ(SettingsFileName(), (dir / "Settings.ini").string());
    SetSettingsFileNameForTesting("");
    EXPECT_EQ(SettingsFileName(), first);

    const std::string exe = fs::read_symlink("/proc/self/exe").string();
    const int result = RunAsNobody([&] {
        const std::string again = ChooseSettingsFileName(
            exe, "", "/home/u", [](const std::string &p) { return ::access(p.c_str(), W_OK) == 0; });
        if (again == first)
            return 2; // nothing changed for the child: the test proves nothing
        return SettingsFileName() == first ? 0 : 1;
    });
    EXPECT_EQ(result, 0) << first;
}

TEST(SettingsHome, HomeFolderFollowsHome)
{
    const char *saved = std::getenv("HOME");
    const std::string old = saved ? saved : "";
    ::setenv("HOME", "/somewhere/else", 1);
    EXPECT_EQ(HomeFolder(), "/somewhere/else");
    ::setenv("HOME", "relative", 1);
    EXPECT_TRUE(HomeFolder().starts_with("/"));
    if (saved)
        ::setenv("HOME", old.c_str(), 1);
    else
        ::unsetenv("HOME");
}

} // namespace
