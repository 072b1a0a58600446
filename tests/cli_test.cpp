// vexillo-cli run as a process, as a user or a script would run it.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
                                  "save a b --back ffffff"}) {
        std::string err;
        EXPECT_EQ(Cli(arguments, nullptr, &err), 2) << arguments;
        EXPECT_NE(err.find("Usage: vexillo-cli"), std::string::npos) << arguments;
    }
    std::string out;
    EXPECT_EQ(Cli("--help", &out), 0);
    EXPECT_NE(out.find("save-image"), std::string::npos);
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
        {"save " + asset + " '" + d + "/no folder/x.ico'",
         "Cannot create file \"" + d + "/no folder/x.ico\". No such file or directory"},
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
