#include "formats/anicursor.h"
#include "formats/pngwriter.h"
#include "icons/advancedicon.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sys/stat.h>

using namespace vexillo;
using namespace vexillo::test;

namespace {

using Bytes = std::vector<uint8_t>;
using Pixels = std::vector<uint32_t>;

Bytes Cat(const std::vector<Bytes> &parts)
{
    Bytes v;
    for (const auto &p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

Bytes Chunk(const char *id, const Bytes &body)
{
    Bytes v(id, id + 4);
    PutU32(v, static_cast<uint32_t>(body.size()));
    v.insert(v.end(), body.begin(), body.end());
    if (body.size() % 2)
        v.push_back(0);
    return v;
}

Bytes List(const char *type, const std::vector<Bytes> &chunks)
{
    return Chunk("LIST", Cat({Bytes(type, type + 4), Cat(chunks)}));
}

Bytes Riff(const std::vector<Bytes> &chunks)
{
    return Chunk("RIFF", Cat({Bytes{'A', 'C', 'O', 'N'}, Cat(chunks)}));
}

Bytes Dwords(const std::vector<uint32_t> &values)
{
    Bytes v;
    for (uint32_t x : values)
        PutU32(v, x);
    return v;
}

Bytes Anih(uint32_t frames, uint32_t steps, uint32_t jiffies = 6)
{
    return Chunk("anih", Dwords({36, frames, steps, 0, 0, 0, 0, jiffies, 1}));
}

// A one-image CUR file of a size x size 32-bit image with that hot spot.
Bytes Cur(uint16_t hotX = 1, uint16_t hotY = 2, int size = 4, int bits = 32)
{
    const std::vector<uint32_t> palette(bits <= 8 ? 1u << bits : 0, 0x336699);
    const auto dib = MakeDib(size, size, bits, palette, std::vector<uint32_t>(size * size, 0xFF336699u));
    const auto side = static_cast<uint8_t>(size);
    Bytes v = MakeIco({dib}, {{side, side, 0, 0, hotX, hotY}});
    v[2] = 2;
    return v;
}

// A CUR file whose one image says 7 bits per pixel: it does not decode.
Bytes SevenBitCur()
{
    Bytes icon = Cur();
    icon[6 + 16 + 14] = 7;
    return icon;
}

std::vector<Bytes> Icons(size_t count, const Bytes &icon = Cur())
{
    return std::vector<Bytes>(count, Chunk("icon", icon));
}

bool Load(const Bytes &bytes, CursorFile &cursor, TReadError *error = nullptr, ReadNotes *notes = nullptr)
{
    return ReadCursorFile(SharedBytes(bytes), nullptr, cursor, error, notes);
}

const DecodedImage &Shown(const CursorFile &cursor, size_t frame)
{
    return cursor.Frames[frame].ShownImage().Picture;
}

bool Loads(const Bytes &bytes)
{
    CursorFile cursor;
    const bool ok = Load(bytes, cursor);
    EXPECT_EQ(ok, !cursor.Frames.empty());
    return ok;
}

std::filesystem::path OurCursor()
{
    return std::filesystem::path(VEXILLO_SOURCE_DIR) / "assets" / "uc.ani";
}

// "ani/name" or "ico/name" in the corpus, or our own "uc.ani"; empty when absent.
std::filesystem::path FilePath(const std::string &name)
{
    if (name == "uc.ani")
        return OurCursor();
    const auto dir = CorpusDir(name.substr(0, 3));
    return dir.empty() ? dir : dir / name.substr(4);
}

TEST(AniCursorTest, OurPointerAnimatesWithItsTipAsHotspot)
{
    CursorFile cursor;
    ASSERT_TRUE(ReadCursorFile(OurCursor().string(), cursor, nullptr));
    ASSERT_EQ(cursor.Frames.size(), 8u);
    ASSERT_EQ(cursor.Steps.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        const DecodedImage &image = Shown(cursor, i);
        EXPECT_EQ(cursor.Steps[i].Frame, static_cast<int>(i));
        EXPECT_EQ(cursor.Steps[i].DurationMs, 100);
        EXPECT_EQ(image.Width, 32);
        EXPECT_TRUE(image.AlphaBlend);
        EXPECT_EQ(cursor.Frames[i].ShownImage().HotspotX, 0);
        EXPECT_EQ(cursor.Frames[i].ShownImage().HotspotY, 0);
        EXPECT_GE(image.Color[0] >> 24, 0x80u) << "the tip pixel shows";
        EXPECT_NE(image.Color, Shown(cursor, (i + 1) % 8).Color) << "frame " << i << " repeats";
        // A black outline around a white fill.
        EXPECT_TRUE(std::count(image.Color.begin(), image.Color.end(), 0xFFFFFFFFu) > 40);
        EXPECT_TRUE(std::count(image.Color.begin(), image.Color.end(), 0xFF000000u) > 40);
    }
}

// Real files: what loads, and its frame count, steps, durations and hot spot.
struct CorpusCase {
    const char *file;
    size_t frames, steps; // 0 frames: refused
    int size, hotX, hotY;
    std::vector<int> sequence, durations; // the first steps
};

void PrintTo(const CorpusCase &c, std::ostream *os)
{
    *os << c.file;
}

class AniCorpusTest : public testing::TestWithParam<CorpusCase> {};

TEST_P(AniCorpusTest, LoadsAsExpected)
{
    const CorpusCase &c = GetParam();
    const auto path = FilePath(c.file);
    if (path.empty())
        GTEST_SKIP() << "no corpus";
    CursorFile cursor;
    ASSERT_EQ(ReadCursorFile(path.string(), cursor, nullptr), c.frames > 0);
    ASSERT_EQ(cursor.Frames.size(), c.frames);
    ASSERT_EQ(cursor.Steps.size(), c.steps);
    // The catalogue's reading: every image of every frame, in frame order,
    // the same steps, and an animated file saved as it is.
    TAdvancedIcon icon;
    // (A cursor file of no images is read as an empty cursor, as an empty
    // icon file is.)
    const bool loaded = icon.LoadAnimatedCursorFromFile(path.string());
    ASSERT_EQ(loaded && icon.Images.Count > 0, c.frames > 0) << icon.LastError().Text();
    if (!c.frames)
        return;
    ASSERT_EQ(icon.Steps.size(), c.steps);
    for (size_t i = 0; i < c.steps; ++i)
        EXPECT_EQ(std::pair(icon.Steps[i].Frame, icon.Steps[i].DurationMs),
                  std::pair(cursor.Steps[i].Frame, cursor.Steps[i].DurationMs));
    EXPECT_EQ(icon.Images.GetItem(0)->Frame, 0);
    EXPECT_EQ(icon.Images.GetItem(static_cast<uint16_t>(icon.Images.Count - 1))->Frame, static_cast<int>(c.frames - 1));
    TMemoryStream saved;
    icon.SaveToStream(saved);
    EXPECT_TRUE(icon.AnimatedFile.empty() || saved.Bytes() == ReadBytes(path));
    EXPECT_EQ(icon.AnimatedFile.empty(), c.steps == 1 && c.frames == 1);
    EXPECT_EQ(Shown(cursor, 0).Width, c.size);
    EXPECT_EQ(cursor.Frames[0].ShownImage().HotspotX, c.hotX);
    EXPECT_EQ(cursor.Frames[0].ShownImage().HotspotY, c.hotY);
    for (size_t i = 0; i < c.sequence.size(); ++i)
        EXPECT_EQ(cursor.Steps[i].Frame, c.sequence[i]) << "step " << i;
    for (size_t i = 0; i < c.durations.size(); ++i)
        EXPECT_EQ(cursor.Steps[i].DurationMs, c.durations[i]) << "step " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Files, AniCorpusTest,
    testing::Values(CorpusCase{"ani/gdkpixbuf__test-animation.ani", 18, 18, 32, 0, 8, {0, 1, 2}, {33}},
                    // Its second frame runs past its list; the images before the cut show.
                    CorpusCase{"ani/gdkpixbuf__fail-CVE-2022-48622.ani", 2, 2, 32, 0, 8, {0, 1}, {33, 33}},
                    CorpusCase{"ani/gdkpixbuf__fail-invalid.3.ico", 0, 0, 0, 0, 0, {}, {}},
                    CorpusCase{"ani/webamp__AfterShock_Digital_2003-close.cur", 9, 16, 32, 0, 0, {}, {167}},
                    CorpusCase{"ani/webamp__Green_Dimension_v2-eqslid.cur", 2, 2, 32, 0, 0, {0, 1}, {133, 133}},
                    CorpusCase{"ani/webamp__Super_Mario_Amp_2-close.cur",
                               10,
                               17,
                               32,
                               0,
                               0,
                               {0, 1, 2, 3, 4, 5, 4, 5, 4, 5, 6},
                               {167, 167, 167, 167, 117, 100, 83, 67, 50, 33, 17}},
                    CorpusCase{"ani/webamp__piano.ani", 5, 8, 32, 13, 9, {0, 1, 2, 3, 4, 3, 2, 1}, {250}},
                    CorpusCase{"ani/wpftest__anitest.ani", 5, 5, 32, 0, 0, {0, 1, 2, 3, 4}, {167}},
                    // Static files: the image nearest 32 pixels, then the deepest.
                    CorpusCase{"ico/winres__cursor.cur", 1, 1, 32, 14, 8, {0}, {0}},
                    CorpusCase{"ico/winres__fr.cur", 1, 1, 32, 25, 5, {}, {}},
                    CorpusCase{"ico/wpftest__TestCursorColorDepth.cur", 1, 1, 32, 15, 15, {}, {}},
                    CorpusCase{"ico/wpftest__TestCursorRes.cur", 1, 1, 32, 23, 14, {}, {}},
                    CorpusCase{"ico/wpftest__TestCursorRes96x96.cur", 1, 1, 96, 44, 69, {}, {}},
                    CorpusCase{"ico/winres__png.cur", 1, 1, 64, 0, 0, {}, {}},
                    CorpusCase{"ico/winres__icon.ico", 1, 1, 32, 16, 16, {}, {}},
                    CorpusCase{"ico/pillow__no_cursors.cur", 0, 0, 0, 0, 0, {}, {}}));

// The ICO/CUR bytes of each `icon` chunk after the "fram" list type.
std::vector<Bytes> FrameFiles(const Bytes &file)
{
    std::vector<Bytes> frames;
    const ByteView view(file.data(), file.size());
    const Bytes type{'f', 'r', 'a', 'm'};
    const auto fram = std::search(file.begin(), file.end(), type.begin(), type.end());
    uint64_t offset = fram - file.begin() + 4;
    uint32_t id = 0, size = 0;
    ByteView body;
    for (; view.readU32(offset, id) && view.readU32(offset + 4, size) && view.sub(offset + 8, size, body);
         offset += 8 + size + size % 2)
        if (std::memcmp(&id, "icon", 4) == 0)
            frames.emplace_back(body.data(), body.data() + body.size());
    return frames;
}

// Every frame equals what ImageMagick makes of that frame's CUR file.
class AniImageMagickTest : public testing::TestWithParam<const char *> {};

TEST_P(AniImageMagickTest, FramesMatch)
{
    const auto path = FilePath(GetParam());
    if (path.empty())
        GTEST_SKIP() << "no corpus";
    const Bytes file = ReadBytes(path);
    CursorFile cursor;
    ASSERT_TRUE(Load(file, cursor));
    const auto frames = file[0] == 'R' ? FrameFiles(file) : std::vector<Bytes>{file};
    ASSERT_EQ(frames.size(), cursor.Frames.size());
    TempDir dir;
    for (size_t k = 0; k < frames.size(); ++k) {
        WriteBytes(dir / "f.cur", frames[k]);
        const std::string command = "/usr/bin/convert " + (dir / "f.cur").string() + " -depth 8 RGBA:";
        ASSERT_EQ(test::Run(command + (dir / "out").string()), 0);
        const Bytes rgba = ReadBytes(dir / "out");
        PixelImage ours;
        ASSERT_TRUE(IconToArgb(&Shown(cursor, k), ours));
        ASSERT_EQ(rgba.size(), ours.Pixels.size() * 4) << "frame " << k;
        int mismatches = 0;
        for (size_t i = 0; i < ours.Pixels.size() && mismatches < 5; ++i) {
            const uint32_t p = ours.Pixels[i];
            const uint32_t theirs = (uint32_t{rgba[4 * i + 3]} << 24) | (uint32_t{rgba[4 * i]} << 16) |
                                    (uint32_t{rgba[4 * i + 1]} << 8) | rgba[4 * i + 2];
            if ((p >> 24 ? p : 0) != (theirs >> 24 ? theirs : 0) && ++mismatches)
                ADD_FAILURE() << "frame " << k << " pixel " << i << std::hex << ": " << p << " vs " << theirs;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, AniImageMagickTest,
                         testing::Values("uc.ani", "ani/webamp__Super_Mario_Amp_2-close.cur",
                                         "ani/webamp__AfterShock_Digital_2003-close.cur", "ani/webamp__piano.ani",
                                         "ico/pillow__deerstalker.cur", "ico/wpftest__star.cur",
                                         "ico/webamp__base-2.91-NORMAL.CUR", "ico/winres__png.cur"));

TEST(AniCursorTest, DurationsInJiffies)
{
    const std::pair<uint32_t, int> cases[] = {{0, 17}, {1, 17}, {6, 100}, {10, 167}, {60, 1000}, {~0u, INT32_MAX}};
    for (const auto &[jiffies, ms] : cases)
        EXPECT_EQ(JiffiesToMs(jiffies), ms) << jiffies;
    // The anih rate for every step, unless a rate chunk gives each its own.
    CursorFile cursor;
    ASSERT_TRUE(Load(Riff({Anih(2, 2, 0), List("fram", Icons(2))}), cursor));
    EXPECT_EQ(cursor.Steps[1].DurationMs, 17);
    ASSERT_TRUE(Load(Riff({Anih(2, 2, 30), Chunk("rate", Dwords({3, 0})), List("fram", Icons(2))}), cursor));
    EXPECT_EQ(cursor.Steps[0].DurationMs, 50);
    EXPECT_EQ(cursor.Steps[1].DurationMs, 17);
}

// Sloppy files that real programs write, and what each gives.
struct TolerantCase {
    const char *name;
    Bytes file;
    size_t frames, steps;
    int hotX, hotY;
};

class AniTolerantTest : public testing::TestWithParam<TolerantCase> {};

TEST_P(AniTolerantTest, Loads)
{
    const TolerantCase &c = GetParam();
    CursorFile cursor;
    ReadNotes notes;
    ASSERT_TRUE(Load(c.file, cursor, nullptr, &notes));
    EXPECT_EQ(cursor.Frames.size(), c.frames);
    EXPECT_EQ(cursor.Steps.size(), c.steps);
    EXPECT_EQ(cursor.Frames[0].ShownImage().HotspotX, c.hotX);
    EXPECT_EQ(cursor.Frames[0].ShownImage().HotspotY, c.hotY);
    // A RIFF size that does not fit the file is noted once.
    uint32_t riffSize = 0;
    std::memcpy(&riffSize, c.file.data() + 4, 4);
    const bool riff = c.file[0] == 'R';
    const auto riffNotes = std::count_if(notes.Lines().begin(), notes.Lines().end(),
                                         [](const std::string &line) { return line.rfind("RIFF size", 0) == 0; });
    EXPECT_EQ(riffNotes, riff && (riffSize < 4 || riffSize + 8ull > c.file.size()) ? 1 : 0);
}

Bytes WithRiffSize(Bytes file, uint32_t size)
{
    std::memcpy(file.data() + 4, Dwords({size}).data(), 4);
    return file;
}

// A LIST "fram" whose last icon chunk reaches 16 bytes past the list's end.
Bytes OverrunningIcon()
{
    const Bytes icons = Cat(Icons(2));
    Bytes list{'L', 'I', 'S', 'T'};
    PutU32(list, static_cast<uint32_t>(4 + icons.size() - 16));
    return Riff({Anih(2, 2), list, Bytes{'f', 'r', 'a', 'm'}, icons});
}

const Bytes kTwoFrames = Riff({Anih(2, 2), List("fram", Icons(2))});
const Bytes kOddChunk = Chunk("junk", Bytes(3, 0xEE));

INSTANTIATE_TEST_SUITE_P(
    Files, AniTolerantTest,
    testing::Values(
        TolerantCase{"RiffSizeZero", WithRiffSize(kTwoFrames, 0), 2, 2, 1, 2},
        TolerantCase{"RiffSizePastEnd", WithRiffSize(kTwoFrames, 0xFFFFFFF0), 2, 2, 1, 2},
        TolerantCase{"TrailingBytesAfterRiff", Cat({kTwoFrames, Bytes(5, 0xEE)}), 2, 2, 1, 2},
        TolerantCase{"OddChunksAndInfoList",
                     Riff({kOddChunk, List("INFO", {kOddChunk}), Anih(1, 1), List("fram", Icons(1))}), 1, 1, 1, 2},
        TolerantCase{"OddLastChunkWithoutPad",
                     Cat({WithRiffSize(Riff({Anih(1, 1), List("fram", Icons(1))}), 0),
                          Bytes{'j', 'u', 'n', 'k', 1, 0, 0, 0, 9}}),
                     1, 1, 1, 2},
        TolerantCase{"SequenceAfterFrames",
                     Riff({Anih(2, 3), List("fram", Icons(2)), Chunk("seq ", Dwords({1, 0, 1}))}), 2, 3, 1, 2},
        TolerantCase{"ExtraIconsAndOtherChunksInFram",
                     Riff({Anih(1, 1), List("fram", {kOddChunk, Cat(Icons(3)), List("fram", {})})}), 1, 1, 1, 2},
        TolerantCase{"ZeroStepsMeansEachFrame", Riff({Anih(3, 0), List("fram", Icons(3))}), 3, 3, 1, 2},
        TolerantCase{"IconFramesHaveCentreHotspot",
                     Riff({Anih(1, 1), List("fram", Icons(1, MakeIco({MakeDib(6, 6, 24, {}, Pixels(36))})))}), 1, 1, 3,
                     3},
        TolerantCase{"HotspotOutsideIsClamped", Riff({Anih(1, 1), List("fram", Icons(1, Cur(50, 3)))}), 1, 1, 3, 3},
        TolerantCase{"StaticCursor", Cur(2, 3), 1, 1, 2, 3},
        // Steps naming missing frames are left out.
        TolerantCase{"SequenceNamesFrame1000",
                     Riff({Anih(2, 2), Chunk("seq ", Dwords({0, 1000})), List("fram", Icons(2))}), 2, 1, 1, 2},
        TolerantCase{"MoreStepsThanFramesWithoutSequence", Riff({Anih(2, 3), List("fram", Icons(2))}), 2, 2, 1, 2},
        TolerantCase{"NoStepNamesAFrame", Riff({Anih(2, 1), Chunk("seq ", Dwords({7})), List("fram", Icons(2))}), 2, 2,
                     1, 2},
        // A file cut short, or with chunk sizes that do not fit, keeps what
        // lies before the damage.
        TolerantCase{"FewerIconsThanFrames", Riff({Anih(3, 3), List("fram", Icons(2))}), 2, 2, 1, 2},
        // A frame that does not read or decode is left out, with the steps
        // that show it.
        TolerantCase{"IconOverrunsItsList", OverrunningIcon(), 1, 1, 1, 2},
        TolerantCase{"FrameOfSevenBits",
                     Riff({Anih(3, 3),
                           List("fram", {Chunk("icon", Cur()), Chunk("icon", SevenBitCur()), Chunk("icon", Cur())})}),
                     2, 2, 1, 2},
        TolerantCase{"ShortRate", Riff({Anih(2, 2), Chunk("rate", Dwords({6})), List("fram", Icons(2))}), 2, 2, 1, 2},
        TolerantCase{"ShortSequence", Riff({Anih(2, 2), Chunk("seq ", Dwords({0})), List("fram", Icons(2))}), 2, 1, 1,
                     2},
        TolerantCase{"ChunkPastTheEnd",
                     Cat({WithRiffSize(Riff({Anih(1, 1), List("fram", Icons(1))}), 0),
                          Bytes{'j', 'u', 'n', 'k', 0xF0, 0xFF, 0xFF, 0xFF, 1, 2}}),
                     1, 1, 1, 2},
        TolerantCase{"ListWithoutType", Riff({Anih(1, 1), List("fram", Icons(1)), Chunk("LIST", {'f', 'r'})}), 1, 1, 1,
                     2},
        TolerantCase{"PartialChunkHeader",
                     Cat({WithRiffSize(Riff({Anih(1, 1), List("fram", Icons(1))}), 0), Bytes{'j', 'u', 'n'}}), 1, 1, 1,
                     2}),
    [](const auto &param) { return std::string(param.param.name); });

// Broken or hostile files: each is refused, without a crash or a large
// allocation.
struct HostileCase {
    const char *name;
    Bytes file;
    const char *why; // the reason given
};

class AniHostileTest : public testing::TestWithParam<HostileCase> {};

TEST_P(AniHostileTest, IsRefused)
{
    CursorFile cursor;
    TReadError error;
    EXPECT_FALSE(Load(GetParam().file, cursor, &error));
    EXPECT_TRUE(cursor.Frames.empty());
    EXPECT_EQ(error.Text(), GetParam().why);
}

Bytes WithIcon(const Bytes &icon)
{
    return Riff({Anih(1, 1), List("fram", Icons(1, icon))});
}

Bytes CutDib()
{
    Bytes icon = Cur();
    icon.resize(icon.size() - 30); // the header stays, the pixels are cut
    std::memcpy(icon.data() + 14, Dwords({static_cast<uint32_t>(icon.size() - 22)}).data(), 4);
    return icon;
}

INSTANTIATE_TEST_SUITE_P(
    Files, AniHostileTest,
    testing::Values(
        HostileCase{"Empty", {}, "truncated at offset 0 (shorter than any cursor)"},
        HostileCase{"NotAcon", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'},
                    "not an icon file (a RIFF file, but not an animated cursor)"},
        HostileCase{"NoAnih", Riff({List("fram", Icons(1))}), "no 'anih' chunk"},
        HostileCase{"ShortAnih", Riff({Chunk("anih", Dwords({36, 1, 1, 0, 0, 0, 0, 6})), List("fram", Icons(1))}),
                    "truncated at offset 52 (the 'anih' chunk)"},
        HostileCase{"TwoAnih", Riff({Anih(1, 1), List("fram", Icons(1)), Anih(1, 1)}),
                    "corrupt at offset 226 (a second 'anih' chunk)"},
        HostileCase{"TwoRates",
                    Riff({Anih(1, 1), Chunk("rate", Dwords({1})), Chunk("rate", Dwords({1})), List("fram", Icons(1))}),
                    "corrupt at offset 76 (a second 'rate' chunk)"},
        HostileCase{"TwoSequences",
                    Riff({Anih(1, 1), Chunk("seq ", Dwords({0})), Chunk("seq ", Dwords({0})), List("fram", Icons(1))}),
                    "corrupt at offset 76 (a second 'seq ' chunk)"},
        HostileCase{"TwoFrameLists", Riff({Anih(1, 1), List("fram", Icons(1)), List("fram", Icons(1))}),
                    "corrupt at offset 226 (a second LIST of frames)"},
        HostileCase{"NoFrames", Riff({Anih(0, 0), List("fram", Icons(1))}), "no frame in the animated cursor"},
        HostileCase{"FourBillionFrames", Riff({Anih(~0u, 1), List("fram", Icons(2))}),
                    "limit exceeded: cursor frames (4294967295 frames, at most 1024)"},
        HostileCase{"FourBillionSteps", Riff({Anih(1, ~0u), List("fram", Icons(1))}),
                    "limit exceeded: cursor steps (4294967295 steps, at most 4096)"},
        HostileCase{"IconNotAnIcoFile", WithIcon(Bytes(40, 0x41)),
                    "not an icon file (header 16705, 16705 in frame 0 at 76)"},
        HostileCase{"IconWithoutImages", WithIcon(Bytes{0, 0, 2, 0, 0, 0}), "no image in frame 0 at 76"},
        HostileCase{"IconDirectoryPastTheEnd", WithIcon(Bytes{0, 0, 2, 0, 0xFF, 0xFF, 1, 2, 3}),
                    "truncated at offset 9 (a directory of 65535 entries in frame 0 at 76)"},
        HostileCase{"IconImageCut", WithIcon(CutDib()),
                    "truncated at offset 90 (pixels: 64 bytes at 40 in frame 0 at 76)"},
        HostileCase{"IconImageOfSevenBits", WithIcon(SevenBitCur()),
                    "the image does not decode (7 bits per pixel in frame 0 at 76)"},
        HostileCase{"StaticWithoutImages", Bytes{0, 0, 2, 0, 0, 0}, "no image"}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(AniCursorTest, NestedListsAreSkippedNotEntered)
{
    Bytes nested = List("INFO", {});
    for (int depth = 0; depth < 2000; ++depth)
        nested = List(depth % 2 ? "INFO" : "fram", {nested}); // the outermost is "INFO"
    CursorFile cursor;
    ASSERT_TRUE(Load(Riff({nested, Anih(1, 1), List("fram", {nested, Cat(Icons(1))})}), cursor));
    EXPECT_EQ(cursor.Frames.size(), 1u);
}

// A file cut anywhere is refused or keeps whole frames: never a frame made
// of the cut image.
TEST(AniCursorTest, EveryTruncationIsRefusedOrKeepsWholeFrames)
{
    const Bytes file =
        Riff({Anih(2, 3), Chunk("rate", Dwords({1, 2, 3})), Chunk("seq ", Dwords({1, 0, 1})), List("fram", Icons(2))});
    CursorFile whole;
    ASSERT_TRUE(Load(file, whole));
    for (size_t length = 0; length < file.size(); ++length) {
        CursorFile cut;
        if (!Load(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)), cut))
            continue;
        ASSERT_LE(cut.Frames.size(), whole.Frames.size()) << length;
        for (size_t i = 0; i < cut.Frames.size(); ++i)
            EXPECT_EQ(Shown(cut, i).Color, Shown(whole, cut.Frames[i].Number).Color) << length;
    }
}

// The named limits: the largest allowed value loads, one more is refused.
// The pictures draw on the file's budget: once it refuses, the file is
// refused with the frames decoded before kept.
TEST(AniCursorTest, LimitsOnFramesStepsAndPictures)
{
    for (uint32_t extra : {0u, 1u}) {
        SCOPED_TRACE(extra);
        const uint32_t frames = kMaxCursorFrames + extra, steps = kMaxCursorSteps + extra;
        EXPECT_EQ(Loads(Riff({Anih(frames, 1), List("fram", Icons(frames))})), !extra);
        EXPECT_EQ(Loads(Riff({Anih(1, steps), Chunk("seq ", Dwords(std::vector<uint32_t>(steps, 0))),
                              List("fram", Icons(1))})),
                  !extra);
    }
    Bytes png;
    PixelImage green{256, 256, 32, std::vector<uint32_t>(256 * 256, 0xFF00FF00u)};
    ASSERT_TRUE(EncodePngArgb(green, png));
    Bytes icon = MakeIco({png});
    icon[2] = 2;
    CursorFile cursor;
    TReadError error;
    EXPECT_FALSE(Load(Riff({Anih(400, 400), List("fram", Icons(400, icon))}), cursor, &error));
    EXPECT_EQ(error.Code, TReadErrorCode::LimitExceeded);
    EXPECT_GT(cursor.Frames.size(), 100u);
    EXPECT_LT(cursor.Frames.size(), 400u);
    EXPECT_EQ(cursor.Steps.size(), cursor.Frames.size());
}

// Of a file's images, the one nearest 32 pixels, then the deepest, then the
// first; an entry whose bytes lie outside the file is passed over.
class AniSelectionTest : public testing::TestWithParam<std::pair<std::vector<std::pair<int, int>>, int>> {};

TEST_P(AniSelectionTest, PicksTheImage)
{
    const auto &[images, picked] = GetParam();
    std::vector<Bytes> dibs;
    std::vector<EntryFields> entries;
    for (size_t i = 0; i < images.size(); ++i) {
        const int size = images[i].first, bits = images[i].second ? images[i].second : 32;
        dibs.push_back(MakeDib(size, size, bits, Pixels(bits <= 8 ? 1u << bits : 0), Pixels(size * size)));
        entries.push_back({0, 0, 0, 0, static_cast<uint16_t>(i), 0});
    }
    Bytes file = MakeIco(dibs, entries);
    file[2] = 2;
    for (size_t i = 0; i < images.size(); ++i)
        if (images[i].second == 0) // a broken entry: its offset past the end
            std::memcpy(file.data() + 18 + 16 * i, Dwords({0xFFFFFF00u}).data(), 4);
    CursorFile cursor;
    ASSERT_TRUE(Load(file, cursor));
    EXPECT_EQ(cursor.Frames[0].ShownImage().HotspotX, picked);
}

INSTANTIATE_TEST_SUITE_P(
    Images, AniSelectionTest,
    testing::Values(std::make_pair(std::vector<std::pair<int, int>>{{16, 32}, {48, 32}}, 0),
                    std::make_pair(std::vector<std::pair<int, int>>{{64, 32}, {24, 1}}, 1),
                    std::make_pair(std::vector<std::pair<int, int>>{{32, 1}, {32, 24}, {32, 8}, {48, 32}}, 1),
                    std::make_pair(std::vector<std::pair<int, int>>{{32, 8}, {32, 8}}, 0),
                    std::make_pair(std::vector<std::pair<int, int>>{{32, 0}, {16, 4}}, 1)));

TEST(AniCursorTest, FilesOtherThanSmallRegularOnesAreRefused)
{
    TempDir dir;
    CursorFile cursor;
    EXPECT_FALSE(ReadCursorFile((dir / "missing.ani").string(), cursor, nullptr));
    EXPECT_FALSE(ReadCursorFile(dir.path().string(), cursor, nullptr));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadCursorFile((dir / "fifo").string(), cursor, nullptr)); // returns at once
    // Bytes after the RIFF are ignored, so only the size decides.
    Bytes file = Riff({Anih(1, 1), List("fram", Icons(1))});
    file.resize(kMaxCursorFileSize, 0);
    WriteBytes(dir / "max.ani", file);
    EXPECT_TRUE(ReadCursorFile((dir / "max.ani").string(), cursor, nullptr));
    file.push_back(0);
    WriteBytes(dir / "over.ani", file);
    EXPECT_FALSE(ReadCursorFile((dir / "over.ani").string(), cursor, nullptr));
    EXPECT_TRUE(cursor.Frames.empty());
}

} // namespace
