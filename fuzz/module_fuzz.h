// What the module fuzz targets share: the input handed to the readers as a
// file (they open files by name), an icon group loaded as the catalogue
// would load it with its images drawn, and what info and the thumbnail make
// of it last.
#pragma once

#include "export/thumbnail.h"
#include "formats/fileinfo.h"
#include "icons/advancedicon.h"
#include "platform/pemodule.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace vexillo {

inline void LoadAndDrawGroup(TModule *module, const ResourceId &name)
{
    TAdvancedIcon icon;
    icon.LoadFromResource(module, name);
    for (uint16_t i = 0; i < icon.Images.Count; ++i)
        icon.Images.GetItem(i)->GetHandle();
    // As a page pictures it: the images' heads, one read whole; a head
    // drawn by mistake is bad input like any other.
    TAdvancedIcon heads;
    heads.LoadHeadsFromResource(module, name, false, 64);
    for (uint16_t i = 0; i < heads.Images.Count; ++i) {
        heads.Images.GetItem(i)->GetHandle();
        if (i + 1 == heads.Images.Count && heads.ReadWholeImage(module, i))
            heads.Images.GetItem(i)->GetHandle();
    }
}

// Writes the input to an in-memory file, runs `read(path)` on it, reads what
// 'vexillo-cli info' shows of it and makes its thumbnail.
template <class ReadFn> int FuzzModuleFile(const uint8_t *data, size_t size, ReadFn &&read)
{
    const int fd = memfd_create("module", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (write(fd, data, size) == static_cast<ssize_t>(size)) {
        read(path);
        FileInfo info;
        ReadFileInfo(path, info, nullptr);
        std::vector<uint8_t> png;
        TReadError error;
        MakeThumbnail(path, 48, png, error);
    }
    close(fd);
    return 0;
}

} // namespace vexillo
