// Reads cursor files: static CUR/ICO files and animated cursors (RIFF
// "ACON") into frames, their images and the steps that show them. Chunks are
// walked one level at a time; only the top level and the LIST "fram" are
// entered, so nesting never recurses.

#include "formats/anicursor.h"

#include "formats/fileio.h"
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

// The steps as the header and the tables give them, each naming a frame the
// file holds (by its number in the file), and the header's rate.
struct StepTable {
    uint32_t FrameCount = 0;
    uint32_t DisplayRate = 0;
    std::vector<AniStep> Steps;
};

bool ReadSteps(const RiffChunks &chunks, StepTable &table, TReadError *error, ReadNotes *notes)
{
    uint32_t frameCount = 0, stepCount = 0, displayRate = 0;
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

    table.FrameCount = frameCount;
    table.DisplayRate = displayRate;
    table.Steps.reserve(stepCount);
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
        table.Steps.push_back({static_cast<int>(frame), JiffiesToMs(jiffies)});
    }
    return true;
}

// The depth an image's own header gives: a PNG's as its directory entry
// would, a bitmap's bit count.
int StoredDepth(ByteView bits)
{
    if (IsPngStream(bits)) {
        PngHeaderInfo png;
        return ReadPngHeader(bits, png) ? png.BitCount : 0;
    }
    uint16_t depth = 0;
    bits.readU16(14, depth);
    return depth;
}

// What reading one frame's ICO/CUR file came to.
enum class FrameRead { Kept, LeftOut, Stopped };

// Reads a frame's ICO/CUR file: every image whose bytes and header read,
// each decoded once. The faults of images go to `faults` (each prefixed by
// `where`, "frame 2, " or nothing); `reason` is why the frame is left out
// (its directory, or its first image's fault when none decodes), or the
// budget's refusal that stops the file.
FrameRead ReadFrame(ByteView file, const TLoadBudgetPtr &budget, const std::string &where, CursorFrame &frame,
                    std::vector<std::string> &faults, TReadError &reason)
{
    uint16_t type = 0, count = 0;
    if (!ParseIconDirHeader(file, type, count, &reason))
        return FrameRead::LeftOut;
    if (count == 0) {
        reason = NotFound("image");
        return FrameRead::LeftOut;
    }
    if (!file.contains(kIcoHeaderSize, kIcoEntrySize * count)) {
        reason = Truncated(file.size(), "a directory of " + std::to_string(count) + " entries");
        return FrameRead::LeftOut;
    }
    frame.Cursor = type == kIcoTypeCursor;
    IcoImageBytes blocks(file.size(), budget);
    const IcoImageBytes::Reader read = [&](uint64_t offset, uint8_t *buffer, uint64_t size) {
        std::copy_n(file.data() + offset, size, buffer);
        return true;
    };
    TReadError first;
    int shownDistance = 0, shownDepth = 0;
    bool anyDecodes = false;
    for (uint16_t i = 0; i < count; ++i) {
        CursorImage image;
        image.Entry = ParseIcoEntry(ByteView(file.data() + kIcoHeaderSize + kIcoEntrySize * i, kIcoEntrySize));
        const std::string what = "image " + std::to_string(i);
        TReadError why;
        uint32_t width = 0, height = 0;
        bool readable = blocks.Get(image.Entry, "the image", read, image.Stored, &why);
        if (!readable && why.Code == TReadErrorCode::LimitExceeded) {
            reason = why;
            return FrameRead::Stopped;
        }
        if (readable && !ReadImageSize(image.Stored.View(), width, height)) {
            why = BadImage("no bitmap or PNG header");
            readable = false;
        }
        if (!readable) {
            faults.push_back(where + what + ": " + why.Text() + "; left out");
            if (!first)
                first = why;
            continue;
        }
        // The decoder refuses a picture past its limits at its header, before
        // it holds anything.
        const uint64_t pixels = uint64_t{width} * height;
        if (!ChargeDecode(budget, image.Stored.View(), pixels <= kMaxIconPixels ? pixels : 0, image.Memory, &reason))
            return FrameRead::Stopped;
        image.HotspotX = frame.Cursor ? image.Entry.Planes : static_cast<int>(width / 2);
        image.HotspotY = frame.Cursor ? image.Entry.BitCount : static_cast<int>(height / 2);
        if (!DecodeIconImage(image.Stored.View(), image.Picture, &why) || image.Picture.Width <= 0 ||
            image.Picture.Height <= 0) {
            image.Picture = DecodedImage{};
            image.Memory.Reset();
            faults.push_back(where + what + ": " + why.Text());
            if (!first)
                first = why;
        } else {
            image.HotspotX = std::min(image.HotspotX, image.Picture.Width - 1);
            image.HotspotY = std::min(image.HotspotY, image.Picture.Height - 1);
            const int distance = std::abs(std::max(image.Picture.Width, image.Picture.Height) - kPreferredCursorSize);
            const int depth = StoredDepth(image.Stored.View());
            if (!anyDecodes || distance < shownDistance || (distance == shownDistance && depth > shownDepth)) {
                frame.Shown = frame.Images.size();
                shownDistance = distance;
                shownDepth = depth;
            }
            anyDecodes = true;
        }
        frame.Images.push_back(std::move(image));
    }
    if (anyDecodes)
        return FrameRead::Kept;
    reason = first;
    return FrameRead::LeftOut;
}

// Reads the frames and remaps the steps onto those kept. False when the
// budget stops the reading (what was read kept) or no frame is left.
bool ReadFrames(const std::vector<ByteView> &files, const Origin &origin, const StepTable &table, CursorFile &out,
                TReadError *error, ReadNotes *notes)
{
    std::vector<int> kept(table.FrameCount, -1);
    TReadError firstFault, stop;
    for (uint32_t k = 0; k < table.FrameCount && !stop; ++k) {
        const std::string where = out.Animated ? "frame " + std::to_string(k) : std::string();
        CursorFrame frame;
        frame.Number = k;
        std::vector<std::string> faults;
        TReadError reason;
        const FrameRead read = ReadFrame(files[k], out.Budget, out.Animated ? where + ", " : "", frame, faults, reason);
        // The faults of a frame left out are said once, as the frame's.
        if (notes && read != FrameRead::LeftOut)
            for (std::string &fault : faults)
                notes->Add(std::move(fault));
        if (read == FrameRead::Stopped) {
            stop = reason;
        } else if (read == FrameRead::LeftOut) {
            // Offsets in the reason count from the frame's own file.
            if (out.Animated) {
                const std::string at = where + " at " + std::to_string(origin.of(files[k]));
                if (notes)
                    notes->Add(at + ": " + reason.Text() + "; left out");
                reason.Detail += (reason.Detail.empty() ? "in " : " in ") + at;
            }
            if (!firstFault)
                firstFault = reason;
        } else {
            kept[k] = static_cast<int>(out.Frames.size());
            out.Frames.push_back(std::move(frame));
        }
    }
    for (const AniStep &step : table.Steps)
        if (const int frame = kept[static_cast<size_t>(step.Frame)]; frame >= 0)
            out.Steps.push_back({frame, step.DurationMs});
    // With every step left out, each frame shows once, in order.
    if (out.Steps.empty())
        for (size_t i = 0; i < out.Frames.size(); ++i)
            out.Steps.push_back({static_cast<int>(i), out.Animated ? JiffiesToMs(table.DisplayRate) : 0});
    if (stop)
        return Fail(error, stop);
    return !out.Frames.empty() || Fail(error, firstFault);
}

// The chunks, steps and frames of a RIFF cursor; a RIFF size that does not
// fit goes to `notes` when given.
bool ReadRiffCursor(ByteView bytes, CursorFile &out, TReadError *error, ReadNotes *notes)
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
    RiffChunks chunks;
    StepTable table;
    if (!ReadRiffChunks(body, origin, chunks, error, notes) || !ReadSteps(chunks, table, error, notes))
        return false;
    out.Animated = true;
    return ReadFrames(chunks.icons, origin, table, out, error, notes);
}

} // namespace

int JiffiesToMs(uint32_t jiffies)
{
    const uint64_t ms = (static_cast<uint64_t>(std::max<uint32_t>(jiffies, 1)) * 1000 + 30) / 60;
    return static_cast<int>(std::min<uint64_t>(ms, INT32_MAX));
}

bool ReadCursorFile(SharedBytes bytes, TLoadBudgetPtr budget, CursorFile &out, TReadError *error, ReadNotes *notes)
{
    out = CursorFile{};
    out.Bytes = std::move(bytes);
    out.Budget = budget ? std::move(budget) : TLoadBudget::ForFile(out.Bytes.size());
    const ByteView view = out.Bytes.View();
    uint32_t magic = 0;
    if (!view.readU32(0, magic))
        return Fail(error, Truncated(view.size(), "shorter than any cursor"));
    if (magic == kRiff)
        return ReadRiffCursor(view, out, error, notes);
    // A static file is one frame shown by one step of duration 0.
    const StepTable table{1, 0, {{0, 0}}};
    return ReadFrames({view}, Origin{view.data()}, table, out, error, notes);
}

bool ReadCursorFile(const std::string &path, CursorFile &out, TReadError *error, ReadNotes *notes)
{
    out = CursorFile{};
    std::vector<uint8_t> bytes;
    TLoadBudgetPtr budget;
    if (!ReadWholeFile(path, kMaxCursorFileSize, bytes, error, &budget))
        return false;
    if (!budget->Work(steps::kPerRead + steps::kPerByte * bytes.size(), "reading the file") ||
        !budget->Hold(bytes.size(), "the cursor file"))
        return Fail(error, budget->Refusal());
    return ReadCursorFile(SharedBytes(std::move(bytes)), budget, out, error, notes);
}

} // namespace vexillo
