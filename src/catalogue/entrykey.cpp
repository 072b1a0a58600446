#include "catalogue/entrykey.h"

#include "formats/icondecode.h"
#include "platform/streams.h"

#include <algorithm>
#include <array>

namespace vexillo {

namespace {

constexpr int kKeyColumns = 9, kKeyRows = 8;

// The brightness (0 to 255 * 1000) of a picture's pixel drawn over white, as
// a mask icon or an alpha icon is drawn.
uint32_t GreyOverWhite(const IconObject &Picture, size_t i)
{
    const uint32_t colour = i < Picture.Color.size() ? Picture.Color[i] : 0;
    uint32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    if (Picture.AlphaBlend) {
        const uint32_t alpha = colour >> 24;
        r = (r * alpha + 255 * (255 - alpha)) / 255;
        g = (g * alpha + 255 * (255 - alpha)) / 255;
        b = (b * alpha + 255 * (255 - alpha)) / 255;
    } else if (i < Picture.Mask.size() && Picture.Mask[i]) {
        // A transparent pixel leaves white; a set colour there inverts it.
        r = 255 ^ r;
        g = 255 ^ g;
        b = 255 ^ b;
    }
    return r * 299 + g * 587 + b * 114;
}

} // namespace

uint64_t PictureKeyOf(const IconObject &Picture)
{
    const int width = Picture.Width, height = Picture.Height;
    if (width <= 0 || height <= 0)
        return 0;
    // Each picture pixel falls into the cells its span covers, weighted by
    // the overlap; spans are measured in units of 1 / (width * 9) so that
    // the arithmetic stays in integers.
    std::array<uint64_t, static_cast<size_t>(kKeyColumns) * static_cast<size_t>(kKeyRows)> cells{};
    const auto spread = [](int index, int count, int parts, auto add) {
        // Pixel `index` of `count` spans [index * parts, (index + 1) * parts)
        // in units where a cell is `count` long.
        const int begin = index * parts, end = begin + parts;
        for (int cell = begin / count; cell < parts && cell * count < end; ++cell) {
            const int overlap = std::min(end, (cell + 1) * count) - std::max(begin, cell * count);
            if (overlap > 0)
                add(cell, static_cast<uint64_t>(overlap));
        }
    };
    for (int y = 0; y < height; ++y)
        spread(y, height, kKeyRows, [&](int row, uint64_t rowWeight) {
            for (int x = 0; x < width; ++x) {
                const uint64_t grey = GreyOverWhite(Picture, static_cast<size_t>(y) * static_cast<size_t>(width) +
                                                                 static_cast<size_t>(x));
                spread(x, width, kKeyColumns, [&](int column, uint64_t columnWeight) {
                    cells[static_cast<size_t>(row) * static_cast<size_t>(kKeyColumns) + static_cast<size_t>(column)] +=
                        grey * rowWeight * columnWeight;
                });
            }
        });
    uint64_t key = 0;
    for (int row = 0; row < kKeyRows; ++row)
        for (int column = 0; column + 1 < kKeyColumns; ++column) {
            const size_t at = static_cast<size_t>(row) * static_cast<size_t>(kKeyColumns) + static_cast<size_t>(column);
            key = (key << 1) | (cells[at] > cells[at + 1] ? 1u : 0u);
        }
    return key;
}

bool ComputeEntryKey(TCatalogue &Catalogue, const TIconItem &Entry, TPagePictures &Pictures, TEntryKey &Key,
                     const IconObject *Made)
{
    Key = TEntryKey{};
    if (!Catalogue.LoadIconGroup(Entry))
        return false;
    const TAdvancedIcon &icon = Catalogue.CurrentIcon;
    TMemoryStream saved;
    try {
        icon.SaveToStream(saved);
    } catch (const std::exception &) {
        return false;
    }
    Sha256 hash;
    hash.Add(saved.Bytes().data(), saved.Bytes().size());
    Key.Identity = hash.Finish();
    Key.Flags = TEntryKey::Keyed;
    for (uint16_t i = 0; i < icon.Images.Count; ++i) {
        const TIconImage *image = icon.Images.GetItem(i);
        if (!image)
            continue;
        Key.LargestImage = static_cast<uint16_t>(
            std::max<int>(Key.LargestImage, std::max(PreviewImageSize(image->Width), PreviewImageSize(image->Height))));
        if (IsPngStream(image->StoredBytes()))
            Key.Flags |= TEntryKey::HasPng;
        if (image->BitCount == 32)
            Key.Flags |= TEntryKey::Has32Bit;
    }
    // A group's picture comes from the group just loaded, as a page makes
    // it; an .ico file's from the image that fits the size best.
    IconObject extracted;
    const IconObject *picture = nullptr;
    if (Made && Made->Width == kPictureKeySize && Made->Height == kPictureKeySize) {
        picture = Made;
    } else if (IsIconFile(Entry.FileName)) {
        if (EntryPicture(Catalogue, Entry, kPictureKeySize, Pictures, extracted) == TEntryShown::Picture)
            picture = &extracted;
    } else if (TIconImage *image = Catalogue.CurrentIcon.Images.GetItem(
                   static_cast<uint16_t>(ChooseDisplayImage(Catalogue.CurrentIcon, kPictureKeySize)))) {
        Pictures.MoveTo(Entry.FileName);
        picture = Pictures.Picture(*image, kPictureKeySize);
    }
    if (picture) {
        Key.PictureKey = PictureKeyOf(*picture);
        Key.Flags |= TEntryKey::HasPicture;
    }
    return true;
}

} // namespace vexillo
