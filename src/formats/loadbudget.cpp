#include "formats/loadbudget.h"

#include <algorithm>
#include <string>

namespace vexillo {

TLoadBudget::TLoadBudget(uint64_t memory, uint64_t work, uint64_t output)
    : FMemoryLimit(memory), FWorkLimit(work), FOutputLimit(output)
{
}

TLoadBudgetPtr TLoadBudget::ForFile(uint64_t fileSize)
{
    // Sizes far beyond any file keep the products from overflowing.
    const uint64_t size = std::min<uint64_t>(fileSize, uint64_t{1} << 40);
    const uint64_t bytes = std::max(kMinLoadBytes, kLoadBytesPerFileByte * size);
    const uint64_t work = std::max(steps::kPerSecond, size * (steps::kPerSecond / 1'000'000));
    return std::make_shared<TLoadBudget>(bytes, work, bytes);
}

bool TLoadBudget::Refuse(TReadError reason, bool spent)
{
    FRefusal = std::move(reason);
    FSpent = FSpent || spent;
    return false;
}

bool TLoadBudget::Hold(uint64_t bytes, std::string_view what)
{
    if (bytes > FMemoryLimit - FMemory)
        return Refuse({TReadErrorCode::LimitExceeded, "memory for one file (" + std::string(what) + ": " +
                                                          std::to_string(FMemory + bytes) + " bytes, at most " +
                                                          std::to_string(FMemoryLimit) + ")"},
                      false);
    FMemory += bytes;
    FPeak = std::max(FPeak, FMemory);
    return true;
}

void TLoadBudget::GiveBack(uint64_t bytes)
{
    FMemory -= std::min(bytes, FMemory);
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
