// JPEG decoding: the About picture and files written by ImageMagick, checked
// against ImageMagick's own decoding; the size and scan limits; and damaged,
// truncated and hostile streams.
#include "formats/jpegdecode.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio> // before jpeglib.h
#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

const std::string kConvert = "/usr/bin/convert"; // another convert may stand earlier on PATH

// Runs ImageMagick with `args` and the output file `name` in `dir`, and gives
// the file's bytes.
std::vector<uint8_t> MakeJpeg(const TempDir &dir, const std::string &name, const std::string &args)
{
    std::string err;
    const int status = Run(kConvert + " " + args + " '" + (dir / name).string() + "'", nullptr, &err);
    EXPECT_EQ(status, 0) << args << ": " << err;
    return status == 0 ? ReadBytes(dir / name) : std::vector<uint8_t>{};
}

// ImageMagick's decoding of a file: 8-bit RGB samples, top row first.
std::vector<uint8_t> ImageMagickRgb(const fs::path &path)
{
    std::string out, err;
    EXPECT_EQ(Run(kConvert + " '" + path.string() + "' -depth 8 rgb:-", &out, &err), 0) << err;
    return {out.begin(), out.end()};
}

bool Decode(const std::vector<uint8_t> &bytes, PixelImage &out)
{
    return DecodeJpeg(ByteView(bytes.data(), bytes.size()), out);
}

// The largest difference of any sample between a bitmap and RGB samples of
// the same size; 256 when the sizes differ.
int MaxDifference(const PixelImage &bitmap, const std::vector<uint8_t> &rgb)
{
    if (rgb.size() != bitmap.Pixels.size() * 3)
        return 256;
    int worst = 0;
    for (size_t i = 0; i < bitmap.Pixels.size(); ++i) {
        const uint32_t p = bitmap.Pixels[i];
        worst = std::max({worst, std::abs(static_cast<int>((p >> 16) & 0xFF) - rgb[i * 3]),
                          std::abs(static_cast<int>((p >> 8) & 0xFF) - rgb[i * 3 + 1]),
                          std::abs(static_cast<int>(p & 0xFF) - rgb[i * 3 + 2])});
    }
    return worst;
}

bool AllOpaque(const PixelImage &bitmap)
{
    return std::all_of(bitmap.Pixels.begin(), bitmap.Pixels.end(), [](uint32_t p) { return (p >> 24) == 0xFF; });
}

// Rec. 601 luma of a pixel, 0 to 255.
int Luma(uint32_t p)
{
    return static_cast<int>((299 * ((p >> 16) & 0xFF) + 587 * ((p >> 8) & 0xFF) + 114 * (p & 0xFF)) / 1000);
}

// The offset of the start-of-frame marker (SOF0 to SOF2), or 0.
size_t FindFrameHeader(const std::vector<uint8_t> &jpeg)
{
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const uint8_t marker = jpeg[at + 1];
        if (marker >= 0xC0 && marker <= 0xC2)
            return at;
        at += 2 + (static_cast<size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    }
    return 0;
}

// A copy whose frame header claims the given size.
std::vector<uint8_t> WithClaimedSize(std::vector<uint8_t> jpeg, unsigned width, unsigned height)
{
    const size_t sof = FindFrameHeader(jpeg);
    EXPECT_NE(sof, 0u);
    if (sof == 0)
        return jpeg;
    jpeg[sof + 5] = static_cast<uint8_t>(height >> 8);
    jpeg[sof + 6] = static_cast<uint8_t>(height);
    jpeg[sof + 7] = static_cast<uint8_t>(width >> 8);
    jpeg[sof + 8] = static_cast<uint8_t>(width);
    return jpeg;
}

// A 16x16 grayscale gradient encoded by libjpeg as a progressive stream of
// exactly `scans` scans (2 to 694): one DC scan, then spectral bands of the 63
// AC coefficients, single coefficients refined over several scans once there
// are more scans than coefficients.
std::vector<uint8_t> ProgressiveWithScans(int scans)
{
    std::vector<jpeg_scan_info> script;
    auto add = [&](int ss, int se, int ah, int al) {
        jpeg_scan_info s{};
        s.comps_in_scan = 1;
        s.component_index[0] = 0;
        s.Ss = ss;
        s.Se = se;
        s.Ah = ah;
        s.Al = al;
        script.push_back(s);
    };
    add(0, 0, 0, 0);
    const int ac = scans - 1;
    if (ac <= 63) {
        for (int k = 1; k < ac; ++k)
            add(k, k, 0, 0);
        add(ac, 63, 0, 0);
    } else {
        int extra = ac - 63; // refinement scans, at most 10 per coefficient
        for (int k = 1; k <= 63; ++k) {
            const int refinements = std::min(extra, 10);
            extra -= refinements;
            add(k, k, 0, refinements);
            for (int ah = refinements; ah >= 1; --ah)
                add(k, k, ah, ah - 1);
        }
    }

    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = 16;
    cinfo.image_height = 16;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    cinfo.scan_info = script.data();
    cinfo.num_scans = static_cast<int>(script.size());
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPLE row[16];
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < 16; ++x)
            row[x] = static_cast<JSAMPLE>(x * 16 + cinfo.next_scanline);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// The number of start-of-scan markers in a stream; entropy-coded data never
// holds an unstuffed 0xFF, so counting FF DA is exact.
int CountScans(const std::vector<uint8_t> &jpeg)
{
    int count = 0;
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        count += jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA;
    return count;
}

} // namespace

// The picture of the About box decodes to what ImageMagick sees, and keeps
// both labels legible: dark behind the white version label, light behind the
// blue web label.
TEST(JpegAboutPicture, DecodesLikeImageMagick)
{
    const fs::path path = fs::path(VEXILLO_SOURCE_DIR) / "assets" / "about.jpg";
    PixelImage bitmap;
    ASSERT_TRUE(Decode(ReadBytes(path), bitmap));
    EXPECT_EQ(bitmap.Width, 400);
    EXPECT_EQ(bitmap.Height, 245);
    EXPECT_EQ(bitmap.BitsPerPixel, 24);
    EXPECT_TRUE(AllOpaque(bitmap));
    EXPECT_LE(MaxDifference(bitmap, ImageMagickRgb(path)), 3);
}

TEST(JpegAboutPicture, DarkBehindTheVersionLabelAndLightBehindTheWebLabel)
{
    PixelImage bitmap;
    ASSERT_TRUE(Decode(ReadBytes(fs::path(VEXILLO_SOURCE_DIR) / "assets" / "about.jpg"), bitmap));
    ASSERT_EQ(bitmap.Width, 400);
    int brightestBehindVersion = 0, darkestBehindWeb = 255;
    for (int y = 24; y < 42; ++y)
        for (int x = 298; x < 398; ++x)
            brightestBehindVersion = std::max(brightestBehindVersion, Luma(bitmap.at(x, y)));
    for (int y = 216; y < 234; ++y)
        for (int x = 20; x < 210; ++x)
            darkestBehindWeb = std::min(darkestBehindWeb, Luma(bitmap.at(x, y)));
    EXPECT_LT(brightestBehindVersion, 90);
    EXPECT_GT(darkestBehindWeb, 220);
    // The band is blue, not merely dark.
    const uint32_t band = bitmap.at(360, 30);
    EXPECT_GT(band & 0xFF, (band >> 16) & 0xFF);
}

// Files of the kinds ImageMagick writes decode to the same pixels as
// ImageMagick decodes them to, within the rounding of the two decoders'
// colour conversion and upsampling.
TEST(JpegDecode, MatchesImageMagickOnItsFiles)
{
    struct Case {
        const char *name;
        std::string args;
        int width, height;
    };
    const std::vector<Case> cases = {
        {"baseline 4:2:0, odd size", "-seed 1 -size 37x23 plasma:fractal -quality 85", 37, 23},
        {"baseline 4:4:4", "-seed 2 -size 31x17 plasma:fractal -sampling-factor 1x1", 31, 17},
        {"baseline 4:2:2", "-seed 3 -size 19x13 plasma:fractal -sampling-factor 2x1", 19, 13},
        {"progressive", "-seed 4 -size 64x48 plasma:fractal -interlace JPEG", 64, 48},
        {"arithmetic coded", "-seed 5 -size 21x21 plasma:fractal -define jpeg:arithmetic-coding=true", 21, 21},
        {"restart markers", "-seed 6 -size 40x40 plasma:fractal -define jpeg:restart-interval=1", 40, 40},
        {"grayscale", "-seed 7 -size 33x21 plasma:fractal -colorspace Gray", 33, 21},
        {"grayscale progressive", "-seed 8 -size 9x70 plasma:fractal -colorspace Gray -interlace JPEG", 9, 70},
        {"CMYK", "-seed 9 -size 29x19 plasma:fractal -colorspace CMYK", 29, 19},
        {"CMYK progressive", "-seed 10 -size 8x8 plasma:fractal -colorspace CMYK -interlace JPEG", 8, 8},
        {"one pixel", "-size 1x1 xc:'#3366cc'", 1, 1},
        {"one row", "-seed 11 -size 300x1 plasma:fractal", 300, 1},
        {"one column", "-seed 12 -size 1x77 plasma:fractal", 1, 77},
        {"comment and profile markers", "-seed 13 -size 16x16 plasma:fractal -set comment hello", 16, 16},
    };
    TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> jpeg = MakeJpeg(dir, "x.jpg", c.args);
        PixelImage bitmap;
        ASSERT_TRUE(Decode(jpeg, bitmap));
        EXPECT_EQ(bitmap.Width, c.width);
        EXPECT_EQ(bitmap.Height, c.height);
        EXPECT_TRUE(AllOpaque(bitmap));
        EXPECT_LE(MaxDifference(bitmap, ImageMagickRgb(dir / "x.jpg")), 3);
    }
}

TEST(JpegDecode, GrayscaleComesOutAsEqualSamples)
{
    TempDir dir;
    PixelImage bitmap;
    ASSERT_TRUE(Decode(MakeJpeg(dir, "g.jpg", "-size 20x10 gradient:white-black -colorspace Gray"), bitmap));
    for (uint32_t p : bitmap.Pixels) {
        ASSERT_EQ((p >> 16) & 0xFF, (p >> 8) & 0xFF);
        ASSERT_EQ((p >> 8) & 0xFF, p & 0xFF);
    }
    EXPECT_GT(Luma(bitmap.at(10, 0)), 240);
    EXPECT_LT(Luma(bitmap.at(10, 9)), 15);
}

// CMYK streams with an Adobe marker keep inverted samples; the colours come
// out right rather than as a negative.
TEST(JpegDecode, CmykColoursAreNotInverted)
{
    TempDir dir;
    PixelImage bitmap;
    ASSERT_TRUE(Decode(MakeJpeg(dir, "c.jpg", "-size 16x8 xc:'#d02020' -colorspace CMYK"), bitmap));
    const uint32_t p = bitmap.at(8, 4);
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 0xD0, 4);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 0x20, 4);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 0x20, 4);
}

TEST(JpegDecode, SizeLimitHoldsInBothDirections)
{
    TempDir dir;
    PixelImage bitmap;
    ASSERT_TRUE(Decode(MakeJpeg(dir, "a.jpg", "-size " + std::to_string(kMaxJpegDimension) + "x2 xc:gray"), bitmap));
    EXPECT_EQ(bitmap.Width, kMaxJpegDimension);
    ASSERT_TRUE(Decode(MakeJpeg(dir, "b.jpg", "-size 2x" + std::to_string(kMaxJpegDimension) + " xc:gray"), bitmap));
    EXPECT_EQ(bitmap.Height, kMaxJpegDimension);

    const std::string over = std::to_string(kMaxJpegDimension + 1);
    EXPECT_FALSE(Decode(MakeJpeg(dir, "c.jpg", "-size " + over + "x2 xc:gray"), bitmap));
    EXPECT_FALSE(Decode(MakeJpeg(dir, "d.jpg", "-size 2x" + over + " xc:gray"), bitmap));
}

// Headers that claim a size the data does not have, or no size at all.
TEST(JpegDecode, RefusesFrameHeadersClaimingOtherSizes)
{
    TempDir dir;
    const std::vector<uint8_t> small = MakeJpeg(dir, "s.jpg", "-seed 1 -size 16x16 plasma:fractal");
    PixelImage bitmap;
    ASSERT_TRUE(Decode(small, bitmap));
    EXPECT_FALSE(Decode(WithClaimedSize(small, 65535, 65535), bitmap));
    EXPECT_FALSE(Decode(WithClaimedSize(small, 5000, 5000), bitmap));
    EXPECT_FALSE(Decode(WithClaimedSize(small, 4000, 4000), bitmap)); // allowed size, far too little data
    EXPECT_FALSE(Decode(WithClaimedSize(small, 0, 16), bitmap));
    EXPECT_FALSE(Decode(WithClaimedSize(small, 16, 0), bitmap));
    EXPECT_FALSE(Decode(WithClaimedSize(small, 16, 32), bitmap)); // rows missing at the end

    // The reasons: libjpeg's own message, or the limit of the program.
    auto why = [](const std::vector<uint8_t> &bytes) {
        PixelImage picture;
        TReadError error;
        EXPECT_FALSE(DecodeJpeg(ByteView(bytes.data(), bytes.size()), picture, &error));
        return error.Text();
    };
    EXPECT_EQ(why(WithClaimedSize(small, 5000, 5000)),
              "the image does not decode (JPEG: a picture size outside 1 to 4096 pixels)");
    EXPECT_EQ(why({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0}),
              "the image does not decode (JPEG: Not a JPEG file: starts with 0x89 0x50)");
    EXPECT_EQ(why(ProgressiveWithScans(kMaxJpegScans + 1)),
              "the image does not decode (JPEG: more scans than the limit of the program)");
}

// A progressive stream of kMaxJpegScans scans decodes; one more is refused.
TEST(JpegDecode, ScanLimitHoldsAtItsBoundary)
{
    const std::vector<uint8_t> atLimit = ProgressiveWithScans(kMaxJpegScans);
    const std::vector<uint8_t> overLimit = ProgressiveWithScans(kMaxJpegScans + 1);
    ASSERT_EQ(CountScans(atLimit), kMaxJpegScans);
    ASSERT_EQ(CountScans(overLimit), kMaxJpegScans + 1);

    PixelImage bitmap;
    ASSERT_TRUE(Decode(atLimit, bitmap));
    EXPECT_EQ(bitmap.Width, 16);
    EXPECT_NEAR(Luma(bitmap.at(15, 15)), 15 * 16 + 15, 6);
    EXPECT_FALSE(Decode(overLimit, bitmap));
}

// Every proper prefix of a stream fails, baseline and progressive, and a
// failure leaves the bitmap as it was.
TEST(JpegDecode, EveryTruncationFailsAndLeavesTheBitmapAlone)
{
    TempDir dir;
    for (const std::string args :
         {"-seed 1 -size 24x16 plasma:fractal", "-seed 2 -size 24x16 plasma:fractal -interlace JPEG"}) {
        SCOPED_TRACE(args);
        const std::vector<uint8_t> jpeg = MakeJpeg(dir, "t.jpg", args);
        PixelImage bitmap;
        ASSERT_TRUE(Decode(jpeg, bitmap));
        for (size_t n = 0; n < jpeg.size(); ++n) {
            PixelImage untouched;
            untouched.Width = 7;
            untouched.Pixels = {0x12345678};
            ASSERT_FALSE(DecodeJpeg(ByteView(jpeg.data(), n), untouched)) << "prefix of " << n << " bytes";
            ASSERT_EQ(untouched.Width, 7);
            ASSERT_EQ(untouched.Pixels, std::vector<uint32_t>{0x12345678});
        }
    }
}

TEST(JpegDecode, RefusesWhatIsNotAJpeg)
{
    PixelImage bitmap;
    EXPECT_FALSE(DecodeJpeg(ByteView(), bitmap));
    EXPECT_FALSE(Decode({0xFF, 0xD8}, bitmap));
    EXPECT_FALSE(Decode({0xFF, 0xD8, 0xFF, 0xD9}, bitmap)); // start and end, nothing between
    EXPECT_FALSE(Decode({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0}, bitmap));

    std::mt19937 random(42);
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> garbage(1 + random() % 600);
        for (uint8_t &b : garbage)
            b = static_cast<uint8_t>(random());
        if (i % 2) { // half of them behind a start-of-image marker
            garbage[0] = 0xFF;
            if (garbage.size() > 1)
                garbage[1] = 0xD8;
        }
        EXPECT_FALSE(Decode(garbage, bitmap));
    }
}

// Damage anywhere in a stream either fails or gives a bitmap that keeps every
// promise of the type; under the sanitizers this also finds bad reads.
TEST(JpegDecode, DamagedStreamsNeverBreakTheDecoder)
{
    TempDir dir;
    for (const std::string args :
         {"-seed 3 -size 20x12 plasma:fractal", "-seed 4 -size 20x12 plasma:fractal -interlace JPEG",
          "-seed 5 -size 20x12 plasma:fractal -colorspace CMYK"}) {
        SCOPED_TRACE(args);
        const std::vector<uint8_t> jpeg = MakeJpeg(dir, "d.jpg", args);
        std::mt19937 random(7);
        for (size_t at = 0; at < jpeg.size(); ++at) {
            for (uint8_t change : {uint8_t{0xFF}, static_cast<uint8_t>(1u << (random() % 8))}) {
                std::vector<uint8_t> damaged = jpeg;
                damaged[at] ^= change;
                PixelImage bitmap;
                if (!Decode(damaged, bitmap))
                    continue;
                ASSERT_GT(bitmap.Width, 0);
                ASSERT_GT(bitmap.Height, 0);
                ASSERT_LE(bitmap.Width, kMaxJpegDimension);
                ASSERT_LE(bitmap.Height, kMaxJpegDimension);
                ASSERT_EQ(bitmap.Pixels.size(), static_cast<size_t>(bitmap.Width) * bitmap.Height);
                ASSERT_TRUE(AllOpaque(bitmap));
            }
        }
    }
}
