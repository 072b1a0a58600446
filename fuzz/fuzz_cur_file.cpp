// Fuzz target: a CUR file read as a cursor, written back and read again
// (the hot spots must survive), every image drawn, and its thumbnail made.
#include "export/thumbnail.h"
#include "icons/advancedicon.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TByteViewStream input(ByteView(data, size));
    TAdvancedIcon cursor;
    cursor.LoadCursorFromStream(input);

    TMemoryStream output;
    cursor.SaveToStream(output);
    if (cursor.Images.Count > 0) {
        TByteViewStream saved(ByteView(output.Bytes().data(), output.Bytes().size()));
        TAdvancedIcon again;
        again.LoadCursorFromStream(saved);
        // What was saved reads back with the same hot spots.
        for (uint16_t i = 0; i < again.Images.Count && i < cursor.Images.Count; ++i)
            if (again.Images.GetItem(i)->HotspotX != cursor.Images.GetItem(i)->HotspotX ||
                again.Images.GetItem(i)->HotspotY != cursor.Images.GetItem(i)->HotspotY)
                std::abort();
    }

    if (const int fd = memfd_create("cursor", MFD_CLOEXEC); fd >= 0) {
        if (write(fd, data, size) == static_cast<ssize_t>(size)) {
            std::vector<uint8_t> png;
            TReadError error;
            MakeThumbnail("/proc/self/fd/" + std::to_string(fd), 48, png, error);
        }
        close(fd);
    }

    for (uint16_t i = 0; i < cursor.Images.Count; ++i)
        cursor.Images.GetItem(i)->GetHandle();
    return 0;
}
