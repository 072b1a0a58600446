#include "catalogue/pages.h"

#include "platform/extracticon.h"

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

const IconObject *TPagePictures::Picture(TIconImage &Image, int Size)
{
    const SharedBytes stored = Image.Data.Prefix(Image.StoredSize());
    for (const Kept &kept : FKept)
        if (kept.Bytes.SameAs(stored) && kept.Width == Image.Width && kept.Height == Image.Height &&
            kept.Size == Size)
            return kept.Picture.get();
    std::unique_ptr<IconObject> picture;
    if (HICON handle = Image.GetHandle())
        picture = std::make_unique<IconObject>(handle->Width == Size && handle->Height == Size
                                                   ? *handle
                                                   : ScaleIcon(*handle, Size, Size));
    FKept.push_back({stored, Image.Width, Image.Height, Size, std::move(picture)});
    return FKept.back().Picture.get();
}

void TPagePictures::MoveTo(const std::string &FileName)
{
    if (FileName != FFileName)
        FKept.clear();
    FFileName = FileName;
}

TEntryShown EntryPicture(TCatalogue &Catalogue, const TIconItem &Entry, int Size, TPagePictures &Pictures,
                         IconObject &Picture)
{
    Pictures.MoveTo(Entry.FileName);
    const IconObject *picture = nullptr;
    UniqueIcon extracted;
    if (IsIconFile(Entry.FileName)) {
        extracted.reset(ExtractIconAtSize(Entry.FileName, Size));
        picture = extracted.get();
    } else {
        // A group that no longer loads has no image to show.
        Catalogue.LoadIconGroup(Entry.FileName, Entry.GroupName);
        const int K = ChooseDisplayImage(Catalogue.CurrentIcon);
        TIconImage *image = Catalogue.CurrentIcon.Images.GetItem(static_cast<uint16_t>(K));
        if (!image)
            return TEntryShown::Missing;
        picture = Pictures.Picture(*image, Size);
    }
    const TEntryShown shown = picture ? TEntryShown::Picture : TEntryShown::Blank;
    if (picture)
        Picture = *picture;
    return shown;
}

TPageRange PageRange(int Page, int IconCount, int IconsPerPage)
{
    TPageRange range;
    range.First = (Page - 1) * IconsPerPage;
    range.End = std::min(Page * IconsPerPage, IconCount);
    return range;
}

} // namespace vexillo
