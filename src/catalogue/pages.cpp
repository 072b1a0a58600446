#include "catalogue/pages.h"

#include <algorithm>

namespace vexillo {

int ChooseDisplayImage(const TAdvancedIcon &Icon)
{
    int last32 = -1;
    for (uint16_t i = 0; i < Icon.Images.Count; ++i) {
        const TIconImage *image = Icon.Images.GetItem(i);
        if (!image || image->Width != 32)
            continue;
        if (image->BitCount > 8)
            return i;
        last32 = i;
    }
    return last32 >= 0 ? last32 : 0;
}

std::string ColorsText(int BitCount)
{
    std::string count;
    switch (BitCount) {
    case 1: count = "2"; break;
    case 2: count = "4"; break;
    case 4: count = "16"; break;
    case 8: count = "256"; break;
    case 16:
    case 24:
    case 32: count = "24b"; break;
    default: return {};
    }
    return count + " Colors";
}

int PreviewImageSize(uint8_t size)
{
    return size == 0 ? 256 : size;
}

std::string PreviewRowText(const TIconImage &Image)
{
    return std::to_string(PreviewImageSize(Image.Width)) + "x" + std::to_string(PreviewImageSize(Image.Height)) +
           ", " + ColorsText(Image.BitCount);
}

int PreviewRowHeight(const TIconImage &Image)
{
    return PreviewImageSize(Image.Height) + 25;
}

TPageRange PageRange(int Page, int IconCount, int IconsPerPage)
{
    TPageRange range;
    range.First = (Page - 1) * IconsPerPage;
    range.End = std::min(Page * IconsPerPage, IconCount);
    return range;
}

} // namespace vexillo
