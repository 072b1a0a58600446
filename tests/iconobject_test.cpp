#include "platform/iconobject.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <climits>
#include <memory>

using namespace vexillo;
using namespace vexillo::test;

namespace {

using Pixels = std::vector<uint32_t>;

using IconPtr = UniqueIcon;

IconPtr Create(const std::vector<uint8_t> &bytes, int cx = 0, int cy = 0)
{
    return IconPtr(CreateIconFromResourceEx(ByteView(bytes.data(), bytes.size()), true, kIconFormatVersion, cx, cy, 0));
}

GdiBitmap Draw(IconObject &icon, int width, int height, uint32_t fill, int x = 0, int y = 0, int cx = 0, int cy = 0)
{
    GdiBitmap surface(width, height, fill);
    EXPECT_TRUE(DrawIconEx(&surface, x, y, &icon, cx, cy, 0, nullptr, DI_NORMAL));
    return surface;
}

// A two-pixel, one-row DIB with any header size and compression; the masks
// go inside a header of 52 bytes or more, after a smaller one.
std::vector<uint8_t> RawDib(uint32_t headerSize, uint16_t bitCount, uint32_t compression, const Pixels &masks,
                            const std::vector<uint8_t> &row)
{
    std::vector<uint8_t> v;
    for (uint32_t field : {headerSize, 2u, 2u})
        PutU32(v, field);
    PutU16(v, 1);
    PutU16(v, bitCount);
    PutU32(v, compression);
    v.resize(headerSize >= 52 ? 40 : headerSize, 0);
    for (uint32_t m : masks)
        PutU32(v, m);
    v.resize(std::max<size_t>(v.size(), headerSize), 0);
    v.insert(v.end(), row.begin(), row.end());
    v.resize(v.size() + 4, 0); // the AND mask
    return v;
}

std::vector<uint8_t> WritePng(int width, int height, uint32_t format, const std::vector<uint8_t> &pixels)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = format;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::vector<uint8_t> png(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr));
    png.resize(size);
    return png;
}

// Every image of the generated ICO files, drawn on white, equals what
// ImageMagick makes of it flattened over white.
class FlattenTest : public testing::TestWithParam<const char *> {};

TEST_P(FlattenTest, DrawnOnWhiteMatchesImageMagick)
{
    const auto path = Asset(GetParam());
    const auto images = IcoImages(ReadBytes(path));
    ASSERT_FALSE(images.empty());
    TempDir dir;
    for (size_t k = 0; k < images.size(); ++k) {
        SCOPED_TRACE("image " + std::to_string(k));
        IconPtr icon = Create(images[k]);
        ASSERT_TRUE(icon);
        const GdiBitmap drawn = Draw(*icon, icon->Width, icon->Height, 0xFFFFFFFF);
        ASSERT_EQ(test::Run("/usr/bin/convert '" + path.string() + "[" + std::to_string(k) +
                            "]' -background white -alpha remove -alpha off -depth 8 rgb:" + (dir / "out").string()),
                  0);
        const auto rgb = ReadBytes(dir / "out");
        ASSERT_EQ(rgb.size(), drawn.Pixels.size() * 3);
        int mismatches = 0;
        for (size_t i = 0; i < rgb.size() && mismatches < 5; ++i) {
            const int ours = (drawn.Pixels[i / 3] >> (16 - 8 * (i % 3))) & 0xFF;
            if (std::abs(ours - rgb[i]) > (icon->AlphaBlend ? 1 : 0) && ++mismatches)
                ADD_FAILURE() << "pixel " << i / 3 << " channel " << i % 3 << ": " << ours << " vs " << int(rgb[i]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Assets, FlattenTest,
                         testing::Values("im_multi32.ico", "im_png256.ico", "ico_1bit.ico", "ico_mono.ico",
                                         "ico_4bit.ico", "ico_8bit.ico", "ico_24bit.ico", "ico_32bit.ico",
                                         "ico_png256.ico", "ico_mixed.ico"));

class DibBitCountTest : public testing::TestWithParam<int> {};

TEST_P(DibBitCountTest, DecodesPixelsAndMask)
{
    const int bits = GetParam();
    Pixels palette, pixels;
    for (uint32_t i = 0; bits <= 8 && i < (1u << bits); ++i)
        palette.push_back(0x400000u + 0x010203u * i);
    std::vector<uint8_t> mask;
    for (uint32_t i = 0; i < 15; ++i) { // five columns: every row is padded
        pixels.push_back(bits <= 8 ? (i * 7) % (1u << bits) : 0x80000000u + 0x0A0B0C0Du * i);
        mask.push_back(i % 3 == 0);
    }
    IconPtr icon = Create(MakeDib(5, 3, bits, palette, pixels, mask));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Width, 5);
    EXPECT_EQ(icon->Height, 3);
    EXPECT_EQ(icon->AlphaBlend, bits == 32);
    EXPECT_EQ(icon->Mask, mask);
    for (size_t i = 0; i < pixels.size(); ++i)
        EXPECT_EQ(icon->Color[i], bits == 32 ? pixels[i] : 0xFF000000u | (bits == 24 ? pixels[i] : palette[pixels[i]]))
            << i;
}

TEST(DibTest, PaletteIndexPastTheTableIsBlack)
{
    IconPtr icon = Create(MakeDib(2, 1, 8, {0x112233, 0x445566, 0x778899}, {2, 200}));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Color, (Pixels{0xFF778899u, 0xFF000000u}));
}

INSTANTIATE_TEST_SUITE_P(Bits, DibBitCountTest, testing::Values(1, 4, 8, 24, 32));

struct ChannelCase {
    const char *name;
    uint32_t headerSize;
    uint16_t bitCount;
    uint32_t compression;
    Pixels masks;
    std::vector<uint8_t> row; // two pixels as stored, padded
    Pixels expected;
};

// Keeps the test names short: the case is named by its name alone.
void PrintTo(const ChannelCase &c, std::ostream *os)
{
    *os << c.name;
}

class DibChannelTest : public testing::TestWithParam<ChannelCase> {};

TEST_P(DibChannelTest, DecodesChannels)
{
    const ChannelCase &c = GetParam();
    IconPtr icon = Create(RawDib(c.headerSize, c.bitCount, c.compression, c.masks, c.row));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Color, c.expected);
    EXPECT_EQ(icon->AlphaBlend, c.bitCount == 32);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DibChannelTest,
    testing::Values(ChannelCase{"rgb555", 40, 16, 0, {}, {0x00, 0x7C, 0x10, 0x42}, {0xFFFF0000u, 0xFF848484u}},
                    ChannelCase{
                        "bitfields565", 40, 16, 3, {0xF800, 0x07E0, 0x1F}, {0, 4, 0x1F, 0}, {0xFF008200u, 0xFF0000FFu}},
                    ChannelCase{"bitfieldsRgba",
                                40,
                                32,
                                3,
                                {0xFF, 0xFF00, 0xFF0000},
                                {0x33, 0x22, 0x11, 0x80, 0xFF, 0, 0, 0xFF},
                                {0x80332211u, 0xFFFF0000u}},
                    ChannelCase{"v5Bitfields",
                                124,
                                32,
                                3,
                                {0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
                                {3, 2, 1, 0x40, 0, 0, 0, 0},
                                {0x40010203u, 0u}},
                    ChannelCase{"v4Rgb24", 108, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0}, {0xFF030201u, 0xFF060504u}}),
    [](const testing::TestParamInfo<ChannelCase> &p) { return std::string(p.param.name); });

struct MonoCase {
    int bits;
    Pixels palette;
    bool monochrome;
};

void PrintTo(const MonoCase &c, std::ostream *os)
{
    *os << c.bits << "-bit, " << c.palette.size() << " colours";
}

class MonochromeTest : public testing::TestWithParam<MonoCase> {};

TEST_P(MonochromeTest, OnlyBlackThenWhiteOneBitIsMonochrome)
{
    IconPtr icon = Create(MakeDib(2, 2, GetParam().bits, GetParam().palette, {0, 1, 1, 0}, {1, 0, 0, 0}));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Monochrome, GetParam().monochrome);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon.get(), info));
    ASSERT_TRUE(info.hbmMask);
    EXPECT_EQ(info.hbmMask->BitsPerPixel, 1);
    const uint32_t w = 0xFFFFFFFF, b = 0xFF000000;
    if (GetParam().monochrome) {
        EXPECT_FALSE(info.hbmColor);
        EXPECT_EQ(info.hbmMask->Height, 4); // the AND rows, then the XOR rows
        EXPECT_EQ(info.hbmMask->Pixels, (Pixels{w, b, b, b, b, w, w, b}));
    } else {
        ASSERT_TRUE(info.hbmColor);
        EXPECT_EQ(info.hbmColor->Pixels, icon->Color);
        EXPECT_EQ(info.hbmMask->Pixels, (Pixels{w, b, b, b}));
    }
}

INSTANTIATE_TEST_SUITE_P(Palettes, MonochromeTest,
                         testing::Values(MonoCase{1, {0x000000, 0xFFFFFF}, true},
                                         MonoCase{1, {0xFFFFFF, 0x000000}, false},
                                         MonoCase{1, {0x000000, 0xFEFFFF}, false},
                                         MonoCase{4, {0x000000, 0xFFFFFF}, false}));

TEST(DrawTest, MaskAndXorRule)
{
    // (mask, colour) -> what becomes of 0x123456 under it.
    const uint32_t cases[][3] = {{0, 0, 0}, {0, 0xABCDEF, 0xABCDEF}, {1, 0, 0x123456}, {1, 0xFFFFFF, 0xEDCBA9}};
    for (const auto &c : cases) {
        IconPtr icon = Create(MakeDib(1, 1, 24, {}, {c[1]}, {static_cast<uint8_t>(c[0])}));
        ASSERT_TRUE(icon);
        EXPECT_EQ(Draw(*icon, 1, 1, 0xFF123456).Pixels[0], 0xFF000000u | c[2]) << std::hex << c[1];
    }
    // A 32-bit image whose alpha is all zero is drawn by its mask too.
    IconPtr icon = Create(MakeDib(2, 1, 32, {}, {0x00FF0000, 0x00FF0000}, {0, 1}));
    ASSERT_TRUE(icon);
    EXPECT_FALSE(icon->AlphaBlend);
    EXPECT_EQ(icon->Color[0], 0xFFFF0000u);
    EXPECT_EQ(Draw(*icon, 2, 1, 0xFFFFFFFF).Pixels, (Pixels{0xFFFF0000u, 0xFF00FFFFu}));
}

TEST(DrawTest, BlendsOverAndRounds)
{
    IconPtr icon = Create(MakeDib(2, 1, 32, {}, {0x80333333, 0x01000000}));
    ASSERT_TRUE(icon);
    EXPECT_EQ(Draw(*icon, 2, 1, 0xFFFFFFFF).Pixels, (Pixels{0xFF999999u, 0xFFFEFEFEu}));
    EXPECT_EQ(Draw(*icon, 2, 1, 0xFF000000).Pixels, (Pixels{0xFF1A1A1Au, 0xFF000000u}));
}

TEST(DrawTest, ClipsToTheSurface)
{
    Pixels pixels;
    for (uint32_t i = 1; i <= 9; ++i)
        pixels.push_back(0x100000u * i);
    IconPtr icon = Create(MakeDib(3, 3, 24, {}, pixels));
    ASSERT_TRUE(icon);
    const int offsets[][2] = {{-2, -1}, {2, 2}, {3, -2}, {-3, 0}, {4, 0}, {INT_MAX, INT_MIN}, {INT_MIN, 1}};
    for (const auto &o : offsets) {
        const GdiBitmap drawn = Draw(*icon, 4, 4, 0xFF777777, o[0], o[1]);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const int64_t ix = int64_t{x} - o[0], iy = int64_t{y} - o[1];
                const bool on = ix >= 0 && ix < 3 && iy >= 0 && iy < 3;
                EXPECT_EQ(drawn.at(x, y), on ? 0xFF000000u | pixels[iy * 3 + ix] : 0xFF777777u)
                    << o[0] << "," << o[1] << " at " << x << "," << y;
            }
    }
    // Another size scales the icon first.
    const GdiBitmap scaled = Draw(*icon, 8, 8, 0xFF777777, 1, 1, 6, 6);
    EXPECT_EQ(scaled.at(6, 6), 0xFF000000u | pixels[8]);
    EXPECT_EQ(scaled.at(7, 7), 0xFF777777u);
}

TEST(ScaleTest, MaskImagesTakeTheNearestPixel)
{
    IconPtr icon = Create(MakeDib(2, 2, 24, {}, {1, 2, 3, 4}, {0, 1, 0, 0}), 4, 0);
    ASSERT_TRUE(icon);
    ASSERT_EQ(icon->Height, 2);
    const uint32_t o = 0xFF000000u;
    EXPECT_EQ(icon->Color, (Pixels{o | 1, o | 1, o | 2, o | 2, o | 3, o | 3, o | 4, o | 4}));
    EXPECT_EQ(icon->Mask, (std::vector<uint8_t>{0, 0, 1, 1, 0, 0, 0, 0}));
    // Shrinking takes the pixel at the centre of each covered span.
    IconPtr narrow = Create(MakeDib(4, 1, 24, {}, {1, 2, 3, 4}), 2, 1);
    ASSERT_TRUE(narrow);
    EXPECT_EQ(narrow->Color, (Pixels{o | 2, o | 4}));
}

TEST(ScaleTest, ShrinkingAveragesPremultipliedColour)
{
    // 6x6, opaque red in the top-left 2x2, transparent black elsewhere.
    Pixels pixels(36, 0);
    for (int i : {0, 1, 6, 7})
        pixels[i] = 0xFFFF0000u;
    IconPtr third = Create(MakeDib(6, 6, 32, {}, pixels), 2, 2);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->Color, (Pixels{0x71FF0000u, 0, 0, 0})); // 4 of 9 pixels: alpha 113
    IconPtr one = Create(MakeDib(6, 6, 32, {}, pixels), 1, 1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->Color[0], 0x1CFF0000u);
}

class UniformScaleTest : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(UniformScaleTest, KeepsAUniformColour)
{
    IconPtr icon = Create(MakeDib(7, 5, 32, {}, Pixels(35, 0x80406080u)), GetParam().first, GetParam().second);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Color, Pixels(icon->Color.size(), 0x80406080u));
}

INSTANTIATE_TEST_SUITE_P(Sizes, UniformScaleTest,
                         testing::Values(std::pair{3, 2}, std::pair{1, 1}, std::pair{11, 9}, std::pair{32, 3}));

std::vector<uint8_t> Ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType)
{
    std::vector<uint8_t> v(std::begin(kPngSignature), std::end(kPngSignature));
    for (uint32_t field : {13u, 0x49484452u, width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            v.push_back(static_cast<uint8_t>(field >> shift));
    v.insert(v.end(), {depth, colorType, 0, 0, 0, 0, 0, 0, 0});
    return v;
}

TEST(PngTest, HeaderGivesSizeAndBitCount)
{
    // depth, colour type, bit count as an icon's directory gives it (0: refused)
    const int cases[][3] = {{8, 6, 32}, {16, 6, 32}, {8, 2, 24}, {16, 2, 24}, {4, 3, 4}, {8, 3, 8},
                            {1, 0, 1},  {16, 0, 8},  {8, 4, 32}, {8, 5, 0},   {8, 7, 0}};
    for (const auto &c : cases) {
        const auto bytes = Ihdr(300, 20, static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]));
        PngHeaderInfo info;
        ASSERT_EQ(ReadPngHeader(ByteView(bytes.data(), bytes.size()), info), c[2] != 0) << c[1];
        if (c[2]) {
            EXPECT_EQ(info.Width, 300u);
            EXPECT_EQ(info.Height, 20u);
            EXPECT_EQ(info.BitCount, c[2]);
        }
    }
    auto wrongName = Ihdr(1, 1, 8, 6);
    wrongName[12] = 'i';
    PngHeaderInfo info;
    EXPECT_FALSE(ReadPngHeader(ByteView(wrongName.data(), wrongName.size()), info));
    for (uint32_t size : {5000u, 0u, 0x80000000u})
        EXPECT_FALSE(Create(Ihdr(size, 1, 8, 6)));
}

TEST(PngTest, DecodesEachColourType)
{
    const Pixels argb = {0xFF102030, 0x80405060, 0x00708090, 0xFFFFFFFF};
    // Stored channels; y is grey, taken from red.
    const std::pair<uint32_t, std::string> formats[] = {
        {PNG_FORMAT_RGBA, "RGBA"}, {PNG_FORMAT_RGB, "RGB"}, {PNG_FORMAT_GA, "yA"}, {PNG_FORMAT_GRAY, "y"}};
    for (const auto &[format, layout] : formats) {
        std::vector<uint8_t> raw;
        Pixels expected;
        for (uint32_t p : argb) {
            const bool grey = layout[0] == 'y';
            const uint32_t a = layout.back() == 'A' ? p >> 24 : 0xFF, r = (p >> 16) & 0xFF;
            const uint32_t g = grey ? r : (p >> 8) & 0xFF, b = grey ? r : p & 0xFF;
            for (char c : layout)
                raw.push_back(static_cast<uint8_t>(c == 'G' ? g : c == 'B' ? b : c == 'A' ? a : r));
            expected.push_back(a << 24 | r << 16 | g << 8 | b);
        }
        IconPtr icon = Create(WritePng(2, 2, format, raw));
        ASSERT_TRUE(icon) << layout;
        EXPECT_TRUE(icon->AlphaBlend);
        EXPECT_EQ(icon->Color, expected) << layout;
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(icon->Mask[i], expected[i] >> 24 == 0) << layout << i;
    }
}

TEST(PngTest, SixteenBitSamplesAreScaledToEight)
{
    const std::vector<uint16_t> grey = {0, 0x8000, 0xFFFF, 0x12FF};
    std::vector<uint8_t> raw(reinterpret_cast<const uint8_t *>(grey.data()),
                             reinterpret_cast<const uint8_t *>(grey.data() + grey.size()));
    IconPtr icon = Create(WritePng(2, 2, PNG_FORMAT_LINEAR_Y, raw));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Color, (Pixels{0xFF000000u, 0xFF808080u, 0xFFFFFFFFu, 0xFF131313u}));
}

TEST(HostileTest, TruncatedDibNeedsItsColourBytesOnly)
{
    // 8-bit, 3x2, four palette entries, every mask bit set.
    const auto dib = MakeDib(3, 2, 8, {1, 2, 3, 4}, {0, 1, 2, 3, 0, 1}, std::vector<uint8_t>(6, 1));
    const size_t xorEnd = 40 + 16 + 2 * 4;
    for (size_t length = 0; length <= dib.size(); ++length) {
        IconObject icon;
        const bool decoded = DecodeDibIcon(ByteView(dib.data(), length), icon);
        ASSERT_EQ(decoded, length >= xorEnd) << length;
        if (decoded) {
            // Mask rows (4 bytes each) are stored bottom-up; missing bits are opaque.
            EXPECT_EQ(icon.Mask[3], length > xorEnd) << length;
            EXPECT_EQ(icon.Mask[0], length > xorEnd + 4) << length;
        }
    }
}

TEST(HostileTest, TruncatedPngFails)
{
    std::vector<uint8_t> raw(4 * 5 * 4);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<uint8_t>(i * 37);
    const auto png = WritePng(4, 5, PNG_FORMAT_RGBA, raw);
    ASSERT_TRUE(Create(png));
    for (size_t length = 0; length < png.size() - 12; ++length) { // all but IEND
        IconObject icon;
        EXPECT_FALSE(DecodePngIcon(ByteView(png.data(), length), icon)) << length;
    }
}

TEST(HostileTest, AbsurdHeadersAreRefused)
{
    const auto valid = MakeDib(2, 2, 8, {1, 2}, {0, 1, 1, 0});
    ASSERT_TRUE(Create(valid));
    // offset, size, value, decodes
    const uint32_t cases[][4] = {
        {0, 4, 12, 0},          {0, 4, 39, 0},      {0, 4, 0xFFFFFFFF, 0}, {0, 4, 0, 0},  {4, 4, 0, 0},
        {4, 4, 0xFFFFFFFF, 0},  {4, 4, 4097, 0},    {4, 4, 0x7FFFFFFF, 0}, {8, 4, 1, 0},  {8, 4, 0, 0},
        {8, 4, 0xFFFFFFFE, 0},  {8, 4, 8194, 0},    {8, 4, 0x80000000, 0}, {14, 2, 0, 0}, {14, 2, 2, 0},
        {14, 2, 64, 0},         {14, 2, 0xFFFF, 0}, {16, 4, 1, 0},         {16, 4, 3, 0}, {16, 4, 6, 0},
        {32, 4, 0xFFFFFFFF, 0}, {32, 4, 0, 0},      {32, 4, 3, 1},         {8, 4, 5, 1},
    };
    for (const auto &c : cases) {
        auto dib = valid;
        for (uint32_t b = 0; b < c[1]; ++b)
            dib[c[0] + b] = static_cast<uint8_t>(c[2] >> (8 * b));
        EXPECT_EQ(static_cast<bool>(Create(dib)), c[3] != 0) << c[0] << " = " << c[2];
    }
}

// The pixels of one image are bounded, and a PNG may not inflate far beyond
// its bytes; the reasons name the limit.
TEST(HostileTest, PixelLimitsNameTheirLimit)
{
    auto reason = [](const std::vector<uint8_t> &bytes) {
        TReadError error;
        IconPtr icon(CreateIconFromResourceEx(ByteView(bytes.data(), bytes.size()), true, kIconFormatVersion, 0, 0,
                                              LR_DEFAULTCOLOR, &error));
        return icon ? std::string("decodes") : error.Text();
    };
    const std::vector<uint32_t> mono = {0, 0xFFFFFF};
    EXPECT_EQ(reason(MakeDib(2048, 2048, 1, mono, std::vector<uint32_t>(2048 * 2048, 1))), "decodes");
    auto wide = MakeDib(2, 2, 1, mono, {0, 1, 1, 0});
    for (int b = 0; b < 4; ++b) {
        wide[4 + b] = static_cast<uint8_t>(2049 >> (8 * b));
        wide[8 + b] = static_cast<uint8_t>(4096 >> (8 * b));
    }
    EXPECT_EQ(reason(wide), "limit exceeded: icon pixels (4196352 pixels, at most 4194304)");

    const std::vector<uint8_t> flat1024 = WritePng(1024, 1024, PNG_FORMAT_GRAY, std::vector<uint8_t>(1024 * 1024, 9));
    ASSERT_LT(flat1024.size(), 16384u);
    EXPECT_EQ(reason(flat1024).substr(0, 43), "limit exceeded: PNG pixels per stored byte ");
    std::vector<uint8_t> noise(1024 * 1024);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    EXPECT_EQ(reason(WritePng(1024, 1024, PNG_FORMAT_GRAY, noise)), "decodes");
    EXPECT_EQ(reason(WritePng(512, 512, PNG_FORMAT_GRAY, std::vector<uint8_t>(512 * 512, 9))), "decodes");
}

TEST(HostileTest, ShortDataIsRefused)
{
    const auto dib = MakeDib(1, 1, 24, {}, {0});
    std::vector<uint8_t> png(std::begin(kPngSignature), std::end(kPngSignature));
    png.resize(16, 0);
    for (size_t length = 1; length < 16; ++length) {
        EXPECT_FALSE(Create({dib.begin(), dib.begin() + length})) << length;
        EXPECT_FALSE(Create({png.begin(), png.begin() + length})) << length;
        EXPECT_FALSE(Create(std::vector<uint8_t>(length, 0xFF))) << length;
    }
}

TEST(HostileTest, CorpusFilesDecodeWithoutCrashing)
{
    const auto files = CorpusFiles("ico");
    if (files.empty()) {
        GTEST_SKIP() << "no corpus";
    }
    for (const auto &file : files)
        for (const auto &image : IcoImages(ReadBytes(file))) {
            IconPtr thumb = Create(image, 32, 32);
            if (IconPtr icon = Create(image)) {
                ICONINFO info;
                EXPECT_TRUE(GetIconInfo(icon.get(), info));
                Draw(*icon, 16, 16, 0xFFFFFFFF, -3, 5);
            }
        }
}

} // namespace
