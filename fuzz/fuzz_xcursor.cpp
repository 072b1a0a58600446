// Fuzz target: a cursor file read at every size and frame and written as an
// Xcursor file in memory, within the budget of a file of its size.
#include "export/xcursortheme.h"

#include <cstddef>
#include <cstdint>

using namespace vexillo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const TLoadBudgetPtr budget = TLoadBudget::ForFile(size);
    CursorPictures cursor;
    std::vector<uint8_t> bytes;
    CursorFile file;
    if (ReadCursorFile(SharedBytes(std::vector<uint8_t>(data, data + size)), budget, file, nullptr) &&
        ReadCursorPictures(file, cursor, nullptr))
        EncodeXcursor(cursor, budget, bytes, nullptr);
    return 0;
}
