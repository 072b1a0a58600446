// Fuzz target: a program module opened as data, its resource types and names
// listed, every resource read, every icon group loaded as the catalogue would
// load it and its images drawn (the module's budget is what bounds them), and
// its thumbnail made.
#include "export/thumbnail.h"
#include "icons/advancedicon.h"
#include "platform/pemodule.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The module reader opens files by name: hand it an in-memory file.
    const int fd = memfd_create("module", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (write(fd, data, size) == static_cast<ssize_t>(size)) {
        if (auto module = TModule::LoadAsDataFile("/proc/self/fd/" + std::to_string(fd))) {
            std::vector<ResourceId> types;
            module->EnumResourceTypes([&](const ResourceId &type) {
                types.push_back(type);
                return types.size() < 64;
            });
            for (const ResourceId &type : types) {
                int names = 0;
                module->EnumResourceNames(type, [&](const ResourceId &name) {
                    std::vector<uint8_t> bytes;
                    module->FindResource(type, name, bytes);
                    if (!type.IsName && type.Number == RT_GROUP_ICON) {
                        TAdvancedIcon icon;
                        icon.LoadFromResource(module.get(), name);
                        for (uint16_t i = 0; i < icon.Images.Count; ++i)
                            icon.Images.GetItem(i)->GetHandle();
                    }
                    return ++names < 64;
                });
            }
        }
        std::vector<uint8_t> png;
        TReadError error;
        MakeThumbnail("/proc/self/fd/" + std::to_string(fd), 48, png, error);
    }
    close(fd);
    return 0;
}
