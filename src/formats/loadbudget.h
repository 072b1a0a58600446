// One budget for everything the program does with one file it reads: the
// scan of a module's names, a page's groups, a preview, a save, a thumbnail,
// an export. It is sized from the file, so that no file, however crafted,
// makes the program hold, spend or write more than the file can justify:
//
//   memory  max(64 MiB, 4 times the file) held at once;
//   work    max(1 s, 1 s per MB of the file), counted in steps that do not
//           depend on the machine (bytes read, directory entries, name units,
//           pixels decoded and scaled, bytes encoded, files made);
//   output  max(64 MiB, 4 times the file) written, a file made costing a
//           block on the disk.
//
// The readers hand out bytes, entries and names only after charging them
// here (the module reader and the ICO reader own the budget of the file they
// opened), and every decode of an image draws on the budget of the load that
// read it. A refused charge ends the load with the reason "limit exceeded:
// ..." and whatever was found before stays usable.
#pragma once

#include "formats/byteview.h"
#include "formats/readerror.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace vexillo {

inline constexpr uint64_t kMinLoadBytes = 64ull << 20;
inline constexpr uint64_t kLoadBytesPerFileByte = 4;

// The price of work in steps. A step is about a nanosecond of this program's
// work on a desktop core of today; the prices are set from measurements of the
// readers, decoders and writers on hostile files, so that a budget of
// kStepsPerSecond takes well under a second.
namespace steps {
inline constexpr uint64_t kPerSecond = 1'000'000'000;
inline constexpr uint64_t kPerRead = 2'000;           // one read from the file
inline constexpr uint64_t kPerByte = 1;               // a byte read, copied or written
inline constexpr uint64_t kPerEntry = 100;            // a directory entry or catalogue entry
inline constexpr uint64_t kPerImage = 400;            // an image entry made an image: looked up, checked, kept
inline constexpr uint64_t kPerNameUnit = 8;           // a UTF-16 unit of a name
inline constexpr uint64_t kPerPixel = 24;             // a pixel decoded
inline constexpr uint64_t kPerScaledPixel = 24;       // a pixel read or made by scaling
inline constexpr uint64_t kPerEncodedPixel = 160;     // a pixel encoded as PNG
inline constexpr uint64_t kPerDecodeAttempt = 20'000; // setting up a decoder
inline constexpr uint64_t kPerFileMade = 50'000;      // creating or linking a file
} // namespace steps

// What a file made costs of the output budget besides its bytes: a block.
inline constexpr uint64_t kOutputBytesPerFile = 4096;

class TLoadBudget {
public:
    TLoadBudget(uint64_t memory, uint64_t work, uint64_t output);

    // The budget of a file of `fileSize` bytes.
    static std::shared_ptr<TLoadBudget> ForFile(uint64_t fileSize);

    // Memory held from now on (given back with GiveBack, or when the load
    // ends). False, taking nothing, when the bytes would pass the limit;
    // memory given back since may let a later, smaller charge through.
    bool Hold(uint64_t bytes, std::string_view what);
    void GiveBack(uint64_t bytes);
    // Work done. Once a charge is refused the load's time is up: every later
    // charge of work or output is refused too.
    bool Work(uint64_t steps, std::string_view what);
    // Bytes written (and kOutputBytesPerFile for each file made).
    bool Output(uint64_t bytes, std::string_view what);

    // True once a charge of work or output was refused.
    bool Spent() const { return FSpent; }
    // Why the last charge was refused: "limit exceeded: memory for one file
    // (... bytes, at most ...)", or for work "limit exceeded: work on one file
    // (reading names: ... steps, at most ..., about 1 s for each MB)".
    const TReadError &Refusal() const { return FRefusal; }

    uint64_t MemoryHeld() const { return FMemory; }
    // The most memory held at once so far.
    uint64_t MemoryPeak() const { return FPeak; }
    uint64_t WorkDone() const { return FWork; }
    uint64_t OutputWritten() const { return FOutput; }
    uint64_t MemoryLimit() const { return FMemoryLimit; }
    uint64_t WorkLimit() const { return FWorkLimit; }
    uint64_t OutputLimit() const { return FOutputLimit; }

private:
    bool Refuse(TReadError reason, bool spent);
    // Adds `amount` to a meter that, once refused, stays refused.
    bool Spend(uint64_t &used, uint64_t limit, uint64_t amount, std::string_view meter, std::string_view what,
               std::string_view unit);

    uint64_t FMemoryLimit, FWorkLimit, FOutputLimit;
    uint64_t FMemory = 0, FPeak = 0, FWork = 0, FOutput = 0;
    bool FSpent = false;
    TReadError FRefusal;
};

using TLoadBudgetPtr = std::shared_ptr<TLoadBudget>;

// Memory held for as long as its owner lives (a decoded picture kept): given
// back to its budget when the owner goes. Move-only; empty holds nothing.
class THeldMemory {
public:
    THeldMemory() = default;
    // Holds `bytes` of the budget; empty (holding nothing) when it refuses,
    // which ok() tells.
    THeldMemory(TLoadBudgetPtr budget, uint64_t bytes, std::string_view what);
    ~THeldMemory() { Reset(); }
    THeldMemory(THeldMemory &&other) noexcept;
    THeldMemory &operator=(THeldMemory &&other) noexcept;
    THeldMemory(const THeldMemory &) = delete;
    THeldMemory &operator=(const THeldMemory &) = delete;

    // False when the budget refused the bytes.
    bool ok() const { return FOk; }
    void Reset();

private:
    TLoadBudgetPtr FBudget;
    uint64_t FBytes = 0;
    bool FOk = true;
};

// What a decoded picture holds for each pixel: its colour word and its mask
// byte.
inline constexpr uint64_t kBytesPerDecodedPixel = 5;

// The prices of the work done with images, each charged to `budget` (none:
// no charge); false, with the budget's reason in *error, when it refuses.
//
// Decoding `stored` to a picture of `pixels` pixels: every attempt costs its
// set-up, its bytes and the pixels its header names, whether it succeeds or
// not (a picture that fails at its last byte has been inflated all the
// same); `memory` then holds the picture's bytes.
bool ChargeDecode(const TLoadBudgetPtr &budget, ByteView stored, uint64_t pixels, THeldMemory &memory,
                  TReadError *error);
// Scaling a picture of `fromPixels` to one of `toPixels` pixels.
bool ChargeScale(const TLoadBudgetPtr &budget, uint64_t fromPixels, uint64_t toPixels, TReadError *error);
// Encoding a picture of `pixels` pixels as PNG.
bool ChargeEncode(const TLoadBudgetPtr &budget, uint64_t pixels, TReadError *error);

} // namespace vexillo
