// Fuzz target: an animated or static cursor file read into frames and steps
// (the frames before a refusal too), and every frame drawn as the program would turn it into a pointer.
#include "formats/anicursor.h"
#include "formats/pngwriter.h"

#include <cstddef>
#include <cstdint>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CursorFile cursor;
    ReadCursorFile(SharedBytes(std::vector<uint8_t>(data, data + size)), nullptr, cursor, nullptr);
    for (const CursorFrame &frame : cursor.Frames) {
        PixelImage picture;
        IconToArgb(&frame.ShownImage().Picture, picture);
    }
    return 0;
}
