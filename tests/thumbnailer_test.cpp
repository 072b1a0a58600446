// vexillo-thumbnailer run as a file manager runs it: the Exec line of
// vexillo.thumbnailer with %s, %i and %o filled in. Its PNG files are read
// back by ImageMagick.
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

// The Exec line of the installed .thumbnailer file, filled in.
std::string ExecLine(int size, const fs::path &input, const fs::path &output)
{
    std::ifstream entry(fs::path(VEXILLO_SOURCE_DIR) / "assets" / "vexillo.thumbnailer");
    std::string line;
    while (std::getline(entry, line) && line.rfind("Exec=", 0) != 0) {
    }
    std::string command = line.substr(5);
    command.replace(0, std::string("vexillo-thumbnailer").size(),
                    Quote((fs::path(VEXILLO_CLI).parent_path() / "vexillo-thumbnailer").string()));
    for (const auto &[code, value] : {std::pair<std::string, std::string>{"%s", std::to_string(size)},
                                      {"%i", Quote(input.string())},
                                      {"%o", Quote(output.string())}})
        command.replace(command.find(code), 2, value);
    return command;
}

std::string Identify(const fs::path &png)
{
    std::string out;
    Run("/usr/bin/identify -format '%w %h %[channels]' " + Quote(png.string()), &out);
    return out;
}

std::vector<uint8_t> Square(int size, int bits)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size, bits == 32 ? 0xC0336699u : 0x336699u);
    return MakeDib(size, size, bits, {}, pixels);
}

} // namespace

TEST(Thumbnailer, PicturesOfModulesIcoAndCurFiles)
{
    TempDir dir, out;
    const std::vector<std::vector<uint8_t>> images = {Square(16, 32), Square(48, 32), Square(256, 32)};
    const fs::path module = BuildModule(dir, "app.exe",
                                        {{"\"MAIN\"", 14, MakeIconGroup(images)},
                                         {"7", 14, MakeIconGroup({Square(16, 24)})},
                                         {"1", 3, images[0]},
                                         {"2", 3, images[1]},
                                         {"3", 3, images[2]}});
    fs::copy_file(Asset("im_multi32.ico"), dir / "icon.bin"); // an ICO file by its content, not its name
    std::vector<uint8_t> broken = Square(256, 32);
    broken.resize(200); // its header says 256 pixels, its pixels are missing
    // Frame 0 holds a 48, frame 1 (shown first) a 16.
    WriteBytes(dir / "spin.cur", AnimatedCursorFile({MakeIco({Square(48, 32)}), MakeIco({Square(16, 32)})}, {1, 0}));
    const fs::path halfBroken =
        BuildModule(dir, "half.dll",
                    {{"1", 14, MakeIconGroup({Square(16, 32), broken})}, {"1", 3, Square(16, 32)}, {"2", 3, broken}});
    const struct {
        fs::path input;
        int size;
        std::string picture;
    } cases[] = {
        {module, 128, "128 128 srgba"}, // the first group's 256 scaled down
        {module, 48, "48 48 srgba"},
        {module, 32, "32 32 srgba"},    // the 48, scaled down
        {module, 512, "256 256 srgba"}, // never scaled up
        {Asset("ico_png256.ico"), 64, "64 64 srgba"},
        {dir / "icon.bin", 24, "24 24 srgba"},
        {halfBroken, 128, "16 16 srgba"},                                  // the 256 does not decode: the 16 stands in
        {CorpusDir("ico") / "winres__fr.cur", 64, "48 48 srgba"},          // a cursor
        {CorpusDir("ne") / "kioextras__ne16_4bpp.exe", 64, "64 64 srgba"}, // a 16-bit module
        {dir / "spin.cur", 64, "16 16 srgba"}, // an animated cursor named .cur: the frame it shows first
        {CorpusDir("ani") / "wpftest__anitest.ani", 64, "32 32 srgba"},
    };
    for (const auto &c : cases) {
        if (c.input.parent_path().empty()) // a corpus file, and no corpus beside the repository
            continue;
        SCOPED_TRACE(c.input.string() + " " + std::to_string(c.size));
        const fs::path png = out / "thumb.png";
        fs::remove(png);
        ASSERT_EQ(vexillo::test::Run(ExecLine(c.size, c.input, png)), 0);
        EXPECT_EQ(Identify(png), c.picture);
    }
    // Nothing but OUTPUT is written.
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), 1);
}

// No thumbnail, and the reason in vexillo-cli's words.
TEST(Thumbnailer, FilesWithoutAnIconGetNone)
{
    TempDir dir, out;
    WriteText(dir / "notes.exe", "not a program\n");
    const fs::path plain = BuildModule(dir, "plain.dll", {{"1", 10, {1, 2, 3}}});
    auto cut = ReadBytes(Asset("im_multi32.ico"));
    cut.resize(cut.size() / 2);
    cut[4] = 1; // one entry, its image cut short
    WriteBytes(dir / "cut.ico", cut);
    fs::copy_file(VEXILLO_CLI, dir / "libshared.so"); // a Linux library, as application/x-sharedlib
    fs::copy_file(Asset("soft48.png"), dir / "picture.ico");
    for (const fs::path &input :
         {dir / "notes.exe", plain, dir / "cut.ico", dir / "missing.exe", dir / "libshared.so", dir / "picture.ico"}) {
        SCOPED_TRACE(input.string());
        std::string err, cliErr;
        EXPECT_EQ(vexillo::test::Run(ExecLine(128, input, out / "thumb.png"), nullptr, &err), 1);
        EXPECT_FALSE(fs::exists(out / "thumb.png"));
        vexillo::test::Run(Quote(VEXILLO_CLI) + " images " + Quote(input.string()), nullptr, &cliErr);
        const std::string prefix = ": " + input.string() + ": ";
        ASSERT_EQ(err.rfind("vexillo-thumbnailer" + prefix, 0), 0u) << err;
        EXPECT_EQ(err.substr(err.find(prefix)), cliErr.substr(cliErr.find(prefix)));
    }
    const std::string thumbnailer = Quote((fs::path(VEXILLO_CLI).parent_path() / "vexillo-thumbnailer").string());
    EXPECT_EQ(vexillo::test::Run(thumbnailer + " -s 0 " + Quote(plain.string()) + " x.png"), 2);
    EXPECT_EQ(vexillo::test::Run(thumbnailer + " " + Quote(plain.string())), 2);
    std::string usage;
    EXPECT_EQ(vexillo::test::Run(thumbnailer + " --help", &usage), 0);
    EXPECT_EQ(usage.rfind("Usage: vexillo-thumbnailer -s SIZE INPUT OUTPUT\n", 0), 0u);
    EXPECT_EQ(vexillo::test::Run(thumbnailer + " --version", &usage), 0);
    EXPECT_EQ(usage, "vexillo-thumbnailer " VEXILLO_VERSION "\n");
}

// OUTPUT is the caller's file, written in place: a file manager that made it
// reads the picture through the descriptor it keeps. Anything but a regular
// file there is refused untouched; a symbolic link planted there is replaced
// itself, its target untouched; on a full disk OUTPUT is left empty, or not
// left at all when it was not there.
TEST(Thumbnailer, OutputIsWrittenIntoTheCallersFile)
{
    TempDir dir, out;
    const fs::path thumb = out / "thumb.png";
    WriteText(thumb, "");
    std::ifstream kept(thumb, std::ios::binary);
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(thumb.c_str(), &before), 0);
    ASSERT_EQ(vexillo::test::Run(ExecLine(48, Asset("ico_mixed.ico"), thumb)), 0);
    ASSERT_EQ(::stat(thumb.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    const std::string read{std::istreambuf_iterator<char>(kept), {}};
    EXPECT_EQ(read.substr(0, 4), "\x89PNG");
    EXPECT_EQ(read.size(), static_cast<size_t>(after.st_size));

    // A FIFO, a device and a folder at OUTPUT: refused, never opened.
    ASSERT_EQ(::mkfifo((out / "fifo").c_str(), 0600), 0);
    fs::create_directory(out / "folder");
    for (const auto &[output, reason] : {std::pair<fs::path, std::string>{out / "fifo", "not a regular file"},
                                         {"/dev/null", "not a regular file"},
                                         {out / "folder", "a folder, not a file"}}) {
        SCOPED_TRACE(output.string());
        std::string err;
        EXPECT_EQ(vexillo::test::Run(ExecLine(48, Asset("ico_mixed.ico"), output), nullptr, &err), 1);
        EXPECT_EQ(err, "vexillo-thumbnailer: " + output.string() + ": " + reason + "\n");
    }
    EXPECT_TRUE(fs::is_fifo(out / "fifo"));
    EXPECT_TRUE(fs::is_empty(out / "folder"));

    // A link under the longest name a folder takes but a few bytes.
    const fs::path link = out / (std::string(246, 'l') + ".png");
    WriteText(dir / "victim", "keep me");
    fs::create_symlink(dir / "victim", link);
    ASSERT_EQ(vexillo::test::Run(ExecLine(48, Asset("ico_mixed.ico"), link)), 0);
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(Identify(link), "48 48 srgba");
    EXPECT_EQ(ReadText(dir / "victim"), "keep me");
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), 4);

    // A tmpfs of a few KiB, filled up, in a mount namespace of the test's own.
    if (vexillo::test::Run("unshare -rm true") != 0)
        GTEST_SKIP() << "no mount namespace";
    const fs::path full = dir / "full";
    fs::create_directory(full);
    const std::string run = ExecLine(256, Asset("ico_mixed.ico"), full / "thumb.png") + "; echo \"status $?\"; ls -A\n";
    WriteText(dir / "full.sh", "mount -t tmpfs -o size=8k tmpfs " + Quote(full.string()) + " || exit\ncd " +
                                   Quote(full.string()) + " && printf old >thumb.png\n" +
                                   "head -c 65536 /dev/zero >fill 2>/dev/null\n" + run +
                                   "wc -c <thumb.png; rm thumb.png\n" + run);
    std::string printed, err;
    vexillo::test::Run("unshare -rm sh " + Quote((dir / "full.sh").string()), &printed, &err);
    EXPECT_EQ(printed, "status 1\nfill\nthumb.png\n0\nstatus 1\nfill\n");
    EXPECT_NE(err.find("thumb.png: No space left on device"), std::string::npos) << err;
}
