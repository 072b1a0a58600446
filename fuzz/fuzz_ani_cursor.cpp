// Fuzz target: an animated or static cursor file read into frames and steps,
// and every frame drawn as the program would turn it into a pointer.
#include "formats/anicursor.h"
#include "formats/pngwriter.h"

#include <cstddef>
#include <cstdint>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AnimatedCursor cursor;
    if (!LoadAnimatedCursor(ByteView(data, size), cursor))
        return 0;
    for (AniFrame &frame : cursor.Frames) {
        PixelImage picture;
        IconToArgb(&frame.Image, picture);
    }
    return 0;
}
