#include "platform/extracticon.h"

#include "formats/icofile.h"
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
    return ExtractIconAtSize(FileName, GetSystemMetrics(SM_CXICON));
}

HICON ExtractIconAtSize(const std::string &FileName, int Size)
{
    std::vector<IcoImage> images;
    TLoadBudgetPtr budget;
    ReadIcoFile(FileName, images, nullptr, &budget); // the images read before a failure still serve
    const int standard = Size;

    // Candidates in order of preference; a candidate that does not decode
    // gives way to the next.
    std::vector<const IcoImage *> order;
    order.reserve(images.size());
    for (const IcoImage &image : images)
        order.push_back(&image);
    auto sizeOf = [](const IcoImage *image) { return image->Entry.Width == 0 ? 256 : int{image->Entry.Width}; };
    auto better = [&](const IcoImage *a, const IcoImage *b) {
        const int da = std::abs(sizeOf(a) - standard), db = std::abs(sizeOf(b) - standard);
        if (da != db)
            return da < db;
        if (sizeOf(a) != sizeOf(b))
            return sizeOf(a) > sizeOf(b);
        return a->Entry.BitCount > b->Entry.BitCount;
    };
    std::stable_sort(order.begin(), order.end(), better);
    // Entries that name the same bytes are tried once: a file whose thousand
    // entries name one broken picture decodes it once, not a thousand times.
    std::set<std::pair<const uint8_t *, uint64_t>> tried;
    for (const IcoImage *image : order) {
        if (!tried.emplace(image->Data.data(), image->Data.size()).second)
            continue;
        // Every attempt draws on the file's budget; when it is spent the
        // file has no picture.
        THeldMemory memory;
        if (!ChargeDecode(budget, image->Data.View(), DecodeCost(image->Data.View(), standard, standard), memory,
                          nullptr)) {
            if (budget->Spent())
                return nullptr;
            continue;
        }
        if (HICON handle = CreateIconFromResourceEx(image->Data.View(), true, kIconFormatVersion, standard, standard,
                                                    LR_DEFAULTCOLOR))
            return handle;
    }
    return nullptr;
}

} // namespace vexillo
