// 16-bit NE modules built in the test and the corpus's NE icon libraries,
// read through TModule and vexillo-cli: the listing against `wrestool -l`,
// the saved groups against `wrestool -x -t14` where wrestool reads the file
// cleanly and against the group's own images where it does not.
#include "platform/pemodule.h"

#include "formats/pngwriter.h"
#include "icons/advancedicon.h"
#include "nebuilder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fs = std::filesystem;
using namespace vexillo;
using namespace vexillo::test;

namespace {

int Cli(const std::string &arguments, std::string *out = nullptr, std::string *err = nullptr)
{
    return Run(Quote(VEXILLO_CLI) + " " + arguments, out, err);
}

// "type/name" for each resource of types 3 and 14, in listing order, as
// wrestool writes them ('NAME' for names). (wrestool gives the resources of a
// named type the type's name.)
std::string Listing(const TModule &m)
{
    std::string text;
    auto describe = [](const ResourceId &id) { return id.IsName ? "'" + id.Name + "'" : std::to_string(id.Number); };
    std::vector<ResourceId> types;
    m.EnumResourceTypes([&](const ResourceId &type) {
        types.push_back(type);
        return true;
    });
    for (const ResourceId &type : types)
        m.EnumResourceNames(type, [&](const ResourceId &name) {
            if (!type.IsName && (type.Number == 3 || type.Number == 14))
                text += describe(type) + "/" + describe(name) + " ";
            return true;
        });
    return text;
}

std::string WrestoolListing(const std::string &out)
{
    std::istringstream lines(out);
    std::string type, name, rest, text;
    while (lines >> type >> name && std::getline(lines, rest))
        if (type == "--type=3" || type == "--type=14")
            text += type.substr(7) + "/" + name.substr(7) + " ";
    return text;
}

std::vector<uint8_t> Png256()
{
    PixelImage picture;
    picture.Width = picture.Height = 256;
    picture.Pixels.assign(256 * 256, 0x80336699u);
    std::vector<uint8_t> png;
    EncodePngArgb(picture, png);
    return png;
}

struct BuiltRow {
    const char *name;
    uint16_t shift;
    bool inBytes;
    bool named;         // a named type and named groups beside numbered ones
    bool png;           // a 256-pixel PNG image in the second group
    bool wrestoolSaves; // wrestool extracts it without a complaint
};

// Lengths in units are exact up to shift 3 (every image but the PNG is a
// multiple of 8 bytes); beyond, the padding makes wrestool complain of sizes that disagree
// with the group, and lengths in bytes make it fail.
const BuiltRow kBuiltRows[] = {
    {"shift0", 0, false, false, false, true},      {"shift1", 1, false, false, false, true},
    {"shift3named", 3, false, true, false, true},  {"shift4", 4, false, false, false, false},
    {"shift9named", 9, false, true, false, false}, {"shift1bytes", 1, true, false, false, false},
    {"shift4bytes", 4, true, true, false, false},  {"shift0png", 0, false, false, true, true},
    {"shift9png", 9, true, true, true, false},
};

class NeBuilt : public ::testing::TestWithParam<BuiltRow> {};

TEST_P(NeBuilt, ListsAndSavesAsWrestoolAndTheGroupsSay)
{
    const BuiltRow &row = GetParam();
    const std::vector<uint8_t> a = SolidDib(32, 4), b = SolidDib(16, 8), c = row.png ? Png256() : SolidDib(48, 32);
    // The entries as the images' headers give them, which a save writes.
    const EntryFields fa{32, 32, 16, 0, 1, 4}, fb{16, 16, 0, 0, 1, 8},
        fc{row.png ? uint8_t{0} : uint8_t{48}, row.png ? uint8_t{0} : uint8_t{48}, 0, 0, 1, 32};
    const std::string g1 = row.named ? "MAINICON" : "", g2 = row.named ? "Second" : "";
    const std::vector<NeResource> resources = {
        {3, "", 1, "", a},
        {3, "", 2, "", b},
        {3, "", 7, "", c},
        {row.named ? uint16_t{0} : uint16_t{10},
         row.named ? "WORLD" : "",
         row.named ? uint16_t{0} : uint16_t{10},
         row.named ? "HELLO" : "",
         {1, 2, 3}},
        {14, "", 1, g1, MakeIconGroup({a, b}, {1, 2}, {fa, fb})},
        {14, "", 2, g2, MakeIconGroup({c, a}, {7, 1}, {fc, fa})},
    };
    TempDir dir;
    const fs::path file = dir / "module.exe";
    WriteBytes(file, MakeNeModule(resources, row.shift, row.inBytes));
    auto m = TModule::LoadAsDataFile(file.string());
    ASSERT_TRUE(m);
    EXPECT_EQ(Listing(*m), std::string("3/1 3/2 3/7 ") + (row.named ? "14/'MAINICON' 14/'Second' " : "14/1 14/2 "));
    std::vector<uint8_t> other;
    EXPECT_TRUE(m->FindResource(row.named ? ResourceId::FromName("world") : ResourceId::FromNumber(10),
                                row.named ? ResourceId::FromName("Hello") : ResourceId::FromNumber(10), other));
    const size_t unit = size_t{1} << row.shift;
    EXPECT_EQ(other.size(), row.inBytes ? 3 * unit : (3 + unit - 1) / unit * unit);
    std::string out, err;
    if (vexillo::test::Run("wrestool -l " + Quote(file.string()), &out, &err) == 0 && err.empty()) {
        EXPECT_EQ(Listing(*m), WrestoolListing(out));
    }

    const std::vector<std::pair<std::string, std::vector<std::vector<uint8_t>>>> saves = {
        {row.named ? g1 : "1", {a, b}}, {row.named ? g2 : "2", {c, a}}};
    for (const auto &[group, images] : saves) {
        SCOPED_TRACE(group);
        const fs::path ico = dir / (group + ".ico");
        ASSERT_EQ(Cli("save " + Quote(file.string()) + " " + Quote(ico.string()) + " --group " + group), 0);
        const std::vector<uint8_t> saved = ReadBytes(ico);
        EXPECT_EQ(IcoImages(saved), images);
        const bool clean =
            vexillo::test::Run("wrestool -x -t14 -n " + group + " " + Quote(file.string()), &out, &err) == 0 &&
            err.empty() && !out.empty();
        EXPECT_EQ(clean, row.wrestoolSaves) << err;
        if (clean) {
            // wrestool ends its .ico with as many zero bytes as the group
            // resource has.
            const std::vector<uint8_t> theirs(out.begin(), out.end());
            ASSERT_GE(theirs.size(), saved.size() + 6 + 14 * images.size());
            EXPECT_TRUE(std::equal(saved.begin(), saved.end(), theirs.begin()));
            EXPECT_TRUE(std::all_of(theirs.begin() + static_cast<long>(saved.size()), theirs.end(),
                                    [](uint8_t x) { return x == 0; }));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, NeBuilt, ::testing::ValuesIn(kBuiltRows),
                         [](const auto &p) { return std::string(p.param.name); });

// The corpus's icon libraries count their lengths in bytes while the shift
// is 1: wrestool fails on them; each group's image is the byte count its
// entry gives, which ends at the file's end.
TEST(NeCorpus, IconLibrariesWithLengthsInBytes)
{
    const auto files = CorpusFiles("ne");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    TempDir dir;
    for (const fs::path &file : files) {
        SCOPED_TRACE(file.filename());
        std::string out;
        ASSERT_EQ(Cli("groups " + Quote(file.string()), &out), 0);
        EXPECT_EQ(out, file.string() + "\t1\n");
        const fs::path ico = dir / "saved.ico";
        ASSERT_EQ(Cli("save " + Quote(file.string()) + " " + Quote(ico.string())), 0);
        const std::vector<uint8_t> bytes = ReadBytes(file), saved = ReadBytes(ico);
        const ParsedIco parsed = ParseIco(saved);
        ASSERT_EQ(parsed.count, 1);
        EXPECT_EQ(IcoImages(saved)[0], std::vector<uint8_t>(bytes.end() - parsed.entries[0].size, bytes.end()));
        EXPECT_EQ(Cli("png " + Quote(file.string()) + " 0 " + Quote((dir / "a.png").string())), 0);
    }
}

// A font holds no icons and says so at once; hostile tables end in their
// reason or in fewer entries, never in more work than a few reads.
TEST(NeHostile, TablesEndInTheirReason)
{
    const std::vector<uint8_t> image = SolidDib(16, 4);
    const std::vector<uint8_t> good =
        MakeNeModule({{3, "", 1, "", image}, {14, "", 1, "", MakeIconGroup({image}, {1})}, {14, "", 2, "G", {}}}, 4);
    // In the built table: the shift at 0x80, type 3's record at 0x82, its
    // one resource at 0x8A, type 14 at 0x96, its resources at 0x9E and 0xAA.
    auto put16 = [](std::vector<uint8_t> &v, size_t at, uint16_t x) {
        v[at] = static_cast<uint8_t>(x), v[at + 1] = static_cast<uint8_t>(x >> 8);
    };
    const struct {
        const char *what;
        std::function<void(std::vector<uint8_t> &)> mutate;
        const char *listing, *error; // the error of the group listing
        bool loads;                  // group 1 loads
    } rows[] = {
        {"unchanged", [](auto &) {}, "1 'G' ", "", true},
        {"a font",
         [&](auto &v) {
             v = MakeNeModule({{7, "", 1, "", {1}}, {8, "", 1, "", {2}}}, 4);
         },
         "", "no resources of type 14", false},
        {"shift 16", [&](auto &v) { put16(v, 0x80, 16); }, "", "corrupt at offset 128 (resource alignment shift 16)",
         false},
        {"shift 15: offsets past the end", [&](auto &v) { put16(v, 0x80, 15); }, "1 'G' ", "", false},
        {"a huge count past the end", [&](auto &v) { put16(v, 0x84, 0xFFFF); }, "", "truncated at offset", false},
        {"a name of no characters", [&](auto &v) { v[0xB8] = 0; }, "1 ", "", true},
        {"a name past the table", [&](auto &v) { put16(v, 0xB0, 0x7FF0); }, "1 ", "", true},
        {"no resource table", [&](auto &v) { put16(v, 0x66, 0x40); }, "", "no resources", false},
        {"a table past the end", [&](auto &v) { put16(v, 0x64, 0xFFF0); }, "", "truncated at offset", false},
        {"the image's length and count past the end",
         [&](auto &v) {
             put16(v, 0x8C, 0xFFFF);
             const std::vector<uint8_t> group = MakeIconGroup({image}, {1});
             const auto at = std::search(v.begin(), v.end(), group.begin(), group.end()) - v.begin();
             put16(v, static_cast<size_t>(at) + 6 + 8, 0xFFFF);
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
        std::string listing;
        m->EnumResourceNames(ResourceId::FromNumber(RT_GROUP_ICON), [&](const ResourceId &id) {
            listing += (id.IsName ? "'" + id.Name + "'" : std::to_string(id.Number)) + " ";
            return true;
        });
        EXPECT_EQ(listing, row.listing);
        const std::string error = m->LastError() ? m->LastError().Text() : "";
        EXPECT_EQ(error.substr(0, std::string(row.error).size()), row.error) << error;
        TAdvancedIcon icon;
        EXPECT_EQ(icon.LoadFromResourceID(m.get(), 1), row.loads) << icon.LastError().Text();
        EXPECT_LT(m->Budget()->WorkDone(), 200'000u);
    }
}

} // namespace
