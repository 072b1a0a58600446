// Fuzz target: a 16-bit NE module's resource table read, every type and
// name listed and looked up again by its place and by its id, every resource
// read, every icon group loaded as the catalogue would load it and its images
// drawn (the module's budget bounds them), and its thumbnail made.
#include "formats/neresources.h"
#include "module_fuzz.h"

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzModuleFile(data, size, [](const std::string &path) {
        if (auto ne = NeResources::Open(path)) {
            std::vector<ResourceId> types;
            (void)ne->ListTypes([&](const ResourceId &type) {
                types.push_back(type);
                return types.size() < 64;
            });
            for (const ResourceId &type : types) {
                int names = 0;
                (void)ne->ListNames(type, [&](const ResourceId &name) {
                    SharedBytes shared;
                    uint16_t language = 0;
                    ResourceId unplaced = name;
                    unplaced.Place = -1;
                    (void)ne->ReadShared(type, unplaced, shared, UINT64_MAX);
                    (void)ne->Language(type, name, language);
                    return ++names < 64;
                });
            }
        }
        if (auto module = TModule::LoadAsDataFile(path)) {
            int groups = 0;
            module->EnumResourceNames(ResourceId::FromNumber(RT_GROUP_ICON), [&](const ResourceId &name) {
                LoadAndDrawGroup(module.get(), name);
                return ++groups < 64;
            });
        }
    });
}
