// Animated cursors: RIFF "ACON" files (.ani) and plain static cursor or icon
// files (.cur, .ico) read into frames and the steps that show them.
//
// An animated cursor holds an `anih` header (frame and step counts, a default
// display rate in jiffies of 1/60 s, flags), an optional `rate` chunk (one
// rate per step), an optional `seq ` chunk (one frame index per step) and a
// LIST "fram" of `icon` chunks, each a complete ICO or CUR file. Other chunks
// and lists (LIST "INFO" and the like) are skipped.
//
// Every byte is read through ByteView. A file cut short keeps the frames
// before the cut; a file that breaks any other rule below is refused as a
// whole; nothing is guessed.
#pragma once

#include "formats/byteview.h"
#include "formats/image.h"
#include "formats/readerror.h"
#include "formats/readnotes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexillo {

// Largest cursor file that LoadAnimatedCursorFile reads.
inline constexpr uint64_t kMaxCursorFileSize = 4ull << 20;
// Most frames and steps an animated cursor may declare.
inline constexpr uint32_t kMaxCursorFrames = 1024;
inline constexpr uint32_t kMaxCursorSteps = 4096;
// Largest width or height of a frame image; cursors are at most 256 pixels.
inline constexpr int kMaxCursorDimension = 256;
// Most pixels all frames together may decode to (about 20 MB of frames).
inline constexpr uint64_t kMaxCursorPixels = 1ull << 22;
// The image size picked from a frame's ICO/CUR file: the standard cursor size.
inline constexpr int kPreferredCursorSize = 32;

struct AniFrame {
    // The picked image at its own size: colour 0xAARRGGBB, AND mask, and
    // whether it is drawn by alpha blending (see image.h).
    DecodedImage Image;
    // The hot spot in image pixels, inside the image: from the CUR directory
    // entry, or the image centre for a frame stored as an ICO file.
    int HotspotX = 0;
    int HotspotY = 0;
};

struct AniStep {
    int Frame = 0;      // an index into Frames, always valid
    int DurationMs = 0; // how long the frame shows; 0 only for a static cursor
};

struct AnimatedCursor {
    std::vector<AniFrame> Frames;
    // The frames in the order they show, repeated from the start after the
    // last. A static cursor has one frame and one step of duration 0.
    std::vector<AniStep> Steps;
};

// A duration in jiffies (1/60 s) as milliseconds, rounded to the nearest.
// A rate of 0 counts as 1 jiffy; a duration above INT32_MAX ms is clamped.
int JiffiesToMs(uint32_t jiffies);

// Reads an animated cursor, or a static CUR or ICO file as a one-frame
// cursor. From each frame's directory the image whose larger side is nearest
// kPreferredCursorSize is taken, of those the one with the most bits per
// pixel, of those the first. Returns false, with `out` empty, when the bytes
// are not such a file or break a rule:
//  - the RIFF size may overrun the bytes (or be 0): the file then ends at the
//    end of the bytes; a chunk that overruns the RIFF or LIST holding it is
//    cut at its end and ends that RIFF or LIST, a partial chunk header and a
//    LIST too short for its type are left out (each noted);
//  - `anih` (at least 36 bytes), and at most one each of `anih`, `rate`,
//    `seq ` and LIST "fram"; 1 to kMaxCursorFrames frames and at most
//    kMaxCursorSteps steps (0 steps means one per frame, in order);
//  - at least one `icon` chunk; with fewer than the frames declared, only
//    those are frames (noted), later ones than the frames are ignored; each
//    an ICO/CUR file whose picked image decodes;
//  - `rate` and `seq ` hold 4 bytes per step; a short `seq ` ends the steps,
//    steps past a short `rate` take the header's rate; without `seq ` step i
//    shows frame i; a step that names a missing frame is left out (noted),
//    and with every step left out each frame shows once, in order.
// The anih flags are not consulted: every frame must be an ICO/CUR file, and
// a `seq ` chunk is used whenever present. LISTs inside LIST "fram" and inside
// other lists are skipped, not entered.
// The reason of a refusal goes to *error when given; what was worked around
// (a RIFF size past the end) to *notes when given.
bool LoadAnimatedCursor(ByteView bytes, AnimatedCursor &out, TReadError *error = nullptr, ReadNotes *notes = nullptr);

// The frames of an animated cursor as their own ICO/CUR files (views into
// `bytes`), undecoded, and the steps that show them, read by the rules of
// LoadAnimatedCursor but for the frames' images, which are not looked at: a
// caller that wants every image of every frame reads them itself. A static
// CUR or ICO file is one frame (all of `bytes`) shown by one step of
// duration 0.
struct AniFrameFiles {
    std::vector<ByteView> Frames;
    std::vector<AniStep> Steps;
};
bool ReadAnimatedCursorFrames(ByteView bytes, AniFrameFiles &out, TReadError *error = nullptr);

// Reads a regular file of at most kMaxCursorFileSize bytes with
// LoadAnimatedCursor. A FIFO, device or folder is refused without reading.
bool LoadAnimatedCursorFile(const std::string &path, AnimatedCursor &out, TReadError *error = nullptr);

} // namespace vexillo
