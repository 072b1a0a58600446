// Cursor files, read by the one reader every part of the program uses (the
// catalogue, `info`, `xcursor`, the thumbnailer, the program's own pointer):
// a static cursor or icon (.cur, .ico: one CUR or ICO directory) is one
// frame; an animated cursor (.ani: RIFF "ACON") is its frames and the steps
// that show them.
//
// An animated cursor holds an `anih` header (frame and step counts, a default
// display rate in jiffies of 1/60 s, flags), an optional `rate` chunk (one
// rate per step), an optional `seq ` chunk (one frame index per step) and a
// LIST "fram" of `icon` chunks, each a complete ICO or CUR file. Other chunks
// and lists (LIST "INFO" and the like) are skipped.
//
// Every byte is read through ByteView, and everything is charged to the
// file's one budget: the file read, each directory entry and image's bytes,
// each decode. A bad frame is left out with a note and the others kept; a
// file is refused only when no frame is left, or when its RIFF structure
// breaks a rule below; nothing is guessed.
#pragma once

#include "formats/byteview.h"
#include "formats/icofile.h"
#include "formats/image.h"
#include "formats/loadbudget.h"
#include "formats/readerror.h"
#include "formats/readnotes.h"
#include "formats/sharedbytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexillo {

// Largest cursor file that ReadCursorFile reads.
inline constexpr uint64_t kMaxCursorFileSize = 4ull << 20;
// Most frames and steps an animated cursor may declare.
inline constexpr uint32_t kMaxCursorFrames = 1024;
inline constexpr uint32_t kMaxCursorSteps = 4096;
// The size of the image that shows a frame where one picture is wanted: the
// standard cursor size.
inline constexpr int kPreferredCursorSize = 32;

// One image of a frame's directory.
struct CursorImage {
    // Its directory entry as stored (a CUR entry's planes and bit count are
    // its hot spot).
    IcoEntry Entry;
    // The image's bytes, shared by the entries of the frame that name them.
    SharedBytes Stored;
    // The image decoded at its own size (Width 0 when it does not decode),
    // and the memory it holds of the file's budget.
    DecodedImage Picture;
    THeldMemory Memory;
    // The hot spot in image pixels: a CUR entry's, or the centre of an ICO
    // file's image; inside the picture when it decodes.
    int HotspotX = 0;
    int HotspotY = 0;

    bool Decodes() const { return Picture.Width > 0; }
};

struct CursorFrame {
    // Its place among the file's frames, from 0 (the notes count so).
    uint32_t Number = 0;
    // Stored as a CUR directory, not an ICO one.
    bool Cursor = false;
    // Every image of the directory whose bytes and header read, in directory
    // order; at least one decodes.
    std::vector<CursorImage> Images;
    // The image that shows the frame where one picture is wanted: of those
    // that decode, the one whose larger side is nearest kPreferredCursorSize,
    // of those the deepest, of those the first.
    size_t Shown = 0;
    const CursorImage &ShownImage() const { return Images[Shown]; }
};

struct AniStep {
    int Frame = 0;      // an index into Frames, always valid
    int DurationMs = 0; // how long the frame shows; 0 only for a static cursor
};

struct CursorFile {
    // The file's bytes, and the budget of its load, which everything done
    // with its images draws on.
    SharedBytes Bytes;
    TLoadBudgetPtr Budget;
    // A RIFF "ACON" file rather than a single directory.
    bool Animated = false;
    std::vector<CursorFrame> Frames;
    // The frames in the order they show, repeated from the start after the
    // last. A static cursor has one frame and one step of duration 0.
    std::vector<AniStep> Steps;
};

// A duration in jiffies (1/60 s) as milliseconds, rounded to the nearest.
// A rate of 0 counts as 1 jiffy; a duration above INT32_MAX ms is clamped.
int JiffiesToMs(uint32_t jiffies);

// Reads a cursor file's bytes, charged to `budget`:
//  - the RIFF size may overrun the bytes (or be 0): the file then ends at the
//    end of the bytes; a chunk that overruns the RIFF or LIST holding it is
//    cut at its end and ends that RIFF or LIST, a partial chunk header and a
//    LIST too short for its type are left out (each noted);
//  - `anih` (at least 36 bytes), and at most one each of `anih`, `rate`,
//    `seq ` and LIST "fram"; 1 to kMaxCursorFrames frames and at most
//    kMaxCursorSteps steps (0 steps means one per frame, in order);
//  - at least one `icon` chunk; with fewer than the frames declared, only
//    those are frames (noted), later ones than the frames are ignored;
//  - each frame an ICO/CUR file; an image whose bytes or header do not read
//    is left out, one that does not decode is kept undecoded (each noted); a
//    frame none of whose images decodes is left out (noted), and so are the
//    steps that show it;
//  - `rate` and `seq ` hold 4 bytes per step; a short `seq ` ends the steps,
//    steps past a short `rate` take the header's rate; without `seq ` step i
//    shows frame i; a step that names a missing frame is left out (noted),
//    and with every step left out each frame shows once, in order.
// The anih flags are not consulted: every frame must be an ICO/CUR file, and
// a `seq ` chunk is used whenever present. LISTs inside LIST "fram" and inside
// other lists are skipped, not entered.
// False, with the reason in *error, when the bytes are no such file, break a
// rule, or leave no frame (the reason then the first frame's); false too when
// the budget refuses a charge, the frames read before it kept in `out`.
// What was worked around or left out goes to *notes when given.
bool ReadCursorFile(SharedBytes bytes, TLoadBudgetPtr budget, CursorFile &out, TReadError *error,
                    ReadNotes *notes = nullptr);

// Reads a regular file of at most kMaxCursorFileSize bytes so, with a budget
// of its own. A FIFO, device or folder is refused without reading.
bool ReadCursorFile(const std::string &path, CursorFile &out, TReadError *error, ReadNotes *notes = nullptr);

} // namespace vexillo
