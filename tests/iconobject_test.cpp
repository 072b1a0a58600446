#include "platform/iconobject.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <climits>
#include <memory>

using namespace vexillo;
using namespace vexillo::test;

namespace {

struct IconDeleter {
    void operator()(IconObject *icon) const { DestroyIcon(icon); }
};
using IconPtr = std::unique_ptr<IconObject, IconDeleter>;

IconPtr Create(const std::vector<uint8_t> &bytes, int cx = 0, int cy = 0)
{
    return IconPtr(
        CreateIconFromResourceEx(ByteView(bytes.data(), bytes.size()), true, 0x30000, cx, cy, LR_DEFAULTCOLOR));
}

// The image bytes of each ICO directory entry that lies inside the file.
std::vector<std::vector<uint8_t>> IcoImages(const std::vector<uint8_t> &file)
{
    std::vector<std::vector<uint8_t>> images;
    const ByteView view(file.data(), file.size());
    uint16_t count = 0;
    view.readU16(4, count);
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t size = 0, offset = 0;
        ByteView image;
        if (view.readU32(6 + 16 * i + 8, size) && view.readU32(6 + 16 * i + 12, offset) &&
            view.sub(offset, size, image))
            images.emplace_back(image.data(), image.data() + image.size());
    }
    return images;
}

GdiBitmap Draw(const IconObject &icon, int width, int height, uint32_t fill, int x = 0, int y = 0, int cx = 0,
               int cy = 0)
{
    GdiBitmap surface(width, height, fill);
    EXPECT_TRUE(DrawIconEx(&surface, x, y, const_cast<IconObject *>(&icon), cx, cy, 0, nullptr, DI_NORMAL));
    return surface;
}

// A DIB with any header size, compression and masks; `xorRows` are stored
// as given (bottom-up, padded), followed by an all-clear AND mask.
std::vector<uint8_t> RawDib(uint32_t headerSize, int width, int height, uint16_t bitCount, uint32_t compression,
                            const std::vector<uint32_t> &masks, const std::vector<uint8_t> &xorRows)
{
    std::vector<uint8_t> v;
    for (uint32_t field : {headerSize, uint32_t(width), uint32_t(height * 2)})
        PutU32(v, field);
    PutU16(v, 1);
    PutU16(v, bitCount);
    PutU32(v, compression);
    v.resize(headerSize, 0);
    for (size_t i = 0; i < masks.size(); ++i)
        for (int b = 0; b < 4; ++b)
            if (headerSize >= 52)
                v[40 + 4 * i + b] = static_cast<uint8_t>(masks[i] >> (8 * b));
    if (headerSize < 52)
        for (uint32_t m : masks)
            PutU32(v, m);
    v.insert(v.end(), xorRows.begin(), xorRows.end());
    v.resize(v.size() + static_cast<size_t>(height) * ((width + 31) / 32 * 4), 0);
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

// ---- Against ImageMagick: every image of the generated ICO files, drawn on
// white, equals ImageMagick's flattening of it over white.

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
        const auto rgbPath = dir / "out.rgb";
        ASSERT_EQ(test::Run("/usr/bin/convert '" + path.string() + "[" + std::to_string(k) +
                      "]' -background white -alpha remove -alpha off -depth 8 rgb:'" + rgbPath.string() + "'"),
                  0);
        const auto rgb = ReadBytes(rgbPath);
        ASSERT_EQ(rgb.size(), drawn.Pixels.size() * 3);
        const int tolerance = icon->AlphaBlend ? 1 : 0;
        int mismatches = 0;
        for (size_t i = 0; i < drawn.Pixels.size() && mismatches < 5; ++i)
            for (int c = 0; c < 3; ++c) {
                const int ours = (drawn.Pixels[i] >> (16 - 8 * c)) & 0xFF;
                if (std::abs(ours - rgb[i * 3 + c]) > tolerance && ++mismatches)
                    ADD_FAILURE() << "pixel " << i % icon->Width << "," << i / icon->Width << " channel " << c
                                  << ": " << ours << " vs " << int(rgb[i * 3 + c]);
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Assets, FlattenTest,
                         testing::Values("im_multi32.ico", "im_png256.ico", "ico_1bit.ico", "ico_mono.ico",
                                         "ico_4bit.ico", "ico_8bit.ico", "ico_24bit.ico", "ico_32bit.ico",
                                         "ico_png256.ico", "ico_mixed.ico"));

// ---- Hand-made DIBs

class DibBitCountTest : public testing::TestWithParam<int> {};

TEST_P(DibBitCountTest, DecodesPixelsAndMask)
{
    const int bits = GetParam();
    std::vector<uint32_t> palette;
    for (int i = 0; bits <= 8 && i < (1 << bits); ++i)
        palette.push_back(0x010203u * static_cast<uint32_t>(i) + 0x400000u);
    // Five columns so that every row needs padding.
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> mask;
    for (uint32_t i = 0; i < 15; ++i) {
        pixels.push_back(bits <= 8 ? (i * 7) % (1u << bits) : 0x80000000u + 0x0A0B0C0Du * i);
        mask.push_back(i % 3 == 0);
    }
    IconPtr icon = Create(MakeDib(5, 3, bits, palette, pixels, mask));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Width, 5);
    EXPECT_EQ(icon->Height, 3);
    EXPECT_EQ(icon->AlphaBlend, bits == 32);
    EXPECT_EQ(icon->Mask, mask);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t expected = bits <= 8 ? 0xFF000000u | palette[pixels[i]]
                                  : bits == 24 ? 0xFF000000u | pixels[i]
                                               : pixels[i];
        EXPECT_EQ(icon->Color[i], expected) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Bits, DibBitCountTest, testing::Values(1, 4, 8, 24, 32));

TEST(DibTest, PaletteIndexPastTheTableIsBlack)
{
    IconPtr icon = Create(MakeDib(2, 1, 8, {0x112233, 0x445566, 0x778899}, {2, 200}));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Color, (std::vector<uint32_t>{0xFF778899u, 0xFF000000u}));
}

struct MaskedCase {
    const char *name;
    uint32_t headerSize;
    uint16_t bitCount;
    uint32_t compression;
    std::vector<uint32_t> masks;
    std::vector<uint8_t> row; // one stored row of two pixels, padded
    std::vector<uint32_t> expected;
    bool alphaBlend;
};

class DibMaskTest : public testing::TestWithParam<MaskedCase> {};

TEST_P(DibMaskTest, DecodesChannels)
{
    const MaskedCase &c = GetParam();
    IconPtr icon = Create(RawDib(c.headerSize, 2, 1, c.bitCount, c.compression, c.masks, c.row));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Color, c.expected);
    EXPECT_EQ(icon->AlphaBlend, c.alphaBlend);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DibMaskTest,
    testing::Values(
        MaskedCase{"rgb555", 40, 16, 0, {}, {0x00, 0x7C, 0x10, 0x42}, {0xFFFF0000u, 0xFF848484u}, false},
        MaskedCase{"bitfields565",
                   40,
                   16,
                   3,
                   {0xF800, 0x07E0, 0x001F},
                   {0x00, 0x04, 0x1F, 0x00},
                   {0xFF008200u, 0xFF0000FFu},
                   false},
        MaskedCase{"bitfields32Rgba",
                   40,
                   32,
                   3,
                   {0x000000FF, 0x0000FF00, 0x00FF0000},
                   {0x33, 0x22, 0x11, 0x80, 0xFF, 0, 0, 0xFF},
                   {0x80332211u, 0xFFFF0000u},
                   true},
        MaskedCase{"v5Bitfields",
                   124,
                   32,
                   3,
                   {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                   {0x33, 0x22, 0x11, 0x40, 0, 0, 0, 0},
                   {0x40112233u, 0x00000000u},
                   true},
        MaskedCase{"v4Rgb24", 108, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0}, {0xFF030201u, 0xFF060504u}, false}),
    [](const testing::TestParamInfo<MaskedCase> &p) { return std::string(p.param.name); });

struct MonoCase {
    int bits;
    std::vector<uint32_t> palette;
    bool monochrome;
};

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
        EXPECT_EQ(info.hbmMask->Height, 4);
        EXPECT_EQ(info.hbmMask->Pixels, (std::vector<uint32_t>{w, b, b, b, b, w, w, b}));
    } else {
        ASSERT_TRUE(info.hbmColor);
        EXPECT_EQ(info.hbmColor->BitsPerPixel, 32);
        EXPECT_EQ(info.hbmColor->Pixels, icon->Color);
        EXPECT_EQ(info.hbmMask->Pixels, (std::vector<uint32_t>{w, b, b, b}));
    }
}

INSTANTIATE_TEST_SUITE_P(Palettes, MonochromeTest,
                         testing::Values(MonoCase{1, {0x000000, 0xFFFFFF}, true},
                                         MonoCase{1, {0xFFFFFF, 0x000000}, false},
                                         MonoCase{1, {0x000000, 0xFEFFFF}, false},
                                         MonoCase{4, {0x000000, 0xFFFFFF}, false}));

TEST(DibTest, ZeroAlphaThirtyTwoBitUsesMaskAndXor)
{
    IconPtr icon = Create(MakeDib(2, 1, 32, {}, {0x00FF0000, 0x00FF0000}, {0, 1}));
    ASSERT_TRUE(icon);
    EXPECT_FALSE(icon->AlphaBlend);
    EXPECT_EQ(icon->Color[0], 0xFFFF0000u);
    // The masked red pixel inverts the white below it to cyan.
    EXPECT_EQ(Draw(*icon, 2, 1, 0xFFFFFFFF).Pixels, (std::vector<uint32_t>{0xFFFF0000u, 0xFF00FFFFu}));
}

TEST(DrawTest, MaskAndXorRule)
{
    // (mask, colour) -> dest 0x123456 after drawing.
    const struct {
        uint8_t mask;
        uint32_t color, expected;
    } cases[] = {{0, 0x000000, 0x000000}, {0, 0xABCDEF, 0xABCDEF}, {1, 0x000000, 0x123456}, {1, 0xFFFFFF, 0xEDCBA9}};
    for (const auto &c : cases) {
        IconPtr icon = Create(MakeDib(1, 1, 24, {}, {c.color}, {c.mask}));
        ASSERT_TRUE(icon);
        EXPECT_EQ(Draw(*icon, 1, 1, 0xFF123456).Pixels[0], 0xFF000000u | c.expected) << std::hex << c.color;
    }
}

TEST(DrawTest, BlendsOverAndRounds)
{
    IconPtr icon = Create(MakeDib(2, 1, 32, {}, {0x80333333, 0x01000000}));
    ASSERT_TRUE(icon);
    EXPECT_EQ(Draw(*icon, 2, 1, 0xFFFFFFFF).Pixels, (std::vector<uint32_t>{0xFF999999u, 0xFFFEFEFEu}));
    EXPECT_EQ(Draw(*icon, 2, 1, 0xFF000000).Pixels, (std::vector<uint32_t>{0xFF1A1A1Au, 0xFF000000u}));
}

TEST(DrawTest, ClipsToTheSurface)
{
    std::vector<uint32_t> pixels;
    for (uint32_t i = 0; i < 9; ++i)
        pixels.push_back(0x100000u * (i + 1));
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
    // A size other than the icon's own scales it first.
    const GdiBitmap scaled = Draw(*icon, 8, 8, 0xFF777777, 1, 1, 6, 6);
    EXPECT_EQ(scaled.at(6, 6), 0xFF000000u | pixels[8]);
    EXPECT_EQ(scaled.at(7, 7), 0xFF777777u);
}

// ---- Scaling

TEST(ScaleTest, MaskImagesUseNearestPixels)
{
    IconPtr icon = Create(MakeDib(2, 2, 24, {}, {0x111111, 0x222222, 0x333333, 0x444444}, {0, 1, 0, 0}), 4, 4);
    ASSERT_TRUE(icon);
    ASSERT_EQ(icon->Width, 4);
    for (int i = 0; i < 16; ++i) {
        const int source = (i / 4 / 2) * 2 + (i % 4) / 2;
        EXPECT_EQ(icon->Color[i], 0xFF000000u | 0x111111u * (source + 1)) << i;
        EXPECT_EQ(icon->Mask[i], source == 1) << i;
    }
    IconPtr wide = Create(MakeDib(2, 2, 24, {}, {1, 2, 3, 4}), 6, 0);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->Width, 6);
    EXPECT_EQ(wide->Height, 2);
}

TEST(ScaleTest, ShrinkingAveragesPremultipliedColour)
{
    // Left half opaque red, right half transparent black.
    std::vector<uint32_t> pixels(16);
    for (int i = 0; i < 16; ++i)
        pixels[i] = i % 4 < 2 ? 0xFFFF0000 : 0;
    IconPtr half = Create(MakeDib(4, 4, 32, {}, pixels), 2, 2);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->Color, (std::vector<uint32_t>{0xFFFF0000u, 0, 0xFFFF0000u, 0}));
    IconPtr one = Create(MakeDib(4, 4, 32, {}, pixels), 1, 1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->Color[0], 0x80FF0000u);
}

class UniformScaleTest : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(UniformScaleTest, KeepsAUniformColour)
{
    IconPtr icon = Create(MakeDib(7, 5, 32, {}, std::vector<uint32_t>(35, 0x80406080u)), GetParam().first,
                          GetParam().second);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->Color, std::vector<uint32_t>(icon->Color.size(), 0x80406080u));
}

INSTANTIATE_TEST_SUITE_P(Sizes, UniformScaleTest,
                         testing::Values(std::pair{3, 2}, std::pair{1, 1}, std::pair{11, 9}, std::pair{32, 3},
                                         std::pair{6, 5}));

// ---- PNG

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
    const struct {
        uint8_t depth, colorType;
        uint16_t bitCount; // 0: refused
    } cases[] = {{8, 6, 32}, {16, 6, 64}, {8, 2, 24}, {4, 3, 4}, {8, 3, 8}, {1, 0, 1}, {8, 4, 16}, {8, 5, 0}, {8, 7, 0}};
    for (const auto &c : cases) {
        const auto bytes = Ihdr(300, 20, c.depth, c.colorType);
        PngHeaderInfo info;
        ASSERT_EQ(ReadPngHeader(ByteView(bytes.data(), bytes.size()), info), c.bitCount != 0) << int(c.colorType);
        if (c.bitCount) {
            EXPECT_EQ(info.Width, 300u);
            EXPECT_EQ(info.Height, 20u);
            EXPECT_EQ(info.BitCount, c.bitCount);
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
    const std::vector<uint32_t> argb = {0xFF102030, 0x80405060, 0x00708090, 0xFFFFFFFF};
    // Channel layouts: y is grey (taken from the red channel).
    const struct {
        uint32_t format;
        std::string layout;
    } formats[] = {{PNG_FORMAT_RGBA, "RGBA"}, {PNG_FORMAT_RGB, "RGB"}, {PNG_FORMAT_GA, "yA"}, {PNG_FORMAT_GRAY, "y"}};
    for (const auto &f : formats) {
        std::vector<uint8_t> raw;
        std::vector<uint32_t> expected;
        for (uint32_t p : argb) {
            const uint32_t a = f.layout.back() == 'A' ? p >> 24 : 0xFF, r = (p >> 16) & 0xFF;
            const uint32_t g = f.layout[0] == 'y' ? r : (p >> 8) & 0xFF, b = f.layout[0] == 'y' ? r : p & 0xFF;
            for (char c : f.layout)
                raw.push_back(static_cast<uint8_t>(c == 'G' ? g : c == 'B' ? b : c == 'A' ? a : r));
            expected.push_back(a << 24 | r << 16 | g << 8 | b);
        }
        IconPtr icon = Create(WritePng(2, 2, f.format, raw));
        ASSERT_TRUE(icon) << f.layout;
        EXPECT_TRUE(icon->AlphaBlend);
        EXPECT_EQ(icon->Color, expected) << f.layout;
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(icon->Mask[i], expected[i] >> 24 == 0) << f.layout << i;
    }
}

// ---- Hostile input

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
            // The mask rows (4 bytes each) are stored bottom-up; missing bits
            // read as opaque.
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
    const size_t iend = png.size() - 12;
    for (size_t length = 0; length < png.size(); ++length) {
        IconObject icon;
        const bool decoded = DecodePngIcon(ByteView(png.data(), length), icon);
        if (length < iend) {
            EXPECT_FALSE(decoded) << length;
        }
    }
}

TEST(HostileTest, AbsurdHeadersAreRefused)
{
    const auto valid = MakeDib(2, 2, 8, {1, 2}, {0, 1, 1, 0});
    ASSERT_TRUE(Create(valid));
    const struct {
        size_t offset;
        int size;
        uint32_t value;
        bool decodes;
    } cases[] = {
        {0, 4, 12, false},          {0, 4, 39, false},         {0, 4, 0xFFFFFFFF, false}, {0, 4, 0, false},
        {4, 4, 0, false},           {4, 4, 0xFFFFFFFF, false}, {4, 4, 4097, false},       {4, 4, 0x7FFFFFFF, false},
        {8, 4, 1, false},           {8, 4, 0, false},          {8, 4, 0xFFFFFFFE, false}, {8, 4, 8194, false},
        {8, 4, 0x80000000, false},  {14, 2, 0, false},         {14, 2, 2, false},         {14, 2, 64, false},
        {14, 2, 0xFFFF, false},     {16, 4, 1, false},         {16, 4, 3, false},         {16, 4, 6, false},
        {32, 4, 0xFFFFFFFF, false}, {32, 4, 3, true},          {32, 4, 0, false},         {8, 4, 5, true},
    };
    for (const auto &c : cases) {
        auto dib = valid;
        for (int b = 0; b < c.size; ++b)
            dib[c.offset + b] = static_cast<uint8_t>(c.value >> (8 * b));
        EXPECT_EQ(static_cast<bool>(Create(dib)), c.decodes) << c.offset << " = " << c.value;
    }
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
            IconPtr icon = Create(image);
            IconPtr thumb = Create(image, 32, 32);
            if (icon) {
                ICONINFO info;
                EXPECT_TRUE(GetIconInfo(icon.get(), info));
                Draw(*icon, 16, 16, 0xFFFFFFFF, -3, 5);
            }
        }
}

TEST(IconObjectTest, HandlesAndMetrics)
{
    IconPtr icon = Create(MakeDib(1, 1, 24, {}, {0x123456}));
    IconPtr copy(CopyIcon(icon.get()));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->Color, icon->Color);
    EXPECT_FALSE(CopyIcon(nullptr));
    EXPECT_FALSE(DestroyIcon(nullptr));
    ICONINFO info;
    EXPECT_FALSE(GetIconInfo(nullptr, info));
    GdiBitmap surface(1, 1, 0);
    EXPECT_FALSE(DrawIconEx(&surface, 0, 0, nullptr, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
    EXPECT_EQ(GetSystemMetrics(0), 0);
}

} // namespace
