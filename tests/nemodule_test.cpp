// 16-bit NE modules built here and the corpus's NE icon libraries, read
// through TModule and vexillo-cli: listed and saved as `wrestool -l` and
// `wrestool -x -t14` do where wrestool reads them cleanly, and as the groups'
// own entries say where it does not.
#include "platform/pemodule.h"

#include "formats/pngwriter.h"
#include "icons/advancedicon.h"
#include "nebuilder.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace vexillo;
using namespace vexillo::test;

namespace {

int Cli(const std::string &arguments, std::string *out = nullptr)
{
    return Run(Quote(VEXILLO_CLI) + " " + arguments, out);
}

// The names of a type as wrestool writes them: 1, 'NAME'.
std::string Names(const TModule &m, uint16_t type)
{
    std::string text;
    m.EnumResourceNames(ResourceId::FromNumber(type), [&](const ResourceId &id) {
        text += (id.IsName ? "'" + id.Name + "'" : std::to_string(id.Number)) + " ";
        return true;
    });
    return text;
}

struct BuiltRow {
    const char *name;
    uint16_t shift;
    bool inBytes, named, png; // lengths in bytes; a named type and groups; a 256-pixel PNG
    bool wrestoolReads;       // wrestool lists and extracts it without a complaint
};

// Lengths in units are exact up to shift 3 (each image but the PNG is a
// multiple of 8 bytes); beyond, wrestool finds the padded lengths disagree
// with the groups, and lengths in bytes make it fail.
const BuiltRow kBuiltRows[] = {
    {"shift0", 0, false, false, false, true},      {"shift1", 1, false, false, false, true},
    {"shift3named", 3, false, true, false, true},  {"shift0png", 0, false, false, true, true},
    {"shift4", 4, false, false, false, false},     {"shift9named", 9, false, true, false, false},
    {"shift1bytes", 1, true, false, false, false}, {"shift9png", 9, true, true, true, false},
};

void PrintTo(const BuiltRow &row, std::ostream *os)
{
    *os << row.name;
}

class NeBuilt : public ::testing::TestWithParam<BuiltRow> {};

TEST_P(NeBuilt, ListsAndSavesAsWrestoolAndTheGroupsSay)
{
    const BuiltRow &row = GetParam();
    PixelImage picture{256, 256, 32, std::vector<uint32_t>(256 * 256, 0x80336699u)};
    std::vector<uint8_t> a = SolidDib(32, 4), b = SolidDib(16, 8), c = SolidDib(48, 32);
    if (row.png)
        EncodePngArgb(picture, c);
    // The entries as the images' headers give them, as a save writes them.
    const uint8_t cSize = row.png ? 0 : 48;
    const EntryFields fa{32, 32, 16, 0, 1, 4}, fb{16, 16, 0, 0, 1, 8}, fc{cSize, cSize, 0, 0, 1, 32};
    const std::string g1 = row.named ? "MAINICON" : "1", g2 = row.named ? "Second" : "2";
    TempDir dir;
    const fs::path file = dir / "module.exe";
    WriteBytes(file, MakeNeModule({{3, "", 1, "", a},
                                   {3, "", 2, "", b},
                                   {3, "", 7, "", c},
                                   {10, row.named ? "WORLD" : "", 10, row.named ? "HELLO" : "", {1, 2, 3}},
                                   {14, "", 1, row.named ? g1 : "", MakeIconGroup({a, b}, {1, 2}, {fa, fb})},
                                   {14, "", 2, row.named ? g2 : "", MakeIconGroup({c, a}, {7, 1}, {fc, fa})}},
                                  row.shift, row.inBytes));
    auto m = TModule::LoadAsDataFile(file.string());
    ASSERT_TRUE(m);
    const std::string groups = row.named ? "'MAINICON' 'Second' " : "1 2 ";
    EXPECT_EQ(Names(*m, RT_ICON) + Names(*m, RT_GROUP_ICON), "1 2 7 " + groups);
    SharedBytes other;
    EXPECT_TRUE(m->FindResource(row.named ? ResourceId::FromName("world") : ResourceId::FromNumber(10),
                                row.named ? ResourceId::FromName("Hello") : ResourceId::FromNumber(10), other));
    const size_t unit = size_t{1} << row.shift;
    EXPECT_EQ(other.size(), row.inBytes ? 3 * unit : (3 + unit - 1) / unit * unit);
    std::string out;
    const std::string q = Quote(file.string());
    if (row.wrestoolReads) {
        ASSERT_EQ(test::Run("{ wrestool -l -t3 " + q + "; wrestool -l -t14 " + q +
                                "; } | sed 's/^--type=[0-9]* --name=\\([^ ]*\\) .*/\\1/' | tr '\\n' ' '",
                            &out),
                  0);
        EXPECT_EQ(out, "1 2 7 " + groups);
    }

    for (const auto &[group, images] : {std::pair{g1, std::vector{a, b}}, std::pair{g2, std::vector{c, a}}}) {
        SCOPED_TRACE(group);
        const fs::path ico = dir / (group + ".ico");
        ASSERT_EQ(Cli("save " + Quote(file.string()) + " " + Quote(ico.string()) + " --group " + group), 0);
        const std::vector<uint8_t> saved = ReadBytes(ico);
        EXPECT_EQ(IcoImages(saved), images);
        std::string err;
        const bool clean =
            test::Run("wrestool -x -t14 -n " + group + " " + q, &out, &err) == 0 && err.empty() && !out.empty();
        EXPECT_EQ(clean, row.wrestoolReads) << err;
        // wrestool ends its .ico with as many zero bytes as the group
        // resource holds.
        if (clean) {
            ASSERT_GE(out.size(), saved.size() + 6 + 14 * images.size());
            EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + static_cast<long>(saved.size())), saved);
            EXPECT_EQ(out.find_first_not_of('\0', saved.size()), std::string::npos);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, NeBuilt, ::testing::ValuesIn(kBuiltRows),
                         [](const auto &p) { return std::string(p.param.name); });

// The corpus's icon libraries count lengths in bytes while the shift is 1:
// wrestool fails on them; each group's one image is its entry's byte count,
// which ends at the file's end.
TEST(NeCorpus, IconLibrariesWithLengthsInBytes)
{
    TempDir dir;
    for (const fs::path &file : CorpusFiles("ne")) {
        SCOPED_TRACE(file.filename());
        std::string out;
        ASSERT_EQ(Cli("groups " + Quote(file.string()), &out), 0);
        EXPECT_EQ(out, file.string() + "\t1\n");
        ASSERT_EQ(Cli("save " + Quote(file.string()) + " " + Quote((dir / "saved.ico").string())), 0);
        const std::vector<uint8_t> bytes = ReadBytes(file), saved = ReadBytes(dir / "saved.ico");
        ASSERT_EQ(ParseIco(saved).count, 1);
        EXPECT_EQ(IcoImages(saved)[0],
                  std::vector<uint8_t>(bytes.end() - ParseIco(saved).entries[0].size, bytes.end()));
        EXPECT_EQ(Cli("png " + Quote(file.string()) + " 0 " + Quote((dir / "a.png").string())), 0);
        // info says which lengths were taken as byte counts.
        ASSERT_EQ(Cli("info " + Quote(file.string()), &out), 0);
        EXPECT_EQ(out.substr(0, 25), "kind\tNE\ngroup\ticon\t1\t0\t1\n");
        EXPECT_NE(out.find("\nnote\ticon image 1: stored length "), std::string::npos) << out;
        EXPECT_NE(out.find("(the length counts bytes)"), std::string::npos) << out;
    }
}

// Which length an icon image is read at: the table's where it is exact
// (shift 0), whatever the group counts; within a length rounded up to its
// unit the group's count, never less than the image's own header says it
// takes. Padding to the unit is no note; a count outside the rounded length
// is. A cursor image alike, its hot spot counted.
TEST(NeLengths, TheGroupsCountDecidesOnlyWithinTheRoundedLength)
{
    PixelImage picture{20, 20, 32, std::vector<uint32_t>(400, 0x80336699u)};
    std::vector<uint8_t> png;
    ASSERT_TRUE(EncodePngArgb(picture, png));
    const struct {
        const char *what;
        uint16_t shift;
        bool png;
        int delta; // added to the group's count
        bool noted;
        bool cursor = false;
    } rows[] = {
        {"padded", 4, false, 0, false},
        {"padded PNG", 4, true, 0, false},
        {"700 more, exact", 0, false, 700, false},
        {"100 fewer, exact", 0, false, -100, false},
        {"100 fewer, padded", 4, false, -100, true},
        {"700 more, padded", 4, false, 700, true},
        {"100 fewer, padded PNG", 4, true, -100, true},
        {"padded cursor", 4, false, 0, false, true},
        {"100 fewer, padded cursor", 4, false, -100, true, true},
    };
    TempDir dir;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<uint8_t> image = row.png ? png : SolidDib(32, 4), next = SolidDib(16, 8);
        // A cursor's resource holds its hot spot before the image.
        std::vector<uint8_t> stored = image;
        if (row.cursor)
            stored.insert(stored.begin(), {3, 0, 4, 0});
        std::vector<uint8_t> group = MakeIconGroup({stored}, {1});
        group[2] = row.cursor ? 2 : 1;
        const uint32_t count = static_cast<uint32_t>(static_cast<int>(stored.size()) + row.delta);
        for (int k = 0; k < 4; ++k)
            group[6 + 8 + static_cast<size_t>(k)] = static_cast<uint8_t>(count >> (8 * k));
        const fs::path file = dir / "m.exe";
        const uint16_t imageType = row.cursor ? 1 : 3;
        WriteBytes(file, MakeNeModule({{imageType, "", 1, "", stored},
                                       {imageType, "", 2, "", next},
                                       {static_cast<uint16_t>(imageType + 11), "", 1, "", group}},
                                      row.shift, false));
        const fs::path ico = dir / "1.ico";
        ASSERT_EQ(Cli(std::string("save ") + (row.cursor ? "--cursors " : "") + Quote(file.string()) + " " +
                      Quote(ico.string())),
                  0);
        EXPECT_EQ(IcoImages(ReadBytes(ico)), std::vector<std::vector<uint8_t>>{image});
        std::string out;
        ASSERT_EQ(Cli("info " + Quote(file.string()), &out), 0);
        const std::string kind = row.cursor ? "cursor" : "icon";
        EXPECT_EQ(out.find("note\t" + kind + " image 1: stored length ") != std::string::npos, row.noted) << out;
        EXPECT_EQ(out.find("note\t" + kind + " image 2"), std::string::npos) << out;
        // Padding to the unit is read away: the group's count matches.
        if (row.shift > 0 && !row.noted) {
            EXPECT_EQ(out.find("the group counts"), std::string::npos) << out;
        }
    }
}

// Names that differ only in a byte code page 1252 has no character for
// (0x81, 0x8D) list apart, as the C1 controls of their values, and each is
// saved from its own group.
TEST(NeNames, BytesWithoutACharacterListApart)
{
    TempDir dir;
    const std::vector<uint8_t> a = SolidDib(16, 4), b = SolidDib(32, 8);
    WriteBytes(dir / "m.exe", MakeNeModule({{3, "", 1, "", a},
                                            {3, "", 2, "", b},
                                            {14, "", 1, "X\x81Y", MakeIconGroup({a}, {1})},
                                            {14, "", 2, "X\x8DY", MakeIconGroup({b}, {2})}},
                                           4, false));
    std::string out;
    ASSERT_EQ(Cli("groups " + Quote((dir / "m.exe").string()), &out), 0);
    EXPECT_EQ(out, (dir / "m.exe").string() + "\tX\\u0081Y\n" + (dir / "m.exe").string() + "\tX\\u008DY\n");
    for (const auto &[group, image] : {std::pair{"X\xC2\x81Y", a}, std::pair{"X\xC2\x8DY", b}}) {
        ASSERT_EQ(Cli("save --group " + Quote(group) + " " + Quote((dir / "m.exe").string()) + " " +
                      Quote((dir / "g.ico").string())),
                  0);
        EXPECT_EQ(IcoImages(ReadBytes(dir / "g.ico")), std::vector<std::vector<uint8_t>>{image});
    }
}

// A font holds no icons and says so at once; hostile tables end in their
// reason or in fewer entries, within a few reads' work.
TEST(NeHostile, TablesEndInTheirReason)
{
    const std::vector<uint8_t> image = SolidDib(16, 4), group = MakeIconGroup({image}, {1});
    const std::vector<uint8_t> good =
        MakeNeModule({{3, "", 1, "", image}, {14, "", 1, "", group}, {14, "", 2, "G", {}}}, 4, false);
    // The shift at 0x80, type 3 at 0x82 and its resource at 0x8A, type 14 at
    // 0x96 and its resources at 0x9E and 0xAA, the name "G" at 0xB8.
    auto put16 = [](std::vector<uint8_t> &v, size_t at, uint16_t x) {
        v[at] = static_cast<uint8_t>(x), v[at + 1] = static_cast<uint8_t>(x >> 8);
    };
    const struct {
        const char *what;
        std::function<void(std::vector<uint8_t> &)> mutate;
        const char *listing, *error; // the group listing and its error
        bool loads;                  // group 1 loads
    } rows[] = {
        {"unchanged", [](auto &) {}, "1 'G' ", "", true},
        {"a font",
         [&](auto &v) {
             v = MakeNeModule({{7, "", 1, "", {1}}, {8, "", 1, "", {2}}}, 4, false);
         },
         "", "no resources of type 14", false},
        {"shift 16", [&](auto &v) { put16(v, 0x80, 16); }, "", "corrupt at offset 128 (resource alignment shift 16)",
         false},
        {"shift 15: offsets past the end", [&](auto &v) { put16(v, 0x80, 15); }, "1 'G' ", "", false},
        {"a count past the end", [&](auto &v) { put16(v, 0x84, 0xFFFF); }, "", "truncated at offset", false},
        {"a name of no characters", [&](auto &v) { v[0xB8] = 0; }, "1 ", "", true},
        {"a name past the table", [&](auto &v) { put16(v, 0xB0, 0x7FF0); }, "1 ", "", true},
        {"no resource table", [&](auto &v) { put16(v, 0x66, 0x40); }, "", "no resources", false},
        {"a table past the end", [&](auto &v) { put16(v, 0x64, 0xFFF0); }, "", "truncated at offset", false},
        {"an image's length and count past the end",
         [&](auto &v) {
             put16(v, 0x8C, 0xFFFF);
             put16(v, static_cast<size_t>(std::search(v.begin(), v.end(), group.begin(), group.end()) - v.begin()) + 14,
                   0xFFFF);
         },
         "1 'G' ", "", true},
    };
    TempDir dir;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<uint8_t> bytes = good;
        row.mutate(bytes);
        WriteBytes(dir / "m.exe", bytes);
        auto m = TModule::LoadAsDataFile((dir / "m.exe").string());
        ASSERT_TRUE(m);
        EXPECT_EQ(Names(*m, RT_GROUP_ICON), row.listing);
        const std::string error = m->LastError() ? m->LastError().Text() : "";
        EXPECT_EQ(error.substr(0, std::string(row.error).size()), row.error) << error;
        TAdvancedIcon icon;
        EXPECT_EQ(icon.LoadFromResourceID(m.get(), 1), row.loads) << icon.LastError().Text();
        EXPECT_LT(m->Budget()->WorkDone(), 200'000u);
    }
}

} // namespace
