// Fuzz target: a 16-bit NE module's resource table read, every type and
// name listed and looked up again by its place and by its id, every resource
// read, every icon group loaded as the catalogue would load it and its images
// drawn (the module's budget bounds them), and its thumbnail made.
#include "export/thumbnail.h"
#include "formats/neresources.h"
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
    const int fd = memfd_create("module", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (write(fd, data, size) == static_cast<ssize_t>(size)) {
        if (auto ne = NeResources::Open(path)) {
            std::vector<ResourceId> types;
            (void)ne->ListTypes([&](const ResourceId &type) {
                types.push_back(type);
                return types.size() < 64;
            });
            for (const ResourceId &type : types) {
                int names = 0;
                (void)ne->ListNames(type, [&](const ResourceId &name) {
                    std::vector<uint8_t> bytes;
                    SharedBytes shared;
                    uint16_t language = 0;
                    ResourceId unplaced = name;
                    unplaced.Place = -1;
                    (void)ne->Read(type, name, bytes);
                    (void)ne->ReadShared(type, unplaced, shared);
                    (void)ne->Language(type, name, language);
                    return ++names < 64;
                });
            }
        }
        if (auto module = TModule::LoadAsDataFile(path)) {
            int groups = 0;
            module->EnumResourceNames(ResourceId::FromNumber(RT_GROUP_ICON), [&](const ResourceId &name) {
                TAdvancedIcon icon;
                icon.LoadFromResource(module.get(), name);
                for (uint16_t i = 0; i < icon.Images.Count; ++i)
                    icon.Images.GetItem(i)->GetHandle();
                return ++groups < 64;
            });
        }
        std::vector<uint8_t> png;
        TReadError error;
        MakeThumbnail(path, 48, png, error);
    }
    close(fd);
    return 0;
}
