// Reading and writing ICO files: the icon model, its image list and the
// normalisation of directory fields, against files written by ImageMagick,
// icoutils and other projects, and against hostile files.
#include "icons/advancedicon.h"
#include "icons/icontools.h"
#include "platform/iconobject.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <functional>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Slice(const std::vector<uint8_t> &bytes, uint32_t offset, uint32_t size)
{
    return {bytes.begin() + offset, bytes.begin() + offset + size};
}

std::vector<uint8_t> SaveToBytes(const TAdvancedIcon &icon)
{
    TMemoryStream stream;
    icon.SaveToStream(stream);
    return stream.Bytes();
}

// Every ICO file the tests have that is made by another program.
std::vector<fs::path> ForeignIcoFiles()
{
    std::vector<fs::path> files;
    for (const char *name : {"im_multi32.ico", "im_png256.ico", "ico_1bit.ico", "ico_mono.ico", "ico_4bit.ico",
                             "ico_8bit.ico", "ico_24bit.ico", "ico_32bit.ico", "ico_png256.ico", "ico_mixed.ico"})
        files.push_back(Asset(name));
    for (const auto &file : CorpusFiles("ico"))
        files.push_back(file);
    return files;
}

} // namespace

// Reading a file and writing it back keeps the header, the entry order and
// every image's bytes; the data is packed from 6 + 16 * N and the directory
// carries the normalised fields.
TEST(AdvancedIconRoundTrip, ForeignFilesKeepEveryImageByteForByte)
{
    int roundTripped = 0;
    for (const fs::path &file : ForeignIcoFiles()) {
        SCOPED_TRACE(file.string());
        const auto original = ReadBytes(file);
        const ParsedIco in = ParseIco(original);
        TAdvancedIcon icon;
        const bool loaded = icon.LoadFromFile(file.string());
        if (!loaded || icon.Images.Count == 0)
            continue;

        const auto written = SaveToBytes(icon);
        const ParsedIco out = ParseIco(written);
        EXPECT_EQ(out.reserved, 0);
        EXPECT_EQ(out.type, 1);
        ASSERT_EQ(out.count, icon.Images.Count);
        uint32_t expectedOffset = 6 + 16u * out.count;
        for (uint16_t i = 0; i < out.count; ++i) {
            const TIconImage *image = icon.Images.GetItem(i);
            const ParsedEntry &o = out.entries[i];
            const ParsedEntry &orig = in.entries[i];
            EXPECT_EQ(o.offset, expectedOffset);
            EXPECT_EQ(o.size, orig.size);
            EXPECT_EQ(Slice(written, o.offset, o.size), Slice(original, orig.offset, orig.size));
            EXPECT_EQ(o.colors, orig.colors);
            EXPECT_EQ(o.reserved, orig.reserved);
            EXPECT_EQ(o.planes, orig.planes);
            EXPECT_EQ(o.width, image->Width);
            EXPECT_EQ(o.height, image->Height);
            EXPECT_EQ(o.bitCount, image->BitCount);
            expectedOffset += o.size;
        }
        EXPECT_EQ(written.size(), expectedOffset);

        // What was written reads back to the same images.
        TAdvancedIcon again;
        TByteViewStream stream(ByteView(written.data(), written.size()));
        ASSERT_TRUE(again.LoadFromStream(stream));
        EXPECT_EQ(SaveToBytes(again), written);
        ++roundTripped;
    }
    EXPECT_GE(roundTripped, 10);
}

// The sizes and depths the directory reports come from the images, as
// icotool reads them from the same files.
TEST(AdvancedIconRoundTrip, NormalisedFieldsMatchWhatIcotoolSees)
{
    struct Expected {
        const char *file;
        std::vector<std::pair<int, int>> sizeAndBits;
    };
    const std::vector<Expected> table = {
        {"im_multi32.ico", {{48, 32}, {32, 32}, {16, 32}}},
        {"im_png256.ico", {{0, 32}, {48, 32}}},
        {"ico_1bit.ico", {{32, 1}}},
        {"ico_4bit.ico", {{32, 4}}},
        {"ico_8bit.ico", {{32, 8}}},
        {"ico_24bit.ico", {{32, 24}}},
        {"ico_png256.ico", {{0, 32}}},
        {"ico_mixed.ico", {{48, 32}, {32, 8}, {16, 8}, {0, 32}}},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.file);
        TAdvancedIcon icon;
        ASSERT_TRUE(icon.LoadFromFile(Asset(row.file).string()));
        ASSERT_EQ(icon.Images.Count, row.sizeAndBits.size());
        for (uint16_t i = 0; i < icon.Images.Count; ++i) {
            const TIconImage *image = icon.Images.GetItem(i);
            EXPECT_EQ(image->Width, row.sizeAndBits[i].first);
            EXPECT_EQ(image->Height, row.sizeAndBits[i].first);
            EXPECT_EQ(image->BitCount, row.sizeAndBits[i].second);
        }
    }
}

TEST(AdvancedIconLoad, EmptyIconLoadsAndWritesNoFile)
{
    TempDir dir;
    WriteBytes(dir / "empty.ico", {0, 0, 1, 0, 0, 0});
    TAdvancedIcon icon;
    EXPECT_TRUE(icon.LoadFromFile((dir / "empty.ico").string()));
    EXPECT_EQ(icon.Images.Count, 0);

    icon.SaveToFile((dir / "new.ico").string());
    EXPECT_FALSE(fs::exists(dir / "new.ico"));
    WriteBytes(dir / "kept.ico", {1, 2, 3});
    icon.SaveToFile((dir / "kept.ico").string());
    EXPECT_EQ(ReadBytes(dir / "kept.ico"), (std::vector<uint8_t>{1, 2, 3}));
}

// Anything but (0, 1, N) is refused, and the list is emptied first in every
// case, also when the file is missing.
TEST(AdvancedIconLoad, RefusesWhatIsNotAnIconAndEmptiesTheListFirst)
{
    TempDir dir;
    const auto goodIco = MakeIco({SolidDib(16)});
    auto cursor = goodIco;
    cursor[2] = 2;
    auto reservedSet = goodIco;
    reservedSet[0] = 1;
    WriteBytes(dir / "good.ico", goodIco);
    WriteBytes(dir / "cursor.cur", cursor);
    WriteBytes(dir / "reserved.ico", reservedSet);
    WriteBytes(dir / "short.ico", {0, 0, 1});
    WriteBytes(dir / "bitmap.bmp", {'B', 'M', 0, 0, 0, 0, 0, 0});
    ::mkfifo((dir / "fifo.ico").c_str(), 0600);

    const std::pair<const char *, const char *> cases[] = {
        {"cursor.cur", "not an icon file (a cursor)"},
        {"reserved.ico", "not an icon file (header 1, 1)"},
        {"short.ico", "truncated at offset 3 (the icon header is cut short)"},
        {"bitmap.bmp", "not an icon file (header 19778, 0)"},
        {"missing.ico", "cannot open the file: No such file or directory"},
        {"fifo.ico", "not a regular file"},
    };
    for (const auto &[name, reason] : cases) {
        SCOPED_TRACE(name);
        TAdvancedIcon icon;
        ASSERT_TRUE(icon.LoadFromFile((dir / "good.ico").string()));
        ASSERT_EQ(icon.Images.Count, 1);
        EXPECT_FALSE(icon.LastError());
        EXPECT_FALSE(icon.LoadFromFile((dir / name).string()));
        EXPECT_EQ(icon.LastError().Text(), reason);
        EXPECT_EQ(icon.Images.Count, 0);
        EXPECT_EQ(icon.Images.Capacity, 0);
    }
}

// The directory says one thing, the image's header another: the header wins
// for width, height and bit count, each side its own (a side of 256 or more
// is 0); the rest of the entry is kept as read.
TEST(AdvancedIconLoad, DirectoryFieldsAreNormalisedFromTheImage)
{
    struct Case {
        int width, rows, bitCount; // as the bitmap header says (rows = colour + mask)
        int expectedWidth, expectedHeight;
    };
    const std::vector<Case> cases = {{32, 64, 24, 32, 32}, {16, 64, 24, 16, 32}, {48, 32, 8, 48, 16},
                                     {256, 512, 32, 0, 0}, {76, 48, 32, 76, 24}, {194, 626, 4, 194, 0},
                                     {32, -64, 8, 32, 32}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.width);
        auto dib = SolidDib(8, 24);
        for (int k = 0; k < 4; ++k) {
            dib[4 + k] = static_cast<uint8_t>(c.width >> (8 * k));
            dib[8 + k] = static_cast<uint8_t>(c.rows >> (8 * k));
        }
        dib[14] = static_cast<uint8_t>(c.bitCount);
        EntryFields fields{16, 16, 7, 9, 3, 4};
        const auto file = MakeIco({dib}, {fields});
        TAdvancedIcon icon;
        TByteViewStream stream(ByteView(file.data(), file.size()));
        ASSERT_TRUE(icon.LoadFromStream(stream));
        const TIconImage *image = icon.Images.GetItem(0);
        EXPECT_EQ(image->Width, c.expectedWidth);
        EXPECT_EQ(image->Height, c.expectedHeight);
        EXPECT_EQ(image->BitCount, c.bitCount);

        const ParsedIco out = ParseIco(SaveToBytes(icon));
        EXPECT_EQ(out.entries[0].width, c.expectedWidth);
        EXPECT_EQ(out.entries[0].height, c.expectedHeight);
        EXPECT_EQ(out.entries[0].bitCount, c.bitCount);
        EXPECT_EQ(out.entries[0].colors, 7);
        EXPECT_EQ(out.entries[0].reserved, 9);
        EXPECT_EQ(out.entries[0].planes, 3);
    }
}

TEST(AdvancedIconLoad, A256PixelBitmapReadsZeroAndDrawsAt256)
{
    const auto file = MakeIco({SolidDib(256, 32)});
    TAdvancedIcon icon;
    TByteViewStream stream(ByteView(file.data(), file.size()));
    ASSERT_TRUE(icon.LoadFromStream(stream));
    TIconImage *image = icon.Images.GetItem(0);
    EXPECT_EQ(image->Width, 0);
    EXPECT_EQ(image->Height, 0);
    auto graphic = image->CreateGraphic();
    EXPECT_EQ(graphic->GetWidth(), 256);
    EXPECT_EQ(graphic->GetHeight(), 256);
}

// A PNG image's size comes from its own header, not from bytes that would be
// a bitmap header's; its depth is the directory's where that is a depth (a
// PNG of few colours is often stored as grey and alpha or as a palette),
// else the depth its colour type draws at.
TEST(AdvancedIconLoad, PngImagesTakeSizeAndDepthFromTheirHeader)
{
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(Asset("ico_mixed.ico").string()));
    TIconImage *png = icon.Images.GetItem(3);
    ASSERT_TRUE(IsPngStream(ByteView(png->Data.data(), png->Data.size())));
    EXPECT_EQ(png->Width, 0);
    EXPECT_EQ(png->BitCount, 32);
    auto graphic = png->CreateGraphic();
    EXPECT_EQ(graphic->GetWidth(), 256);

    struct Row {
        uint8_t colorType, depth;
        uint16_t directoryBits, expectedBits;
    };
    const Row rows[] = {{4, 8, 32, 32}, {4, 8, 0, 32}, {3, 8, 32, 32}, {3, 4, 0, 4},
                        {0, 1, 32, 32}, {2, 8, 0, 24}, {6, 16, 0, 32}, {4, 8, 7, 32}};
    const std::vector<uint8_t> stored(png->Data.data(), png->Data.data() + png->Data.size());
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << int{row.colorType} << "/" << int{row.depth} << "/" << row.directoryBits);
        std::vector<uint8_t> bytes = stored;
        bytes[24] = row.depth;
        bytes[25] = row.colorType;
        const auto file = MakeIco({bytes}, {EntryFields{0, 0, 0, 0, 1, row.directoryBits}});
        TAdvancedIcon one;
        TByteViewStream stream(ByteView(file.data(), file.size()));
        ASSERT_TRUE(one.LoadFromStream(stream));
        EXPECT_EQ(one.Images.GetItem(0)->BitCount, row.expectedBits);
        EXPECT_EQ(ParseIco(SaveToBytes(one)).entries[0].bitCount, row.expectedBits);
    }
}

TEST(AdvancedIconLoad, AFailingEntryKeepsTheImagesReadBefore)
{
    std::vector<std::vector<uint8_t>> images;
    for (int i = 0; i < 5; ++i)
        images.push_back(SolidDib(16 + 8 * i));
    auto file = MakeIco(images);
    // The third entry claims more bytes than the file holds.
    const size_t sizeField = 6 + 16 * 2 + 8;
    file[sizeField + 3] = 0x7F;
    TAdvancedIcon icon;
    TByteViewStream stream(ByteView(file.data(), file.size()));
    EXPECT_FALSE(icon.LoadFromStream(stream));
    ASSERT_EQ(icon.Images.Count, 2);
    EXPECT_EQ(icon.Images.GetItem(0)->Width, 16);
    EXPECT_EQ(icon.Images.GetItem(1)->Width, 24);
    EXPECT_NE(icon.Images.GetItem(1)->GetHandle(), nullptr);
}

// Truncated files, absurd counts and sizes, offsets past the end and tiny
// images all end the load with false, keeping what was read before.
TEST(AdvancedIconLoad, HostileFilesFailCleanly)
{
    const auto good = MakeIco({SolidDib(16), SolidDib(32)});
    for (size_t length = 0; length < good.size(); ++length) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + length);
        TAdvancedIcon icon;
        TByteViewStream stream(ByteView(cut.data(), cut.size()));
        EXPECT_FALSE(icon.LoadFromStream(stream)) << length;
        EXPECT_LE(icon.Images.Count, 1) << length;
    }

    struct Case {
        const char *label;
        std::function<void(std::vector<uint8_t> &)> change;
        uint16_t imagesRead;
        std::string reason;
    };
    const std::string size = std::to_string(good.size());
    const Case cases[] = {
        // 4 GB of data claimed by a small file: refused before any allocation.
        {"HugeSize", [](auto &f) { f[6 + 8] = f[6 + 9] = f[6 + 10] = f[6 + 11] = 0xFF; }, 0,
         "truncated at offset " + size + " (image 0: 4294967295 bytes at 38)"},
        // Offset past the end, and offset + size wrapping around 32 bits.
        {"OffsetPastTheEnd", [](auto &f) { f[22 + 12 + 3] = 0xFF; }, 1,
         "truncated at offset " + size + " (image 1: 3240 bytes at 4278190990)"},
        {"OffsetWraps", [](auto &f) { f[6 + 12] = f[6 + 13] = f[6 + 14] = f[6 + 15] = 0xFF; }, 0,
         "truncated at offset " + size + " (image 0: 872 bytes at 4294967295)"},
        // The third entry is read from the first image's bytes.
        {"MoreEntriesThanPresent", [](auto &f) { f[4] = f[5] = 0xFF; }, 2,
         "truncated at offset " + size + " (image 2: 32 bytes at 1572865)"},
        {"PngWithoutHeader", [](auto &f) { std::copy(kPngSignature, kPngSignature + 8, f.begin() + 38); }, 0,
         "the image does not decode (image 0 has no readable bitmap or PNG header)"},
        // Each entry names nearly the whole file: twice the bytes it holds.
        {"OverlappingEntries",
         [](auto &f) {
             for (size_t entry = 0; entry < 2; ++entry)
                 for (int k = 0; k < 4; ++k) {
                     f[6 + 16 * entry + 8 + k] = static_cast<uint8_t>((f.size() - 6 - entry) >> (8 * k));
                     f[6 + 16 * entry + 12 + k] = static_cast<uint8_t>((6 + entry) >> (8 * k));
                 }
         },
         1,
         "limit exceeded: image bytes of overlapping entries (" + std::to_string(2 * good.size() - 13) +
             " bytes, at most " + size + ")"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        auto file = good;
        c.change(file);
        TAdvancedIcon icon;
        TByteViewStream stream(ByteView(file.data(), file.size()));
        EXPECT_FALSE(icon.LoadFromStream(stream));
        EXPECT_EQ(icon.Images.Count, c.imagesRead);
        EXPECT_EQ(icon.LastError().Text(), c.reason);
    }
    // Image data of 0 to 15 bytes fails its entry.
    for (uint8_t tiny = 0; tiny < kMinImageDataSize; ++tiny) {
        auto file = good;
        file[22 + 8] = tiny;
        file[22 + 9] = 0;
        TAdvancedIcon icon;
        TByteViewStream stream(ByteView(file.data(), file.size()));
        EXPECT_FALSE(icon.LoadFromStream(stream));
        EXPECT_EQ(icon.Images.Count, 1);
        EXPECT_EQ(icon.LastError().Text(),
                  "the image does not decode (image 1 holds " + std::to_string(tiny) + " bytes)");
    }
}

// The files other projects keep as broken or odd cases: each load ends one
// way or the other, and every image that was read can be drawn and written.
TEST(AdvancedIconLoad, CorpusFilesLoadOrFailWithoutHarm)
{
    const auto files = CorpusFiles("ico");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    for (const fs::path &file : files) {
        SCOPED_TRACE(file.string());
        TAdvancedIcon icon;
        icon.LoadFromFile(file.string());
        for (uint16_t i = 0; i < icon.Images.Count; ++i) {
            auto graphic = icon.Images.GetItem(i)->CreateGraphic();
            GdiBitmap surface(64, 64, 0xFFFFFFFFu);
            TCanvas canvas(&surface);
            canvas.Draw(0, 0, *graphic);
        }
        SaveToBytes(icon);
    }
}

TEST(AdvancedIconSave, OneImageFileHoldsOnlyThatImage)
{
    TempDir dir;
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(Asset("ico_mixed.ico").string()));
    for (int k = 0; k < icon.Images.Count; ++k) {
        const std::string name = (dir / ("image" + std::to_string(k) + ".ico")).string();
        icon.SaveImageToFile(name, k);
        const auto bytes = ReadBytes(name);
        const TIconImage *image = icon.Images.GetItem(static_cast<uint16_t>(k));
        ASSERT_EQ(bytes.size(), 22 + image->BytesInRes);
        const ParsedIco out = ParseIco(bytes);
        EXPECT_EQ(out.count, 1);
        EXPECT_EQ(out.entries[0].offset, 22u);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 22, bytes.end()), image->Data);
    }
    // The icon still holds every image, each still drawable.
    ASSERT_EQ(icon.Images.Count, 4);
    for (uint16_t i = 0; i < 4; ++i)
        EXPECT_NE(icon.Images.GetItem(i)->GetHandle(), nullptr);
}

TEST(AdvancedIconSave, ReplacesAnExistingFileAndKeepsItsPermissions)
{
    TempDir dir;
    const fs::path target = dir / "out.ico";
    WriteBytes(target, std::vector<uint8_t>(5000, 0xAB));
    ::chmod(target.c_str(), 0640);
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(Asset("ico_4bit.ico").string()));
    icon.SaveToFile(target.string());
    EXPECT_EQ(ReadBytes(target), SaveToBytes(icon));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(AdvancedIconSave, ErrorsCarryTheProgramsTexts)
{
    TempDir dir;
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(Asset("ico_4bit.ico").string()));
    const std::string missing = (dir / "no such folder" / "1.ico").string();
    try {
        icon.SaveToFile(missing);
        FAIL() << "no error";
    } catch (const EFCreateError &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + missing + "\". No such file or directory");
    }
    fs::create_directory(dir / "folder.ico");
    EXPECT_THROW(icon.SaveImageToFile((dir / "folder.ico").string(), 0), EFCreateError);
    EXPECT_TRUE(fs::is_directory(dir / "folder.ico"));

    // A stream that takes no bytes gives the write error.
    class FullStream : public TMemoryStream {
    public:
        uint64_t Write(const void *, uint64_t) override { return 0; }
    } full;
    try {
        icon.SaveToStream(full);
        FAIL() << "no error";
    } catch (const EWriteError &e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
}

// An image that claims more bytes than it holds (as module images can) is
// drawn, copied and written from the bytes it has, and the written file
// stays readable.
TEST(AdvancedIconSave, ImagesShorterThanTheirSizeFieldAreClipped)
{
    TAdvancedIcon icon;
    auto image = std::make_unique<TResourceIconImage>();
    image->Data = SolidDib(16);
    image->BytesInRes = static_cast<uint32_t>(image->Data.size()) + 4096;
    image->Planes = 1;
    ASSERT_TRUE(image->UpdateEntry());
    ASSERT_TRUE(icon.Images.Add(std::move(image)));
    EXPECT_NE(icon.Images.GetItem(0)->GetHandle(), nullptr);

    TAdvancedIcon copy;
    copy.Assign(icon);
    ASSERT_EQ(copy.Images.Count, 1);
    EXPECT_EQ(copy.Images.GetItem(0)->Data, icon.Images.GetItem(0)->Data);

    const auto written = SaveToBytes(icon);
    EXPECT_EQ(written.size(), 22 + icon.Images.GetItem(0)->Data.size());
    TAdvancedIcon again;
    TByteViewStream stream(ByteView(written.data(), written.size()));
    EXPECT_TRUE(again.LoadFromStream(stream));
}

TEST(AdvancedIconAssign, CopiesAreDeepAndOutliveTheSource)
{
    TAdvancedIcon copy;
    std::vector<uint8_t> expected;
    {
        TAdvancedIcon source;
        ASSERT_TRUE(source.LoadFromFile(Asset("im_multi32.ico").string()));
        ASSERT_NE(source.Images.GetItem(1)->GetHandle(), nullptr);
        copy.Assign(source);
        expected = SaveToBytes(source);
        EXPECT_NE(copy.Images.GetItem(1)->Handle, source.Images.GetItem(1)->Handle);
    }
    EXPECT_EQ(SaveToBytes(copy), expected);
    for (uint16_t i = 0; i < copy.Images.Count; ++i) {
        auto graphic = copy.Images.GetItem(i)->CreateGraphic();
        EXPECT_EQ(graphic->GetWidth(), copy.Images.GetItem(i)->Width);
    }
}

namespace {

// An image that records the order in which images are destroyed.
class TracedImage : public TIconImage {
public:
    TracedImage(int id, std::vector<int> &log) : id_(id), log_(log) {}
    ~TracedImage() override { log_.push_back(id_); }

private:
    int id_;
    std::vector<int> &log_;
};

} // namespace

TEST(IconImageList, GrowsOneSlotAtATimeAndDestroysLastFirst)
{
    std::vector<int> destroyed;
    TIconImageList list;
    EXPECT_EQ(list.GetItem(0), nullptr);
    list.Clear();
    list.SetCapacity(2);
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(list.Add(std::make_unique<TracedImage>(i, destroyed)));
    EXPECT_EQ(list.Count, 4);
    EXPECT_EQ(list.Capacity, 4);
    EXPECT_EQ(list.GetItem(4), nullptr);
    list.SetCapacity(1); // never below Count
    EXPECT_EQ(list.Capacity, 4);
    EXPECT_NE(list.GetItem(3), nullptr);
    list.Clear();
    EXPECT_EQ(destroyed, (std::vector<int>{3, 2, 1, 0}));
    EXPECT_EQ(list.Count, 0);
    EXPECT_EQ(list.Capacity, 0);
}

TEST(IconImageList, RefusesA65536thImage)
{
    TIconImageList list;
    list.SetCapacity(TIconImageList::kMaxCount);
    for (uint32_t i = 0; i < TIconImageList::kMaxCount; ++i)
        ASSERT_TRUE(list.Add(std::make_unique<TIconImage>()));
    EXPECT_FALSE(list.Add(std::make_unique<TIconImage>()));
    EXPECT_EQ(list.Count, TIconImageList::kMaxCount);
}

TEST(HiResIcon, ReportsTheStandardSizeUntilItHasAHandle)
{
    THiResIcon empty;
    EXPECT_EQ(empty.GetWidth(), 32);
    EXPECT_EQ(empty.GetHeight(), 32);

    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(Asset("im_multi32.ico").string()));
    auto graphic = icon.Images.GetItem(0)->CreateGraphic();
    EXPECT_EQ(graphic->GetWidth(), 48);
    EXPECT_EQ(graphic->GetHeight(), 48);

    // Drawn at its own size at the rectangle's top-left, whatever the
    // rectangle's other corner says.
    GdiBitmap surface(100, 100, 0xFFFFFFFFu);
    TCanvas canvas(&surface);
    graphic->Draw(canvas, TRect{10, 20, 15, 25});
    int minX = 100, minY = 100, maxX = -1, maxY = -1;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            if (surface.at(x, y) != 0xFFFFFFFFu) {
                minX = std::min(minX, x);
                minY = std::min(minY, y);
                maxX = std::max(maxX, x);
                maxY = std::max(maxY, y);
            }
    EXPECT_GE(minX, 10);
    EXPECT_GE(minY, 20);
    EXPECT_LE(maxX, 10 + 47);
    EXPECT_LE(maxY, 20 + 47);
    EXPECT_GT(maxX - minX, 30);
}

TEST(HiResIcon, AnImageThatDoesNotDecodeDrawsNothing)
{
    auto image = std::make_unique<TIconImage>();
    image->Data = std::vector<uint8_t>(40, 0xEE);
    auto graphic = image->CreateGraphic();
    EXPECT_EQ(graphic->GetHandle(), nullptr);
    EXPECT_EQ(graphic->GetWidth(), 32);
    GdiBitmap surface(8, 8, 0xFFFFFFFFu);
    TCanvas canvas(&surface);
    graphic->Draw(canvas, TRect{0, 0, 8, 8});
    EXPECT_EQ(surface.Pixels, std::vector<uint32_t>(64, 0xFFFFFFFFu));
}
