// Fuzz target: a program module opened as data, its resource types and names
// listed, every resource read, every icon group loaded as the catalogue would
// load it and its images drawn (the module's budget is what bounds them), and
// its thumbnail made.
#include "module_fuzz.h"

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzModuleFile(data, size, [](const std::string &path) {
        auto module = TModule::LoadAsDataFile(path);
        if (!module)
            return;
        std::vector<ResourceId> types;
        module->EnumResourceTypes([&](const ResourceId &type) {
            types.push_back(type);
            return types.size() < 64;
        });
        for (const ResourceId &type : types) {
            int names = 0;
            module->EnumResourceNames(type, [&](const ResourceId &name) {
                SharedBytes bytes;
                module->FindResource(type, name, bytes);
                if (!type.IsName && type.Number == RT_GROUP_ICON)
                    LoadAndDrawGroup(module.get(), name);
                return ++names < 64;
            });
        }
    });
}
