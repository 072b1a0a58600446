// Fuzz target: a CUR file read as a cursor by the one reader of cursor files,
// written back and read again (the hot spots must survive), every image
// drawn, and its thumbnail made.
#include "export/thumbnail.h"
#include "icons/advancedicon.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace vexillo;

namespace {

// Loads Bytes as a cursor file through a file in memory: the reader takes
// paths, as every command hands it one; with `thumbnail`, its thumbnail is
// made too.
bool LoadCursor(const uint8_t *bytes, size_t size, TAdvancedIcon &cursor, bool thumbnail)
{
    const int fd = memfd_create("cursor", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    const bool loaded = write(fd, bytes, size) == static_cast<ssize_t>(size) && cursor.LoadAnimatedCursorFromFile(name);
    if (thumbnail) {
        std::vector<uint8_t> png;
        TReadError error;
        MakeThumbnail(name, 48, png, error);
    }
    close(fd);
    return loaded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TAdvancedIcon cursor;
    LoadCursor(data, size, cursor, true);

    TMemoryStream output;
    cursor.SaveToStream(output);
    if (cursor.Images.Count > 0 && cursor.AnimatedFile.empty()) {
        TAdvancedIcon again;
        LoadCursor(output.Bytes().data(), output.Bytes().size(), again, false);
        // What was saved reads back with the same hot spots.
        for (uint16_t i = 0; i < again.Images.Count && i < cursor.Images.Count; ++i)
            if (again.Images.GetItem(i)->HotspotX != cursor.Images.GetItem(i)->HotspotX ||
                again.Images.GetItem(i)->HotspotY != cursor.Images.GetItem(i)->HotspotY)
                std::abort();
    }

    for (uint16_t i = 0; i < cursor.Images.Count; ++i)
        cursor.Images.GetItem(i)->GetHandle();
    return 0;
}
