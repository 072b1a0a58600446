#include "platform/extracticon.h"

#include "icons/advancedicon.h"
#include "platform/iconobject.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <utility>
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
    // Entries that name the same bytes are tried once: a file whose thousand
    // entries name one broken picture decodes it once, not a thousand times.
    std::set<std::pair<const uint8_t *, uint32_t>> tried;
    for (const TIconImage *image : order) {
        if (!tried.emplace(image->Data.data(), image->StoredSize()).second)
            continue;
        ByteView stored;
        image->Data.View().sub(0, image->StoredSize(), stored);
        if (HICON handle = CreateIconFromResourceEx(stored, true, 0x30000, standard, standard, LR_DEFAULTCOLOR))
            return handle;
    }
    return nullptr;
}

} // namespace vexillo
