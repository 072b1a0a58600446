#include "platform/extracticon.h"

#include "icons/advancedicon.h"
#include "platform/iconobject.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vexillo {

HICON ExtractIconA(const std::string &FileName, int Index)
{
    if (Index != 0)
        return nullptr;
    TAdvancedIcon icon;
    icon.LoadFromFile(FileName); // the images read before a failure still serve
    const int standard = GetSystemMetrics(SM_CXICON);

    // Candidates in order of preference; a candidate that does not decode
    // gives way to the next.
    std::vector<const TIconImage *> order;
    for (uint16_t i = 0; i < icon.Images.Count; ++i)
        order.push_back(icon.Images.GetItem(i));
    auto sizeOf = [](const TIconImage *image) { return image->Width == 0 ? 256 : int{image->Width}; };
    auto better = [&](const TIconImage *a, const TIconImage *b) {
        const int da = std::abs(sizeOf(a) - standard), db = std::abs(sizeOf(b) - standard);
        if (da != db)
            return da < db;
        if (sizeOf(a) != sizeOf(b))
            return sizeOf(a) > sizeOf(b);
        return a->BitCount > b->BitCount;
    };
    std::stable_sort(order.begin(), order.end(), better);
    for (const TIconImage *image : order) {
        HICON handle = CreateIconFromResourceEx(ByteView(image->Data.data(), image->StoredSize()), true, 0x30000,
                                                standard, standard, LR_DEFAULTCOLOR);
        if (handle)
            return handle;
    }
    return nullptr;
}

} // namespace vexillo
