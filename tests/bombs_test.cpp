// Files made to exhaust memory and time: thousands of entries that name the
// same image bytes, entries that overlap, pictures that inflate far beyond
// their bytes or fail only at their end, long names that overlap. Each is
// handled by vexillo-cli or vexillo-thumbnailer in a child process whose
// peak memory is measured against the budget of max(64 MiB, 4 times the
// file), over what the same command takes on a one-image icon; the counts,
// the reasons and the files written must still be right.
#include "formats/fileio.h"
#include "formats/loadbudget.h"
#include "nebuilder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

std::string Cli()
{
    return Quote(VEXILLO_CLI);
}

#if defined(VEXILLO_ADDRESS_SANITIZER)
// AddressSanitizer pads every block and keeps freed ones for a while: the
// measured programs keep none, and their padding is allowed for.
const std::string kMeasuredEnvironment = "env ASAN_OPTIONS=\"$ASAN_OPTIONS:quarantine_size_mb=0\" ";
constexpr long kPaddingPercent = 150;
// Its checked debug code runs some twenty times slower: the modules of
// thousands of groups have fewer (still past the limits), and a command may
// take longer. Each command reads a million image records or more before
// it reaches the limit: of the modules that all name one huge group, each
// is read by one command here (dupes, xcursor, extract), every command by
// every one in the normal build.
constexpr int kManyGroups = 50;
constexpr double kCpuSeconds = 60;
constexpr bool kEveryCommandOfTheGroupBombs = false;
#else
const std::string kMeasuredEnvironment;
constexpr long kPaddingPercent = 100;
constexpr int kManyGroups = 5000;
constexpr double kCpuSeconds = 10;
constexpr bool kEveryCommandOfTheGroupBombs = true;
#endif

// A 512-pixel 32-bit bitmap: about 1 MB of image bytes.
std::vector<uint8_t> BigDib()
{
    std::vector<uint32_t> pixels(512 * 512);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    return MakeDib(512, 512, 32, {}, pixels);
}

class Bombs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir;
        const auto image = BigDib();
        WriteBytes(*dir / "one.ico", SharedEntryIco(image, 1));
        WriteBytes(*dir / "shared.ico", SharedEntryIco(image, 8000));
        BuildModule(*dir, "shared.dll",
                    {{"100", 14, SharedEntryGroup(static_cast<uint32_t>(image.size()), 3000)}, {"1", 3, image}});
        BuildModule(*dir, "one.dll",
                    {{"100", 14, SharedEntryGroup(static_cast<uint32_t>(image.size()), 1)}, {"1", 3, image}});
        // The files crafted against what limits per field leave open.
        WriteBytes(*dir / "names.dll", OverlappingNamesModule(65535));
        WriteBytes(*dir / "names4000.dll", OverlappingNamesModule(4000));
        fs::create_directory(*dir / "names");
        fs::copy_file(*dir / "names.dll", *dir / "names/names.dll");
        fs::create_directory(*dir / "one");
        fs::copy_file(*dir / "one.dll", *dir / "one/one.dll");
        WriteBytes(*dir / "badpng.ico", SharedEntryIco(BrokenPng(), 65535));
        WriteBytes(*dir / "badpng.dll", SharedEntryModule(BrokenPng(), 60000));
        WriteBytes(*dir / "late2048.ico", SharedEntryIco(LatePngFailure(2048, 65536), 2000));
        // Groups that all lie in one group of 65,535 entries naming one small
        // image: thousands of icon and cursor groups of a PE module, of
        // cursor groups of an NE module, and an NE module of 1,000 records of
        // each type, its groups of 1,000 entries.
        std::vector<uint8_t> cursor = {0, 0, 0, 0}; // the hot spot
        const auto small = SmallDib();
        cursor.insert(cursor.end(), small.begin(), small.end());
        const auto size = [](const std::vector<uint8_t> &bytes) { return static_cast<uint32_t>(bytes.size()); };
        WriteBytes(*dir / "groups.dll",
                   MakeRawModule({{1, 1, {}, cursor},
                                  {3, 1, {}, small},
                                  {12, 1, {}, SharedEntryGroup(size(cursor), 65535, true), kManyGroups},
                                  {14, 1, {}, SharedEntryGroup(size(small), 65535), kManyGroups}}));
        WriteBytes(*dir / "cursors.exe",
                   MakeNeModule({{1, "", 1, "", cursor},
                                 {12, "", 1, "", SharedEntryGroup(size(cursor), 65535, true), kManyGroups}},
                                4, false));
        const auto records = [&](int count) {
            return MakeNeModule({{1, "", 1, "", cursor, count},
                                 {3, "", 1, "", small, count},
                                 {12, "", 1, "", SharedEntryGroup(size(cursor), count, true), count},
                                 {14, "", 1, "", SharedEntryGroup(size(small), count), count}},
                                4, false);
        };
        WriteBytes(*dir / "records.exe", records(1000));
        WriteBytes(*dir / "one.exe", records(1));
    }
    static void TearDownTestSuite() { delete dir; }

    // Runs the command on `bomb` and on the one-image file of its kind
    // (BOMB and ONE stand for the files); the bomb may take no more than
    // the budget over what the one-image file takes.
    static Measured RunWithinBudget(const std::string &command, const std::string &bomb, const std::string &one)
    {
        auto expand = [&](const std::string &file) {
            std::string text = command;
            for (size_t at; (at = text.find("FILE")) != std::string::npos;)
                text.replace(at, 4, Quote((*dir / file).string()));
            for (size_t at; (at = text.find("OUT")) != std::string::npos;)
                text.replace(at, 3, Quote((*dir / ("out-" + file)).string()));
            // "thumbnail ARGS" runs the thumbnailer, anything else the CLI.
            if (text.rfind("thumbnail ", 0) == 0)
                return kMeasuredEnvironment +
                       Quote((fs::path(VEXILLO_CLI).parent_path() / "vexillo-thumbnailer").string()) + text.substr(9);
            return kMeasuredEnvironment + Cli() + " " + text;
        };
        std::error_code ec;
        fs::remove_all(*dir / ("out-" + one), ec);
        const Measured base = RunMeasured(expand(one));
        EXPECT_EQ(base.status, 0) << base.err;
        fs::remove_all(*dir / ("out-" + bomb), ec);
        const Measured measured = RunMeasured(expand(bomb));
        // A folder's budget is that of its largest file.
        uintmax_t size = 0;
        if (fs::is_directory(*dir / bomb))
            for (const auto &entry : fs::directory_iterator(*dir / bomb))
                size = std::max(size, entry.file_size());
        else
            size = fs::file_size(*dir / bomb);
        const long fileKiB = static_cast<long>(size / 1024);
        const long budgetKiB = std::max(64L * 1024, 4 * fileKiB) * kPaddingPercent / 100;
        EXPECT_LE(measured.peakKiB - base.peakKiB, budgetKiB)
            << command << " on " << bomb << ": " << measured.peakKiB << " KiB against " << base.peakKiB;
        return measured;
    }

    static TempDir *dir;
};

TempDir *Bombs::dir = nullptr;

size_t Lines(const std::string &text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

// 8000 entries of one 1 MB image: listed, saved (the bytes once, every entry
// pointing at them), drawn and extracted within the budget.
TEST_F(Bombs, IcoEntriesSharingOneImage)
{
    Measured m = RunWithinBudget("images FILE", "shared.ico", "one.ico");
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_EQ(Lines(m.out), 8000u);

    // Written as it was read: the image once, every entry pointing at it.
    m = RunWithinBudget("save FILE OUT", "shared.ico", "one.ico");
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_TRUE(ReadBytes(*dir / "out-shared.ico") == ReadBytes(*dir / "shared.ico"));

    m = RunWithinBudget("png FILE 0 OUT.png", "shared.ico", "one.ico");
    EXPECT_EQ(m.status, 0) << m.err;
    m = RunWithinBudget("extract FILE --out OUT", "shared.ico", "one.ico");
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_EQ(m.err, "files 1\ticons 1\twritten 1\tskipped 0\n");
}

// A module whose group lists 3000 entries of one 1 MB image resource.
TEST_F(Bombs, ModuleEntriesSharingOneResource)
{
    Measured m = RunWithinBudget("images --group 100 FILE", "shared.dll", "one.dll");
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_EQ(Lines(m.out), 3000u);
    m = RunWithinBudget("images FILE", "shared.dll", "one.dll");
    EXPECT_EQ(Lines(m.out), 3000u);

    m = RunWithinBudget("save FILE OUT.ico", "shared.dll", "one.dll");
    ASSERT_EQ(m.status, 0) << m.err;
    const std::string saved = (*dir / "out-shared.dll.ico").string();
    EXPECT_EQ(fs::file_size(saved), 6 + 16 * 3000 + BigDib().size());
    std::string out;
    ASSERT_EQ(vexillo::test::Run(Cli() + " images " + Quote(saved), &out), 0);
    EXPECT_EQ(Lines(out), 3000u);

    m = RunWithinBudget("bmp FILE 0 OUT.bmp", "shared.dll", "one.dll");
    EXPECT_EQ(m.status, 0) << m.err;
    m = RunWithinBudget("extract FILE --out OUT", "shared.dll", "one.dll");
    EXPECT_EQ(m.status, 0) << m.err;
    // The picture is made once and linked under its names, each name priced
    // as a file made, until the file's time is spent.
    m = RunWithinBudget("extract --png FILE --out OUT", "shared.dll", "one.dll");
    EXPECT_NE(m.err.find("limit exceeded: work for one file (files written"), std::string::npos) << m.err;
    EXPECT_NE(m.err.find("files 1\ticons 1\twritten 1075\tskipped 1925\n"), std::string::npos) << m.err;
    const fs::path pictures = *dir / "out-shared.dll";
    EXPECT_EQ(fs::hard_link_count(pictures / "shared.dll_100-1.png"), 1075u);
    EXPECT_TRUE(fs::equivalent(pictures / "shared.dll_100-1.png", pictures / "shared.dll_100-1075.png"));
    std::string size;
    ASSERT_EQ(vexillo::test::Run(
                  "/usr/bin/identify -format '%w %h' " + Quote((pictures / "shared.dll_100-1075.png").string()), &size),
              0);
    EXPECT_EQ(size, "512 512");
    // An icon theme takes the one 512 picture and 256 scaled from it.
    m = RunWithinBudget("hicolor FILE --name app --out OUT", "shared.dll", "one.dll");
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_EQ(Lines(m.out), 2u) << m.out;
}

// Entries whose ranges overlap name more bytes than the file holds: the
// load stops with the limit's name instead of holding them all.
TEST_F(Bombs, OverlappingEntriesStopAtTheFilesSize)
{
    auto file = SharedEntryIco(BigDib(), 4000);
    // Entry i starts i bytes further on and is i bytes shorter: 4000
    // distinct ranges of about 1 MB each.
    for (uint32_t i = 0; i < 4000; ++i) {
        const size_t at = 6 + 16 * i;
        const uint32_t size = static_cast<uint32_t>(file.size() - (6 + 16 * 4000)) - i;
        for (int k = 0; k < 4; ++k) {
            file[at + 8 + k] = static_cast<uint8_t>(size >> (8 * k));
            file[at + 12 + k] = static_cast<uint8_t>((6 + 16 * 4000 + i) >> (8 * k));
        }
    }
    WriteBytes(*dir / "overlap.ico", file);
    const Measured m = RunWithinBudget("images FILE", "overlap.ico", "one.ico");
    EXPECT_EQ(m.status, 1);
    EXPECT_EQ(Lines(m.out), 1u);
    EXPECT_NE(m.err.find("overlap.ico: limit exceeded: image bytes of overlapping entries"), std::string::npos)
        << m.err;
}

// A PNG of 2048 by 2048 pixels in a few hundred bytes is refused before it
// is inflated; a real picture of that size takes far more bytes.
TEST_F(Bombs, PngInflatingFarBeyondItsBytes)
{
    const std::string png = (*dir / "flat.png").string();
    ASSERT_EQ(vexillo::test::Run("/usr/bin/convert -size 2048x2048 xc:white -depth 1 PNG8:" + Quote(png)), 0);
    const auto bytes = ReadBytes(png);
    ASSERT_LT(bytes.size(), 8192u);
    WriteBytes(*dir / "flat.ico", MakeIco({bytes}));
    Measured m = RunWithinBudget("bmp FILE 0 OUT.bmp", "flat.ico", "one.ico");
    EXPECT_EQ(m.status, 1);
    EXPECT_NE(m.err.find("flat.ico: image 0: limit exceeded: PNG pixels per stored byte"), std::string::npos) << m.err;
    // As a PNG file it is written as it is stored, without inflating it.
    m = RunWithinBudget("png FILE 0 OUT.png", "flat.ico", "one.ico");
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_TRUE(ReadBytes(*dir / "out-flat.ico.png") == bytes);
}

// The files crafted against limits written per field: names, decode attempts
// and fallbacks, output. Each stays within the budget of memory, ends long
// before its time, and gives its result: what the file holds so far, or
// the reason the budget stopped it.
TEST_F(Bombs, CraftedFilesStayWithinTheBudgetOfTheFile)
{
    struct Row {
        const char *command, *bomb, *one;
        int status;
        const char *said; // in what it says on standard error; "" for nothing
        size_t lines;     // of standard output at least
    };
    std::vector<Row> rows = {
        // 65,535 groups whose names overlap in 128 KiB, each up to 65,535
        // units: names are kept to 256 units, and the scan stops at the
        // file's memory.
        {"groups FILE", "names.dll", "one.dll", 1, "names.dll: limit exceeded: memory for one file (", 0},
        {"scan FILE", "names", "one", 0, "", 0},
        {"groups FILE", "names4000.dll", "one.dll", 0, "", 4000},
        // What info lists and dupes keys is held on the file's one budget;
        // info shows the groups it read before the reason it stopped.
        {"info FILE", "names.dll", "one.dll", 1, "names.dll: limit exceeded: memory for one file (group names", 10000},
        {"dupes FILE", "names.dll", "one.dll", 1, "names.dll: limit exceeded: memory for one file (catalogue", 0},
        // The first group is found by its place, without reading every name.
        {"thumbnail -s 256 FILE OUT.png", "names.dll", "one.dll", 0, "", 0},
        // Entries that all name one broken picture: it is tried once.
        {"thumbnail -s 256 FILE OUT.png", "badpng.ico", "one.ico", 1, "badpng.ico: the image does not decode", 0},
        {"thumbnail -s 256 FILE OUT.png", "badpng.dll", "one.dll", 1, "badpng.dll: the image does not decode", 0},
        {"hicolor FILE --name app --out OUT", "badpng.ico", "one.ico", 1, "badpng.ico: holds no square image", 0},
        // A 2048-pixel picture that fails at the end of its inflated data.
        {"thumbnail -s 256 FILE OUT.png", "late2048.ico", "one.ico", 1, "late2048.ico: the image does not decode", 0},
        {"extract --png FILE --out OUT", "badpng.dll", "one.dll", 0, "files 1\ticons 1\twritten 0\tskipped 60000", 0},
    };
    // Thousands of groups that all lie in one group of 65,535 entries: info
    // lists them until what it lists holds the file's memory, the others
    // read each group until its entries pass the memory. (The 10,000 groups
    // of the PE module spend its work before extract ends.)
    int bombs = 0;
    for (const char *bomb : {"groups.dll", "cursors.exe", "records.exe"}) {
        const char *entries = "limit exceeded: memory for one file (image entries";
        const int directorySpent = std::string_view(bomb) == "groups.dll" && kManyGroups > 1000;
        const Row each[] = {
            {"info FILE", bomb, "one.exe", 1, "limit exceeded: memory for one file (file description", 65536},
            {"dupes --cursors FILE", bomb, "one.exe", 1, entries, 0},
            {"xcursor FILE --name t --out OUT", bomb, "one.exe", 1, entries, 1},
            {"extract --cursors FILE --out OUT", bomb, "one.exe", directorySpent, entries, 0},
        };
        ++bombs;
        for (int k = 0; k < 4; ++k)
            if (kEveryCommandOfTheGroupBombs || k == bombs)
                rows.push_back(each[k]);
    }
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.command) + " on " + row.bomb);
        const Measured m = RunWithinBudget(row.command, row.bomb, row.one);
        EXPECT_EQ(m.status, row.status) << m.err;
        EXPECT_NE(m.err.find(row.said), std::string::npos) << m.err;
        EXPECT_GE(Lines(m.out), row.lines);
        // Output is in proportion to the file too.
        EXPECT_LE(m.out.size(), 64u << 20);
        // Far below the minutes each took before (a machine-independent
        // count of the work is the budget's own; see bench_budget).
        EXPECT_LT(m.cpuSeconds, kCpuSeconds);
    }
}

// Every open of one file holds memory on one account: a second open (another
// thread, a later load) has only what the first leaves, another file its own.
TEST_F(Bombs, EveryOpenOfAFileSharesItsMemory)
{
    using vexillo::TLoadBudget;
    const vexillo::FileHandle a = vexillo::OpenRegularFile((*dir / "one.ico").string(), nullptr),
                              again = vexillo::OpenRegularFile((*dir / "one.ico").string(), nullptr),
                              other = vexillo::OpenRegularFile((*dir / "one.dll").string(), nullptr);
    auto first = TLoadBudget::ForOpenFile(a.Get(), fs::file_size(*dir / "one.ico"));
    const auto second = TLoadBudget::ForOpenFile(again.Get(), fs::file_size(*dir / "one.ico"));
    const auto elsewhere = TLoadBudget::ForOpenFile(other.Get(), fs::file_size(*dir / "one.dll"));
    ASSERT_TRUE(first->Hold(40 << 20, "pictures"));
    EXPECT_FALSE(second->Hold(30 << 20, "pictures"));
    EXPECT_TRUE(elsewhere->Hold(30 << 20, "pictures"));
    first.reset(); // a load that ends gives its memory back to the file
    EXPECT_TRUE(second->Hold(30 << 20, "pictures"));
}

// A system with less memory than the budget allows: the load ends with "out
// of memory", never an abort.
TEST_F(Bombs, OutOfMemoryEndsTheLoadNotTheProgram)
{
#if defined(VEXILLO_ADDRESS_SANITIZER)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#else
    const Measured m = RunMeasured("prlimit --as=" + std::to_string(20 << 20) + " " + Cli() + " groups " +
                                   Quote((*dir / "names.dll").string()));
    EXPECT_EQ(m.status, 1) << m.err;
    EXPECT_NE(m.err.find("names.dll: out of memory"), std::string::npos) << m.err;
#endif
}

// A taken name among the linked pictures is left alone, or with --force the
// link takes its place.
TEST_F(Bombs, LinkedPicturesRespectTakenNames)
{
    WriteBytes(*dir / "three.ico", SharedEntryIco(BigDib(), 3));
    const fs::path out = *dir / "three";
    fs::create_directories(out);
    WriteText(out / "1-2.png", "mine");
    const std::string command =
        Cli() + " extract --png --numbered " + Quote((*dir / "three.ico").string()) + " --out " + Quote(out.string());
    std::string printed, err;
    EXPECT_EQ(vexillo::test::Run(command, &printed, &err), 0);
    EXPECT_EQ(printed, "");
    EXPECT_NE(err.find("1-2.png: the file exists"), std::string::npos) << err;
    EXPECT_NE(err.find("files 1\ticons 1\twritten 2\tskipped 1\n"), std::string::npos) << err;
    EXPECT_EQ(ReadText(out / "1-2.png"), "mine");
    EXPECT_TRUE(fs::equivalent(out / "1-1.png", out / "1-3.png"));

    fs::remove(out / "1-1.png");
    fs::remove(out / "1-3.png");
    EXPECT_EQ(vexillo::test::Run(command + " --force", &printed, &err), 0) << err;
    EXPECT_EQ(err, "files 1\ticons 1\twritten 3\tskipped 0\n");
    EXPECT_TRUE(fs::equivalent(out / "1-1.png", out / "1-2.png"));
}

// A module under 1 MB whose one group names 60,000 images would make as many
// files: extract stops where the file's work budget (1 s, a file made priced
// at a millisecond, what it takes on a slow disk) is spent, and says so.
TEST_F(Bombs, ManyImagesStopAtTheLimitOfFilesWritten)
{
    const auto image = MakeDib(16, 16, 32, {}, std::vector<uint32_t>(256, 0xFF336699u));
    const fs::path module = BuildModule(
        *dir, "many.dll", {{"100", 14, SharedEntryGroup(static_cast<uint32_t>(image.size()), 60000)}, {"1", 3, image}});
    ASSERT_LT(fs::file_size(module), 1u << 20);
    const fs::path out = *dir / "many";
    std::string printed, err;
    EXPECT_EQ(vexillo::test::Run(Cli() + " extract --png --numbered " + Quote(module.string()) + " --out " +
                                     Quote(out.string()),
                                 &printed, &err),
              1);
    EXPECT_EQ(err, "vexillo-cli: " + module.string() +
                       ": limit exceeded: work for one file (files written: at most 1000000000 steps, about 1 s "
                       "for each MB)\nfiles 1\ticons 1\twritten 975\tskipped 59025\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 975);
}
