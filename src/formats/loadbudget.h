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

#include <atomic>
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
inline constexpr uint64_t kPerFileMade = 1'000'000;   // creating or linking a file, on a slow disk
} // namespace steps

// What a file made costs of the output budget besides its bytes: a block.
inline constexpr uint64_t kOutputBytesPerFile = 4096;

// The memory one file may hold in this process, shared by every load of it:
// the page threads, the keying threads, a preview, a save and what the
// catalogue keeps of it all draw on one account, so that opening a file
// again, or on several threads at once, never multiplies what it may hold.
// Safe to charge from several threads.
class TFileMemory {
public:
    explicit TFileMemory(uint64_t limit) : FLimit(limit) {}
    // False, taking nothing, when the bytes would pass the limit.
    bool Hold(uint64_t bytes);
    void GiveBack(uint64_t bytes);
    uint64_t Held() const { return FHeld.load(std::memory_order_relaxed); }
    uint64_t Limit() const { return FLimit; }

private:
    const uint64_t FLimit;
    std::atomic<uint64_t> FHeld{0};
};

class TLoadBudget {
public:
    // A budget with a memory account of its own.
    TLoadBudget(uint64_t memory, uint64_t work, uint64_t output);
    // A budget that holds its memory on `account`, shared with other loads.
    TLoadBudget(std::shared_ptr<TFileMemory> account, uint64_t work, uint64_t output);
    // Gives back to the account what this load still holds.
    ~TLoadBudget();
    TLoadBudget(const TLoadBudget &) = delete;
    TLoadBudget &operator=(const TLoadBudget &) = delete;

    // The budget of `fileSize` bytes that are not a file on disk: memory of
    // its own.
    static std::shared_ptr<TLoadBudget> ForFile(uint64_t fileSize);
    // The budget of a load of the open file `fd` of `fileSize` bytes. Its
    // memory is the account of that file (the same device, inode, size and
    // time of change) that every other load of it alive in this process
    // holds on; work and output are this load's own, since each load is a
    // request of its own whose time the file bounds.
    static std::shared_ptr<TLoadBudget> ForOpenFile(int fd, uint64_t fileSize);

    // Memory held from now on (given back with GiveBack, or when the load
    // ends). False, taking nothing, when the bytes would pass the limit of
    // the file's account; memory given back since (by this load or another
    // of the file) may let a later, smaller charge through.
    bool Hold(uint64_t bytes, std::string_view what);
    void GiveBack(uint64_t bytes);
    // Holds `bytes` of the file's memory past the end of this load, in
    // `kept` (empty, or keeping memory of this file already), for what
    // outlives the load (catalogue entries). What is kept may take at most
    // a quarter of the file's memory, so that loads of the file still have
    // the rest to read it with, and a window of many files keeps little of
    // each.
    bool Keep(uint64_t bytes, std::string_view what, class TKeptMemory &kept);
    const std::shared_ptr<TFileMemory> &Account() const { return FAccount; }
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

    // The memory this load holds, and the most it held at once so far.
    uint64_t MemoryHeld() const { return FMemory; }
    uint64_t MemoryPeak() const { return FPeak; }
    // What every load of the file holds together.
    uint64_t FileMemoryHeld() const { return FAccount->Held(); }
    uint64_t WorkDone() const { return FWork; }
    uint64_t OutputWritten() const { return FOutput; }
    uint64_t MemoryLimit() const { return FAccount->Limit(); }
    uint64_t WorkLimit() const { return FWorkLimit; }
    uint64_t OutputLimit() const { return FOutputLimit; }

private:
    bool Refuse(TReadError reason, bool spent);
    // Adds `amount` to a meter that, once refused, stays refused.
    bool Spend(uint64_t &used, uint64_t limit, uint64_t amount, std::string_view meter, std::string_view what,
               std::string_view unit);

    bool HoldWithin(uint64_t bytes, uint64_t limit, std::string_view what);

    std::shared_ptr<TFileMemory> FAccount;
    uint64_t FWorkLimit, FOutputLimit;
    uint64_t FMemory = 0, FPeak = 0, FWork = 0, FOutput = 0;
    bool FSpent = false;
    TReadError FRefusal;
};

using TLoadBudgetPtr = std::shared_ptr<TLoadBudget>;

// Memory of a file kept after the loads that charged it ended, held on the
// file's account until this goes (TLoadBudget::Keep). Move-only.
class TKeptMemory {
public:
    TKeptMemory() = default;
    ~TKeptMemory();
    TKeptMemory(TKeptMemory &&other) noexcept;
    TKeptMemory &operator=(TKeptMemory &&other) noexcept;
    TKeptMemory(const TKeptMemory &) = delete;
    TKeptMemory &operator=(const TKeptMemory &) = delete;
    const TFileMemory *Account() const { return FAccount.get(); }
    uint64_t Bytes() const { return FBytes; }

private:
    friend class TLoadBudget;
    std::shared_ptr<TFileMemory> FAccount;
    uint64_t FBytes = 0;
};

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
