// Identities and picture keys: SHA-256 against sha256sum, and how keys make
// sets of duplicates and lists of similar pictures.
#include "catalogue/entrysets.h"
#include "catalogue/entryview.h"
#include "catalogue/pages.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace vexillo;
using namespace vexillo::test;

TEST(EntryKeyTest, Sha256MatchesSha256sumFedInPieces)
{
    TempDir dir;
    for (size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 1000u}) {
        std::vector<uint8_t> bytes(length);
        for (size_t i = 0; i < length; ++i)
            bytes[i] = static_cast<uint8_t>(i * 7 + 3);
        WriteBytes(dir.path() / "bytes", bytes);
        std::string expected;
        ASSERT_EQ(test::Run("sha256sum " + Quote((dir.path() / "bytes").string()), &expected), 0);
        // With and without the processor's SHA instructions.
        for (bool extensions : {true, false}) {
            Sha256::UseShaExtensions = extensions;
            Sha256 hash;
            for (size_t at = 0, piece = 1; at < length; at += piece, piece = piece * 5 % 150 + 1)
                hash.Add(bytes.data() + at, std::min(piece, length - at));
            EXPECT_EQ(HexDigest(hash.Finish()), expected.substr(0, 64)) << length << " " << extensions;
        }
        Sha256::UseShaExtensions = true;
    }
}

TEST(EntryKeyTest, SetsAndNearestPictures)
{
    const auto key = [](uint8_t identity, TPictureKey picture,
                        uint8_t flags = TEntryKey::Keyed | TEntryKey::HasPicture) {
        TEntryKey k;
        k.Identity[31] = identity;
        k.PictureKey = picture;
        k.Flags = flags;
        return k;
    };
    // Entries 0, 2 and 4 are one icon; 1 and 5 another; 3 was not read; 6
    // is near by its whole picture, 7 by its content box.
    const std::vector<TEntryKey> keys = {key(7, {0xFF, 0xFF}),    key(1, {0x0F, 0x0F}),  key(7, {0xFF, 0xFF}),
                                         key(7, {0xFF, 0xFF}, 0), key(7, {0xFF, 0xFF}),  key(1, {0x0F, 0x0F}),
                                         key(9, {0xFE, 0}),       key(8, {0xF000, 0xFE})};
    EXPECT_EQ(DuplicateSets(keys), (std::vector<std::vector<int>>{{0, 2, 4}, {1, 5}}));
    EXPECT_EQ(FirstOfSameIdentity(keys), (std::vector<int>{0, 1, 0, 3, 0, 1, 6, 7}));
    std::vector<std::pair<int, int>> near;
    for (const TNearEntry &entry : NearestPictures(keys, {0xFF, 0xFF}, 4))
        near.emplace_back(entry.Position, entry.Distance);
    EXPECT_EQ(near, (std::vector<std::pair<int, int>>{{0, 0}, {2, 0}, {4, 0}, {6, 1}, {7, 1}, {1, 4}, {5, 4}}));
}

// The filter matches path and group name without regard to ASCII case, long
// names too; typing on narrows to what a fresh list of the longer text
// shows.
TEST(EntryKeyTest, FilterMatchesPathsAndGroupNames)
{
    TCatalogue catalogue;
    const std::pair<const char *, std::string> entries[] = {
        {"/Apps/Shell.DLL", "1"},
        {"/Apps/Shell.DLL", "Folder"},
        {"/apps/misc.dll", "GROUP_NAMED_LONGER_THAN_ITS_INDEX_Zeta"},
        {"/apps/misc.dll", "12"},
        {"/x/zeta.ico", ""}};
    for (const auto &[file, group] : entries)
        catalogue.IconItems.push_back(std::make_unique<TIconItem>(TIconItem{file, group}));
    const struct {
        const char *text;
        std::vector<int> shown;
    } cases[] = {{"shell", {0, 1}}, {"FOLD", {1}}, {"zeta", {2, 4}},        {"zet", {2, 4}},
                 {"1", {0, 3}},     {"12", {3}},   {"/apps/", {0, 1, 2, 3}}};
    TEntryView typed;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        TEntryView fresh;
        TEntryFilter filter;
        filter.Text = c.text;
        fresh.Build(catalogue, {}, {}, filter, false, nullptr);
        typed.Build(catalogue, {}, {}, filter, false, nullptr);
        for (TEntryView *view : {&fresh, &typed}) {
            std::vector<int> shown;
            for (int i = 0; i < view->Count(catalogue); ++i)
                shown.push_back(view->At(i));
            EXPECT_EQ(shown, c.shown);
        }
    }
}

// A picture a page made at the key's size keys the entry; one made at
// another size is not taken.
TEST(EntryKeyTest, APagesPictureAtTheKeysSizeKeysTheEntry)
{
    TempDir dir;
    std::vector<uint32_t> pixels(32 * 32);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u % 0xFFFFFFu);
    WriteBytes(dir / "a.ico", MakeIco({MakeDib(32, 32, 24, {}, pixels)}));
    const TIconItem entry{(dir / "a.ico").string(), ""};
    TCatalogue catalogue;
    TPagePictures pictures;
    TEntryKey decoded, made[2];
    ASSERT_TRUE(ComputeEntryKey(catalogue, entry, pictures, decoded));
    for (const int size : {32, 16}) {
        IconObject flat;
        flat.Width = flat.Height = size;
        flat.Color.assign(static_cast<size_t>(size * size), 0xFF808080u);
        flat.Mask.assign(static_cast<size_t>(size * size), 0);
        ASSERT_TRUE(ComputeEntryKey(catalogue, entry, pictures, made[size == 16], &flat));
    }
    EXPECT_NE(made[0].PictureKey, decoded.PictureKey);
    EXPECT_EQ(made[1].PictureKey, decoded.PictureKey);
}
