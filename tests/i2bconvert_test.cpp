// Rendering an icon into a bitmap over a background colour, checked on the
// pixels of the BMP file that the bitmap writes.
#include "icons/advancedicon.h"
#include "icons/i2bconvert.h"
#include "icons/icontools.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace vexillo;
using namespace vexillo::test;

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kWhite = 0xFFFFFF;

// Loads a one-image icon made of `dib`, converts it over `back` and returns
// the BMP that the bitmap writes.
ParsedBmp Convert(const std::vector<uint8_t> &dib, TColor back)
{
    const auto file = MakeIco({dib});
    TAdvancedIcon icon;
    TByteViewStream stream(ByteView(file.data(), file.size()));
    EXPECT_TRUE(icon.LoadFromStream(stream));
    auto graphic = icon.Images.GetItem(0)->CreateGraphic();
    TBitmap bitmap;
    IconToBitmap(*graphic, back, bitmap);
    return ParseBmp(bitmap.SaveToBytes());
}

const TColor kRedColor = RGBColor(0xFF, 0, 0);

} // namespace

TEST(IconToBitmap, BitmapIsOneRowTallerThanTheIcon)
{
    for (int size : {16, 32, 256}) {
        const std::vector<uint32_t> pixels(static_cast<size_t>(size) * size, 0x102030);
        const ParsedBmp bmp = Convert(MakeDib(size, size, 24, {}, pixels), kRedColor);
        EXPECT_EQ(bmp.width, size);
        EXPECT_EQ(bmp.height, size + 1);
        // Fully opaque: the icon's pixels, then one row of the background.
        for (int x = 0; x < size; ++x) {
            EXPECT_EQ(bmp.at(x, 0), 0x102030u);
            EXPECT_EQ(bmp.at(x, size - 1), 0x102030u);
            EXPECT_EQ(bmp.at(x, size), kRed);
        }
    }
}

// Runs of transparent pixels are painted in the background colour, also at
// the start and the end of a row; opaque pixels keep the icon's colour.
TEST(IconToBitmap, TransparentRunsTakeTheBackgroundColour)
{
    struct Row {
        const char *mask; // 't' transparent, 'o' opaque
    };
    const std::vector<Row> rows = {
        {"ttttttttttttttttoooooooooooooooo"}, // left half transparent
        {"oooooooooooooooooooooooooooooott"}, // ends transparent
        {"ooottoooottttoooooooooooooooooot"}, // several runs, one pixel at the end
        {"tooooooooooooooooooooooooooooooo"}, // one pixel at the start
        {"tttttttttttttttttttttttttttttttt"}, // all transparent
        {"oooooooooooooooooooooooooooooooo"}, // all opaque
    };
    const int size = 32;
    std::vector<uint32_t> pixels(size * size, 0x00FF00);
    std::vector<uint8_t> mask(size * size, 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const bool transparent = rows[y % rows.size()].mask[x] == 't';
            mask[y * size + x] = transparent;
            if (transparent)
                pixels[y * size + x] = 0; // black under the mask: shows the background
        }
    const ParsedBmp bmp = Convert(MakeDib(size, size, 24, {}, pixels, mask), kRedColor);
    ASSERT_EQ(bmp.height, size + 1);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            EXPECT_EQ(bmp.at(x, y), mask[y * size + x] ? kRed : 0x00FF00u) << x << "," << y;
    for (int x = 0; x < size; ++x)
        EXPECT_EQ(bmp.at(x, size), kRed);
}

TEST(IconToBitmap, OverWhiteIsTheIconComposedOverWhite)
{
    TAdvancedIcon icon;
    ASSERT_TRUE(icon.LoadFromFile(Asset("ico_8bit.ico").string()));
    auto graphic = icon.Images.GetItem(0)->CreateGraphic();
    TBitmap bitmap;
    IconToBitmap(*graphic, clWhite, bitmap);
    GdiBitmap drawn(32, 32, 0xFFFFFFFFu);
    TCanvas canvas(&drawn);
    canvas.Draw(0, 0, *graphic);
    const ParsedBmp bmp = ParseBmp(bitmap.SaveToBytes());
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(bmp.at(x, y), drawn.at(x, y) & 0xFFFFFF) << x << "," << y;
    for (int x = 0; x < 32; ++x)
        EXPECT_EQ(bmp.at(x, 32), kWhite);
}

// A pixel the mask calls opaque keeps what drawing produced over white even
// when its alpha is partial: it is not blended with the background colour.
TEST(IconToBitmap, PartialAlphaIsBlendedOverWhiteNotOverTheBackground)
{
    const int size = 4;
    std::vector<uint32_t> pixels(size * size, 0xFF0000FF); // opaque blue
    pixels[0] = 0x800000FF;                                // half-transparent blue
    pixels[1] = 0x00000000;                                // fully transparent
    std::vector<uint8_t> mask(size * size, 0);
    mask[1] = 1;
    const ParsedBmp bmp = Convert(MakeDib(size, size, 32, {}, pixels, mask), kRedColor);
    const uint32_t halfBlue = bmp.at(0, 0);
    EXPECT_NEAR(static_cast<int>(halfBlue >> 16), 0x7F, 1);
    EXPECT_NEAR(static_cast<int>((halfBlue >> 8) & 0xFF), 0x7F, 1);
    EXPECT_EQ(halfBlue & 0xFF, 0xFFu);
    EXPECT_EQ(bmp.at(1, 0), kRed);
    EXPECT_EQ(bmp.at(2, 0), 0x0000FFu);
}

// A monochrome icon's mask holds the AND image above the XOR image: the
// bitmap is twice the icon's height plus one row, and its lower half shows
// the background where the XOR image is white.
TEST(IconToBitmap, MonochromeIconGivesTheDoubleHeightBitmap)
{
    const int size = 16;
    std::vector<uint32_t> pixels(size * size, 0);
    std::vector<uint8_t> mask(size * size, 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            mask[y * size + x] = x < 4;                // transparent strip on the left
            pixels[y * size + x] = (x >= 8) ? 1u : 0u; // white on the right half
        }
    const ParsedBmp bmp = Convert(MakeDib(size, size, 1, {0x000000, 0xFFFFFF}, pixels, mask), kRedColor);
    ASSERT_EQ(bmp.width, size);
    ASSERT_EQ(bmp.height, 2 * size + 1);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const uint32_t top = x < 4 ? kRed : (x >= 8 ? kWhite : 0u);
            EXPECT_EQ(bmp.at(x, y), top) << x << "," << y;
            EXPECT_EQ(bmp.at(x, y + size), x >= 8 ? kRed : kWhite) << x << "," << y + size;
        }
    for (int x = 0; x < size; ++x)
        EXPECT_EQ(bmp.at(x, 2 * size), kRed);
}

TEST(IconToBitmap, AnIconWithoutAHandleRaisesAndLeavesTheBitmapEmpty)
{
    THiResIcon graphic;
    TBitmap bitmap;
    EXPECT_THROW(IconToBitmap(graphic, clWhite, bitmap), EInvalidGraphic);
    EXPECT_EQ(bitmap.GetWidth(), 0);
    EXPECT_EQ(bitmap.GetHeight(), 0);
}

TEST(Canvas, LinesStopShortOfTheirEndAndClipToTheBitmap)
{
    TBitmap bitmap;
    bitmap.SetSize(6, 3);
    TCanvas &canvas = bitmap.Canvas();
    canvas.Pen.Color = kRedColor;
    canvas.MoveTo(-2, 1);
    canvas.LineTo(3, 1);
    canvas.MoveTo(4, 2);
    canvas.LineTo(40, 2);
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(canvas.GetPixel(x, 0), clWhite);
        EXPECT_EQ(canvas.GetPixel(x, 1), x < 3 ? kRedColor : clWhite) << x;
        EXPECT_EQ(canvas.GetPixel(x, 2), x >= 4 ? kRedColor : clWhite) << x;
    }
    EXPECT_EQ(canvas.PenPos.X, 40);
    EXPECT_EQ(canvas.GetPixel(6, 0), CLR_INVALID);
}
