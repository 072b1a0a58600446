#include "formats/moduleresources.h"

#include "formats/neresources.h"
#include "formats/peresources.h"

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
    TReadError Language(const ResourceId &type, const ResourceId &name, uint16_t &language) const override
    {
        return FPe->Language(type, name, language);
    }
    TReadError ReadShared(const ResourceId &type, const ResourceId &name, SharedBytes &bytes,
                          uint64_t limit) const override
    {
        return FPe->ReadShared(type, name, bytes, limit);
    }
    const TLoadBudgetPtr &Budget() const override { return FPe->Budget(); }
    const char *FormatName() const override { return FPe->IsPe32Plus() ? "PE32+" : "PE32"; }

private:
    std::unique_ptr<PeResources> FPe;
};

} // namespace

std::unique_ptr<ModuleResources> ModuleResources::Open(const std::string &fileName, TReadError *error)
{
    // One open and one read of the head serve whichever reader the new
    // header names; anything but NE's is the PE reader's to accept or refuse.
    ModuleFile file;
    if (!ModuleFile::Open(fileName, file, error))
        return nullptr;
    return Open(std::move(file), error);
}

std::unique_ptr<ModuleResources> ModuleResources::Open(ModuleFile file, TReadError *error)
{
    if (file.IsNe())
        return NeResources::Open(std::move(file), error);
    if (std::unique_ptr<PeResources> pe = PeResources::Open(std::move(file), error))
        return std::make_unique<PeModuleResources>(std::move(pe));
    return nullptr;
}

} // namespace vexillo
