// Reads animated cursors (RIFF "ACON") and static CUR/ICO files into frames
// and steps. Chunks are walked one level at a time; only the top level and
// the LIST "fram" are entered, so nesting never recurses.

#include "formats/anicursor.h"

#include "formats/fileio.h"
#include "formats/icofile.h"
#include "formats/icondecode.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace vexillo {

namespace {

constexpr uint32_t FourCC(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

constexpr uint32_t kRiff = FourCC('R', 'I', 'F', 'F');
constexpr uint32_t kAcon = FourCC('A', 'C', 'O', 'N');
constexpr uint32_t kList = FourCC('L', 'I', 'S', 'T');
constexpr uint32_t kFram = FourCC('f', 'r', 'a', 'm');
constexpr uint32_t kAnih = FourCC('a', 'n', 'i', 'h');
constexpr uint32_t kRate = FourCC('r', 'a', 't', 'e');
constexpr uint32_t kSeq = FourCC('s', 'e', 'q', ' ');
constexpr uint32_t kIcon = FourCC('i', 'c', 'o', 'n');

constexpr uint64_t kChunkHeaderSize = 8;
constexpr uint64_t kAniHeaderSize = 36;
constexpr uint32_t kDibInfoHeaderSize = 40;

// Where a view lies in the file, for the reasons.
struct Origin {
    const uint8_t *start;
    uint64_t of(ByteView view) const { return static_cast<uint64_t>(view.data() - start); }
};

// Calls visit(id, body) for each chunk of `area` in order. False when visit
// returns false. The pad byte after an odd-sized chunk may be missing at the
// very end. A file cut short keeps what came before the cut: a chunk that
// runs past the area is visited with the bytes the area holds, and bytes too
// few for a chunk header are left out; either ends the walk, with a note.
template <typename Visit> bool ForEachChunk(ByteView area, Origin origin, ReadNotes *notes, Visit visit)
{
    uint64_t offset = 0;
    while (offset < area.size()) {
        uint32_t id = 0, size = 0;
        ByteView body;
        if (!area.readU32(offset, id) || !area.readU32(offset + 4, size)) {
            if (notes)
                notes->Add(std::to_string(area.size() - offset) + " bytes at " +
                           std::to_string(origin.of(area) + offset) + " are too few for a chunk; left out");
            return true;
        }
        if (!area.sub(offset + kChunkHeaderSize, size, body)) {
            body = area.from(offset + kChunkHeaderSize);
            if (notes)
                notes->Add("a chunk of " + std::to_string(size) + " bytes at " +
                           std::to_string(origin.of(area) + offset) + " runs past the end at " +
                           std::to_string(origin.of(area) + area.size()) + "; cut there");
            return visit(id, body);
        }
        if (!visit(id, body))
            return false;
        offset += kChunkHeaderSize + size + (size & 1u);
    }
    return true;
}

// The size and colour depth an image's own header gives, without decoding it.
struct ImageShape {
    int Width = 0;
    int Height = 0;
    int BitCount = 0;
};

bool ReadImageShape(ByteView bits, ImageShape &shape)
{
    if (IsPngStream(bits)) {
        PngHeaderInfo png;
        if (!ReadPngHeader(bits, png) || png.Width > static_cast<uint32_t>(kMaxCursorDimension) ||
            png.Height > static_cast<uint32_t>(kMaxCursorDimension))
            return false;
        shape = {static_cast<int>(png.Width), static_cast<int>(png.Height), png.BitCount};
    } else {
        uint32_t headerSize = 0;
        int32_t width = 0, height = 0;
        uint16_t bitCount = 0;
        if (!bits.readU32(0, headerSize) || headerSize < kDibInfoHeaderSize || !bits.readI32(4, width) ||
            !bits.readI32(8, height) || !bits.readU16(14, bitCount))
            return false;
        // The stored height counts the XOR rows and the AND rows together.
        if (width > kMaxCursorDimension || height / 2 > kMaxCursorDimension)
            return false;
        shape = {width, height / 2, bitCount};
    }
    return shape.Width > 0 && shape.Height > 0;
}

// Reads one ICO or CUR file into a frame: picks an image, checks it against
// the pixel budget, decodes it and places the hot spot inside it.
bool ReadIconFile(ByteView file, uint64_t &pixelBudget, AniFrame &frame, TReadError *error)
{
    uint16_t type = 0, count = 0;
    if (!ParseIconDirHeader(file, type, count, error))
        return false;
    if (count == 0)
        return Fail(error, NotFound("image"));
    if (!file.contains(kIcoHeaderSize, kIcoEntrySize * count))
        return Fail(error, Truncated(file.size(), "a directory of " + std::to_string(count) + " entries"));

    bool found = false;
    ByteView best;
    ImageShape bestShape;
    int bestDistance = 0;
    uint16_t hotspotX = 0, hotspotY = 0;
    uint64_t firstCut = UINT64_MAX; // where the first image past the end starts
    for (uint16_t i = 0; i < count; ++i) {
        ByteView at, bits;
        file.sub(kIcoHeaderSize + kIcoEntrySize * i, kIcoEntrySize, at);
        const IcoEntry entry = ParseIcoEntry(at);
        ImageShape shape;
        if (!file.sub(entry.Offset, entry.BytesInRes, bits)) {
            firstCut = std::min<uint64_t>(firstCut, entry.Offset);
            continue;
        }
        if (!ReadImageShape(bits, shape))
            continue;
        const int distance = std::abs(std::max(shape.Width, shape.Height) - kPreferredCursorSize);
        if (!found || distance < bestDistance || (distance == bestDistance && shape.BitCount > bestShape.BitCount)) {
            found = true;
            best = bits;
            bestShape = shape;
            bestDistance = distance;
            // A CUR entry keeps the hot spot where an ICO entry keeps planes
            // and bit count.
            hotspotX = entry.Planes;
            hotspotY = entry.BitCount;
        }
    }
    const uint64_t pixels = static_cast<uint64_t>(bestShape.Width) * static_cast<uint64_t>(bestShape.Height);
    if (!found && firstCut != UINT64_MAX)
        return Fail(error, Truncated(file.size(), "an image at " + std::to_string(firstCut)));
    if (!found)
        return Fail(error, NotFound("cursor image of at most " + std::to_string(kMaxCursorDimension) + " pixels"));
    if (pixels > pixelBudget)
        return Fail(
            error, LimitExceeded("cursor pixels", kMaxCursorPixels - pixelBudget + pixels, kMaxCursorPixels, "pixels"));

    DecodedImage image;
    if (!DecodeIconImage(best, image, error))
        return false;
    const uint64_t decoded = static_cast<uint64_t>(image.Width) * static_cast<uint64_t>(image.Height);
    if (image.Width <= 0 || image.Height <= 0 || decoded > pixelBudget)
        return Fail(error, LimitExceeded("cursor pixels", kMaxCursorPixels - pixelBudget + decoded, kMaxCursorPixels,
                                         "pixels"));
    pixelBudget -= decoded;

    if (type == kIcoTypeCursor) {
        frame.HotspotX = std::min<int>(hotspotX, image.Width - 1);
        frame.HotspotY = std::min<int>(hotspotY, image.Height - 1);
    } else {
        frame.HotspotX = image.Width / 2;
        frame.HotspotY = image.Height / 2;
    }
    frame.Image = std::move(image);
    return true;
}

bool LoadStaticCursor(ByteView bytes, AnimatedCursor &out, TReadError *error)
{
    uint64_t budget = kMaxCursorPixels;
    AniFrame frame;
    if (!ReadIconFile(bytes, budget, frame, error))
        return false;
    out.Frames.push_back(std::move(frame));
    out.Steps.push_back({0, 0});
    return true;
}

// The chunks of an animated cursor that matter: its header, its rate and
// sequence tables (empty when absent) and its frames' icon files.
struct RiffChunks {
    ByteView header, rates, sequence;
    std::vector<ByteView> icons;
};

// Sorts the chunks of the RIFF body. A second chunk of a kind, or one too
// short to hold anything, refuses the file.
bool ReadRiffChunks(ByteView body, Origin origin, RiffChunks &chunks, TReadError *error, ReadNotes *notes)
{
    // An empty view means "not seen yet".
    const auto keepOnce = [&](ByteView &slot, ByteView chunk, uint64_t minSize, const char *name) {
        if (!slot.empty())
            return Fail(error, Corrupt(origin.of(chunk), std::string("a second '") + name + "' chunk"));
        if (chunk.size() < minSize)
            return Fail(error, Truncated(origin.of(chunk) + chunk.size(), std::string("the '") + name + "' chunk"));
        slot = chunk;
        return true;
    };
    bool haveFrames = false;
    const bool chunksOk = ForEachChunk(body, origin, notes, [&](uint32_t id, ByteView chunk) {
        switch (id) {
        case kAnih: return keepOnce(chunks.header, chunk, kAniHeaderSize, "anih");
        case kRate: return keepOnce(chunks.rates, chunk, 4, "rate");
        case kSeq: return keepOnce(chunks.sequence, chunk, 4, "seq ");
        case kList: {
            uint32_t listType = 0;
            if (!chunk.readU32(0, listType)) {
                if (notes)
                    notes->Add("a LIST at " + std::to_string(origin.of(chunk) - kChunkHeaderSize) +
                               " has no type; left out");
                return true;
            }
            if (listType != kFram)
                return true;
            if (haveFrames)
                return Fail(error, Corrupt(origin.of(chunk), "a second LIST of frames"));
            haveFrames = true;
            return ForEachChunk(chunk.from(4), origin, notes, [&](uint32_t innerId, ByteView inner) {
                if (innerId == kIcon && chunks.icons.size() < kMaxCursorFrames)
                    chunks.icons.push_back(inner);
                return true;
            });
        }
        default: return true;
        }
    });
    if (!chunksOk)
        return false;
    if (chunks.header.empty())
        return Fail(error, NotFound("'anih' chunk"));
    return true;
}

// The steps the header and the tables give, each naming a frame that exists.
bool ReadSteps(const RiffChunks &chunks, uint32_t &frameCount, std::vector<AniStep> &steps, TReadError *error,
               ReadNotes *notes)
{
    uint32_t stepCount = 0, displayRate = 0;
    chunks.header.readU32(4, frameCount);
    chunks.header.readU32(8, stepCount);
    chunks.header.readU32(28, displayRate);
    if (frameCount == 0)
        return Fail(error, NotFound("frame in the animated cursor"));
    if (frameCount > kMaxCursorFrames)
        return Fail(error, LimitExceeded("cursor frames", frameCount, kMaxCursorFrames, "frames"));
    if (stepCount > kMaxCursorSteps)
        return Fail(error, LimitExceeded("cursor steps", stepCount, kMaxCursorSteps, "steps"));
    if (chunks.icons.empty())
        return Fail(error, NotFound("frame 0 of " + std::to_string(frameCount)));
    // A file cut short shows the frames it still holds; steps naming the
    // others are left out below.
    if (chunks.icons.size() < frameCount) {
        if (notes)
            notes->Add(std::to_string(frameCount) + " frames declared, " + std::to_string(chunks.icons.size()) +
                       " found; the rest left out");
        frameCount = static_cast<uint32_t>(chunks.icons.size());
    }
    if (stepCount == 0)
        stepCount = frameCount;
    // Both tables hold a DWORD per step. A short `seq ` ends the steps where
    // it ends; steps past a short `rate` show for the header's rate.
    const ByteView &rates = chunks.rates, &sequence = chunks.sequence;
    const uint64_t rateCount = rates.size() / 4, sequenceCount = sequence.size() / 4;
    if (!sequence.empty() && sequenceCount < stepCount) {
        if (notes)
            notes->Add("the 'seq ' chunk holds " + std::to_string(sequenceCount) + " of " + std::to_string(stepCount) +
                       " steps; the rest left out");
        stepCount = static_cast<uint32_t>(sequenceCount);
    }
    if (!rates.empty() && rateCount < stepCount && notes)
        notes->Add("the 'rate' chunk holds " + std::to_string(rateCount) + " of " + std::to_string(stepCount) +
                   " steps; the rest show for the header's rate");

    steps.clear();
    steps.reserve(stepCount);
    for (uint32_t i = 0; i < stepCount; ++i) {
        uint32_t frame = i, jiffies = displayRate;
        if (!sequence.empty())
            sequence.readU32(4ull * i, frame);
        if (i < rateCount)
            rates.readU32(4ull * i, jiffies);
        // A step that names a frame the file does not hold is left out: the
        // others still animate.
        if (frame >= frameCount) {
            if (notes)
                notes->Add("step " + std::to_string(i) + " names frame " + std::to_string(frame) + " of " +
                           std::to_string(frameCount) + "; left out");
            continue;
        }
        steps.push_back({static_cast<int>(frame), JiffiesToMs(jiffies)});
    }
    // With every step left out, each frame shows once, in order.
    if (steps.empty())
        for (uint32_t i = 0; i < frameCount; ++i)
            steps.push_back({static_cast<int>(i), JiffiesToMs(displayRate)});
    return true;
}

// The chunks and steps of a RIFF cursor, its frames' files not yet read; a
// RIFF size that does not fit goes to `notes` when given.
bool ReadRiffFrames(ByteView bytes, RiffChunks &chunks, uint32_t &frameCount, std::vector<AniStep> &steps,
                    TReadError *error, ReadNotes *notes)
{
    const Origin origin{bytes.data()};
    uint32_t riffSize = 0, form = 0;
    if (!bytes.readU32(4, riffSize) || !bytes.readU32(8, form))
        return Fail(error, Truncated(bytes.size(), "the RIFF header is cut short"));
    if (form != kAcon)
        return Fail(error, NotIconFile("a RIFF file, but not an animated cursor"));
    // Many real files state a RIFF size of 0 or one past the end of the file;
    // the file then ends where its bytes end.
    ByteView body;
    if (riffSize < 4 || !bytes.sub(12, riffSize - 4u, body)) {
        body = bytes.from(12);
        if (notes)
            notes->Add("RIFF size " + std::to_string(riffSize) +
                       (riffSize < 4 ? " is too small" : " runs past the end of the file") + "; read to its end at " +
                       std::to_string(bytes.size()));
    }

    return ReadRiffChunks(body, origin, chunks, error, notes) && ReadSteps(chunks, frameCount, steps, error, notes);
}

bool LoadRiffCursor(ByteView bytes, AnimatedCursor &out, TReadError *error, ReadNotes *notes)
{
    const Origin origin{bytes.data()};
    RiffChunks chunks;
    uint32_t frameCount = 0;
    std::vector<AniStep> steps;
    if (!ReadRiffFrames(bytes, chunks, frameCount, steps, error, notes))
        return false;

    std::vector<AniFrame> frames(frameCount);
    uint64_t budget = kMaxCursorPixels;
    for (uint32_t i = 0; i < frameCount; ++i)
        if (!ReadIconFile(chunks.icons[i], budget, frames[i], error)) {
            // Offsets in the reason count from the frame's own file.
            if (error)
                error->Detail += " in frame " + std::to_string(i) + " at " + std::to_string(origin.of(chunks.icons[i]));
            return false;
        }

    out.Frames = std::move(frames);
    out.Steps = std::move(steps);
    return true;
}

} // namespace

int JiffiesToMs(uint32_t jiffies)
{
    const uint64_t ms = (static_cast<uint64_t>(std::max<uint32_t>(jiffies, 1)) * 1000 + 30) / 60;
    return static_cast<int>(std::min<uint64_t>(ms, INT32_MAX));
}

bool LoadAnimatedCursor(ByteView bytes, AnimatedCursor &out, TReadError *error, ReadNotes *notes)
{
    out = AnimatedCursor{};
    uint32_t magic = 0;
    if (!bytes.readU32(0, magic))
        return Fail(error, Truncated(bytes.size(), "shorter than any cursor"));
    AnimatedCursor cursor;
    const bool ok =
        magic == kRiff ? LoadRiffCursor(bytes, cursor, error, notes) : LoadStaticCursor(bytes, cursor, error);
    if (ok)
        out = std::move(cursor);
    return ok;
}

bool ReadAnimatedCursorFrames(ByteView bytes, AniFrameFiles &out, TReadError *error)
{
    out = AniFrameFiles{};
    uint32_t magic = 0;
    if (!bytes.readU32(0, magic))
        return Fail(error, Truncated(bytes.size(), "shorter than any cursor"));
    if (magic != kRiff) {
        uint16_t type = 0, count = 0;
        if (!ParseIconDirHeader(bytes, type, count, error))
            return false;
        out.Frames.push_back(bytes);
        out.Steps.push_back({0, 0});
        return true;
    }
    RiffChunks chunks;
    uint32_t frameCount = 0;
    std::vector<AniStep> steps;
    if (!ReadRiffFrames(bytes, chunks, frameCount, steps, error, nullptr))
        return false;
    out.Frames.assign(chunks.icons.begin(), chunks.icons.begin() + static_cast<std::ptrdiff_t>(frameCount));
    out.Steps = std::move(steps);
    return true;
}

bool LoadAnimatedCursorFile(const std::string &path, AnimatedCursor &out, TReadError *error)
{
    out = AnimatedCursor{};
    std::vector<uint8_t> bytes;
    return ReadWholeFile(path, kMaxCursorFileSize, bytes, error) &&
           LoadAnimatedCursor(ByteView(bytes.data(), bytes.size()), out, error);
}

} // namespace vexillo
