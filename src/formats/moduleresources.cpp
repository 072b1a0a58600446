#include "formats/moduleresources.h"

#include "formats/neresources.h"

#include <string_view>

namespace vexillo {

namespace {

// A PE image's resources behind the common interface.
class PeModuleResources final : public ModuleResources {
public:
    explicit PeModuleResources(std::unique_ptr<PeResources> pe) : FPe(std::move(pe)) {}

    TReadError ListTypes(const std::function<bool(const ResourceId &type)> &callback) const override
    {
        return FPe->ListTypes(callback);
    }
    TReadError ListNames(const ResourceId &type,
                         const std::function<bool(const ResourceId &name)> &callback) const override
    {
        return FPe->ListNames(type, callback);
    }
    TReadError Read(const ResourceId &type, const ResourceId &name, std::vector<uint8_t> &bytes,
                    uint64_t maxSize) const override
    {
        return FPe->Read(type, name, bytes, maxSize);
    }
    TReadError Language(const ResourceId &type, const ResourceId &name, uint16_t &language) const override
    {
        return FPe->Language(type, name, language);
    }
    TReadError ReadShared(const ResourceId &type, const ResourceId &name, SharedBytes &bytes) const override
    {
        return FPe->ReadShared(type, name, bytes);
    }
    const TLoadBudgetPtr &Budget() const override { return FPe->Budget(); }

private:
    std::unique_ptr<PeResources> FPe;
};

} // namespace

std::unique_ptr<ModuleResources> ModuleResources::Open(const std::string &fileName, TReadError *error)
{
    TReadError peError;
    if (std::unique_ptr<PeResources> pe = PeResources::Open(fileName, &peError))
        return std::make_unique<PeModuleResources>(std::move(pe));
    // Only a file with a DOS header whose new header is not PE's can be NE:
    // others keep the PE reader's reason without a second open.
    if (peError.Code != TReadErrorCode::NotPeFile || std::string_view(peError.Detail).starts_with("no MZ")) {
        if (error)
            *error = std::move(peError);
        return nullptr;
    }
    TReadError neError;
    if (std::unique_ptr<NeResources> ne = NeResources::Open(fileName, &neError))
        return ne;
    if (error)
        *error = neError.Code == TReadErrorCode::NotPeFile ? std::move(peError) : std::move(neError);
    return nullptr;
}

} // namespace vexillo
