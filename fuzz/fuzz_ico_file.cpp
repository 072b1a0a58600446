// Fuzz target: an ICO file read, written back, and every image drawn and
// converted to a bitmap as the program would.
#include "icons/advancedicon.h"
#include "icons/i2bconvert.h"
#include "icons/icontools.h"

#include <cstdint>
#include <cstddef>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TByteViewStream input(ByteView(data, size));
    TAdvancedIcon icon;
    icon.LoadFromStream(input);

    TMemoryStream output;
    icon.SaveToStream(output);

    TAdvancedIcon copy;
    copy.Assign(icon);
    for (uint16_t i = 0; i < icon.Images.Count && i < 16; ++i) {
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
