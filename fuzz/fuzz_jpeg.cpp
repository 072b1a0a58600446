// Fuzz target: JPEG bytes decoded as the About box decodes its picture.
#include "formats/jpegdecode.h"

#include <cstddef>
#include <cstdint>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PixelImage picture;
    DecodeJpeg(ByteView(data, size), picture);
    return 0;
}
