// The page and preview logic of the main window without Qt: which image
// stands for an icon on a page, and what a preview row says and measures.
#pragma once

#include "catalogue/catalogue.h"
#include "icons/advancedicon.h"
#include "platform/iconobject.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexillo {

// The image of an icon that stands for it in the icon list: the first image
// 32 pixels wide with more than 8 bits per pixel, else the last image 32
// pixels wide, else image 0.
int ChooseDisplayImage(const TAdvancedIcon &Icon);
// The same choice for a picture of Size pixels (a page on a screen of more
// than one device pixel to a pixel): at 32 the rule above, at other sizes
// ChooseImageForSize.
int ChooseDisplayImage(const TAdvancedIcon &Icon, int Size);
// The image that makes the best picture of Size pixels: of the images Size
// wide the first with more than 8 bits per pixel, else the last; without
// such an image the smallest larger one, else the largest, of those the
// deepest, so that the picture is scaled down rather than up. With a Frame
// of 0 or more, only the images of that frame of an animated cursor count.
int ChooseImageForSize(const TAdvancedIcon &Icon, int Size, int Frame = -1);

// The colour count of a bit count as the preview writes it ("256", "24b"),
// with " Colors" appended; empty for an unknown bit count.
std::string ColorsText(int BitCount);

// A preview row's text: "32x32, 256 Colors". A size of 0 (a 256-pixel image)
// reads 256.
std::string PreviewRowText(const TIconImage &Image);

// The size the preview shows and lays out an image at: its Width and Height,
// with 0 standing for 256.
int PreviewImageSize(uint8_t size);

// The size an image is drawn at: its own size when the directory's fields
// are that size as a directory stores it (EntrySide: up to 255 pixels, 0
// for more, so a 194 by 313 PNG keeps its shape), else the fields' size (0
// standing for 256), the size the image is scaled to.
struct TPictureSize {
    int Width = 0;
    int Height = 0;
};
TPictureSize PreviewPictureSize(const TIconImage &Image);

// A preview row's height: the drawn picture's height plus 25 (5 above the
// picture, 20 below it).
int PreviewRowHeight(const TIconImage &Image);

// The height of a row that has no image.
inline constexpr int kDefaultPreviewRowHeight = 16;

// A Windows language identifier as a reader knows it: "English (0x0409)",
// "Neutral (0x0000)"; a language this program has no name for reads as its
// number alone.
std::string LanguageText(int Language);

// What the icon list tells of an entry when pointed at: its file, its group
// (name or number; none for an .ico file), the group's language, and the
// size and depth of each image. Loads the entry's group into the
// loader's icon, and lets it go after.
std::string EntryDescription(TGroupLoader &Loader, const TIconItem &Entry);
// The tooltip of an entry: its description, or, while a scan runs (the
// catalogue's icon and error are the scan's then), its file and group
// without reading them.
std::string EntryToolTip(TCatalogue &Catalogue, const TIconItem &Entry);

// The pictures of one page build, kept by the image bytes they come from: a
// page of groups of one module that all name the same large image decodes it
// once, not once per group. The module stays open while its groups are
// pictured (TCatalogue::KeepModuleOpen), so that they share its bytes; the
// pictures are dropped when the page moves on to another file.
class TPagePictures {
public:
    // The image's icon object (as its GetHandle builds it) scaled to Size by
    // Size; nullptr when it has none. The cache owns the picture.
    const IconObject *Picture(TIconImage &Image, int Size);
    // Drops the pictures when `FileName` is not the file they came from.
    void MoveTo(const std::string &FileName);

private:
    struct Kept {
        SharedBytes Bytes;
        uint8_t Width, Height;
        int Size;
        std::unique_ptr<IconObject> Picture;
        THeldMemory Memory;
    };
    std::vector<Kept> FKept;
    std::string FFileName;
};

// What stands for a catalogue entry on a page.
enum class TEntryShown {
    Missing, // the group no longer holds the image to show: left out of the page
    Blank,   // shown without a picture
    Picture,
};

// The picture that stands for a catalogue entry, Size by Size pixels: for an
// .ico file the image that fits the size best (ExtractIcon's choice), for a
// module's group or a cursor file its display image (ChooseDisplayImage),
// scaled to the size. Of a group (found by a scan) only that image is read
// whole (TGroupLoader::LoadPictureImage); a cursor file is loaded into
// Loader.CurrentIcon.
TEntryShown EntryPicture(TGroupLoader &Loader, const TIconItem &Entry, int Size, TPagePictures &Pictures,
                         IconObject &Picture);

// The catalogue positions [First, End) of a page (1-based).
struct TPageRange {
    int First = 0;
    int End = 0;
};
TPageRange PageRange(int Page, int IconCount, int IconsPerPage);

// The entries of a page (their catalogue positions) in order, each with its
// picture of Size pixels (EntryPicture): `show` gets the entry's catalogue
// position, the entry and its picture (null for an entry shown without
// one); an entry whose group no longer holds its image is left out.
// The pictures are made by several threads (PageThreads), each reading a
// run of consecutive groups of one module from it opened once; `show` is
// called on the calling thread, in page order, as soon as an entry and those
// before it are made. Catalogue.CurrentIcon may be changed.
void ForEachPageEntry(TCatalogue &Catalogue, const std::vector<int> &Positions, int Size,
                      const std::function<void(int, const TIconItem &, const IconObject *)> &show);
// How many threads picture a page; 0 means one per processor, at most 4.
inline int PageThreads = 0;

} // namespace vexillo
