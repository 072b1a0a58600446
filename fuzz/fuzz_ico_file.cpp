// Fuzz target: an ICO file read, written back, every image drawn and
// converted to a bitmap as the program would (the load's budget is what
// bounds them), and its thumbnail made.
#include "export/thumbnail.h"
#include "icons/advancedicon.h"
#include "icons/i2bconvert.h"
#include "icons/icontools.h"

#include <cstdint>
#include <cstddef>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TByteViewStream input(ByteView(data, size));
    TAdvancedIcon icon;
    icon.LoadFromStream(input);

    TMemoryStream output;
    icon.SaveToStream(output);

    // The thumbnailer reads files by name: hand it an in-memory file.
    if (const int fd = memfd_create("icon", MFD_CLOEXEC); fd >= 0) {
        if (write(fd, data, size) == static_cast<ssize_t>(size)) {
            std::vector<uint8_t> png;
            TReadError error;
            MakeThumbnail("/proc/self/fd/" + std::to_string(fd), 48, png, error);
        }
        close(fd);
    }

    TAdvancedIcon copy;
    copy.Assign(icon);
    for (uint16_t i = 0; i < icon.Images.Count; ++i) {
        TIconImage *image = icon.Images.GetItem(i);
        auto graphic = image->CreateGraphic();
        if (graphic->GetHandle()) {
            TBitmap bitmap;
            // A monochrome icon more than 2048 rows high needs a mask
            // bitmap past the size limit: the documented refusal.
            try {
                IconToBitmap(*graphic, 0x0000FF, bitmap);
            } catch (const EOutOfResources &) {
            }
        }
    }
    return 0;
}
