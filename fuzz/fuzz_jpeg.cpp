// Fuzz target: JPEG bytes decoded as the About box decodes its picture.
#include "platform/jpegdecode.h"

#include <cstddef>
#include <cstdint>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    GdiBitmap picture;
    DecodeJpeg(ByteView(data, size), picture);
    return 0;
}
