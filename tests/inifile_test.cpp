// The INI module: files written by hand and by other systems, changes that keep
// every other byte, write failures that leave the old file alone, and hostile
// files.
#include "platform/inifile.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

std::string WithLineEnd(std::string text, const std::string &eol)
{
    std::string out;
    for (char c : text)
        out += c == '\n' ? eol : std::string(1, c);
    return out;
}

const char *const kHandWritten =
    "; written by hand\n"
    "orphan=before any section\n"
    "[View]\n"
    "  Toolbar = 0 \n"
    "Status bar\t=\t1\n"
    "BACKGROUND color=clRed\n"
    "LastPath=  /home/user/My Pictures  \n"
    "Quoted=\"  padded  \"\n"
    "Single='x'\n"
    "Half=\"x\n"
    "Empty=\n"
    "toolbar=1\n"
    "Lonely line without equals\n"
    ";Hidden=1\n"
    " [ reopen ] trailing text\n"
    "File2=/b\n"
    "File1=/a\n"
    "[View]\n"
    "Extra=in the second View section\n";

struct FileStyle {
    const char *name;
    std::string eol;
    bool bom;
};

void PrintTo(const FileStyle &style, std::ostream *os)
{
    *os << style.name;
}

class IniFileStyles : public ::testing::TestWithParam<FileStyle> {
protected:
    TempDir dir;
    fs::path path = dir / "Settings.ini";
    void SetUp() override
    {
        WriteText(path, (GetParam().bom ? "\xEF\xBB\xBF" : "") + WithLineEnd(kHandWritten, GetParam().eol));
    }
};

TEST_P(IniFileStyles, ReadsHandWrittenValues)
{
    const TIniFile ini(path.string());
    const struct {
        const char *section, *key, *expected;
    } cases[] = {
        {"view", "TOOLBAR", "0"}, // first of two spellings; names in any case
        {"View", "Status bar", "1"},
        {"View", "Background Color", "clRed"},
        {"View", "LastPath", "/home/user/My Pictures"},
        {"View", "Quoted", "  padded  "},
        {"View", "Single", "x"},
        {"View", "Half", "\"x"},
        {"View", "Empty", ""},
        {"View", "Lonely line without equals", "<def>"},
        {"View", ";Hidden", "<def>"},
        {"View", "Extra", "<def>"}, // only the first View section counts
        {"View", "orphan", "<def>"},
        {"Reopen", "File1", "/a"},
        {"Missing", "Toolbar", "<def>"},
        {"View", "Missing", "<def>"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.key, "<def>"), c.expected) << c.section << "/" << c.key;
    EXPECT_TRUE(ini.ValueExists("VIEW", "empty"));
    EXPECT_FALSE(ini.ValueExists("View", "Extra"));
}

TEST_P(IniFileStyles, ListsKeysOfASectionInFileOrder)
{
    const TIniFile ini(path.string());
    EXPECT_EQ(ini.ReadSection("REOPEN"), (std::vector<std::string>{"File2", "File1"}));
    EXPECT_EQ(ini.ReadSection("view"), (std::vector<std::string>{"Toolbar", "Status bar", "BACKGROUND color",
                                                                 "LastPath", "Quoted", "Single", "Half", "Empty"}));
    EXPECT_TRUE(ini.ReadSection("Missing").empty());
}

TEST_P(IniFileStyles, EraseSectionRemovesEverySectionOfThatName)
{
    TIniFile ini(path.string());
    const std::string before = ReadText(path);
    ini.EraseSection("nothing");
    EXPECT_EQ(ReadText(path), before);
    ini.EraseSection("VIEW");
    const std::string eol = GetParam().eol;
    EXPECT_EQ(ReadText(path),
              (GetParam().bom ? "\xEF\xBB\xBF" : "") + WithLineEnd("; written by hand\norphan=before any section\n"
                                                                   " [ reopen ] trailing text\nFile2=/b\nFile1=/a\n",
                                                                   eol));
    EXPECT_EQ(ini.ReadString("View", "Extra", "<def>"), "<def>");
}

TEST_P(IniFileStyles, DeleteKeyRemovesEveryLineOfTheKey)
{
    TIniFile ini(path.string());
    ini.DeleteKey("View", "Toolbar");
    EXPECT_FALSE(ini.ValueExists("View", "Toolbar"));
    EXPECT_EQ(ini.ReadString("View", "Status bar", ""), "1");
    const std::string text = ReadText(path);
    EXPECT_EQ(text.find("oolbar"), std::string::npos);
    EXPECT_NE(text.find("Lonely line without equals"), std::string::npos);
}

// The same changes made one by one and in an update give the same bytes; the
// update writes the file once, when it ends.
TEST_P(IniFileStyles, AnUpdateWritesTheSameBytesOnce)
{
    const fs::path direct = dir / "Direct.ini";
    fs::copy_file(path, direct);
    WriteWatch watch(dir.path());
    auto changes = [](TIniFile &ini) {
        ini.WriteBool("view", "TOOLBAR", true);
        ini.WriteString("Reopen", "File3", "/c d");
        ini.DeleteKey("View", "Single");
        ini.WriteString("New", "k", " padded ");
        ini.EraseSection("Nothing");
        ini.EraseSection("reopen");
        ini.WriteString("Reopen", "File1", "/z");
        ini.WriteInteger("View", "Count", 5000);
    };
    TIniFile one(direct.string());
    changes(one);
    EXPECT_EQ(watch.Writes("Direct.ini"), 7);

    const std::string before = ReadText(path);
    TIniFile batched(path.string());
    TIniUpdate update(batched);
    changes(batched);
    EXPECT_EQ(batched.ReadString("Reopen", "File1", "<def>"), "/z");
    EXPECT_EQ(batched.ReadSection("Reopen"), std::vector<std::string>{"File1"});
    EXPECT_EQ(ReadText(path), before);
    update.Commit();
    EXPECT_EQ(watch.Writes("Settings.ini"), 1);
    EXPECT_EQ(ReadText(path), ReadText(direct));
    EXPECT_FALSE(batched.Updating());
}

INSTANTIATE_TEST_SUITE_P(Ini, IniFileStyles,
                         ::testing::Values(FileStyle{"Lf", "\n", false}, FileStyle{"CrLf", "\r\n", false},
                                           FileStyle{"LfBom", "\n", true}, FileStyle{"CrLfBom", "\r\n", true}),
                         [](const auto &param) { return std::string(param.param.name); });

// One write: the file before, the change, and the whole file after.
struct WriteCase {
    const char *name;
    std::optional<std::string> before; // none: no file yet
    const char *section, *key, *value;
    std::string after;
};

void PrintTo(const WriteCase &c, std::ostream *os)
{
    *os << c.name;
}

class IniFileWrites : public ::testing::TestWithParam<WriteCase> {};

// A small file with the [View] lines given and what is given after its
// last section.
std::string Small(const std::string &view, const std::string &end = "")
{
    return "; settings\n\n[View]\n" + view + "; end of view\n\n[Other]\nx=1\n" + end;
}
const std::string kSmall = Small("Toolbar = 0\n");

TEST_P(IniFileWrites, ChangesOneLineAndKeepsEveryOther)
{
    const WriteCase &c = GetParam();
    for (const bool batched : {false, true}) {
        for (const std::string eol : {"\n", "\r\n"}) {
            TempDir dir;
            const fs::path path = dir / "Settings.ini";
            if (c.before)
                WriteText(path, WithLineEnd(*c.before, eol));
            TIniFile ini(path.string());
            if (batched)
                ini.BeginUpdate();
            ini.WriteString(c.section, c.key, c.value);
            EXPECT_EQ(ini.ReadString(c.section, c.key, "<def>"), c.value);
            if (batched) {
                EXPECT_EQ(fs::exists(path), c.before.has_value()); // nothing written yet
                ini.UpdateFile();
            }
            EXPECT_EQ(ReadText(path), WithLineEnd(c.after, c.before ? eol : "\n"))
                << "line end " << eol.size() << (batched ? ", batched" : "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ini, IniFileWrites,
    ::testing::Values(
        WriteCase{"Update", kSmall, "view", "TOOLBAR", "1", Small("Toolbar = 1\n")},
        WriteCase{"NewKey", kSmall, "View", "Status bar", "0", Small("Toolbar = 0\nStatus bar=0\n")},
        WriteCase{"NewKeyInLastSection", kSmall, "Other", "y", "2", Small("Toolbar = 0\n", "y=2\n")},
        WriteCase{"NewSection", kSmall, "Reopen", "File1", "/a b", Small("Toolbar = 0\n", "\n[Reopen]\nFile1=/a b\n")},
        WriteCase{"Quoted", kSmall, "View", "Toolbar", " padded ", Small("Toolbar = \" padded \"\n")},
        WriteCase{"Empty", kSmall, "View", "Toolbar", "", Small("Toolbar =\n")},
        WriteCase{"NoLastLineEnd", "[View]\nToolbar=0", "VIEW", "Status bar", "1", "[View]\nToolbar=0\nStatus bar=1\n"},
        WriteCase{"NoLastLineEndNewSection", "[View]\nToolbar=0", "Reopen", "File1", "/a",
                  "[View]\nToolbar=0\n\n[Reopen]\nFile1=/a\n"},
        WriteCase{"BomKept", "\xEF\xBB\xBF[View]\n", "View", "Toolbar", "1", "\xEF\xBB\xBF[View]\nToolbar=1\n"},
        WriteCase{"HeaderOnly", "[View]\n; only a comment\n", "View", "Toolbar", "1",
                  "[View]\nToolbar=1\n; only a comment\n"},
        WriteCase{"NewFile", std::nullopt, "View", "Toolbar", "1", "[View]\nToolbar=1\n"}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(Ini, ValuesReadBackAsWritten)
{
    TempDir dir;
    TIniFile ini((dir / "a.ini").string());
    for (const std::string value : {" lead", "trail\t", "'q'", "\"q\"", "\"", "a=b", "x ; y", "[not a section]",
                                    "ünïcödé ✓", "C:\\Program Files\\"}) {
        ini.WriteString("S", "k", value);
        EXPECT_EQ(ini.ReadString("S", "k", "<def>"), value);
    }
    ini.WriteString("S", "k", "first\nsecond");
    EXPECT_EQ(ini.ReadString("S", "k", "<def>"), "first");
    EXPECT_EQ(ini.ReadSection("S"), std::vector<std::string>{"k"});
}

TEST(Ini, RefusesNamesThatCannotBeStored)
{
    TempDir dir;
    TIniFile ini((dir / "a.ini").string());
    EXPECT_THROW(ini.WriteString("", "k", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("a]b", "k", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("S", "a=b", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("S", ";k", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("S", "k\nx", "v"), std::invalid_argument);
    EXPECT_FALSE(fs::exists(dir / "a.ini"));
}

TEST(Ini, ParsesIntegers)
{
    const struct {
        const char *text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"+7", true, 7},
        {"-13", true, -13},
        {"$0", true, 0},
        {"0x0", true, 0},
        {"0XfF", true, 255},
        {"$FFFFFFFF", true, -1},
        {"$000000001", true, 1},
        {"2147483647", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"$100000000", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"-$5", false, 0},
        {"yes", false, 0},
        {"12abc", false, 0},
        {"1 2", false, 0},
        {" 1", false, 0},
        {"1e3", false, 0},
    };
    for (const auto &c : cases) {
        int32_t value = 12345;
        EXPECT_EQ(TryParseInteger(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(Ini, ReadsAndWritesBooleans)
{
    TempDir dir;
    const fs::path path = dir / "a.ini";
    WriteText(path, "[View]\nA=0x0\nB=$0\nC=yes\nD=\nE=-1\nF=0\n");
    TIniFile ini(path.string());
    const struct {
        const char *key;
        bool whenTrue, whenFalse; // with default true, with default false
    } cases[] = {{"A", false, false}, {"B", false, false}, {"C", true, false}, {"D", true, false},
                 {"E", true, true},   {"F", false, false}, {"G", true, false}};
    for (const auto &c : cases) {
        EXPECT_EQ(ini.ReadBool("View", c.key, true), c.whenTrue) << c.key;
        EXPECT_EQ(ini.ReadBool("View", c.key, false), c.whenFalse) << c.key;
    }
    ini.WriteBool("View", "A", true);
    ini.WriteBool("View", "E", false);
    ini.WriteInteger("View", "N", -5);
    EXPECT_EQ(ReadText(path), "[View]\nA=1\nB=$0\nC=yes\nD=\nE=0\nF=0\nN=-5\n");
    EXPECT_EQ(ini.ReadInteger("View", "N", 0), -5);
}

TEST(Ini, CutsLongValuesToTheBufferWithoutSplittingCharacters)
{
    TempDir dir;
    TIniFile ini((dir / "a.ini").string());
    const std::string path = "/" + std::string(2999, 'p');
    ini.WriteString("View", "LastPath", path);
    EXPECT_EQ(ini.ReadString("View", "LastPath", ""), path.substr(0, TIniFile::MaxValueLength));

    std::string accented;
    for (int i = 0; i < 3000; ++i)
        accented += "é";
    ini.WriteString("View", "LastPath", accented);
    EXPECT_EQ(ini.ReadString("View", "LastPath", ""), accented.substr(0, 2 * TIniFile::MaxValueLength));

    ini.WriteString("View", "LastPath", std::string(10000, '\x80'));
    EXPECT_LE(ini.ReadString("View", "LastPath", "").size(), 4 * TIniFile::MaxValueLength);
}

TEST(Ini, KeepsPermissionsAcrossAWrite)
{
    TempDir dir;
    const fs::path path = dir / "a.ini";
    WriteText(path, "[View]\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    TIniFile(path.string()).WriteBool("View", "Toolbar", true);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A settings file the user may write, in a folder the user may not, is
// rewritten where it is; a new file there is refused.
TEST(Ini, WritesAWritableFileInAReadOnlyFolderInPlace)
{
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const fs::path path = dir / "Settings.ini";
    WriteText(path, "; mine\n[View]\nToolbar=0\n\n[Reopen]\nFile1=" + std::string(1000, 'a') + "\n");
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    const int result = RunAsNobody([&] {
        TIniFile ini(path.string());
        ini.WriteBool("View", "Toolbar", true);
        ini.EraseSection("Reopen"); // shorter: the old tail must go
        try {
            TIniFile((dir / "Other.ini").string()).WriteBool("View", "Toolbar", true);
            return 2;
        } catch (const EIniFileException &) {
            return 0;
        }
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadText(path), "; mine\n[View]\nToolbar=1\n\n");
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(fs::exists(dir / "Other.ini"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A write that fails raises "Unable to write to <path>", leaves what was at the
// path as it was and leaves no temporary file behind.
TEST(Ini, FailedWritesRaiseAndKeepTheOldFile)
{
    TempDir dir;
    WriteText(dir / "plain", "x");
    fs::create_directory(dir / "folder.ini");
    ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    const std::string tooBig = "[View]\n" + std::string(TIniFile::MaxFileSize, ';') + "\n";
    WriteText(dir / "big.ini", tooBig);
    const std::string nearlyFull = "[View]\nA=" + std::string(TIniFile::MaxFileSize - 100, 'a') + "\n";
    WriteText(dir / "full.ini", nearlyFull);

    for (const bool batched : {false, true}) {
        for (const std::string name :
             {"missing/Settings.ini", "plain/Settings.ini", "folder.ini", "fifo.ini", "big.ini", "full.ini"}) {
            const std::string path = (dir / name).string();
            TIniFile ini(path);
            try {
                // In an update the error comes where it is found: reading
                // the file, the change itself, or writing the file.
                std::optional<TIniUpdate> update;
                if (batched)
                    update.emplace(ini);
                ini.WriteString("View", "B", std::string(200, 'b'));
                if (update)
                    update->Commit();
                ADD_FAILURE() << name << ": no exception" << (batched ? ", batched" : "");
            } catch (const EIniFileException &e) {
                EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
            }
            EXPECT_FALSE(ini.Updating());
        }
    }
    // A file that cannot be read as settings is not replaced by a smaller one.
    for (const std::string name : {"plain/Settings.ini", "folder.ini", "fifo.ini", "big.ini"})
        EXPECT_THROW(TIniFile((dir / name).string()).EraseSection("View"), EIniFileException) << name;
    EXPECT_EQ(ReadText(dir / "big.ini"), tooBig);
    EXPECT_EQ(ReadText(dir / "full.ini"), nearlyFull);
    EXPECT_TRUE(fs::is_empty(dir / "folder.ini"));
    size_t entries = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 5u);
}

// Files that are not settings files read as empty, without blocking, crashing
// or reading too much.
TEST(Ini, HostileFilesReadAsEmptyOrBounded)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    EXPECT_EQ(TIniFile((dir / "fifo.ini").string()).ReadString("View", "Toolbar", "<def>"), "<def>");
    fs::create_directory(dir / "folder.ini");
    EXPECT_EQ(TIniFile((dir / "folder.ini").string()).ReadString("View", "Toolbar", "<def>"), "<def>");

    const fs::path huge = dir / "huge.ini";
    WriteText(huge, "[View]\nToolbar=0\n");
    fs::resize_file(huge, TIniFile::MaxFileSize + 1);
    EXPECT_EQ(TIniFile(huge.string()).ReadString("View", "Toolbar", "<def>"), "<def>");
    EXPECT_TRUE(TIniFile(huge.string()).ReadSection("View").empty());

    const fs::path nul = dir / "nul.ini";
    const char nulText[] = "[View]\nA=ab\0cd\n\0\0\n[x\0]\nB=1\n[Re\0open]\nC=2\n";
    WriteText(nul, std::string(nulText, sizeof nulText - 1));
    const TIniFile nulIni(nul.string());
    EXPECT_EQ(nulIni.ReadString("View", "A", "<def>"), "ab");
    EXPECT_EQ(nulIni.ReadString("Reopen", "C", "<def>"), "<def>");
    EXPECT_EQ(nulIni.ReadSection("View"), std::vector<std::string>{"A"});

    const fs::path lines = dir / "lines.ini";
    WriteText(lines, "[View]\nLastPath=" + std::string(2 << 20, 'v') + "\n" + std::string(512 << 10, 'k') + "=1\n" +
                         std::string(512 << 10, '[') + "\n");
    const TIniFile linesIni(lines.string());
    EXPECT_EQ(linesIni.ReadString("View", "LastPath", "").size(), TIniFile::MaxValueLength);
    EXPECT_EQ(linesIni.ReadSection("View"), std::vector<std::string>{"LastPath"});
}

TEST(Ini, ReadSectionStopsAtItsBuffer)
{
    TempDir dir;
    const fs::path path = dir / "many.ini";
    std::string text = "[Reopen]\n";
    for (int i = 0; i < 100000; ++i)
        text += "File" + std::to_string(i) + "=x\n";
    WriteText(path, text);
    const std::vector<std::string> names = TIniFile(path.string()).ReadSection("Reopen");
    size_t used = 0;
    for (const std::string &name : names)
        used += name.size() + 1;
    EXPECT_LE(used, TIniFile::MaxSectionListSize);
    EXPECT_GT(used, TIniFile::MaxSectionListSize - 12);
    EXPECT_EQ(names.front(), "File0");
}

// An update that ends without a change, or is dropped, writes nothing; one
// change too large is refused alone.
TEST(Ini, UpdatesWriteOnlyWhatTheyChange)
{
    TempDir dir;
    const fs::path path = dir / "a.ini";
    const std::string before = "[View]\nA=" + std::string(TIniFile::MaxFileSize - 100, 'a') + "\n";
    WriteText(path, before);
    WriteWatch watch(dir.path());
    TIniFile ini(path.string());
    {
        TIniUpdate update(ini);
        ini.EraseSection("Missing");
        ini.DeleteKey("View", "Missing");
        EXPECT_THROW(ini.BeginUpdate(), std::logic_error);
        update.Commit();
    }
    {
        TIniUpdate update(ini);
        ini.WriteString("View", "B", "b");
    }
    EXPECT_EQ(watch.Writes("a.ini"), 0);
    EXPECT_EQ(ReadText(path), before);

    TIniUpdate update(ini);
    ini.WriteString("View", "B", "b");
    EXPECT_THROW(ini.WriteString("View", "C", std::string(200, 'c')), EIniFileException);
    ini.WriteString("View", "D", "d");
    update.Commit();
    EXPECT_EQ(watch.Writes("a.ini"), 1);
    EXPECT_EQ(ReadText(path), before + "B=b\nD=d\n");
}

TEST(Ini, MissingFileGivesDefaultsAndIsNotCreatedByReading)
{
    TempDir dir;
    TIniFile ini((dir / "none.ini").string());
    EXPECT_EQ(ini.ReadString("View", "Toolbar", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("View", "Toolbar", 7), 7);
    EXPECT_TRUE(ini.ReadBool("View", "Toolbar", true));
    EXPECT_TRUE(ini.ReadSection("View").empty());
    ini.EraseSection("View");
    ini.DeleteKey("View", "Toolbar");
    EXPECT_FALSE(fs::exists(dir / "none.ini"));
}

} // namespace
