// Fuzz target: raw image bytes (a DIB or a PNG stream) decoded at their own
// size and at a desired size, drawn, and asked for their bitmaps.
#include "platform/iconobject.h"

#include <cstddef>
#include <cstdint>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ByteView bytes(data, size);
    for (int desired : {0, 32}) {
        const UniqueIcon icon(CreateIconFromResourceEx(bytes, true, 0x30000, desired, desired, LR_DEFAULTCOLOR));
        if (!icon)
            continue;
        GdiBitmap surface(40, 40, 0xFFFFFFFFu);
        DrawIconEx(&surface, -3, 5, icon.get(), 0, 0, 0, nullptr, DI_NORMAL);
        ICONINFO info;
        GetIconInfo(icon.get(), info);
        const UniqueIcon copy(CopyIcon(icon.get()));
    }
    return 0;
}
