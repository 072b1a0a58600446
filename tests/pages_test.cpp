// The page and preview rules and the recent-files list, without a window.
#include "settings/recentfiles.h"
#include "catalogue/pages.h"
#include "export/imagesaves.h"
#include "export/outputnames.h"
#include "platform/extracticon.h"
#include "platform/iconobject.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <numeric>
#include <set>

using namespace vexillo;
using namespace vexillo::test;

namespace {

// An icon whose images have the given widths and bit counts (the fields
// only; no image data).
std::unique_ptr<TAdvancedIcon> IconOf(const std::vector<std::pair<int, int>> &images)
{
    auto icon = std::make_unique<TAdvancedIcon>();
    for (const auto &[width, bits] : images) {
        auto image = std::make_unique<TIconImage>();
        image->Width = image->Height = static_cast<uint8_t>(width);
        image->BitCount = static_cast<uint16_t>(bits);
        icon->Images.Add(std::move(image));
    }
    return icon;
}

} // namespace

TEST(ChooseDisplayImage, PrefersTheFirstRichColour32PixelImage)
{
    struct Case {
        std::vector<std::pair<int, int>> images;
        int chosen;
    };
    const std::vector<Case> cases = {
        {{{16, 4}, {32, 4}, {32, 8}, {48, 32}}, 2}, // last 32-pixel image when none has more than 8 bits
        {{{32, 32}, {32, 24}}, 0},                  // the first 32-pixel image above 8 bits
        {{{32, 8}, {32, 4}}, 1},                    // the last 32-pixel one, whatever its depth
        {{{16, 32}, {48, 32}}, 0},                  // none 32 wide: image 0
        {{{0, 32}, {32, 4}, {32, 24}}, 2},          // a 256-pixel image reads 0 and is passed over
        {{}, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ChooseDisplayImage(*IconOf(c.images)), c.chosen);
}

TEST(PreviewRows, TextsAndHeights)
{
    const std::vector<std::tuple<int, int, std::string, int>> rows = {
        {16, 4, "16x16, 16 Colors", 41},
        {32, 8, "32x32, 256 Colors", 57},
        {48, 32, "48x48, 24b Colors", 73},
        {48, 16, "48x48, 24b Colors", 73},
        {32, 1, "32x32, 2 Colors", 57},
        {32, 2, "32x32, 4 Colors", 57},
        {32, 0, "32x32, ", 57},
        {32, 3, "32x32, ", 57},
        {0, 32, "256x256, 24b Colors", 281},
    };
    for (const auto &[size, bits, text, height] : rows) {
        const auto icon = IconOf({{size, bits}});
        EXPECT_EQ(PreviewRowText(*icon->Images.GetItem(0)), text);
        EXPECT_EQ(PreviewRowHeight(*icon->Images.GetItem(0)), height);
    }
}

// Images that share their bytes (entries of one module naming one image)
// share one picture; other bytes, or another size, get their own.
TEST(PagePictures, OnePicturePerSharedImage)
{
    const SharedBytes dib = MakeDib(48, 48, 24, {}, std::vector<uint32_t>(48 * 48, 0x336699));
    TIconImage a, b, c;
    a.Data = b.Data = dib;
    c.Data = SharedBytes(std::vector<uint8_t>(dib.begin(), dib.end()));
    for (TIconImage *image : {&a, &b, &c}) {
        image->BytesInRes = static_cast<uint32_t>(dib.size());
        ASSERT_TRUE(image->UpdateEntry());
    }
    TPagePictures pictures;
    const IconObject *picture = pictures.Picture(a, 32);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width, 32);
    EXPECT_EQ(picture->Color[0], 0xFF336699u);
    EXPECT_EQ(pictures.Picture(b, 32), picture);
    EXPECT_EQ(b.Handle, nullptr); // nothing decoded for the second entry
    EXPECT_NE(pictures.Picture(c, 32), picture);
    EXPECT_NE(pictures.Picture(a, 16), picture);
    TIconImage broken;
    broken.Data = std::vector<uint8_t>(40, 0xEE);
    broken.BytesInRes = 40;
    EXPECT_EQ(pictures.Picture(broken, 32), nullptr);
}

// The picture of an entry at a size: an .ico file's best image for it, a
// group's display image, both scaled; a group that is gone is left out.
TEST(EntryPicture, PicturesOfIcoFilesAndGroups)
{
    TempDir dir;
    const auto solid = [](int size, uint32_t rgb) {
        return MakeDib(size, size, 24, {}, std::vector<uint32_t>(static_cast<size_t>(size) * size, rgb));
    };
    WriteBytes(dir / "two.ico", MakeIco({solid(16, 0x112233), solid(48, 0x445566)}));
    const auto image = solid(32, 0x778899);
    const auto group = MakeIconGroup({image}, {1}, {{32, 32, 0, 0, 1, 24}});
    const std::string module = BuildModule(dir, "one.dll", {{"5", 14, group}, {"1", 3, image}}).string();

    const struct {
        std::string file, group;
        int size;
        TEntryShown shown;
        uint32_t pixel; // the picture's top left pixel
    } cases[] = {
        {(dir / "two.ico").string(), "", 32, TEntryShown::Picture, 0xFF445566}, // 48 scaled down
        {(dir / "two.ico").string(), "", 16, TEntryShown::Picture, 0xFF112233},
        {module, "5", 32, TEntryShown::Picture, 0xFF778899},
        {module, "5", 64, TEntryShown::Picture, 0xFF778899},
        {module, "6", 32, TEntryShown::Missing, 0},
        {(dir / "gone.ico").string(), "", 32, TEntryShown::Blank, 0},
    };
    TCatalogue catalogue;
    TPagePictures pictures;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file + " " + c.group + " " + std::to_string(c.size));
        IconObject picture;
        ASSERT_EQ(EntryPicture(catalogue, TIconItem{c.file, c.group}, c.size, pictures, picture), c.shown);
        if (c.shown != TEntryShown::Picture)
            continue;
        EXPECT_EQ(picture.Width, c.size);
        EXPECT_EQ(picture.Height, c.size);
        EXPECT_EQ(picture.Color[0], c.pixel);
    }
    // A page of these entries, made by one thread and by several: the same
    // entries in page order, each with its picture, the missing group left
    // out.
    for (int round = 0; round < 5; ++round)
        for (const auto &c : cases)
            catalogue.IconItems.push_back(std::make_unique<TIconItem>(TIconItem{c.file, c.group}));
    std::vector<int> positions(catalogue.IconItems.size());
    std::iota(positions.begin(), positions.end(), 0);
    std::vector<std::pair<int, uint32_t>> pages[2];
    for (const int threads : {1, 3}) {
        PageThreads = threads;
        ForEachPageEntry(catalogue, positions, 32, [&](int P, const TIconItem &, const IconObject *picture) {
            pages[threads > 1].emplace_back(P, picture ? picture->Color[0] : 0);
        });
    }
    PageThreads = 0;
    EXPECT_EQ(pages[0].size(), 25u);
    EXPECT_EQ(pages[1], pages[0]);
    EXPECT_EQ(pages[1][2], std::make_pair(2, 0xFF778899u));
}

// A page reads only the image it shows of a module's group: its picture is
// the one the whole group loaded gives, for every group of Wine's modules.
TEST(EntryPicture, TheShownImageAloneGivesTheWholeGroupsPicture)
{
    const std::string wine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
    if (!std::filesystem::exists(wine + "/shell32.dll"))
        GTEST_SKIP() << "no Wine modules (Debian's libwine)";
    TCatalogue catalogue;
    catalogue.ResetCatalogue(ftAll);
    catalogue.ScanFolder(wine);
    catalogue.EndRun();
    ASSERT_GT(catalogue.IconCount(), 200);
    for (const auto &entry : catalogue.IconItems) {
        SCOPED_TRACE(entry->FileName + " " + entry->GroupName);
        TPagePictures pictures, whole;
        IconObject shown;
        ASSERT_EQ(EntryPicture(catalogue, *entry, 32, pictures, shown), TEntryShown::Picture);
        ASSERT_TRUE(catalogue.LoadIconGroup(*entry));
        TIconImage *image =
            catalogue.CurrentIcon.Images.GetItem(static_cast<uint16_t>(ChooseDisplayImage(catalogue.CurrentIcon, 32)));
        const IconObject *expected = whole.Picture(*image, 32);
        ASSERT_NE(expected, nullptr);
        EXPECT_TRUE(shown.Color == expected->Color && shown.Mask == expected->Mask);
    }
}

TEST(EntryDescription, FileGroupLanguageAndImages)
{
    TempDir dir;
    const auto dib = [](int size, int bits) {
        return MakeDib(size, size, bits, {}, std::vector<uint32_t>(static_cast<size_t>(size) * size, 0x336699));
    };
    WriteBytes(dir / "two.ico", MakeIco({dib(16, 24), dib(48, 32)}));
    const auto image = dib(32, 24);
    const auto group = MakeIconGroup({image}, {1}, {{32, 32, 0, 0, 1, 24}});
    // The module's resources are neutral; one group is German.
    const std::string module =
        BuildModule(dir, "one.dll", {{"5", 14, group}, {"LANGUAGE 7, 1\nMAIN", 14, group}, {"1", 3, image}}).string();
    const struct {
        std::string file, group, text;
    } cases[] = {
        {(dir / "two.ico").string(), "",
         "File: " + (dir / "two.ico").string() + "\nImages: 16\u00D716 (24 bit), 48\u00D748 (32 bit)"},
        {module, "5", "File: " + module + "\nGroup: 5\nLanguage: Neutral (0x0000)\nImages: 32\u00D732 (24 bit)"},
        {module, "MAIN", "File: " + module + "\nGroup: MAIN\nLanguage: German (0x0407)\nImages: 32\u00D732 (24 bit)"},
        {module, "6", "File: " + module + "\nGroup: 6\nImages: none (no icon group 6)"},
        {Asset("ico_png256.ico").string(), "",
         "File: " + Asset("ico_png256.ico").string() + "\nImages: 256\u00D7256 (PNG)"},
    };
    TCatalogue catalogue;
    for (const auto &c : cases)
        EXPECT_EQ(EntryDescription(catalogue, TIconItem{c.file, c.group}), c.text);
}

// The language named for a group is the one wrestool lists for it: the
// neutral one where there is one, else the first.
TEST(EntryDescription, LanguagesAgreeWithWrestool)
{
    namespace fs = std::filesystem;
    const fs::path corpus = fs::path(VEXILLO_CORPUS_DIR) / "pe";
    if (!fs::exists(corpus))
        GTEST_SKIP() << "no corpus at " << corpus;
    int compared = 0;
    for (const auto &file : fs::directory_iterator(corpus)) {
        std::string listing;
        vexillo::test::Run("wrestool -l --type=14 '" + file.path().string() + "' 2>/dev/null", &listing);
        std::map<std::string, int> expected;
        for (size_t at = 0; (at = listing.find("--name=", at)) != std::string::npos;) {
            const size_t end = listing.find(" --language=", at);
            std::string name = listing.substr(at + 7, end - at - 7);
            if (name.size() >= 2 && name.front() == '\'')
                name = name.substr(1, name.size() - 2);
            const int language = std::stoi(listing.substr(end + 12));
            if (!expected.count(name) || language == 0)
                expected[name] = language;
            at = end;
        }
        TCatalogue catalogue;
        catalogue.ResetCatalogue();
        catalogue.ScanFile(file.path().string());
        catalogue.EndRun();
        for (const auto &item : catalogue.IconItems) {
            const std::string text = EntryDescription(catalogue, *item);
            if (!expected.count(item->GroupName) || text.find("Images: none") != std::string::npos)
                continue;
            SCOPED_TRACE(text);
            EXPECT_NE(text.find("Language: " + LanguageText(expected[item->GroupName]) + "\n"), std::string::npos);
            ++compared;
        }
    }
    EXPECT_GE(compared, 5);
}

TEST(SavedFileName, IconsAndImagesByNumber)
{
    EXPECT_EQ(SavedFileName("/out/", "12", 0, ".ico"), "/out/12.ico");
    EXPECT_EQ(SavedFileName("/out/", "12", 3, ".png"), "/out/12-3.png");
    EXPECT_EQ(SavedFileName("/out/", "", 3, ".bmp"), "/out/3.bmp");
}

// The preview's saves and copies take only an image the icon holds; a
// save's error becomes the one message the window shows.
TEST(PreviewImage, OnlyImagesTheIconHoldsAndOneMessageAnError)
{
    const auto icon = IconOf({{16, 4}, {48, 8}, {48, 32}, {32, 32}});
    EXPECT_EQ(ImageToCopy(*icon, false, -1), icon->Images.GetItem(2));
    EXPECT_EQ(ImageToCopy(*icon, true, 4), nullptr);
    EXPECT_EQ(ImageToCopy(TAdvancedIcon(), false, -1), nullptr);
    TSaveTarget target;
    EXPECT_FALSE(SaveOneImage(*icon, -1, TImageFile::Icon, "/nonexistent/", target));
    std::string message;
    EXPECT_FALSE(RunSaveSteps([] { throw std::bad_alloc(); }, message));
    EXPECT_EQ(message, "Error Message: \n\nout of memory");
}

TEST(PageRange, PagesOfEighty)
{
    EXPECT_EQ(PageRange(1, 81, 80).First, 0);
    EXPECT_EQ(PageRange(1, 81, 80).End, 80);
    EXPECT_EQ(PageRange(2, 81, 80).First, 80);
    EXPECT_EQ(PageRange(2, 81, 80).End, 81);
    EXPECT_EQ(PageRange(1, 5, 80).End, 5);
}

// The picture of an .ico entry: the image nearest the standard size, 32 by
// 32, the richest of equals.
TEST(ExtractIcon, PicksTheImageForTheStandardSize)
{
    TempDir dir;
    auto solid = [](int size, int bits, uint32_t colour) {
        std::vector<uint32_t> palette;
        if (bits <= 8)
            palette = {0, colour};
        std::vector<uint32_t> pixels(static_cast<size_t>(size) * size, bits <= 8 ? 1u : (colour | 0xFF000000u));
        return MakeDib(size, size, bits, palette, pixels);
    };
    struct Case {
        std::vector<std::vector<uint8_t>> images;
        uint32_t expected; // the colour of the chosen image
    };
    const std::vector<Case> cases = {
        {{solid(16, 24, 0x0000FF), solid(32, 4, 0x00FF00), solid(32, 24, 0xFF0000)}, 0xFF0000},
        {{solid(16, 24, 0x0000FF), solid(48, 24, 0x00FF00)}, 0x00FF00}, // 16 and 48 equally near: the larger
        {{solid(24, 24, 0x0000FF), solid(48, 24, 0x00FF00)}, 0x0000FF}, // the nearer
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto path = dir / ("c" + std::to_string(i) + ".ico");
        WriteBytes(path, MakeIco(cases[i].images));
        const UniqueIcon icon(ExtractIconA(path.string(), 0));
        ASSERT_NE(icon, nullptr) << i;
        EXPECT_EQ(icon->Width, 32);
        EXPECT_EQ(icon->Height, 32);
        EXPECT_EQ(icon->Color[0] & 0xFFFFFF, cases[i].expected) << i;
    }
    WriteBytes(dir / "empty.ico", {0, 0, 1, 0, 0, 0});
    EXPECT_EQ(ExtractIconA((dir / "empty.ico").string(), 0), nullptr);
    EXPECT_EQ(ExtractIconA((dir / "missing.ico").string(), 0), nullptr);
}

namespace {

// Recent files over a made-up set of existing files.
struct FakeDisk {
    std::set<std::string> files;
    TRecentFiles::ExistsFunction exists() const
    {
        return [this](const std::string &path) { return files.count(path) > 0; };
    }
};

std::vector<std::string> ShownCaptions(const TRecentFiles &recent)
{
    std::vector<std::string> captions;
    for (const TReopenItem &item : recent.ReopenMenu())
        if (item.Visible)
            captions.push_back(item.Caption);
    return captions;
}

} // namespace

TEST(RecentFiles, NewestFirstInTheMenuOldestFirstInTheList)
{
    FakeDisk disk{{"a", "b", "c", "/x/APP.EXE", "/x/app.exe"}};
    TRecentFiles recent(disk.exists());
    for (const char *path : {"a", "b", "c"})
        recent.AddRecentFile(path);
    EXPECT_EQ(ShownCaptions(recent), (std::vector<std::string>{"1. c", "2. b", "3. a"}));
    recent.AddRecentFile("a");
    EXPECT_EQ(ShownCaptions(recent), (std::vector<std::string>{"1. a", "2. c", "3. b"}));
    EXPECT_EQ(recent.Items(), (std::vector<std::string>{"b", "c", "a"}));

    // Paths compare exactly: two spellings are two files.
    recent.AddRecentFile("/x/app.exe");
    recent.AddRecentFile("/x/APP.EXE");
    EXPECT_EQ(recent.Items().size(), 5u);
    // A path with no file is never added.
    recent.AddRecentFile("gone");
    EXPECT_EQ(recent.Items().size(), 5u);
}

TEST(RecentFiles, VanishedFilesLeaveTheirPositionHidden)
{
    FakeDisk disk{{"a", "b", "c"}};
    TRecentFiles recent(disk.exists());
    for (const char *path : {"a", "b", "c"})
        recent.AddRecentFile(path);
    disk.files.erase("b");
    const auto menu = recent.ReopenMenu();
    EXPECT_TRUE(menu[0].Visible);
    EXPECT_FALSE(menu[1].Visible);
    EXPECT_TRUE(menu[2].Visible);
    EXPECT_EQ(menu[2].Caption, "2. a");
    EXPECT_EQ(menu[2].Hint, "a");
}

TEST(RecentFiles, OnlyTheNewestTenAreShownAndAnEmptyListShowsThePlaceholder)
{
    FakeDisk disk;
    TRecentFiles recent(disk.exists());
    auto menu = recent.ReopenMenu();
    EXPECT_TRUE(menu[0].Visible);
    EXPECT_FALSE(menu[0].Enabled);
    EXPECT_EQ(menu[0].Caption, "< None file >");
    for (int i = 1; i < kReopenItemCount; ++i)
        EXPECT_FALSE(menu[i].Visible);

    for (int i = 1; i <= 12; ++i) {
        disk.files.insert("f" + std::to_string(i));
        recent.AddRecentFile("f" + std::to_string(i));
    }
    const auto captions = ShownCaptions(recent);
    ASSERT_EQ(captions.size(), 10u);
    EXPECT_EQ(captions.front(), "1. f12");
    EXPECT_EQ(captions.back(), "10. f3");
    EXPECT_EQ(recent.Items().size(), 12u);
}
