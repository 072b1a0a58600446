#include "formats/loadbudget.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace vexillo {

bool TFileMemory::Hold(uint64_t bytes)
{
    uint64_t held = FHeld.load(std::memory_order_relaxed);
    do {
        if (bytes > FLimit - held)
            return false;
    } while (!FHeld.compare_exchange_weak(held, held + bytes, std::memory_order_relaxed));
    return true;
}

void TFileMemory::GiveBack(uint64_t bytes)
{
    uint64_t held = FHeld.load(std::memory_order_relaxed);
    while (!FHeld.compare_exchange_weak(held, held - std::min(bytes, held), std::memory_order_relaxed)) {
    }
}

namespace {

struct Limits {
    uint64_t memory, work, output;
};

Limits LimitsOfFile(uint64_t fileSize)
{
    // Sizes far beyond any file keep the products from overflowing.
    const uint64_t size = std::min<uint64_t>(fileSize, uint64_t{1} << 40);
    const uint64_t bytes = std::max(kMinLoadBytes, kLoadBytesPerFileByte * size);
    const uint64_t work = std::max(steps::kPerSecond, size * (steps::kPerSecond / 1'000'000));
    return {bytes, work, bytes};
}

// The accounts of the files loaded now, by what tells a file from every
// other: the same name opened again, or another name of it, finds the same
// account; a file changed since is another file.
using FileKey = std::tuple<uint64_t, uint64_t, uint64_t, int64_t, int64_t>;

class TAccounts {
public:
    std::shared_ptr<TFileMemory> Of(const FileKey &key, uint64_t limit)
    {
        const std::lock_guard<std::mutex> lock(FLock);
        std::weak_ptr<TFileMemory> &slot = FAccounts[key];
        std::shared_ptr<TFileMemory> account = slot.lock();
        if (!account) {
            account = std::make_shared<TFileMemory>(limit);
            slot = account;
        }
        // Accounts whose loads all ended are dropped now and then, so that
        // a search of millions of files keeps only the few open at once.
        if (FAccounts.size() >= FNextSweep) {
            std::erase_if(FAccounts, [](const auto &entry) { return entry.second.expired(); });
            FNextSweep = std::max<size_t>(64, 2 * FAccounts.size());
        }
        return account;
    }

private:
    std::mutex FLock;
    std::map<FileKey, std::weak_ptr<TFileMemory>> FAccounts;
    size_t FNextSweep = 64;
};

TAccounts &Accounts()
{
    static TAccounts accounts;
    return accounts;
}

} // namespace

TLoadBudget::TLoadBudget(uint64_t memory, uint64_t work, uint64_t output)
    : FAccount(std::make_shared<TFileMemory>(memory)), FWorkLimit(work), FOutputLimit(output)
{
}

TLoadBudget::TLoadBudget(std::shared_ptr<TFileMemory> account, uint64_t work, uint64_t output)
    : FAccount(std::move(account)), FWorkLimit(work), FOutputLimit(output)
{
}

TLoadBudget::~TLoadBudget()
{
    FAccount->GiveBack(FMemory);
}

TLoadBudgetPtr TLoadBudget::ForFile(uint64_t fileSize)
{
    const Limits limits = LimitsOfFile(fileSize);
    return std::make_shared<TLoadBudget>(limits.memory, limits.work, limits.output);
}

TLoadBudgetPtr TLoadBudget::ForOpenFile(int fd, uint64_t fileSize)
{
    const Limits limits = LimitsOfFile(fileSize);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return std::make_shared<TLoadBudget>(limits.memory, limits.work, limits.output);
    const FileKey key{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), fileSize,
                      static_cast<int64_t>(st.st_mtim.tv_sec), static_cast<int64_t>(st.st_mtim.tv_nsec)};
    return std::make_shared<TLoadBudget>(Accounts().Of(key, limits.memory), limits.work, limits.output);
}

bool TLoadBudget::Refuse(TReadError reason, bool spent)
{
    FRefusal = std::move(reason);
    FSpent = FSpent || spent;
    return false;
}

bool TLoadBudget::HoldWithin(uint64_t bytes, uint64_t limit, std::string_view what)
{
    const uint64_t held = FAccount->Held();
    if ((bytes > limit - std::min(limit, held)) || !FAccount->Hold(bytes))
        return Refuse({TReadErrorCode::LimitExceeded, "memory for one file (" + std::string(what) + ": " +
                                                          std::to_string(held + bytes) + " bytes, at most " +
                                                          std::to_string(limit) + ")"},
                      false);
    FMemory += bytes;
    FPeak = std::max(FPeak, FMemory);
    return true;
}

bool TLoadBudget::Hold(uint64_t bytes, std::string_view what)
{
    return HoldWithin(bytes, FAccount->Limit(), what);
}

bool TLoadBudget::Keep(uint64_t bytes, std::string_view what, TKeptMemory &kept)
{
    if (kept.FAccount && kept.FAccount != FAccount)
        return Refuse(
            {TReadErrorCode::LimitExceeded, "memory for one file (" + std::string(what) + ": kept for another file)"},
            false);
    if (!HoldWithin(bytes, FAccount->Limit() / 4, what))
        return false;
    // The bytes leave this load: the account holds them for `kept`.
    FMemory -= bytes;
    kept.FAccount = FAccount;
    kept.FBytes += bytes;
    return true;
}

void TLoadBudget::GiveBack(uint64_t bytes)
{
    const uint64_t back = std::min(bytes, FMemory);
    FMemory -= back;
    FAccount->GiveBack(back);
}

bool TLoadBudget::Spend(uint64_t &used, uint64_t limit, uint64_t amount, std::string_view meter, std::string_view what,
                        std::string_view unit)
{
    if (FSpent || amount > limit - used)
        return Refuse({TReadErrorCode::LimitExceeded, std::string(meter) + " for one file (" + std::string(what) +
                                                          ": at most " + std::to_string(limit) + std::string(unit) +
                                                          ")"},
                      true);
    used += amount;
    return true;
}

bool TLoadBudget::Work(uint64_t steps, std::string_view what)
{
    return Spend(FWork, FWorkLimit, steps, "work", what, " steps, about 1 s for each MB");
}

bool TLoadBudget::Output(uint64_t bytes, std::string_view what)
{
    return Spend(FOutput, FOutputLimit, bytes, "output", what, " bytes");
}

THeldMemory::THeldMemory(TLoadBudgetPtr budget, uint64_t bytes, std::string_view what)
{
    if (!budget)
        return;
    if (!budget->Hold(bytes, what)) {
        FOk = false;
        return;
    }
    FBudget = std::move(budget);
    FBytes = bytes;
}

TKeptMemory::~TKeptMemory()
{
    if (FAccount)
        FAccount->GiveBack(FBytes);
}

TKeptMemory::TKeptMemory(TKeptMemory &&other) noexcept : FAccount(std::move(other.FAccount)), FBytes(other.FBytes)
{
    other.FBytes = 0;
}

TKeptMemory &TKeptMemory::operator=(TKeptMemory &&other) noexcept
{
    if (this != &other) {
        if (FAccount)
            FAccount->GiveBack(FBytes);
        FAccount = std::move(other.FAccount);
        FBytes = other.FBytes;
        other.FBytes = 0;
    }
    return *this;
}

THeldMemory::THeldMemory(THeldMemory &&other) noexcept
    : FBudget(std::move(other.FBudget)), FBytes(other.FBytes), FOk(other.FOk)
{
    other.FBytes = 0;
    other.FOk = true;
}

THeldMemory &THeldMemory::operator=(THeldMemory &&other) noexcept
{
    if (this != &other) {
        Reset();
        FBudget = std::move(other.FBudget);
        FBytes = other.FBytes;
        FOk = other.FOk;
        other.FBytes = 0;
        other.FOk = true;
    }
    return *this;
}

void THeldMemory::Reset()
{
    if (FBudget)
        FBudget->GiveBack(FBytes);
    FBudget.reset();
    FBytes = 0;
    FOk = true;
}

bool ChargeDecode(const TLoadBudgetPtr &budget, ByteView stored, uint64_t pixels, THeldMemory &memory,
                  TReadError *error)
{
    if (!budget)
        return true;
    if (!budget->Work(steps::kPerDecodeAttempt + steps::kPerByte * stored.size() + steps::kPerPixel * pixels,
                      "decoding images"))
        return Fail(error, budget->Refusal());
    memory = THeldMemory(budget, kBytesPerDecodedPixel * pixels, "decoded pictures");
    return memory.ok() || Fail(error, budget->Refusal());
}

bool ChargeScale(const TLoadBudgetPtr &budget, uint64_t fromPixels, uint64_t toPixels, TReadError *error)
{
    return !budget || budget->Work(steps::kPerScaledPixel * (fromPixels + toPixels), "scaling pictures") ||
           Fail(error, budget->Refusal());
}

bool ChargeEncode(const TLoadBudgetPtr &budget, uint64_t pixels, TReadError *error)
{
    return !budget || budget->Work(steps::kPerEncodedPixel * pixels, "encoding pictures") ||
           Fail(error, budget->Refusal());
}

} // namespace vexillo
