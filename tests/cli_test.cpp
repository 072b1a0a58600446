// vexillo-cli run as a process, as a user or a script would run it.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Last: Xlib's macros stay out of the headers above.
#include <X11/Xcursor/Xcursor.h>

using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

int Cli(const std::string &arguments, std::string *out = nullptr, std::string *err = nullptr)
{
    return Run(Quote(VEXILLO_CLI) + " " + arguments, out, err);
}

// The same run as an unprivileged user (the tests run as root, whom no
// permission stops).
int CliAsNobody(const std::string &arguments, std::string *out = nullptr, std::string *err = nullptr)
{
    return Run("setpriv --reuid=65534 --regid=65534 --clear-groups " + Quote(VEXILLO_CLI) + " " + arguments, out, err);
}

// The names in a folder, hidden ones (temporary files) included.
std::set<std::string> Names(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Renames a resource of a built module: its UTF-16 name `from`, as windres
// wrote it, becomes `to` of as many units. So a module can hold names that
// windres cannot write: control characters, '/', lower case.
void RenameResource(const fs::path &module, const std::string &from, const std::u16string &to)
{
    ASSERT_EQ(from.size(), to.size());
    auto bytes = ReadBytes(module);
    std::vector<uint8_t> name;
    PutU16(name, static_cast<uint16_t>(from.size()));
    for (const char c : from)
        PutU16(name, static_cast<uint8_t>(c));
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end()) << from;
    auto unit = at + 2;
    for (const char16_t c : to) {
        *unit++ = static_cast<uint8_t>(c);
        *unit++ = static_cast<uint8_t>(c >> 8);
    }
    WriteBytes(module, bytes);
}

// A 16-pixel 32-bit image of one colour.
std::vector<uint8_t> Square16()
{
    return MakeDib(16, 16, 32, {}, std::vector<uint32_t>(256, 0xFF336699u));
}

// What ImageMagick says of a picture.
std::string Identify(const fs::path &picture, const std::string &format)
{
    std::string out;
    Run("/usr/bin/identify -format '" + format + "' " + Quote(picture), &out);
    return out;
}

// Every file below a folder, as paths relative to it.
std::set<std::string> FilesBelow(const fs::path &folder)
{
    std::set<std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_directory())
            files.insert(fs::relative(entry.path(), folder).string());
    return files;
}

} // namespace

TEST(Cli, ImagesListsTheFieldsOfEveryImage)
{
    std::string out;
    ASSERT_EQ(Cli("images " + Quote(Asset("ico_mixed.ico")), &out), 0);
    const auto bytes = ReadBytes(Asset("ico_mixed.ico"));
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(out.substr(start, end - start));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 12), "0\t48\t48\t32\t0");
    EXPECT_EQ(lines[3].substr(0, 9), "3\t0\t0\t32\t");
}

TEST(Cli, ImagesOfABrokenFileExitsOneAfterTheImagesRead)
{
    TempDir dir;
    auto bytes = ReadBytes(Asset("im_multi32.ico"));
    bytes[4] = 5; // five entries announced, three present
    WriteBytes(dir / "broken.ico", bytes);
    std::string out, err;
    EXPECT_EQ(Cli("images " + Quote((dir / "broken.ico").string()), &out, &err), 1);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
    EXPECT_NE(err.find("broken.ico"), std::string::npos);
    EXPECT_EQ(Cli("images " + Quote((dir / "missing.ico").string()), &out, &err), 1);
    EXPECT_TRUE(out.empty());
}

// info lists a module's groups with their images and notes what it met: a
// byte count that disagrees, an image that is missing, a cursor height that
// is not doubled.
TEST(Cli, InfoNotesWhatTheModuleGetsWrong)
{
    TempDir dir;
    const std::vector<uint8_t> dib = SmallDib();
    std::vector<uint8_t> longer = dib;
    longer.resize(dib.size() + 8);
    std::vector<uint8_t> cursorGroup{0, 0, 2, 0, 1, 0, 16, 0, 16, 0, 1, 0, 32, 0}, cursor{3, 0, 5, 0};
    PutU32(cursorGroup, static_cast<uint32_t>(dib.size() + 4));
    PutU16(cursorGroup, 1);
    cursor.insert(cursor.end(), dib.begin(), dib.end());
    WriteBytes(dir / "m.dll", MakeRawModule({{14, 1, {}, MakeIconGroup({longer, dib}, {1, 2})},
                                             {3, 1, {}, dib},
                                             {12, 1, {}, cursorGroup},
                                             {1, 1, {}, cursor}}));
    std::string out;
    ASSERT_EQ(Cli("info " + Quote((dir / "m.dll").string()), &out), 0);
    const std::string bytes = std::to_string(dib.size());
    EXPECT_EQ(out, "kind\tPE32+\ngroup\ticon\t1\t1033\t1\nimage\t0\t16\t16\t32\tdib\t" + bytes +
                       "\ngroup\tcursor\t1\t1033\t1\nimage\t0\t16\t16\t32\tdib\t" + bytes +
                       "\t3\t5\nnote\ticon group 1, image 0: the group counts " + std::to_string(longer.size()) +
                       " bytes, the resource holds " + bytes +
                       "\nnote\ticon group 1, image 1: RT_ICON 2 is missing\n"
                       "note\tcursor group 1, image 0: the group gives the height 16, not doubled\n");
}

// Wrong usage is one line naming the problem and a hint, never the whole
// usage; a script's log stays readable.
TEST(Cli, WrongUsageExitsTwoWithOneLineAndAHint)
{
    const struct {
        std::string arguments;
        std::string problem;
    } cases[] = {
        {"", "no command given"},
        {"frobnicate x", "unknown command 'frobnicate'"},
        {"images", "'images' takes 1 argument, not 0"},
        {"images a b", "'images' takes 1 argument, not 2"},
        {"save a", "'save' takes 2 arguments, not 1"},
        {"bmp a b c --back", "option '--back' needs a value"},
        {"bmp a 0 c --back 12345", "--back needs a colour as RRGGBB, not \"12345\""},
        {"save-image a x out.ico", "INDEX must be a number from 0, not \"x\""},
        {"images a --bogus", "unknown option '--bogus'"},
        {"images a -q", "unknown option '-q'"},
        {"extract a --png=yes --out d", "option '--png' takes no value"},
        {"save a b --back ffffff", "'save' takes no option --back"},
        {"save a b --force", "'save' takes no option --force"},
        {"groups a --numbered", "'groups' takes no option --numbered"},
        {"extract a", "'extract' needs --out DIR"},
        {"extract --out d", "'extract' takes one or more files or folders"},
        {"extract a --out d --types gif",
         "--types takes exe, dll, ico, cpl, ocx, icl, mun, scr, cur and ani, not \"gif\""},
        {"hicolor a --out d", "'hicolor' needs --name NAME"},
        {"hicolor a --name app", "'hicolor' needs --out DIR"},
        {"hicolor a --name '' --out d", "'hicolor' needs --name NAME"},
        {"hicolor a --name ../app --out d", "--name must be a plain file name, without '/'"},
        {"hicolor a --name .app --out d", "--name must not start with '.'"},
        {"hicolor a --name ..  --out d", "--name must not start with '.'"},
        {"hicolor a --name \"$(printf 'app\\tx')\" --out d", "--name must not hold control characters"},
        {"hicolor a --name " + std::string(252, 'x') + " --out d", "--name must be at most 251 bytes long"},
        {"xcursor a --name T", "'xcursor' needs --out DIR"},
        {"xcursor --name T --out d", "'xcursor' takes one or more files"},
        {"xcursor a --name ../T --out d", "--name must be a plain file name, without '/'"},
        {"dupes", "'dupes' takes one or more files or folders"},
        {"dupes d --json", "'dupes' takes no option --json"},
        {"similar a.ico", "'similar' takes a file and one or more files or folders"},
    };
    for (const auto &c : cases) {
        std::string out, err;
        EXPECT_EQ(Cli(c.arguments, &out, &err), 2) << c.arguments;
        EXPECT_EQ(err, "vexillo-cli: " + c.problem + "\nTry 'vexillo-cli --help'.\n") << c.arguments;
        EXPECT_EQ(out, "") << c.arguments;
    }
    for (const char *help : {"--help", "-h", "images --bogus -h"}) {
        std::string out, err;
        EXPECT_EQ(Cli(help, &out, &err), 0) << help;
        EXPECT_EQ(out.rfind("Usage: vexillo-cli", 0), 0u) << help;
        for (const char *word : {"save-image", "hicolor", "xcursor", "--numbered", "--force", "--version"})
            EXPECT_NE(out.find(word), std::string::npos) << word;
        EXPECT_EQ(err, "");
    }
    std::string out;
    EXPECT_EQ(Cli("--version", &out), 0);
    EXPECT_EQ(out, "vexillo-cli " VEXILLO_VERSION "\n");
}

TEST(Cli, WritesIconsImagesBitmapsAndPngs)
{
    TempDir dir;
    const std::string in = Quote(Asset("ico_mixed.ico"));
    ASSERT_EQ(Cli("save " + in + " " + Quote(dir / "all.ico")), 0);
    EXPECT_EQ(ReadBytes(dir / "all.ico").size(), ReadBytes(Asset("ico_mixed.ico")).size());
    ASSERT_EQ(Cli("save-image " + in + " 1 " + Quote(dir / "one.ico")), 0);
    std::string out;
    ASSERT_EQ(Cli("images " + Quote(dir / "one.ico"), &out), 0);
    EXPECT_EQ(out.substr(0, 10), "0\t32\t32\t8\t");

    // Options may stand anywhere among the arguments.
    ASSERT_EQ(Cli("bmp --back 00ff00 " + in + " 0 " + Quote(dir / "one.bmp")), 0);
    const ParsedBmp bmp = ParseBmp(ReadBytes(dir / "one.bmp"));
    ASSERT_EQ(bmp.width, 48);
    ASSERT_EQ(bmp.height, 49); // one more row
    // The bottom row is the background colour.
    EXPECT_EQ(bmp.at(0, 48), 0x00FF00u);

    // A name of 250 bytes, which its temporary name must not lengthen past 255.
    const std::string big = std::string(246, 'b') + ".png";
    ASSERT_EQ(Cli("png " + in + " 3 " + Quote(dir / big)), 0);
    ASSERT_EQ(vexillo::test::Run("/usr/bin/identify -format '%w %h %[channels]' " + Quote(dir / big), &out), 0);
    EXPECT_EQ(out.substr(0, 7), "256 256");
    EXPECT_NE(out.find("a"), std::string::npos) << out;
    // An image stored as PNG is written as it is, as icotool extracts it.
    ASSERT_EQ(vexillo::test::Run("icotool -x -i 4 -o " + Quote(dir / "icotool.png") + " " + in), 0);
    EXPECT_TRUE(ReadBytes(dir / big) == ReadBytes(dir / "icotool.png"));

    // OUT "-" writes the same bytes to standard output, and nothing else.
    const std::pair<std::string, std::string> toStdout[] = {{"save " + in, "all.ico"},
                                                            {"save-image " + in + " 1", "one.ico"},
                                                            {"bmp --back 00ff00 " + in + " 0", "one.bmp"},
                                                            {"png " + in + " 3", big}};
    for (const auto &[command, file] : toStdout) {
        std::string bytes, err;
        ASSERT_EQ(Cli(command + " -", &bytes, &err), 0) << command << err;
        EXPECT_TRUE(bytes == ReadText(dir / file)) << command;
        EXPECT_EQ(err, "");
    }
    EXPECT_FALSE(fs::exists(fs::current_path() / "-"));
}

// Every failure names the file and says why, on stderr, and exits 1.
TEST(Cli, FailuresNameTheFileAndTheReason)
{
    TempDir dir;
    const std::string d = dir.path().string();
    WriteText(dir / "notes.dll", "root:x:0:0:root:/root:/bin/bash\n");
    fs::create_directory(dir / "folder.exe");
    auto cursor = MakeIco({ReadBytes(Asset("ico_4bit.ico"))});
    cursor[2] = 2;
    WriteBytes(dir / "cursor.ico", cursor);
    auto cut = ReadBytes(Asset("im_multi32.ico"));
    cut[4] = 5; // five entries announced, three present
    WriteBytes(dir / "cut.ico", cut);
    auto png = ReadBytes(Asset("ico_png256.ico"));
    const std::string idat = "IDAT";
    png[std::search(png.begin(), png.end(), idat.begin(), idat.end()) - png.begin() + 10] ^= 0xFF;
    WriteBytes(dir / "badpng.ico", png);
    const std::string asset = Asset("ico_4bit.ico").string();
    // Output folders that are, or lead through, a symbolic link elsewhere.
    fs::create_directory(dir / "elsewhere");
    fs::create_symlink(dir / "elsewhere", dir / "link");
    fs::create_directories(dir / "linked/hicolor");
    fs::create_symlink(dir / "elsewhere", dir / "linked/hicolor/32x32");
    fs::copy_file(Asset("soft48.png"), dir / "picture.ico"); // ImageMagick's
    fs::copy_file(VEXILLO_CLI, dir / "library.dll");

    const struct {
        std::string arguments;
        std::string reason;
    } cases[] = {
        {"groups " + d + "/missing.exe", d + "/missing.exe: cannot open the file: No such file or directory"},
        {"groups " + d + "/notes.dll", d + "/notes.dll: not a Windows program or library (no MZ signature)"},
        // Files of other kinds say what they are.
        {"groups " + d + "/picture.ico", d + "/picture.ico: a PNG image, not an icon file"},
        {"images " + d + "/library.dll",
         d + "/library.dll: a Linux program or library (ELF), not a Windows program or library"},
        {"groups " + d + "/folder.exe", d + "/folder.exe: a folder, not a file"},
        {"groups " + d + "/cursor.ico", d + "/cursor.ico: a cursor, not an icon file"},
        {"groups " + d + "/missing.ico", d + "/missing.ico: cannot open the file: No such file or directory"},
        {"extract " + d + "/notes.dll --out " + d + "/out",
         d + "/notes.dll: not a Windows program or library (no MZ signature)"},
        {"images " + d + "/cut.ico", d + "/cut.ico: truncated at offset "},
        {"images " + d + "/notes.dll", d + "/notes.dll: not a Windows program or library (no MZ signature)"},
        {"png " + d + "/badpng.ico 0 " + d + "/x.png", d + "/badpng.ico: image 0: the image does not decode (PNG: "},
        {"bmp " + d + "/badpng.ico 0 " + d + "/x.bmp", d + "/badpng.ico: image 0: the image does not decode (PNG: "},
        {"save-image " + asset + " 7 " + d + "/x.ico", asset + ": no image 7 (it has 1)"},
        {"save " + asset + " '" + d + "/no folder/x.ico'", d + "/no folder/x.ico: No such file or directory"},
        {"scan " + d + "/missing", d + "/missing: cannot open the folder: No such file or directory"},
        {"scan " + d + "/notes.dll", d + "/notes.dll: not a folder"},
        {"dupes " + d + "/missing.dll", d + "/missing.dll: cannot open the file: No such file or directory"},
        {"similar " + d + "/notes.dll " + d, d + "/notes.dll: not a Windows program or library (no MZ signature)"},
        {"similar " + d + "/badpng.ico " + d, d + "/badpng.ico: has no picture to compare"},
        {"extract " + d + "/missing.dll --out " + d + "/out",
         d + "/missing.dll: cannot open the file: No such file or directory"},
        {"hicolor " + d + "/notes.dll --name app --out " + d + "/theme",
         d + "/notes.dll: not a Windows program or library (no MZ signature)"},
        {"hicolor " + d + "/cursor.ico --name app --out " + d + "/theme",
         d + "/cursor.ico: a cursor, not an icon file"},
        {"extract " + asset + " --out " + d + "/link/", d + "/link/: a symbolic link, not a folder"},
        {"hicolor " + asset + " --name app --out " + d + "/link", d + "/link: a symbolic link, not a folder"},
        {"hicolor " + asset + " --name app --out " + d + "/linked",
         d + "/linked/hicolor/32x32: a symbolic link, not a folder"},
        // Data that cannot reach standard output.
        {"groups " + asset + " >/dev/full", "standard output: No space left on device"},
        {"save " + asset + " - >/dev/full", "standard output: No space left on device"},
    };
    for (const auto &c : cases) {
        std::string err;
        EXPECT_EQ(Cli(c.arguments, nullptr, &err), 1) << c.arguments;
        EXPECT_EQ(err.rfind("vexillo-cli: " + c.reason, 0), 0u) << c.arguments << "\n" << err;
    }
    EXPECT_FALSE(fs::exists(dir / "x.ico"));
    EXPECT_FALSE(fs::exists(dir / "x.png"));

    EXPECT_FALSE(fs::exists(dir / "theme"));
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));

    // A terminal as OUT '-' is refused before any work ('script' gives the
    // program a terminal; what it prints comes back on script's output).
    for (const char *command : {"png", "save"}) {
        std::string out;
        const std::string arguments = std::string(command) + " " + asset + (command[0] == 'p' ? " 0" : "") + " -";
        EXPECT_EQ(vexillo::test::Run("script -qec \"'" VEXILLO_CLI "' " + arguments + "\" /dev/null", &out), 1)
            << arguments;
        EXPECT_NE(out.find("vexillo-cli: standard output is a terminal; redirect it or name a file"), std::string::npos)
            << out;
    }

    // The other files named are still listed.
    std::string out, err;
    EXPECT_EQ(Cli("groups " + d + "/missing.exe " + asset, &out, &err), 1);
    EXPECT_EQ(out, asset + "\t\n");

    // A module without icons is no failure: nothing to list or extract.
    const fs::path plain = BuildModule(dir, "plain.dll", {{"1", 10, {1, 2, 3}}});
    EXPECT_EQ(Cli("groups " + plain.string(), &out, &err), 0) << err;
    EXPECT_EQ(out + err, "");
    EXPECT_EQ(Cli("extract " + plain.string() + " --out " + d + "/none", &out, &err), 0);
    EXPECT_EQ(err, "files 1\ticons 0\twritten 0\tskipped 0\n");

    // What the user may not read fails like a missing file, and the rest is
    // still extracted.
    TempDir mine;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(mine.path().c_str(), 0777), 0);
    fs::copy_file(asset, dir / "secret.ico");
    ASSERT_EQ(::chmod((dir / "secret.ico").c_str(), 0), 0);
    fs::create_directory(dir / "closed");
    ASSERT_EQ(::chmod((dir / "closed").c_str(), 0), 0);
    EXPECT_EQ(CliAsNobody("extract " + d + "/secret.ico " + d + "/closed " + asset + " --out " + Quote(mine / "out"),
                          &out, &err),
              1);
    EXPECT_EQ(err, "vexillo-cli: " + d +
                       "/secret.ico: cannot open the file: Permission denied\n"
                       "vexillo-cli: " +
                       d +
                       "/closed: cannot open the folder: Permission denied\n"
                       "files 2\ticons 2\twritten 1\tskipped 1\n");
    EXPECT_EQ(Names(mine / "out"), std::set<std::string>{"ico_4bit.ico"});

    // A folder below the one named that cannot be opened is said, the rest
    // still listed, and the run fails.
    const fs::path tree = mine / "tree";
    fs::create_directories(tree / "closed");
    fs::copy_file(asset, tree / "a.ico");
    fs::copy_file(asset, tree / "closed" / "deep.ico");
    ASSERT_EQ(::chmod((tree / "closed").c_str(), 0), 0);
    const std::string said =
        "vexillo-cli: " + (tree / "closed").string() + ": cannot open the folder: Permission denied\n";
    EXPECT_EQ(CliAsNobody("scan " + Quote(tree), &out, &err), 1);
    EXPECT_EQ(out, (tree / "a.ico").string() + "\t\n");
    EXPECT_EQ(err, said + "files 1\ticons 1\n");
}

TEST(Cli, ExtractNumberedWritesEveryIconByItsCatalogueNumber)
{
    TempDir dir, tree;
    fs::create_directories(tree / "sub");
    fs::copy_file(Asset("ico_mixed.ico"), tree / "sub" / "a.ico");
    WriteBytes(tree / "broken.ico", {0, 0, 1, 0, 5, 0});
    std::string out, err;
    ASSERT_EQ(Cli("extract --numbered " + Quote(tree.path().string()) + " " + Quote(Asset("im_multi32.ico")) +
                      " --out " + Quote(dir / "out"),
                  &out, &err),
              0)
        << err;
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("broken.ico"), std::string::npos);
    EXPECT_NE(err.find("\nfiles 3\ticons 3\twritten 2\tskipped 1\n"), std::string::npos) << err;
    // The folder's entries come first, in the order the scan found them; the
    // file given last is entry 3.
    EXPECT_EQ(ReadBytes(dir / "out" / "3.ico").size(), ReadBytes(Asset("im_multi32.ico")).size());
    int icons = 0;
    for (const auto &entry : fs::directory_iterator(dir / "out"))
        icons += entry.path().extension() == ".ico";
    EXPECT_EQ(icons, 2);

    ASSERT_EQ(
        Cli("extract --png --numbered --out " + Quote(dir / "png") + " " + Quote(Asset("ico_mixed.ico")), &out, &err),
        0);
    EXPECT_EQ(err, "files 1\ticons 1\twritten 4\tskipped 0\n");
    EXPECT_EQ(Names(dir / "png"), (std::set<std::string>{"1-1.png", "1-2.png", "1-3.png", "1-4.png"}));
}

// Without --group a module's first listed group is the icon: on every real
// module, `images FILE` says what `images --group FIRST FILE` says.
TEST(Cli, TheDefaultGroupIsTheFirstListed)
{
    const auto files = CorpusFiles("pe");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    int modulesWithIcons = 0;
    for (const fs::path &file : files) {
        std::string groups, out, err, expected, expectedErr;
        Cli("groups " + Quote(file.string()), &groups);
        const size_t tab = groups.find('\t'), end = groups.find('\n');
        if (tab == std::string::npos)
            continue;
        ++modulesWithIcons;
        const std::string first = groups.substr(tab + 1, end - tab - 1);
        const int status = Cli("images --group " + Quote(first) + " " + Quote(file.string()), &expected, &expectedErr);
        EXPECT_EQ(Cli("images " + Quote(file.string()), &out, &err), status) << file;
        EXPECT_EQ(out, expected) << file;
        EXPECT_EQ(err, expectedErr) << file;
    }
    EXPECT_GT(modulesWithIcons, 5);
}

// What stands at DIR/im_multi32.ico before an extraction, and what becomes of it.
struct TakenName {
    const char *name;
    void (*plant)(const fs::path &at, const fs::path &victim);
    bool replacedByForce; // else --force fails with this reason
    const char *forceReason;
};

void PrintTo(const TakenName &c, std::ostream *os)
{
    *os << c.name;
}

class CliExtractTakenName : public ::testing::TestWithParam<TakenName> {};

TEST_P(CliExtractTakenName, IsSkippedWithoutForceAndReplacedItselfWithIt)
{
    const TakenName &c = GetParam();
    TempDir dir;
    const fs::path out = dir / "out", at = out / "im_multi32.ico", victim = dir / "victim.txt";
    const std::string in = Quote(Asset("im_multi32.ico"));
    const auto icon = ReadBytes(Asset("im_multi32.ico"));
    fs::create_directory(out);
    WriteText(victim, "keep me");
    c.plant(at, victim);
    const auto before = fs::symlink_status(at).type();

    std::string stdOut, err;
    EXPECT_EQ(Cli("extract " + in + " --out " + Quote(out), &stdOut, &err), 0) << err;
    EXPECT_EQ(stdOut, "");
    EXPECT_EQ(err, "vexillo-cli: skipped " + at.string() +
                       ": the file exists (use --force to replace it)\nfiles 1\ticons 1\twritten 0\tskipped 1\n");
    EXPECT_EQ(fs::symlink_status(at).type(), before);

    const int status = Cli("extract --force " + in + " --out " + Quote(out), &stdOut, &err);
    if (c.replacedByForce) {
        EXPECT_EQ(status, 0) << err;
        EXPECT_EQ(err, "files 1\ticons 1\twritten 1\tskipped 0\n");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at)));
        EXPECT_EQ(ReadBytes(at), icon);
    } else {
        EXPECT_EQ(status, 1);
        EXPECT_EQ(err,
                  "vexillo-cli: " + at.string() + ": " + c.forceReason + "\nfiles 1\ticons 1\twritten 0\tskipped 0\n");
        EXPECT_EQ(fs::symlink_status(at).type(), before);
    }
    EXPECT_EQ(ReadText(victim), "keep me");
    EXPECT_EQ(Names(out), std::set<std::string>{"im_multi32.ico"}); // no temporary file left
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliExtractTakenName,
    ::testing::Values(
        TakenName{"File", [](const fs::path &at, const fs::path &) { WriteText(at, "old"); }, true, nullptr},
        TakenName{"LinkToAFile", [](const fs::path &at, const fs::path &victim) { fs::create_symlink(victim, at); },
                  true, nullptr},
        TakenName{"DanglingLink",
                  [](const fs::path &at, const fs::path &victim) { fs::create_symlink(victim.string() + ".new", at); },
                  true, nullptr},
        TakenName{"Fifo", [](const fs::path &at, const fs::path &) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }, true,
                  nullptr},
        TakenName{"Folder", [](const fs::path &at, const fs::path &) { fs::create_directory(at); }, false,
                  "Is a directory"}),
    [](const auto &param) { return std::string(param.param.name); });

// Icons are read one by one after the scan: with --out the scanned folder,
// where every .ico file's name is its own, --force must not replace a file
// before (or after) it is read.
TEST(Cli, ExtractWithForceNeverReplacesAFileItReads)
{
    TempDir tree, other;
    const auto first = ReadBytes(Asset("im_multi32.ico"));
    WriteBytes(tree / "2.ico", first);
    fs::create_symlink(tree / "2.ico", tree / "1.ico");
    fs::copy_file(Asset("ico_4bit.ico"), other / "named.ico");
    fs::create_symlink(other / "named.ico", tree / "3.ico");

    std::string out, err;
    EXPECT_EQ(
        Cli("extract --force --out " + Quote(tree.path()) + " " + Quote(tree.path()) + " " + Quote(other / "named.ico"),
            &out, &err),
        0);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("files 4\ticons 4\twritten 1\tskipped 3\n"), std::string::npos) << err;
    for (const char *name : {"1.ico", "2.ico", "3.ico"})
        EXPECT_NE(err.find("skipped " + (tree / name).string() + ": it is one of the files being read"),
                  std::string::npos)
            << err;
    EXPECT_TRUE(fs::is_symlink(tree / "1.ico"));
    EXPECT_TRUE(fs::is_symlink(tree / "3.ico"));
    EXPECT_EQ(ReadBytes(tree / "2.ico"), first);
    EXPECT_EQ(ReadBytes(other / "named.ico"), ReadBytes(Asset("ico_4bit.ico")));
    EXPECT_EQ(ReadBytes(tree / "named.ico"), ReadBytes(Asset("ico_4bit.ico")));
}

// A file that cannot be written ends the run with its name and the system's
// reason, and leaves nothing behind.
TEST(Cli, ExtractWriteFailuresNameTheFileAndTheReason)
{
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    fs::copy_file(Asset("ico_mixed.ico"), dir / "in.ico");
    fs::create_directory(dir / "locked");
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0555), 0);
    const std::string in = Quote(dir / "in.ico");
    std::string out, err;

    EXPECT_EQ(CliAsNobody("extract " + in + " --out " + Quote(dir / "locked"), &out, &err), 1);
    EXPECT_EQ(err, "vexillo-cli: " + (dir / "locked" / "in.ico").string() +
                       ": Permission denied\nfiles 1\ticons 1\twritten 0\tskipped 0\n");
    EXPECT_TRUE(fs::is_empty(dir / "locked"));

    // A file size limit fails the write part way, as a full disk does.
    const std::string cli = Quote(VEXILLO_CLI) + " extract --png " + in + " --out " + Quote(dir / "small");
    EXPECT_EQ(vexillo::test::Run("trap '' XFSZ; ulimit -f 64; " + cli, &out, &err), 1);
    EXPECT_EQ(err, "vexillo-cli: " + (dir / "small" / "in-4.png").string() +
                       ": File too large\nfiles 1\ticons 1\twritten 3\tskipped 0\n");
    EXPECT_EQ(Names(dir / "small"), (std::set<std::string>{"in-1.png", "in-2.png", "in-3.png"}));
}

// The output folder swapped for a symbolic link to another folder, over and
// over, while an extraction writes hundreds of files to it: the run writes
// through the folder it opened, and not one file lands in the link's target.
TEST(Cli, ExtractWritesIntoTheFolderItOpenedWhileItIsSwappedForALink)
{
    TempDir dir;
    std::vector<std::vector<uint8_t>> images, entries;
    std::vector<uint16_t> ids;
    std::vector<std::tuple<std::string, int, std::vector<uint8_t>>> resources;
    for (uint32_t i = 0; i < 100; ++i) {
        images.push_back(MakeDib(16, 16, 32, {}, std::vector<uint32_t>(256, 0xFF000000u | i)));
        resources.emplace_back(std::to_string(i + 1), 3, images.back());
    }
    for (int k = 0; k < 900; ++k) { // new files and links to them
        entries.push_back(images[k % 100]);
        ids.push_back(static_cast<uint16_t>(k % 100 + 1));
    }
    resources.emplace_back("1", 14, MakeIconGroup(entries, ids));
    const fs::path module = BuildModule(dir, "many.dll", resources);
    const fs::path out = dir / "out", link = dir / "link", target = dir / "target";
    fs::create_directory(out);
    fs::create_directory(target);
    fs::create_symlink(target, link);

    std::atomic<bool> done{false};
    int status = -1;
    std::string err;
    std::thread run([&] {
        status = Cli("extract --png --numbered " + Quote(module) + " --out " + Quote(out), nullptr, &err);
        done = true;
    });
    // Once the run has opened the folder and begun writing, swap.
    while (!done && fs::is_empty(out))
        std::this_thread::yield();
    int swaps = 0;
    while (!done && ::renameat2(AT_FDCWD, out.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) == 0)
        ++swaps;
    run.join();
    if (swaps % 2 != 0) {
        ASSERT_EQ(::renameat2(AT_FDCWD, out.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE), 0);
    }
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(err, "files 1\ticons 1\twritten 900\tskipped 0\n");
    EXPECT_GT(swaps, 100);
    EXPECT_TRUE(fs::is_empty(target));
    EXPECT_EQ(Names(out).size(), 900u);
}

// Replacing a writable file in a folder the user cannot write rewrites the
// file where it is; a new file there is refused.
TEST(Cli, SaveOverwritesAWritableFileInAReadOnlyFolder)
{
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const fs::path target = dir / "icon.ico";
    WriteText(target, std::string(400000, 'x')); // longer than the icon: the rest must go
    ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(target.c_str(), &before), 0);

    std::string err;
    ASSERT_EQ(CliAsNobody("save " + Quote(Asset("ico_mixed.ico")) + " " + Quote(target), nullptr, &err), 0) << err;
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 65534u);
    EXPECT_EQ(ReadBytes(target), ReadBytes(Asset("ico_mixed.ico")));

    EXPECT_EQ(CliAsNobody("save " + Quote(Asset("ico_mixed.ico")) + " " + Quote(dir / "new.ico"), nullptr, &err), 1);
    EXPECT_EQ(err, "vexillo-cli: " + (dir / "new.ico").string() + ": Permission denied\n");
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"icon.ico"});
}

// Extracted files are named after their source: SOURCE_GROUP.ico for a
// module's group, an .ico file's own name. A name from inside a file can
// neither leave the folder nor hide or break the name; a name met twice
// (compared without regard to case) gets "~2", "~3".
TEST(Cli, ExtractNamesFilesAfterTheirSources)
{
    std::string eAcute50;
    for (int i = 0; i < 50; ++i)
        eAcute50 += "\xC3\xA9";
    const struct {
        std::u16string group;
        std::string base;
    } groups[] = {
        {u"../../x", "app.dll_.._.._x"},
        {u"..", "app.dll_.."},
        {u"a/b", "app.dll_a_b"},
        {u"a\\b", "app.dll_a_b~2"},
        {u"A_B", "app.dll_A_B~3"},
        {u"tab\tnl\ncr\r", "app.dll_tab_nl_cr_"},
        {std::u16string(u"nul\0x", 5), "app.dll_nul_x"},
        {u"c1\u0085x\u007f", "app.dll_c1_x_"},
        // Cut to 100 bytes, never inside a character.
        {u"a" + std::u16string(60, u'\u00E9'), "app.dll_a" + eAcute50.substr(2)},
        {u"E" + std::u16string(60, u'\u00E9'), "app.dll_E" + eAcute50.substr(2)},
        {std::u16string(300, u'L'), "app.dll_" + std::string(100, 'L')},
    };
    TempDir work, other;
    const auto image = Square16();
    std::vector<std::tuple<std::string, int, std::vector<uint8_t>>> resources = {{"1", 3, image},
                                                                                 {"7", 14, MakeIconGroup({image})}};
    for (size_t i = 0; i < std::size(groups); ++i)
        resources.emplace_back("G" + std::string(1, static_cast<char>('A' + i)) +
                                   std::string(groups[i].group.size() - 2, 'Q'),
                               14, MakeIconGroup({image}));
    const fs::path module = BuildModule(work, "app.dll", resources);
    for (size_t i = 0; i < std::size(groups); ++i)
        RenameResource(module,
                       "G" + std::string(1, static_cast<char>('A' + i)) + std::string(groups[i].group.size() - 2, 'Q'),
                       groups[i].group);
    // The same base names again, from other folders.
    BuildModule(other, "app.dll", {{"7", 14, MakeIconGroup({image})}, {"1", 3, image}});
    const auto icon = ReadBytes(Asset("ico_4bit.ico"));
    WriteBytes(work / "Icon.ICO", icon);
    WriteBytes(work / ".hidden.ico", icon);
    WriteBytes(other / "icon.ico", icon);

    const fs::path out = work / "deep" / "out";
    std::set<std::string> beside = Names(work.path());
    const std::string inputs =
        Quote(module) + " " + Quote(work / "Icon.ICO") + " " + Quote(work / ".hidden.ico") + " " + Quote(other.path());
    std::string stdOut, err;
    ASSERT_EQ(Cli("extract " + inputs + " --out " + Quote(out), &stdOut, &err), 0) << err;
    std::set<std::string> expected = {"app.dll_7.ico", "Icon.ICO", "_hidden.ico", "app.dll_7~2.ico", "icon~2.ico"};
    for (const auto &g : groups)
        expected.insert(g.base + ".ico");
    EXPECT_EQ(FilesBelow(work / "deep"), [&] {
        std::set<std::string> paths;
        for (const auto &name : expected)
            paths.insert("out/" + name);
        return paths;
    }());
    beside.insert("deep");
    EXPECT_EQ(Names(work.path()), beside) << "nothing written beside the output folder";
    EXPECT_EQ(ReadBytes(out / "icon~2.ico"), icon);

    // With --png each image is BASE-K.png.
    ASSERT_EQ(Cli("extract --png " + inputs + " --out " + Quote(work / "deep" / "png"), &stdOut, &err), 0) << err;
    std::set<std::string> pictures;
    for (const auto &name : expected)
        pictures.insert(name.substr(0, name.rfind('.')) + "-1.png");
    EXPECT_EQ(Names(work / "deep" / "png"), pictures);
}

// One line is one record: a tab, line end or backslash in a file or group
// name is escaped in the lists.
TEST(Cli, ListsEscapeNamesSoThatEachLineIsOneRecord)
{
    TempDir dir;
    const auto image = Square16();
    const fs::path module = BuildModule(dir, "m.dll", {{"GQQQQQQ", 14, MakeIconGroup({image})}, {"1", 3, image}});
    RenameResource(module, "GQQQQQQ", u"t\tn\nr\r\\");
    const fs::path folder = dir / "we\\ird\tfolder\n";
    fs::create_directory(folder);
    fs::copy_file(module, folder / "x\ty.dll");
    const std::string line = dir.path().string() + "/we\\\\ird\\tfolder\\n/x\\ty.dll\tt\\tn\\nr\\r\\\\\n";

    std::string out, err;
    ASSERT_EQ(Cli("groups " + Quote(folder / "x\ty.dll"), &out, &err), 0) << err;
    EXPECT_EQ(out, line);
    ASSERT_EQ(Cli("scan " + Quote(folder), &out, &err), 0) << err;
    EXPECT_EQ(out, line);
    EXPECT_EQ(err, "files 1\ticons 1\n");

    // No name drives the terminal: the other C0 controls, NUL, DEL and the
    // C1 controls are escaped too, in the lists and in what is said on
    // standard error.
    const fs::path controls = dir / "controls.dll";
    WriteBytes(controls, MakeRawModule({{14, 0, u"\x1B]0;title\x07", MakeIconGroup({image})},
                                        {14, 0, std::u16string(u"a\0b", 3), MakeIconGroup({image})},
                                        {14, 0,
                                         u"\x9B"
                                         u"2J\x7F",
                                         MakeIconGroup({image}, {9})},
                                        {3, 1, {}, image}}));
    ASSERT_EQ(Cli("groups " + Quote(controls), &out, &err), 0) << err;
    const std::string file = controls.string() + "\t";
    EXPECT_EQ(out, file + "\\x1B]0;title\\x07\n" + file + "a\\x00b\n" + file + "\\u009B2J\\x7F\n");
    EXPECT_EQ(Cli("extract " + Quote(controls) + " --out " + Quote(dir / "out"), &out, &err), 0);
    EXPECT_NE(err.find("group \\u009B2J\\x7F: no icon image 9"), std::string::npos) << err;
    EXPECT_EQ(err.find('\x1B'), std::string::npos);
    // The JSON records escape them too (DEL and C1 as \u007f, \u009b), and
    // jq reads every character back.
    const std::string jsonl = (dir / "controls.jsonl").string();
    ASSERT_EQ(Cli("groups --json " + Quote(controls) + " >" + Quote(jsonl)), 0);
    EXPECT_NE(ReadText(jsonl).find("\"group\":\"\\u009b2J\\u007f\""), std::string::npos);
    ASSERT_EQ(vexillo::test::Run("jq -c '.group | explode' " + Quote(jsonl), &out), 0);
    EXPECT_EQ(out, "[27,93,48,59,116,105,116,108,101,7]\n[97,0,98]\n[155,50,74,127]\n");
}

// Entries that answer to the same name (a name "1" beside the number 1,
// names that differ only in case, or only in an unpaired surrogate, which
// UTF-8 cannot carry) are each saved from their own group: a listed group is
// found again by its place, and a name with a surrogate by its units; its
// text shows the surrogate escaped, and a backslash then as \\.
TEST(Cli, EveryEntryIsSavedFromItsOwnGroup)
{
    TempDir dir;
    const fs::path module = dir / "same.dll";
    const std::vector<uint32_t> colours = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu,
                                           0xFF808080u, 0xFF800000u, 0xFF008000u};
    WriteBytes(module, MakeRawModule({{14, 0, u"1", MakeIconGroup({SmallDib()}, {1})},
                                      {14, 1, {}, MakeIconGroup({SmallDib()}, {2})},
                                      {14, 0, u"Icon", MakeIconGroup({SmallDib()}, {3})},
                                      {14, 0, u"ICON", MakeIconGroup({SmallDib()}, {4})},
                                      {14, 0, u"X\xD800Y", MakeIconGroup({SmallDib()}, {5})},
                                      {14, 0, u"X\xDC00Y", MakeIconGroup({SmallDib()}, {6})},
                                      {14, 0, u"\\\xD800", MakeIconGroup({SmallDib()}, {7})},
                                      {3, 1, {}, SmallDib(colours[0])},
                                      {3, 2, {}, SmallDib(colours[1])},
                                      {3, 3, {}, SmallDib(colours[2])},
                                      {3, 4, {}, SmallDib(colours[3])},
                                      {3, 5, {}, SmallDib(colours[4])},
                                      {3, 6, {}, SmallDib(colours[5])},
                                      {3, 7, {}, SmallDib(colours[6])}}));
    std::string out, err;
    ASSERT_EQ(Cli("groups " + Quote(module), &out, &err), 0) << err;
    const std::string file = module.string() + "\t";
    EXPECT_EQ(out, file + "1\n" + file + "1\n" + file + "Icon\n" + file + "ICON\n" + file + "X\\\\uD800Y\n" + file +
                       "X\\\\uDC00Y\n" + file + "\\\\\\\\\\\\uD800\n");
    // The JSON record holds such a name exactly, as its UTF-16 code units.
    ASSERT_EQ(Cli("groups --json " + Quote(module) + " | jq -c '[.group, .group_utf16]'", &out), 0);
    EXPECT_EQ(out,
              "[\"1\",null]\n[1,null]\n[\"Icon\",null]\n[\"ICON\",null]\n[\"X\\\\uD800Y\",[88,55296,89]]\n"
              "[\"X\\\\uDC00Y\",[88,56320,89]]\n[\"\\\\\\\\\\\\uD800\",[92,55296]]\n");
    ASSERT_EQ(Cli("extract --numbered " + Quote(module) + " --out " + Quote(dir / "out"), &out, &err), 0) << err;
    for (size_t k = 0; k < colours.size(); ++k) {
        const auto saved = ReadBytes(dir / "out" / (std::to_string(k + 1) + ".ico"));
        EXPECT_TRUE(
            std::equal(saved.end() - static_cast<long>(SmallDib().size()), saved.end(), SmallDib(colours[k]).begin()))
            << "entry " << k + 1;
    }
    // --group takes a number (N or #N) as the numbered group, a name in
    // quotes as the named one, and a name exactly as listed.
    for (const auto &[group, k] : {std::pair{"1", 1}, std::pair{"'#1'", 1}, std::pair{"'\"1\"'", 0},
                                   std::pair{"Icon", 2}, std::pair{"ICON", 3}, std::pair{"'X\\uDC00Y'", 5}}) {
        ASSERT_EQ(Cli("save --group " + std::string(group) + " " + Quote(module) + " " + Quote(dir / "g.ico")), 0);
        const auto saved = ReadBytes(dir / "g.ico");
        EXPECT_TRUE(std::equal(saved.end() - static_cast<long>(SmallDib().size()), saved.end(),
                               SmallDib(colours[static_cast<size_t>(k)]).begin()))
            << group;
    }
}

// Groups named in digits beside the number they read as (windres: the names
// "01" and "1" beside the number 1): 'extract' writes each as wrestool -x
// writes it (cut where its directory ends, as wrestool appends what follows),
// 'groups --json' gives each its own identity, and 'dupes' pairs each only
// with its twin in the 32-bit module.
TEST(Cli, GroupsNamedInDigitsAreNotTheirNumbers)
{
    TempDir dir;
    ASSERT_EQ(vexillo::test::Run("bash " + Quote(VEXILLO_SOURCE_DIR "/tests/modules/build_modules.sh") + " " +
                                 Quote(dir / "m")),
              0);
    const fs::path m64 = dir / "m/names-x86_64.dll", m32 = dir / "m/names-i686.dll";
    std::string out, err, sums;
    ASSERT_EQ(Cli("extract --numbered " + Quote(m64) + " --out " + Quote(dir / "out"), &out, &err), 0) << err;
    const char *wrestoolNames[] = {"+01", "+1", "-1"}; // in catalogue order: named ones first
    for (size_t k = 0; k < 3; ++k) {
        std::string ico;
        vexillo::test::Run("wrestool -x -t14 -n " + std::string(wrestoolNames[k]) + " " + Quote(m64), &ico);
        std::vector<uint8_t> bytes(ico.begin(), ico.end());
        size_t end = 0;
        for (const ParsedEntry &entry : ParseIco(bytes).entries)
            end = std::max<size_t>(end, size_t{entry.offset} + entry.size);
        bytes.resize(std::min(end, bytes.size()));
        EXPECT_EQ(ReadBytes(dir / "out" / (std::to_string(k + 1) + ".ico")), bytes) << wrestoolNames[k];
    }
    vexillo::test::Run("cd " + Quote(dir / "out") + " && sha256sum 1.ico 2.ico 3.ico | cut -c1-64", &sums);
    ASSERT_EQ(Cli("groups --json " + Quote(m64) + " | jq -r '(.group | tojson) + \" \" + .identity'", &out), 0);
    std::istringstream lines(sums);
    std::string expected;
    for (const char *group : {"\"01\"", "\"1\"", "1"}) {
        std::string sum;
        std::getline(lines, sum);
        expected += std::string(group) + " " + sum + "\n";
    }
    EXPECT_EQ(out, expected);
    ASSERT_EQ(Cli("dupes " + Quote(m64) + " " + Quote(m32), &out, &err), 0) << err;
    std::string sets;
    for (const char *group : {"01", "1", "1"})
        sets += m64.string() + "\t" + group + "\t" + m32.string() + "\t" + group + "\n";
    EXPECT_EQ(out, sets);
}

// An icon put in an icon theme, read back by ImageMagick: each square size up
// to 512 from its deepest image, 256 scaled down from the largest, the
// theme's old pictures replaced (a link itself, not its target).
TEST(Cli, HicolorWritesEverySquareSizeOfTheIcon)
{
    TempDir dir, theme;
    const auto png = [&](const std::string &name, const std::string &picture) {
        EXPECT_EQ(vexillo::test::Run("/usr/bin/convert " + picture + " PNG32:" + Quote(dir / name)), 0);
        return ReadBytes(dir / name);
    };
    const auto red1024 =
        png("red.png", "-size 1024x1024 -seed 7 plasma:red-red -alpha set -channel A -evaluate set 50% +channel");
    const auto green512 = png("green.png", "-size 512x512 xc:#00ff00");
    const std::vector<std::vector<uint8_t>> images = {
        MakeDib(16, 16, 4, {0xFF0000, 0x00FF00}, std::vector<uint32_t>(256, 0)),
        MakeDib(16, 16, 32, {}, std::vector<uint32_t>(256, 0x800000FFu)),
        MakeDib(48, 48, 8, {0x00FF00}, std::vector<uint32_t>(48 * 48, 0)),
        MakeDib(32, 16, 32, {}, std::vector<uint32_t>(32 * 16, 0xFF000000u)),
        green512,
        red1024,
    };
    const fs::path module = BuildModule(dir, "app.exe",
                                        {{"1", 14, MakeIconGroup(images)},
                                         {"2", 14, MakeIconGroup({images[3], images[2]}, {4, 3})},
                                         {"1", 3, images[0]},
                                         {"2", 3, images[1]},
                                         {"3", 3, images[2]},
                                         {"4", 3, images[3]},
                                         {"5", 3, images[4]},
                                         {"6", 3, images[5]}});
    const fs::path apps16 = theme / "hicolor/16x16/apps", apps48 = theme / "hicolor/48x48/apps";
    fs::create_directories(apps16);
    fs::create_directories(apps48);
    WriteText(apps16 / "app.png", "old");
    WriteText(dir / "victim", "keep me");
    fs::create_symlink(dir / "victim", apps48 / "app.png");

    std::string out, err;
    ASSERT_EQ(Cli("hicolor " + Quote(module) + " --name app --out " + Quote(theme.path()), &out, &err), 0) << err;
    EXPECT_EQ(err, "");
    const std::string t = theme.path().string() + "/hicolor/";
    EXPECT_EQ(out, t + "16x16/apps/app.png\n" + t + "48x48/apps/app.png\n" + t + "256x256/apps/app.png\n" + t +
                       "512x512/apps/app.png\n");
    EXPECT_EQ(FilesBelow(theme.path()),
              (std::set<std::string>{"hicolor/16x16/apps/app.png", "hicolor/48x48/apps/app.png",
                                     "hicolor/256x256/apps/app.png", "hicolor/512x512/apps/app.png"}));
    const std::string format = "%w %h %[channels] %[fx:mean.r>mean.g] %[fx:mean.b>0.9] %[fx:round(mean.a*10)]";
    EXPECT_EQ(Identify(apps16 / "app.png", format), "16 16 srgba 0 1 5"); // the 32-bit one
    EXPECT_EQ(Identify(apps48 / "app.png", format), "48 48 srgba 0 0 0");
    EXPECT_EQ(Identify(theme / "hicolor/256x256/apps/app.png", format), "256 256 srgba 1 0 5"); // from 1024
    EXPECT_EQ(Identify(theme / "hicolor/512x512/apps/app.png", "%w %h %[fx:mean.g]"), "512 512 1");
    EXPECT_FALSE(fs::is_symlink(apps48 / "app.png"));
    EXPECT_EQ(ReadText(dir / "victim"), "keep me");

    // Another group, named with its ".png"; an .ico file from another program.
    ASSERT_EQ(Cli("hicolor --group 2 " + Quote(module) + " --name two.png --out " + Quote(theme.path()), &out, &err),
              0);
    EXPECT_EQ(out, t + "48x48/apps/two.png\n");
    const fs::path corpus = CorpusDir("ico");
    if (corpus.empty())
        return;
    ASSERT_EQ(Cli("hicolor " + Quote(corpus / "dotnetassets__256x256_seven_entries_multiple_bits.ico") +
                      " --name seven --out " + Quote(theme.path()),
                  &out, &err),
              0)
        << err;
    for (const int size : {16, 24, 32, 48, 64, 256}) {
        const std::string n = std::to_string(size);
        EXPECT_EQ(Identify(theme / ("hicolor/" + n + "x" + n + "/apps/seven.png"), "%w %h %[channels]"),
                  n + " " + n + " srgba");
    }
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6);
}

// An Xcursor file as libXcursor reads it: "size WxH hot-x,hot-y delay" for
// each image in order.
std::vector<std::string> ReadXcursor(const fs::path &file)
{
    std::vector<std::string> images;
    XcursorImages *all = XcursorFilenameLoadAllImages(file.c_str());
    for (int i = 0; all && i < all->nimage; ++i) {
        const XcursorImage &image = *all->images[i];
        images.push_back(std::to_string(image.size) + " " + std::to_string(image.width) + "x" +
                         std::to_string(image.height) + " " + std::to_string(image.xhot) + "," +
                         std::to_string(image.yhot) + " " + std::to_string(image.delay));
    }
    XcursorImagesDestroy(all);
    return images;
}

TEST(Cli, XcursorWritesAThemeOfCursorFilesAndCursorGroups)
{
    TempDir dir;
    ASSERT_EQ(vexillo::test::Run("bash " + Quote(VEXILLO_SOURCE_DIR "/tests/modules/build_modules.sh") + " " +
                                 Quote(dir / "m")),
              0);
    // icotool's cursor of 32 and 48 pixels, hot spot (3, 5), under a name a
    // cursor set's install file uses and under one that must be made safe.
    fs::copy_file(dir / "m/t.cur", dir / "Arrow.cur");
    fs::copy_file(dir / "m/t.cur", dir / ".Odd Name.CUR");
    // A 1-bit cursor: its top rows invert the screen, its bottom rows are
    // white; hot spot (1, 2).
    auto ibeam = MakeIco({MakeDib(4, 4, 1, {0, 0xFFFFFF}, std::vector<uint32_t>(16, 1),
                                  {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0})},
                         {{4, 4, 2, 0, 1, 2}});
    ibeam[2] = 2;
    WriteBytes(dir / "IBEAM.cur", ibeam);
    const fs::path ani = CorpusDir("ani");
    if (ani.empty())
        GTEST_SKIP() << "no corpus";
    const fs::path cursors = dir / "out/My Theme/cursors";
    fs::create_directories(cursors);
    WriteText(cursors / "left_ptr", "old");
    fs::create_symlink("/nowhere", cursors / "default");

    std::string out, err;
    EXPECT_EQ(Cli("xcursor " + Quote(dir / "Arrow.cur") + " " + Quote(dir / ".Odd Name.CUR") + " " +
                      Quote(dir / "m/cursors-x86_64.dll") + " " + Quote(dir / "IBEAM.cur") + " " +
                      Quote(ani / "gdkpixbuf__test-animation.ani") + " " +
                      Quote(ani / "gdkpixbuf__fail-invalid.3.ico") + " --name 'My Theme' --out " + Quote(dir / "out"),
                  &out, &err),
              1);
    EXPECT_EQ(err, "vexillo-cli: " + (ani / "gdkpixbuf__fail-invalid.3.ico").string() + ": no 'anih' chunk\n");
    const std::string d = dir.path().string() + "/";
    const std::string m = d + "m/cursors-x86_64.dll:";
    EXPECT_EQ(out, d + "Arrow.cur\tleft_ptr\t32,48\n" + d + ".Odd Name.CUR\t_odd_name\t32,48\n" + m +
                       "BUSY\tbusy\t32,48\n" + m + "300\t300\t32,48\n" + m + "32649\thand2\t32,48\n" + m +
                       "32651\tquestion_arrow\t32,48\n" + d + "IBEAM.cur\txterm\t4\n" + ani.string() +
                       "/gdkpixbuf__test-animation.ani\tgdkpixbuf__test-animation\t32,48\n");
    const std::vector<std::string> cur = {"32 32x32 3,5 0", "48 48x48 3,5 0"};
    EXPECT_EQ(ReadXcursor(cursors / "left_ptr"), cur);
    EXPECT_EQ(ReadXcursor(cursors / "_odd_name"), cur);
    EXPECT_EQ(ReadXcursor(cursors / "xterm"), std::vector<std::string>{"4 4x4 1,2 0"});
    XcursorImage *xterm = XcursorFilenameLoadImage((cursors / "xterm").c_str(), 4);
    ASSERT_TRUE(xterm);
    std::vector<uint32_t> blackThenWhite(8, 0xFF000000u);
    blackThenWhite.resize(16, 0xFFFFFFFFu);
    EXPECT_EQ(std::vector<uint32_t>(xterm->pixels, xterm->pixels + 16), blackThenWhite);
    XcursorImageDestroy(xterm);
    for (const char *name : {"busy", "300", "hand2", "question_arrow"})
        EXPECT_EQ(ReadXcursor(cursors / name), cur) << name;
    for (const auto &[alias, name] : std::map<std::string, std::string>{
             {"default", "left_ptr"}, {"top_left_arrow", "left_ptr"}, {"pointer", "hand2"}, {"help", "question_arrow"}})
        EXPECT_EQ(fs::read_symlink(cursors / alias), name) << alias;
    // 18 frames at each size, each shown for 2 jiffies.
    const auto animation = ReadXcursor(cursors / "gdkpixbuf__test-animation");
    ASSERT_EQ(animation.size(), 36u);
    EXPECT_EQ(animation[0], "32 32x32 0,8 33");
    EXPECT_EQ(animation[17], "32 32x32 0,8 33");
    EXPECT_EQ(animation[18], "48 48x48 1,12 33");
    EXPECT_EQ(ReadText(dir / "out/My Theme/index.theme"),
              "[Icon Theme]\nName=My Theme\nComment=Windows cursors from Arrow.cur, .Odd Name.CUR, "
              "cursors-x86_64.dll, IBEAM.cur, gdkpixbuf__test-animation.ani, made by vexillo-cli\n");

    // Nothing a run wrote is replaced by a later source: a taken name gets
    // the first free "-N", a taken alias stays with its cursor; both said.
    fs::create_directory(dir / "b");
    fs::copy_file(dir / "m/t.cur", dir / "default.cur");
    fs::copy_file(dir / "m/t.cur", dir / "b/arrow.cur");
    EXPECT_EQ(Cli("xcursor " + Quote(dir / "default.cur") + " " + Quote(dir / "Arrow.cur") + " " +
                      Quote(dir / "b/arrow.cur") + " --name Two --out " + Quote(dir / "out"),
                  &out, &err),
              0);
    EXPECT_EQ(out, d + "default.cur\tdefault\t32,48\n" + d + "Arrow.cur\tleft_ptr\t32,48\n" + d +
                       "b/arrow.cur\tleft_ptr-2\t32,48\n");
    EXPECT_EQ(err, "vexillo-cli: " + d + "Arrow.cur: no link 'default': it was written for " + d +
                       "default.cur\nvexillo-cli: " + d + "b/arrow.cur: 'left_ptr' was written for " + d +
                       "Arrow.cur; written as 'left_ptr-2'\n");
    EXPECT_EQ(ReadXcursor(dir / "out/Two/cursors/default"), cur);
    EXPECT_EQ(ReadXcursor(dir / "out/Two/cursors/left_ptr-2"), cur);

    // A module's group that does not load fails the run; the others are
    // written.
    const std::vector<uint8_t> dib = SmallDib();
    std::vector<uint8_t> group{0, 0, 2, 0, 1, 0, 16, 0, 32, 0, 1, 0, 32, 0}, image{3, 0, 5, 0};
    PutU32(group, static_cast<uint32_t>(dib.size() + 4));
    PutU16(group, 1);
    std::vector<uint8_t> broken = group;
    broken.back() = 9;
    image.insert(image.end(), dib.begin(), dib.end());
    WriteBytes(dir / "part.dll", MakeRawModule({{12, 1, {}, group}, {12, 2, {}, broken}, {1, 1, {}, image}}));
    EXPECT_EQ(Cli("xcursor " + Quote(dir / "part.dll") + " --name Three --out " + Quote(dir / "out"), &out, &err), 1);
    EXPECT_EQ(out, d + "part.dll:1\t1\t16\n");
    EXPECT_EQ(err.rfind("vexillo-cli: " + d + "part.dll:2: ", 0), 0u) << err;
}

// An animated cursor whose frame 1 (shown first) is a 7-bit image, which does
// not decode: every program that reads it leaves that frame out, with the
// steps that show it, says so where it speaks, and keeps frame 0 (a 16) and
// frame 2 (a 32), which now shows first.
TEST(Cli, ACursorFrameThatDoesNotDecodeIsLeftOutByEveryReader)
{
    TempDir dir;
    std::vector<uint8_t> seven = SmallDib();
    seven[14] = 7;
    const auto square32 = MakeDib(32, 32, 32, {}, std::vector<uint32_t>(1024, 0xFF112233u));
    WriteBytes(dir / "bad.ani",
               AnimatedCursorFile({MakeIco({Square16()}), MakeIco({seven}), MakeIco({square32})}, {1, 2, 0}));
    const std::string file = Quote(dir / "bad.ani"), d = dir.path().string() + "/", cli = Quote(VEXILLO_CLI) + " ";
    const std::string left = "frame 1 at 1234: the image does not decode (7 bits per pixel); left out";
    const struct {
        std::string command, said; // what stdout and stderr hold
        fs::path made;
        std::string picture; // its size, or its Xcursor images
        bool saysLeftOut = false;
    } rows[] = {
        {cli + "info " + file,
         "frames\t2\tsteps\t2\nframe\t0\t16\t16\t8\t8\nframe\t2\t32\t32\t16\t16\nstep\t0\t2\t100\nstep\t1\t0\t100\nnote"
         "\t" +
             left + "\n",
         {},
         ""},
        {cli + "groups " + file, d + "bad.ani\t\tanimated\n", {}, ""},
        {cli + "images " + file, "1\t32\t32\t32\t", {}, "", true},
        {cli + "png " + file + " 1 " + d + "f.png", "", d + "f.png", "32 32", true},
        {cli + "xcursor " + file + " --name T --out " + d + "x", left, d + "x/T/cursors/bad",
         "16 32x32 16,16 100 16 16x16 8,8 100 32 32x32 16,16 100 32 16x16 8,8 100 "},
        {Quote(fs::path(VEXILLO_CLI).parent_path() / "vexillo-thumbnailer") + " -s 64 " + file + " " + d + "t.png", "",
         d + "t.png", "32 32"},
    };
    for (const auto &row : rows) {
        std::string out, err;
        EXPECT_EQ(vexillo::test::Run(row.command, &out, &err), 0) << row.command << "\n" << err;
        EXPECT_NE((out + err).find(row.said), std::string::npos) << row.command << "\n" << out << err;
        if (row.saysLeftOut) {
            EXPECT_NE(err.find(left), std::string::npos) << row.command << "\n" << err;
        }
        std::string picture;
        if (row.made.extension() == ".png")
            picture = Identify(row.made, "%w %h");
        else if (!row.made.empty())
            for (const std::string &image : ReadXcursor(row.made))
                picture += image + " ";
        EXPECT_EQ(picture, row.picture) << row.command;
    }
}

// --json, read back by jq and DuckDB: a name that is not UTF-8 kept whole in
// base64, a group named "1" told from the number 1, the identity the SHA-256
// of the file 'save' writes, a group that does not load with its reason.
TEST(Cli, JsonRecordsReadBackByJqAndDuckDb)
{
    TempDir dir;
    const fs::path module = dir / "m.dll", odd = dir / "we\"ird\xFF\n.ico";
    WriteBytes(module, MakeRawModule({{14, 0, u"1", MakeIconGroup({SmallDib()})},
                                      {14, 0, u"BROKEN", MakeIconGroup({SmallDib()}, {9})},
                                      {14, 1, {}, MakeIconGroup({SmallDib()})},
                                      {3, 1, {}, SmallDib()}}));
    fs::copy_file(Asset("ico_4bit.ico"), odd);
    const std::string jsonl = (dir / "out.jsonl").string(), m = module.string() + "\t-\t";
    ASSERT_EQ(Cli("groups --json " + Quote(module) + " " + Quote(odd) + " >" + Quote(jsonl)), 0);
    std::string out, group, ico, base64, rows;
    Cli("save " + Quote(module) + " - | sha256sum | head -c64", &group);
    Cli("save " + Quote(odd) + " - | sha256sum | head -c64", &ico);
    vexillo::test::Run("printf %s " + Quote(odd) + " | base64 -w0", &base64);
    ASSERT_EQ(
        vexillo::test::Run("jq -r '[.file, .file_base64 // \"-\", (.group | tojson), .language, (.images | length), "
                           ".identity // \"-\", (.picture_key // \"\" | length), .error // \"-\"] | @tsv' " +
                               Quote(jsonl),
                           &out),
        0);
    EXPECT_EQ(out, m + "\"1\"\t1033\t1\t" + group + "\t16\t-\n" + m +
                       "\"BROKEN\"\t\t0\t-\t0\tno icon image 9 named by entry 0 of the icon group\n" + m +
                       "1\t1033\t1\t" + group + "\t16\t-\n" + dir.path().string() + "/we\"ird\xEF\xBF\xBD\\n.ico\t" +
                       base64 + "\tnull\t\t1\t" + ico + "\t16\t-\n");
    ASSERT_EQ(vexillo::test::Run("jq -r '.file_base64 // empty' " + Quote(jsonl) + " | base64 -d", &out), 0);
    EXPECT_EQ(out, odd.string());
    const std::string modules = VEXILLO_NPM_DIR "/node_modules";
    if (!fs::exists(modules + "/@duckdb/node-api"))
        GTEST_SKIP() << "DuckDB is not installed (scripts/test.sh installs it from npm)";
    EXPECT_EQ(vexillo::test::Run("NODE_PATH=" + Quote(modules) + " node " +
                                     Quote(VEXILLO_SOURCE_DIR "/tests/duckdb_query.cjs") +
                                     " \"select count(*), count(error), list_sort(list(\\\"group\\\"::varchar) filter "
                                     "(where identity = '" +
                                     group + "')) from read_json('" + jsonl + "')\"",
                                 &rows),
              0);
    EXPECT_EQ(rows, "4\t1\t[\"\\\"1\\\"\",\"1\"]\n");
}

// 'dupes' against wrestool -x: the groups of Wine's modules written as .ico
// files fall into the same sets of identical bytes as 'dupes' prints, for
// the 64- and 32-bit modules apart and together. Each file is cut where its
// directory ends: wrestool appends as many bytes of what follows as the group
// resource holds.
TEST(Cli, DupesFindsTheSetsOfWrestoolsIdenticalFiles)
{
    using EntrySet = std::set<std::pair<std::string, std::string>>;
    std::vector<std::string> trees;
    for (const char *tree : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                             "/usr/lib/i386-linux-gnu/wine/i386-windows", VEXILLO_WINE32_DIR})
        if (fs::exists(tree + std::string("/shell32.dll")))
            trees.push_back(tree);
    if (trees.empty())
        GTEST_SKIP() << "no Wine modules (Debian's libwine)";
    TempDir dir;
    std::map<std::string, std::map<std::vector<uint8_t>, EntrySet>> byBytes; // of each tree
    for (const std::string &tree : trees) {
        const fs::path out = dir / std::to_string(byBytes.size());
        fs::create_directory(out);
        vexillo::test::Run("wrestool -x -t14 -o " + Quote(out) + " " + Quote(tree) + "/*");
        for (const auto &file : fs::directory_iterator(out)) {
            const std::string name = file.path().filename().string();
            const size_t type = name.find("_14_"), language = name.rfind('_');
            auto bytes = ReadBytes(file.path());
            size_t end = 0;
            for (const ParsedEntry &entry : ParseIco(bytes).entries)
                end = std::max<size_t>(end, size_t{entry.offset} + entry.size);
            bytes.resize(std::min(end, bytes.size()));
            byBytes[tree][bytes].emplace(tree + "/" + name.substr(0, type), name.substr(type + 4, language - type - 4));
        }
    }
    std::vector<std::vector<std::string>> runs(trees.size() > 1 ? 1 : 0, trees);
    for (const std::string &tree : trees)
        runs.push_back({tree});
    for (const auto &run : runs) {
        std::map<std::vector<uint8_t>, EntrySet> joined;
        std::string folders, out;
        for (const std::string &tree : run) {
            folders += Quote(tree) + " ";
            for (const auto &[bytes, entries] : byBytes[tree])
                joined[bytes].insert(entries.begin(), entries.end());
        }
        std::set<EntrySet> expected, found;
        for (const auto &[bytes, entries] : joined)
            if (entries.size() > 1)
                expected.insert(entries);
        ASSERT_EQ(Cli("dupes " + folders, &out), 0);
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            EntrySet set;
            for (std::string file, group; std::getline(fields, file, '\t') && std::getline(fields, group, '\t');)
                set.emplace(file, group);
            found.insert(set);
        }
        EXPECT_GT(expected.size(), 5u) << folders;
        EXPECT_EQ(found, expected) << folders;
    }
}

// 'similar' finds a picture again among unrelated icons (the corpus's, Wine's
// modules'): drawn by ImageMagick with a soft shadow at 32 and 48 pixels, at
// 4, 8 and 32 bits (the shadow then a mask) and as PNG, and at 32 pixels in a
// 1-pixel frame, each an icon of its own (icotool), it comes first.
TEST(Cli, SimilarFindsAPictureAtOtherSizesAndDepthsFirst)
{
    TempDir dir;
    fs::create_directories(dir / "tree");
    const std::string im = " && /usr/bin/convert ";
    ASSERT_EQ(vexillo::test::Run("cd " + Quote(dir.path()) + im +
                                 "-size 48x48 xc:none -fill '#0008' -draw 'rectangle 7,7 23,47' -fill navy -draw "
                                 "'rectangle 4,4 20,44' -fill orange -draw "
                                 "'circle 34,24 34,10' PNG32:p48.png && icotool -c -b 32 -o query.ico p48.png && "
                                 "for s in 32 48; do true" +
                                 im + "p48.png -resize ${s}x$s PNG32:p$s.png" + im + "p$s.png -colors 16 PNG8:q4.png" +
                                 im +
                                 "p$s.png -colors 200 PNG8:q8.png && icotool -c -b 4 -o tree/d4-$s.ico q4.png && "
                                 "icotool -c -b 8 -o tree/d8-$s.ico q8.png && icotool -c -b 32 -o "
                                 "tree/d32-$s.ico p$s.png && icotool -c -r p$s.png -o tree/png-$s.ico; done" +
                                 im +
                                 "p32.png -compose Copy -bordercolor black -border 1 PNG32:f.png && icotool -c -b 32 "
                                 "-o tree/framed.ico f.png"),
              0);
    std::string out;
    EXPECT_EQ(Cli("similar " + Quote(dir / "query.ico") + " " + Quote(dir / "tree") + " $(ls -d " +
                      Quote(VEXILLO_CORPUS_DIR "/ico") +
                      " /usr/lib/x86_64-linux-gnu/wine/x86_64-windows 2>/dev/null) 2>/dev/null",
                  &out),
              0);
    std::istringstream lines(out);
    std::set<std::string> first;
    for (std::string line; first.size() < 9 && std::getline(lines, line);)
        first.insert(fs::path(line.substr(line.find('\t') + 1)).filename().string());
    EXPECT_EQ(first, (std::set<std::string>{"d4-32.ico\t", "d8-32.ico\t", "d32-32.ico\t", "png-32.ico\t", "d4-48.ico\t",
                                            "d8-48.ico\t", "d32-48.ico\t", "png-48.ico\t", "framed.ico\t"}))
        << out;
}

// scripts/index-archive.sh on a tiny tree: shards of files, merged into one
// file that holds the records 'scan --json' writes of the tree.
TEST(Cli, IndexArchiveWritesShardsAndTheirMerge)
{
    TempDir dir;
    fs::create_directories(dir / "archive/a b");
    for (const char *name : {"ico_4bit.ico", "ico_mixed.ico", "im_multi32.ico"})
        fs::copy_file(Asset(name), dir / "archive/a b" / name);
    WriteBytes(dir / "archive/m.dll",
               MakeRawModule({{14, 1, {}, MakeIconGroup({Square16()})}, {3, 1, {}, Square16()}}));
    WriteText(dir / "archive/notes.txt", "not an icon");
    std::string out, err, scanned;
    ASSERT_EQ(vexillo::test::Run("SHARD_FILES=2 VEXILLO_CLI=" + Quote(VEXILLO_CLI) + " bash " +
                                     Quote(VEXILLO_SOURCE_DIR "/scripts/index-archive.sh") + " " +
                                     Quote(dir / "archive") + " " + Quote(dir / "out"),
                                 &out, &err),
              0)
        << err;
    EXPECT_TRUE(fs::exists(dir / "out/shards/2.jsonl") && !fs::exists(dir / "out/shards/3.jsonl"));
    Cli("scan --json " + Quote(dir / "archive") + " | sort", &scanned);
    vexillo::test::Run("sort " + Quote(dir / "out/icons.jsonl"), &out);
    EXPECT_EQ(out, scanned);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4);
}
