// vexillo-cli run as a process, as a user or a script would run it.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string &s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

int Cli(const std::string &arguments, std::string *out = nullptr, std::string *err = nullptr)
{
    return Run(Quote(VEXILLO_CLI) + " " + arguments, out, err);
}

// The same run as an unprivileged user (the tests run as root, whom no
// permission stops).
int CliAsNobody(const std::string &arguments, std::string *out = nullptr, std::string *err = nullptr)
{
    return Run("setpriv --reuid=65534 --regid=65534 --clear-groups " + Quote(VEXILLO_CLI) + " " + arguments, out,
               err);
}

// The names in a folder, hidden ones (temporary files) included.
std::set<std::string> Names(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
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

TEST(Cli, WrongUsageExitsTwoWithTheUsage)
{
    for (const char *arguments : {"", "frobnicate x", "images", "images a b", "save a", "bmp a b c --back",
                                  "bmp a 0 c --back 12345", "save-image a x out.ico", "images a --bogus",
                                  "save a b --back ffffff", "save a b --force"}) {
        std::string err;
        EXPECT_EQ(Cli(arguments, nullptr, &err), 2) << arguments;
        EXPECT_NE(err.find("Usage: vexillo-cli"), std::string::npos) << arguments;
    }
    std::string out;
    EXPECT_EQ(Cli("--help", &out), 0);
    EXPECT_NE(out.find("save-image"), std::string::npos);
    EXPECT_NE(out.find("--force"), std::string::npos);
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
    const auto bmp = ReadBytes(dir / "one.bmp");
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp[18], 48); // width
    EXPECT_EQ(bmp[22], 49); // height: one more row
    // The bottom row (first in the file) is the background colour.
    EXPECT_EQ(bmp[54], 0x00);
    EXPECT_EQ(bmp[55], 0xFF);
    EXPECT_EQ(bmp[56], 0x00);

    ASSERT_EQ(Cli("png " + in + " 3 " + Quote(dir / "big.png")), 0);
    ASSERT_EQ(vexillo::test::Run("/usr/bin/identify -format '%w %h %[channels]' " + Quote(dir / "big.png"), &out), 0);
    EXPECT_EQ(out.substr(0, 7), "256 256");
    EXPECT_NE(out.find("a"), std::string::npos) << out;
    // An image stored as PNG is written as it is, as icotool extracts it.
    ASSERT_EQ(vexillo::test::Run("icotool -x -i 4 -o " + Quote(dir / "icotool.png") + " " + in), 0);
    EXPECT_TRUE(ReadBytes(dir / "big.png") == ReadBytes(dir / "icotool.png"));
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

    const struct {
        std::string arguments;
        std::string reason;
    } cases[] = {
        {"groups " + d + "/missing.exe", d + "/missing.exe: cannot open the file: No such file or directory"},
        {"groups " + d + "/notes.dll", d + "/notes.dll: not a PE file (no MZ signature)"},
        {"groups " + d + "/folder.exe", d + "/folder.exe: a folder, not a file"},
        {"groups " + d + "/cursor.ico", d + "/cursor.ico: not an icon (a cursor)"},
        {"groups " + d + "/missing.ico", d + "/missing.ico: cannot open the file: No such file or directory"},
        {"extract " + d + "/notes.dll --out " + d + "/out", d + "/notes.dll: not a PE file (no MZ signature)"},
        {"images " + d + "/cut.ico", d + "/cut.ico: truncated at offset "},
        {"images " + d + "/notes.dll", d + "/notes.dll: not a PE file (no MZ signature)"},
        {"png " + d + "/badpng.ico 0 " + d + "/x.png", d + "/badpng.ico: image 0: the image does not decode (PNG: "},
        {"bmp " + d + "/badpng.ico 0 " + d + "/x.bmp", d + "/badpng.ico: image 0: the image does not decode (PNG: "},
        {"save-image " + asset + " 7 " + d + "/x.ico", asset + ": no image 7 (it has 1)"},
        {"save " + asset + " '" + d + "/no folder/x.ico'", d + "/no folder/x.ico: No such file or directory"},
    };
    for (const auto &c : cases) {
        std::string err;
        EXPECT_EQ(Cli(c.arguments, nullptr, &err), 1) << c.arguments;
        EXPECT_EQ(err.rfind("vexillo-cli: " + c.reason, 0), 0u) << c.arguments << "\n" << err;
    }
    EXPECT_FALSE(fs::exists(dir / "x.ico"));
    EXPECT_FALSE(fs::exists(dir / "x.png"));

    // The other files named are still listed.
    std::string out, err;
    EXPECT_EQ(Cli("groups " + d + "/missing.exe " + asset, &out, &err), 1);
    EXPECT_EQ(out, asset + "\t\n");
}

TEST(Cli, ExtractWritesEveryIconByItsCatalogueNumber)
{
    TempDir dir, tree;
    fs::create_directories(tree / "sub");
    fs::copy_file(Asset("ico_mixed.ico"), tree / "sub" / "a.ico");
    WriteBytes(tree / "broken.ico", {0, 0, 1, 0, 5, 0});
    std::string out, err;
    ASSERT_EQ(Cli("extract " + Quote(tree.path().string()) + " " + Quote(Asset("im_multi32.ico")) + " --out " +
                      Quote(dir / "out"),
                  &out, &err),
              0)
        << err;
    EXPECT_EQ(out, "files 3\ticons 3\twritten 2\tskipped 1\n");
    EXPECT_NE(err.find("broken.ico"), std::string::npos);
    // The folder's entries come first, in the order the scan found them; the
    // file given last is entry 3.
    EXPECT_EQ(ReadBytes(dir / "out" / "3.ico").size(), ReadBytes(Asset("im_multi32.ico")).size());
    int icons = 0;
    for (const auto &entry : fs::directory_iterator(dir / "out"))
        icons += entry.path().extension() == ".ico";
    EXPECT_EQ(icons, 2);

    ASSERT_EQ(Cli("extract --png --out " + Quote(dir / "png") + " " + Quote(Asset("ico_mixed.ico")), &out), 0);
    EXPECT_EQ(out, "files 1\ticons 1\twritten 4\tskipped 0\n");
    for (int k = 1; k <= 4; ++k)
        EXPECT_TRUE(fs::exists(dir / "png" / ("1-" + std::to_string(k) + ".png"))) << k;

    EXPECT_EQ(Cli("extract " + Quote(tree.path().string()), nullptr, &err), 2);
    EXPECT_EQ(Cli("extract --out " + Quote(dir / "x") + " " + Quote(tree.path().string()) + " --types gif", nullptr,
                  &err),
              2);
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

// What stands at DIR/1.ico before an extraction, and what becomes of it.
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
    const fs::path out = dir / "out", at = out / "1.ico", victim = dir / "victim.txt";
    const std::string in = Quote(Asset("im_multi32.ico"));
    const auto icon = ReadBytes(Asset("im_multi32.ico"));
    fs::create_directory(out);
    WriteText(victim, "keep me");
    c.plant(at, victim);
    const auto before = fs::symlink_status(at).type();

    std::string stdOut, err;
    EXPECT_EQ(Cli("extract " + in + " --out " + Quote(out), &stdOut, &err), 0) << err;
    EXPECT_EQ(stdOut, "files 1\ticons 1\twritten 0\tskipped 1\n");
    EXPECT_EQ(err, "vexillo-cli: skipped " + at.string() + ": the file exists (use --force to replace it)\n");
    EXPECT_EQ(fs::symlink_status(at).type(), before);

    const int status = Cli("extract --force " + in + " --out " + Quote(out), &stdOut, &err);
    if (c.replacedByForce) {
        EXPECT_EQ(status, 0) << err;
        EXPECT_EQ(stdOut, "files 1\ticons 1\twritten 1\tskipped 0\n");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at)));
        EXPECT_EQ(ReadBytes(at), icon);
    } else {
        EXPECT_EQ(status, 1);
        EXPECT_EQ(err, "vexillo-cli: " + at.string() + ": " + c.forceReason + "\n");
        EXPECT_EQ(stdOut, "files 1\ticons 1\twritten 0\tskipped 0\n");
        EXPECT_EQ(fs::symlink_status(at).type(), before);
    }
    EXPECT_EQ(ReadText(victim), "keep me");
    EXPECT_EQ(Names(out), std::set<std::string>{"1.ico"}); // no temporary file left
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
        TakenName{"Fifo", [](const fs::path &at, const fs::path &) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); },
                  true, nullptr},
        TakenName{"Folder", [](const fs::path &at, const fs::path &) { fs::create_directory(at); }, false,
                  "Is a directory"}),
    [](const auto &param) { return std::string(param.param.name); });

// Icons are read one by one after the scan: with --out the scanned folder,
// --force must not replace a file before (or after) it is read.
TEST(Cli, ExtractWithForceNeverReplacesAFileItReads)
{
    TempDir tree, other;
    const auto first = ReadBytes(Asset("im_multi32.ico"));
    WriteBytes(tree / "2.ico", first);
    fs::create_symlink(tree / "2.ico", tree / "1.ico");
    fs::copy_file(Asset("ico_4bit.ico"), other / "named.ico");
    fs::create_symlink(other / "named.ico", tree / "3.ico");

    std::string out, err;
    EXPECT_EQ(Cli("extract --force --out " + Quote(tree.path()) + " " + Quote(tree.path()) + " " +
                      Quote(other / "named.ico"),
                  &out, &err),
              0);
    EXPECT_EQ(out, "files 4\ticons 4\twritten 1\tskipped 3\n");
    for (const char *name : {"1.ico", "2.ico", "3.ico"})
        EXPECT_NE(err.find("skipped " + (tree / name).string() + ": it is one of the files being read"),
                  std::string::npos)
            << err;
    EXPECT_TRUE(fs::is_symlink(tree / "1.ico"));
    EXPECT_TRUE(fs::is_symlink(tree / "3.ico"));
    EXPECT_EQ(ReadBytes(tree / "2.ico"), first);
    EXPECT_EQ(ReadBytes(other / "named.ico"), ReadBytes(Asset("ico_4bit.ico")));
    EXPECT_TRUE(fs::is_regular_file(tree / "4.ico"));
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
    EXPECT_EQ(err, "vexillo-cli: " + (dir / "locked" / "1.ico").string() + ": Permission denied\n");
    EXPECT_EQ(out, "files 1\ticons 1\twritten 0\tskipped 0\n");
    EXPECT_TRUE(fs::is_empty(dir / "locked"));

    // A file size limit fails the write part way, as a full disk does.
    const std::string cli = Quote(VEXILLO_CLI) + " extract --png " + in + " --out " + Quote(dir / "small");
    EXPECT_EQ(vexillo::test::Run("trap '' XFSZ; ulimit -f 64; " + cli, &out, &err), 1);
    EXPECT_EQ(err, "vexillo-cli: " + (dir / "small" / "1-4.png").string() + ": File too large\n");
    EXPECT_EQ(out, "files 1\ticons 1\twritten 3\tskipped 0\n");
    EXPECT_EQ(Names(dir / "small"), (std::set<std::string>{"1-1.png", "1-2.png", "1-3.png"}));
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
    struct stat before {}, after {};
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
