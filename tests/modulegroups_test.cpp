// Icon groups read from program modules, and the catalogue over modules:
// modules are built at test time by windres and ld from resource scripts
// whose groups and images are laid out byte by byte.
#include "catalogue/catalogue.h"
#include "icons/advancedicon.h"
#include "icons/icontools.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <tuple>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

struct GroupEntry {
    uint16_t imageId;
    uint32_t bytesInRes; // 0 = the image's own size
    EntryFields fields;
};

// An icon-group resource: the 6-byte header and 14-byte entries.
std::vector<uint8_t> MakeGroup(const std::vector<GroupEntry> &entries,
                               const std::map<uint16_t, std::vector<uint8_t>> &images, uint16_t type = 1,
                               int count = -1)
{
    std::vector<uint8_t> v;
    PutU16(v, 0);
    PutU16(v, type);
    PutU16(v, static_cast<uint16_t>(count < 0 ? entries.size() : count));
    for (const GroupEntry &e : entries) {
        v.push_back(e.fields.width);
        v.push_back(e.fields.height);
        v.push_back(e.fields.colors);
        v.push_back(e.fields.reserved);
        PutU16(v, e.fields.planes);
        PutU16(v, e.fields.bitCount);
        uint32_t size = e.bytesInRes;
        if (size == 0 && images.count(e.imageId))
            size = static_cast<uint32_t>(images.at(e.imageId).size());
        PutU32(v, size);
        PutU16(v, e.imageId);
    }
    return v;
}

class ModuleGroups : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir;
        images = {{1, SolidDib(16, 4)}, {2, SolidDib(32, 8)}, {3, SolidDib(48, 32)}};
        const EntryFields lying{0, 0, 0, 0, 1, 0};
        const auto three = MakeGroup({{1, 0, lying}, {2, 0, lying}, {3, 0, lying}}, images);
        // The quoted name comes first: windres joins a quoted name to a
        // file name on the line before it.
        std::vector<std::tuple<std::string, int, std::vector<uint8_t>>> res = {
            {"\"0042\"", 14, MakeGroup({{1, 0, lying}}, images)},
            {"1", 3, images[1]},
            {"2", 3, images[2]},
            {"3", 3, images[3]},
            {"10", 14, three},
            {"11", 14, MakeGroup({{2, 0, lying}, {2, 0, lying}}, images)},
            {"12", 14, MakeGroup({{2, 100, lying}}, images)},
            {"13", 14, MakeGroup({{1, 0, lying}, {2, 0, lying}, {9, 0, lying}, {3, 0, lying}}, images)},
            {"14", 14, MakeGroup({{1, 0, lying}}, images, 2)},
            {"15", 14, MakeGroup({{1, 0, lying}, {2, 0, lying}}, images, 1, 5)},
            {"16", 14, MakeGroup({}, images)},
            {"42", 14, MakeGroup({{3, 0, lying}}, images)},
            {"MAINICON", 14, three},
        };
        module = new fs::path(BuildModule(*dir, "groups.dll", res));
    }
    void SetUp() override { ASSERT_TRUE(fs::exists(*module)) << "the test module was not built"; }

    static void TearDownTestSuite()
    {
        delete module;
        delete dir;
    }

    std::unique_ptr<TModule> Open() const
    {
        auto m = TModule::LoadAsDataFile(module->string());
        EXPECT_TRUE(m);
        return m;
    }

    static TempDir *dir;
    static fs::path *module;
    static std::map<uint16_t, std::vector<uint8_t>> images;
};

TempDir *ModuleGroups::dir = nullptr;
fs::path *ModuleGroups::module = nullptr;
std::map<uint16_t, std::vector<uint8_t>> ModuleGroups::images;

} // namespace

TEST_F(ModuleGroups, ImagesComeInEntryOrderWithFieldsFromTheirBytes)
{
    TAdvancedIcon icon;
    {
        auto m = Open();
        ASSERT_TRUE(icon.LoadFromResourceID(m.get(), 10));
    } // the module is released: the images stand on their own
    ASSERT_EQ(icon.Images.Count, 3);
    const int sizes[] = {16, 32, 48}, bits[] = {4, 8, 32};
    for (uint16_t i = 0; i < 3; ++i) {
        TIconImage *image = icon.Images.GetItem(i);
        EXPECT_EQ(image->Width, sizes[i]);
        EXPECT_EQ(image->Height, sizes[i]);
        EXPECT_EQ(image->BitCount, bits[i]);
        EXPECT_EQ(image->Data, images[i + 1]);
        EXPECT_NE(dynamic_cast<TResourceIconImage *>(image), nullptr);
        auto graphic = image->CreateGraphic();
        EXPECT_EQ(graphic->GetWidth(), sizes[i]);
    }
    TempDir out;
    icon.SaveToFile((out / "1.ico").string());
    TAdvancedIcon again;
    ASSERT_TRUE(again.LoadFromFile((out / "1.ico").string()));
    EXPECT_EQ(again.Images.Count, 3);

    // The named group of the same bytes loads the same, by any case.
    TAdvancedIcon named;
    auto m = Open();
    ASSERT_TRUE(named.LoadFromResourceName(m.get(), "mainIcon"));
    EXPECT_EQ(named.Images.Count, 3);
}

// Each load appends its group's images to the icon's; a load that fails
// keeps those appended before it.
TEST_F(ModuleGroups, LoadsAppendAndFailuresKeepWhatCameBefore)
{
    auto m = Open();
    const struct {
        std::vector<std::pair<int, bool>> loads; // a group id, and whether it loads
        int count, lastWidth;
    } cases[] = {
        {{{10, true}, {10, true}}, 6, 48},
        {{{11, true}, {13, false}}, 4, 32}, // the third image resource is missing
        {{{15, false}}, 2, 32},             // more entries announced than the group holds
        {{{16, true}}, 0, 0},               // an empty group
        // A cursor group header, and groups that are not there.
        {{{14, false}, {99, false}, {0, false}, {65536 + 10, false}}, 0, 0},
    };
    for (const auto &c : cases) {
        TAdvancedIcon icon;
        for (const auto &[id, loads] : c.loads)
            EXPECT_EQ(icon.LoadFromResourceID(m.get(), id), loads) << id;
        ASSERT_EQ(icon.Images.Count, c.count) << c.loads[0].first;
        if (c.count > 0) {
            EXPECT_EQ(icon.Images.GetItem(c.count - 1)->Width, c.lastWidth) << c.loads[0].first;
        }
    }

    // Two entries naming one image give two images that share its bytes.
    TAdvancedIcon twice;
    ASSERT_TRUE(twice.LoadFromResourceID(m.get(), 11));
    ASSERT_EQ(twice.Images.Count, 2);
    EXPECT_TRUE(twice.Images.GetItem(0)->Data.SameAs(twice.Images.GetItem(1)->Data));

    TAdvancedIcon none;
    EXPECT_FALSE(none.LoadFromResourceName(m.get(), ""));
    EXPECT_FALSE(none.LoadFromResourceName(m.get(), "NOSUCHGROUP"));
    EXPECT_FALSE(none.LoadFromResourceID(nullptr, 10));
    EXPECT_EQ(none.Images.Count, 0);
}

// A PE resource's length is exact: an entry that counts fewer bytes does not
// cut the image short, and a file written from the icon carries it whole.
TEST_F(ModuleGroups, AnEntrySmallerThanItsImageIsWrittenAtItsOwnSize)
{
    auto m = Open();
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromResourceID(m.get(), 12));
    const TIconImage *image = icon.Images.GetItem(0);
    EXPECT_EQ(image->BytesInRes, images[2].size());
    EXPECT_EQ(image->Data, images[2]);
    TMemoryStream stream;
    icon.SaveToStream(stream);
    EXPECT_EQ(stream.Bytes().size(), 22u + images[2].size());
}

// A group text of digits only is loaded by number, a name only by name.
TEST_F(ModuleGroups, DigitGroupTextsLoadByNumber)
{
    TCatalogue catalogue;
    ASSERT_TRUE(catalogue.LoadIconGroup(module->string(), "0042"));
    ASSERT_EQ(catalogue.CurrentIcon.Images.Count, 1);
    EXPECT_EQ(catalogue.CurrentIcon.Images.GetItem(0)->Width, 48); // group 42, not the group named 0042

    auto m = Open();
    TAdvancedIcon byName;
    ASSERT_TRUE(byName.LoadFromResourceName(m.get(), "0042"));
    EXPECT_EQ(byName.Images.GetItem(0)->Width, 16);

    // Every load empties the icon first.
    ASSERT_TRUE(catalogue.LoadIconGroup(module->string(), "MAINICON"));
    EXPECT_EQ(catalogue.CurrentIcon.Images.Count, 3);
    EXPECT_FALSE(catalogue.LoadIconGroup(module->string(), "missing"));
    EXPECT_EQ(catalogue.CurrentIcon.Images.Count, 0);
    EXPECT_FALSE(catalogue.LoadIconGroup((dir->path() / "nothing.dll").string(), "1"));
}

namespace {

class PumpingView : public TCatalogueView {
public:
    int pumps = 0;
    std::function<void()> onPump;
    void SetStatusText(int, const std::string &) override {}
    void ProcessMessages() override
    {
        ++pumps;
        if (onPump)
            onPump();
    }
    void ClearIconList() override {}
    void ClearPreview() override {}
};

} // namespace

TEST_F(ModuleGroups, ScanListsNamedGroupsFirstThenNumbers)
{
    TCatalogue catalogue;
    catalogue.ResetCatalogue();
    catalogue.ScanFile(module->string());
    std::vector<std::string> groups;
    for (const auto &item : catalogue.IconItems) {
        EXPECT_EQ(item->FileName, module->string());
        groups.push_back(item->GroupName);
    }
    EXPECT_EQ(groups, (std::vector<std::string>{"0042", "MAINICON", "10", "11", "12", "13", "14", "15", "16", "42"}));
}

// The stop flag is read before each pump: a stop during one group's pump
// still lets that group and the next one in.
TEST_F(ModuleGroups, AStopDuringEnumerationAddsAtMostTwoMoreEntries)
{
    PumpingView view;
    TCatalogue catalogue(&view);
    catalogue.ResetCatalogue();
    view.onPump = [&] {
        if (view.pumps == 3) // type 3's pump, type 14's pump, then the first group's
            catalogue.Stop();
    };
    catalogue.ScanFile(module->string());
    EXPECT_EQ(catalogue.IconCount(), 2);
}

TEST_F(ModuleGroups, FolderScanOpensModulesByType)
{
    TempDir tree;
    fs::copy_file(*module, tree / "App.EXE");
    fs::copy_file(*module, tree / "lib.dll");
    fs::copy_file(*module, tree / "panel.CPL");
    WriteBytes(tree / "x.ico", {0, 0, 1, 0, 0, 0});
    TCatalogue catalogue;
    catalogue.ResetCatalogue(ftExe | ftCpl);
    catalogue.ScanFolder(tree.path().string());
    EXPECT_EQ(catalogue.IconCount(), 20);
    EXPECT_EQ(catalogue.FileCount(), 4);
    for (const auto &item : catalogue.IconItems)
        EXPECT_NE(item->FileName.find(tree.path().string() + "/"), std::string::npos);
}

TEST_F(ModuleGroups, CliListsAndLoadsGroups)
{
    const std::string cli = std::string("'") + VEXILLO_CLI + "'";
    const std::string mod = "'" + module->string() + "'";
    std::string out, err;
    ASSERT_EQ(vexillo::test::Run(cli + " groups " + mod, &out), 0);
    EXPECT_EQ(out.substr(0, module->string().size() + 6), module->string() + "\t0042\n");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 10);

    ASSERT_EQ(vexillo::test::Run(cli + " images --group MAINICON " + mod, &out), 0);
    EXPECT_EQ(out.substr(0, 9), "0\t16\t16\t4");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
    EXPECT_EQ(vexillo::test::Run(cli + " images " + mod + " --group 13", &out, &err), 1);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);

    // Without --group, the first group in directory order (named ones come
    // first): every command on one icon works on it. The group named 0042
    // is reached as "0042" in quotes; 0042 and #42 are the number 42.
    std::string first, number;
    ASSERT_EQ(vexillo::test::Run(cli + " images --group '\"0042\"' " + mod, &first), 0);
    ASSERT_EQ(vexillo::test::Run(cli + " images " + mod, &out, &err), 0) << err;
    EXPECT_EQ(out, first);
    ASSERT_EQ(vexillo::test::Run(cli + " images --group 0042 " + mod, &number), 0);
    EXPECT_EQ(number.substr(0, 10), "0\t48\t48\t32");
    ASSERT_EQ(vexillo::test::Run(cli + " images --group '#42' " + mod, &out), 0);
    EXPECT_EQ(out, number);
    TempDir pictures;
    ASSERT_EQ(vexillo::test::Run(cli + " png " + mod + " 0 '" + (pictures / "x.png").string() + "'", &out, &err), 0)
        << err;
    ASSERT_EQ(vexillo::test::Run("/usr/bin/identify -format %w '" + (pictures / "x.png").string() + "'", &out), 0);
    EXPECT_EQ(out, "16");

    // Groups that fail say why.
    const std::pair<const char *, std::string> reasons[] = {
        {"13", "no icon image 9 named by entry 2 of the icon group"},
        {"99", "no icon group 99"},
        {"14", "not an icon file (icon group 14 has no icon group header)"},
        {"15", "truncated at offset 34 (entry 2 of the icon group is cut short)"},
    };
    for (const auto &[group, reason] : reasons) {
        EXPECT_EQ(vexillo::test::Run(cli + " images --group " + group + " " + mod, nullptr, &err), 1);
        EXPECT_EQ(err, "vexillo-cli: " + module->string() + ": " + reason + "\n");
    }

    TempDir out_dir;
    const std::string target = "'" + (out_dir / "main.ico").string() + "'";
    ASSERT_EQ(vexillo::test::Run(cli + " save --group 10 " + mod + " " + target), 0);
    TAdvancedIcon saved;
    ASSERT_TRUE(saved.LoadFromFile((out_dir / "main.ico").string()));
    EXPECT_EQ(saved.Images.Count, 3);

    TempDir tree;
    fs::copy_file(*module, tree / "a.dll");
    WriteBytes(tree / "b.ico", {0, 0, 1, 0, 0, 0});
    WriteBytes(tree / "c.txt", {1});
    ASSERT_EQ(vexillo::test::Run(cli + " scan '" + tree.path().string() + "' --types dll", &out, &err), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 10);
    EXPECT_EQ(err, "files 3\ticons 10\n");
    ASSERT_EQ(vexillo::test::Run(cli + " scan '" + tree.path().string() + "'", &out, &err), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 11);
    EXPECT_EQ(err, "files 3\ticons 11\n");
    EXPECT_EQ(vexillo::test::Run(cli + " scan '" + tree.path().string() + "' --types exe,bogus", &out), 2);
}

namespace {

// A cursor-group resource: the header (type 2) and 14-byte entries, each
// naming a cursor resource by number; heights doubled as the rule has it.
std::vector<uint8_t> MakeCursorGroup(const std::vector<std::pair<uint16_t, int>> &entries)
{
    std::vector<uint8_t> v;
    PutU16(v, 0);
    PutU16(v, 2);
    PutU16(v, static_cast<uint16_t>(entries.size()));
    for (const auto &[id, size] : entries) {
        PutU16(v, static_cast<uint16_t>(size));
        PutU16(v, static_cast<uint16_t>(2 * size));
        PutU16(v, 1);
        PutU16(v, 8);
        PutU32(v, 4 + static_cast<uint32_t>(SolidDib(size, 8).size()));
        PutU16(v, id);
    }
    return v;
}

} // namespace

// A module's cursor groups: listed after its icon groups when asked for,
// read with the hot spots that lead their images, saved as CUR files that
// icotool reads back with the same hot spots.
TEST(ModuleCursors, ListedWhenAskedLoadedAndSavedWithTheirHotspots)
{
    TempDir dir;
    std::vector<uint8_t> cursor = {3, 0, 4, 0};
    const std::vector<uint8_t> dib = SolidDib(32, 8);
    cursor.insert(cursor.end(), dib.begin(), dib.end());
    std::vector<uint8_t> iconGroup = MakeCursorGroup({{1, 16}});
    iconGroup[2] = 1;
    const fs::path module = BuildModule(dir, "cursors.dll",
                                        {{"1", 3, SolidDib(16, 4)},
                                         {"5", 14, iconGroup},
                                         {"7", 1, cursor},
                                         {"8", 1, {1, 0}},
                                         {"20", 12, MakeCursorGroup({{7, 32}})},
                                         {"21", 12, MakeCursorGroup({{7, 32}, {8, 32}})},
                                         {"22", 12, MakeCursorGroup({{9, 32}})}});
    TCatalogue catalogue;
    catalogue.ResetCatalogue();
    catalogue.ScanFile(module.string());
    EXPECT_EQ(catalogue.IconCount(), 1);
    catalogue.ListCursors = true;
    catalogue.ResetCatalogue();
    catalogue.ScanFile(module.string());
    ASSERT_EQ(catalogue.IconCount(), 4);
    EXPECT_EQ(catalogue.IconItems[0]->Kind, TEntryKind::Icon);
    EXPECT_EQ(catalogue.IconItems[1]->GroupName, "20");
    EXPECT_EQ(catalogue.IconItems[1]->Kind, TEntryKind::Cursor);

    ASSERT_TRUE(catalogue.LoadIconGroup(*catalogue.IconItems[1]));
    const TAdvancedIcon &icon = catalogue.CurrentIcon;
    ASSERT_TRUE(icon.IsCursor);
    ASSERT_EQ(icon.Images.Count, 1);
    const TIconImage &image = *icon.Images.GetItem(0);
    EXPECT_EQ(std::tuple(image.Width, image.BitCount, image.HotspotX, image.HotspotY, image.BytesInRes),
              std::tuple(uint8_t{32}, uint16_t{8}, uint16_t{3}, uint16_t{4}, static_cast<uint32_t>(dib.size())));
    EXPECT_EQ(image.Data, dib);

    const std::pair<int, std::string> failures[] = {
        {2, "the image does not decode (cursor image 8 is too short to hold its hot spot)"},
        {3, "no cursor image 9 named by entry 0 of the cursor group"},
    };
    for (const auto &[entry, reason] : failures) {
        EXPECT_FALSE(catalogue.LoadIconGroup(*catalogue.IconItems[static_cast<size_t>(entry)]));
        EXPECT_EQ(catalogue.LastError().Text(), reason);
    }

    const std::string cli = std::string("'") + VEXILLO_CLI + "' ";
    const std::string saved = (dir / "20.cur").string();
    ASSERT_EQ(vexillo::test::Run(cli + "save --cursors --group 20 '" + module.string() + "' '" + saved + "'"), 0);
    std::string listed;
    ASSERT_EQ(vexillo::test::Run("icotool -l '" + saved + "'", &listed), 0);
    EXPECT_EQ(listed,
              "--cursor --index=1 --width=32 --height=32 --bit-depth=8 --palette-size=256 --hotspot-x=3 "
              "--hotspot-y=4\n");
    TAdvancedIcon again;
    ASSERT_TRUE(again.LoadAnimatedCursorFromFile(saved));
    EXPECT_EQ(again.Images.GetItem(0)->HotspotX * 100 + again.Images.GetItem(0)->HotspotY, 304);
    EXPECT_FALSE(again.LoadFromFile(saved));
}

// Wine's cursors saved as CUR files: icotool lists them, and ImageMagick
// decodes every image to the very pixels the program draws.
TEST(ModuleCursors, WineCursorsReadBackInIcotoolAndImageMagick)
{
    const std::string user32 = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/user32.dll";
    ASSERT_TRUE(fs::exists(user32)) << "Debian's libwine is not installed";
    TempDir dir;
    const std::string cli = std::string("'") + VEXILLO_CLI + "' ";
    const std::string saved = (dir / "ibeam.cur").string();
    ASSERT_EQ(vexillo::test::Run(cli + "save --cursors --group 32513 " + user32 + " '" + saved + "'"), 0);
    std::string listed;
    ASSERT_EQ(vexillo::test::Run("icotool -l '" + saved + "'", &listed), 0);
    EXPECT_NE(listed.find("--cursor --index=1 --width=64 --height=64 --bit-depth=32 --palette-size=0 --hotspot-x=7 "
                          "--hotspot-y=18\n"),
              std::string::npos)
        << listed;
    for (int i = 0; i < 6; ++i) {
        const std::string ours = (dir / ("ours" + std::to_string(i) + ".png")).string();
        const std::string theirs = (dir / ("im" + std::to_string(i) + ".png")).string();
        ASSERT_EQ(vexillo::test::Run(cli + "png '" + saved + "' " + std::to_string(i) + " '" + ours + "'"), 0);
        ASSERT_EQ(vexillo::test::Run("/usr/bin/convert '" + saved + "[" + std::to_string(i) + "]' '" + theirs + "'"),
                  0);
        std::string differ;
        vexillo::test::Run("/usr/bin/compare -metric AE '" + ours + "' '" + theirs + "' null: 2>&1", &differ);
        EXPECT_EQ(differ, "0") << "image " << i;
    }
}

// Wine's groups of pictures that are not square (76 by 24) or are larger
// than a directory can say (194 by 313), in both architectures: `images`,
// the JSON records and the saved file's directory give each image its own
// sides and the group's bit count (wrestool's copy of the group), so that
// gdk-pixbuf, ImageMagick and icotool read the saved file at its size.
TEST(ModuleIcons, WineGroupsOfOtherShapesSaveAtTheirOwnSize)
{
    std::vector<std::string> trees;
    for (const char *tree : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", VEXILLO_WINE32_DIR})
        if (fs::exists(tree + std::string("/comdlg32.dll")))
            trees.push_back(tree);
    if (trees.empty())
        GTEST_SKIP() << "no Wine modules (Debian's libwine)";
    const std::string cli = std::string("'") + VEXILLO_CLI + "' ";
    const struct {
        const char *module, *group;
        std::string sides, magick; // icotool's, ImageMagick's of each image
        bool pixbuf;               // gdk-pixbuf reads it (it refuses sides over 256)
    } rows[] = {
        {"comdlg32.dll", "PD32_COLLATE", "76 24,76 24,76 24,", "76 24,76 24,76 24,", true},
        {"winecfg.exe", "102", "194 313,194 313,194 313,", "194 256,194 256,194 313,", false},
    };
    TempDir dir;
    for (const std::string &tree : trees)
        for (const auto &row : rows) {
            const std::string module = "'" + tree + "/" + row.module + "'";
            SCOPED_TRACE(module + " " + row.group);
            const std::string saved = (dir / "saved.ico").string(), wrestool = (dir / "group.ico").string();
            ASSERT_EQ(vexillo::test::Run(cli + "save --group " + row.group + " " + module + " '" + saved + "'"), 0);
            ASSERT_EQ(vexillo::test::Run("wrestool -x -t14 -n " + std::string(row.group) + " " + module + " > '" +
                                         wrestool + "'"),
                      0);
            const ParsedIco ours = ParseIco(ReadBytes(saved)), group = ParseIco(ReadBytes(wrestool));
            ASSERT_EQ(ours.count, group.count);
            std::string images, json;
            ASSERT_EQ(vexillo::test::Run(cli + "images --group " + row.group + " " + module, &images), 0);
            ASSERT_EQ(vexillo::test::Run(
                          cli + "groups --json " + module + " | grep '\"group\":\"\\?" + row.group + "\"\\?,'", &json),
                      0);
            for (size_t i = 0; i < ours.count; ++i) {
                const ParsedEntry &o = ours.entries[i], &g = group.entries[i];
                // (The group says 0 for both sides of a picture with a side
                // over 256; the saved file keeps the side it can say.)
                EXPECT_EQ(o.bitCount, g.bitCount) << i;
                if (g.width || g.height) {
                    EXPECT_EQ(std::pair(o.width, o.height), std::pair(g.width, g.height)) << i;
                }
                EXPECT_NE(images.find(std::to_string(i) + "\t" + std::to_string(o.width) + "\t" +
                                      std::to_string(o.height) + "\t" + std::to_string(o.bitCount) + "\t"),
                          std::string::npos)
                    << images;
            }
            const std::string sides = row.sides.substr(0, row.sides.find(','));
            EXPECT_NE(json.find("\"width\":" + sides.substr(0, sides.find(' ')) +
                                ",\"height\":" + sides.substr(sides.find(' ') + 1)),
                      std::string::npos)
                << json;
            std::string listed, magick, pixbuf;
            ASSERT_EQ(vexillo::test::Run("icotool -l '" + saved +
                                             "' | sed 's/.*--width=\\([0-9]*\\) --height=\\([0-9]*\\).*/\\1 \\2/' | "
                                             "tr '\\n' ,",
                                         &listed),
                      0);
            EXPECT_EQ(listed, row.sides);
            ASSERT_EQ(vexillo::test::Run("/usr/bin/identify -format '%w %h,' '" + saved + "'", &magick), 0);
            EXPECT_EQ(magick, row.magick);
            const int read = vexillo::test::Run(
                "/usr/bin/python3 -c \"import gi, sys; gi.require_version('GdkPixbuf', '2.0'); "
                "from gi.repository import GdkPixbuf; p = GdkPixbuf.Pixbuf.new_from_file(sys.argv[1]); "
                "print(p.get_width(), p.get_height(), end='')\" '" +
                    saved + "' 2>/dev/null",
                &pixbuf);
            EXPECT_EQ(read == 0, row.pixbuf) << pixbuf;
            if (row.pixbuf) {
                EXPECT_EQ(pixbuf, sides);
            }
        }
}
