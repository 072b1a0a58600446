// Reads animated cursors (RIFF "ACON") and static CUR/ICO files into frames
// and steps. Chunks are walked one level at a time; only the top level and
// the LIST "fram" are entered, so nesting never recurses.

#include "platform/anicursor.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
constexpr uint64_t kIconDirSize = 6;
constexpr uint64_t kIconEntrySize = 16;
constexpr uint32_t kDibInfoHeaderSize = 40;
constexpr uint16_t kTypeIcon = 1;
constexpr uint16_t kTypeCursor = 2;

// Calls visit(id, body) for each chunk of `area` in order. False when a chunk
// header is cut short, a chunk overruns the area, or visit returns false. The
// pad byte after an odd-sized chunk may be missing at the very end.
template <typename Visit>
bool ForEachChunk(ByteView area, Visit visit)
{
    uint64_t offset = 0;
    while (offset < area.size()) {
        uint32_t id = 0, size = 0;
        ByteView body;
        if (!area.readU32(offset, id) || !area.readU32(offset + 4, size) ||
            !area.sub(offset + kChunkHeaderSize, size, body))
            return false;
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
bool ReadIconFile(ByteView file, uint64_t &pixelBudget, AniFrame &frame)
{
    uint16_t reserved = 0, type = 0, count = 0;
    if (!file.readU16(0, reserved) || !file.readU16(2, type) || !file.readU16(4, count) || reserved != 0 ||
        (type != kTypeIcon && type != kTypeCursor) || count == 0 ||
        !file.contains(kIconDirSize, kIconEntrySize * count))
        return false;

    bool found = false;
    ByteView best;
    ImageShape bestShape;
    int bestDistance = 0;
    uint16_t hotspotX = 0, hotspotY = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t entry = kIconDirSize + kIconEntrySize * i;
        uint16_t planes = 0, bitCount = 0;
        uint32_t size = 0, offset = 0;
        ByteView bits;
        ImageShape shape;
        if (!file.readU16(entry + 4, planes) || !file.readU16(entry + 6, bitCount) ||
            !file.readU32(entry + 8, size) || !file.readU32(entry + 12, offset) || !file.sub(offset, size, bits) ||
            !ReadImageShape(bits, shape))
            continue;
        const int distance = std::abs(std::max(shape.Width, shape.Height) - kPreferredCursorSize);
        if (!found || distance < bestDistance || (distance == bestDistance && shape.BitCount > bestShape.BitCount)) {
            found = true;
            best = bits;
            bestShape = shape;
            bestDistance = distance;
            // A CUR entry keeps the hot spot where an ICO entry keeps planes
            // and bit count.
            hotspotX = planes;
            hotspotY = bitCount;
        }
    }
    const uint64_t pixels = static_cast<uint64_t>(bestShape.Width) * static_cast<uint64_t>(bestShape.Height);
    if (!found || pixels > pixelBudget)
        return false;

    IconObject image;
    if (!(IsPngStream(best) ? DecodePngIcon(best, image) : DecodeDibIcon(best, image)))
        return false;
    const uint64_t decoded = static_cast<uint64_t>(image.Width) * static_cast<uint64_t>(image.Height);
    if (image.Width <= 0 || image.Height <= 0 || decoded > pixelBudget)
        return false;
    pixelBudget -= decoded;

    if (type == kTypeCursor) {
        frame.HotspotX = std::min<int>(hotspotX, image.Width - 1);
        frame.HotspotY = std::min<int>(hotspotY, image.Height - 1);
    } else {
        frame.HotspotX = image.Width / 2;
        frame.HotspotY = image.Height / 2;
    }
    frame.Image = std::move(image);
    return true;
}

bool LoadStaticCursor(ByteView bytes, AnimatedCursor &out)
{
    uint64_t budget = kMaxCursorPixels;
    AniFrame frame;
    if (!ReadIconFile(bytes, budget, frame))
        return false;
    out.Frames.push_back(std::move(frame));
    out.Steps.push_back({0, 0});
    return true;
}

bool LoadRiffCursor(ByteView bytes, AnimatedCursor &out)
{
    uint32_t riffSize = 0, form = 0;
    if (!bytes.readU32(4, riffSize) || !bytes.readU32(8, form) || form != kAcon)
        return false;
    // Many real files state a RIFF size of 0 or one past the end of the file;
    // the file then ends where its bytes end.
    ByteView body;
    if (riffSize < 4 || !bytes.sub(12, riffSize - 4u, body))
        body = bytes.from(12);

    // A second chunk of a kind, or one too short to hold anything, refuses
    // the file; an empty view means "not seen yet".
    const auto keepOnce = [](ByteView &slot, ByteView chunk, uint64_t minSize) {
        if (!slot.empty() || chunk.size() < minSize)
            return false;
        slot = chunk;
        return true;
    };
    ByteView header, rates, sequence;
    bool haveFrames = false;
    std::vector<ByteView> icons;
    const bool chunksOk = ForEachChunk(body, [&](uint32_t id, ByteView chunk) {
        switch (id) {
        case kAnih:
            return keepOnce(header, chunk, kAniHeaderSize);
        case kRate:
            return keepOnce(rates, chunk, 4);
        case kSeq:
            return keepOnce(sequence, chunk, 4);
        case kList: {
            uint32_t listType = 0;
            if (!chunk.readU32(0, listType))
                return false;
            if (listType != kFram)
                return true;
            if (haveFrames)
                return false;
            haveFrames = true;
            return ForEachChunk(chunk.from(4), [&](uint32_t innerId, ByteView inner) {
                if (innerId == kIcon && icons.size() < kMaxCursorFrames)
                    icons.push_back(inner);
                return true;
            });
        }
        default:
            return true;
        }
    });
    if (!chunksOk || header.empty())
        return false;

    uint32_t frameCount = 0, stepCount = 0, displayRate = 0;
    header.readU32(4, frameCount);
    header.readU32(8, stepCount);
    header.readU32(28, displayRate);
    if (frameCount == 0 || frameCount > kMaxCursorFrames || stepCount > kMaxCursorSteps ||
        icons.size() < frameCount)
        return false;
    if (stepCount == 0)
        stepCount = frameCount;
    // Both tables hold a DWORD per step; 4 * kMaxCursorSteps cannot overflow.
    if ((!rates.empty() && !rates.contains(0, 4ull * stepCount)) ||
        (!sequence.empty() && !sequence.contains(0, 4ull * stepCount)))
        return false;

    std::vector<AniStep> steps(stepCount);
    for (uint32_t i = 0; i < stepCount; ++i) {
        uint32_t frame = i, jiffies = displayRate;
        if (!sequence.empty())
            sequence.readU32(4ull * i, frame);
        if (!rates.empty())
            rates.readU32(4ull * i, jiffies);
        if (frame >= frameCount)
            return false;
        steps[i] = {static_cast<int>(frame), JiffiesToMs(jiffies)};
    }

    std::vector<AniFrame> frames(frameCount);
    uint64_t budget = kMaxCursorPixels;
    for (uint32_t i = 0; i < frameCount; ++i)
        if (!ReadIconFile(icons[i], budget, frames[i]))
            return false;

    out.Frames = std::move(frames);
    out.Steps = std::move(steps);
    return true;
}

// Reads the whole of a regular file of at most kMaxCursorFileSize bytes.
// O_NONBLOCK keeps the open from waiting on a FIFO, which is then refused.
bool ReadCursorFile(const std::string &path, std::vector<uint8_t> &bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<uint64_t>(st.st_size) > kMaxCursorFileSize) {
        ::close(fd);
        return false;
    }
    // One byte more than fstat reports is asked for, so that a file that grew
    // after fstat is noticed and refused.
    const size_t expected = static_cast<size_t>(st.st_size);
    bytes.resize(expected + 1);
    size_t total = 0;
    bool ok = true;
    while (total < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + total, bytes.size() - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        total += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(std::min(total, expected));
    return ok && total <= expected;
}

} // namespace

int JiffiesToMs(uint32_t jiffies)
{
    const uint64_t ms = (static_cast<uint64_t>(std::max<uint32_t>(jiffies, 1)) * 1000 + 30) / 60;
    return static_cast<int>(std::min<uint64_t>(ms, INT32_MAX));
}

bool LoadAnimatedCursor(ByteView bytes, AnimatedCursor &out)
{
    out = AnimatedCursor{};
    uint32_t magic = 0;
    if (!bytes.readU32(0, magic))
        return false;
    AnimatedCursor cursor;
    const bool ok = magic == kRiff ? LoadRiffCursor(bytes, cursor) : LoadStaticCursor(bytes, cursor);
    if (ok)
        out = std::move(cursor);
    return ok;
}

bool LoadAnimatedCursorFile(const std::string &path, AnimatedCursor &out)
{
    out = AnimatedCursor{};
    std::vector<uint8_t> bytes;
    return ReadCursorFile(path, bytes) && LoadAnimatedCursor(ByteView(bytes.data(), bytes.size()), out);
}

} // namespace vexillo
