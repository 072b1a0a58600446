#include "catalogue/entrykey.h"

#include "formats/icondecode.h"
#include "platform/streams.h"

#include <algorithm>
#include <array>

namespace vexillo {

namespace {

constexpr int kKeyColumns = 9, kKeyRows = 8;

// How far apart (in the units of GreyAsMask) the pixels of a line at the
// picture's edge may lie and the line still count as frame or margin: 32 of
// 255, so that a margin with a faint shadow in it is trimmed too.
constexpr uint32_t kEvenLine = 32 * 1000;

// The brightness (0 to 255 * 1000) of pixel (x, y) of a picture drawn over
// white, its alpha read as a mask: a pixel is opaque from half up. An icon
// of 8 bits or fewer holds a picture so, and read so a picture with soft
// edges and shadows keys as its palette copies do.
uint32_t GreyAsMask(const IconObject &Picture, int x, int y)
{
    const size_t i = static_cast<size_t>(y) * static_cast<size_t>(Picture.Width) + static_cast<size_t>(x);
    const uint32_t colour = i < Picture.Color.size() ? Picture.Color[i] : 0;
    uint32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    if (Picture.AlphaBlend) {
        if ((colour >> 24) < 128)
            r = g = b = 255;
    } else if (i < Picture.Mask.size() && Picture.Mask[i]) {
        // A transparent pixel leaves white; a set colour there inverts it.
        r = 255 ^ r;
        g = 255 ^ g;
        b = 255 ^ b;
    }
    return r * 299 + g * 587 + b * 114;
}

// A part of a picture: columns [Left, Right), rows [Top, Bottom).
struct TBox {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TBox &) const = default;
};

// The picture's content box: the picture without the lines at its edges
// whose pixels are about even (kEvenLine), a side at a time and over again,
// so that a frame goes and then the margin inside it. It keeps at least the
// 9 by 8 cells of the hash, so that a picture of even lines alone (a
// gradient, one colour) still keys by its pixels rather than by a sliver.
TBox ContentBox(const IconObject &Picture)
{
    TBox box{0, 0, Picture.Width, Picture.Height};
    // Whether the `count` pixels from (x, y) on in steps of (dx, dy) are even.
    const auto even = [&](int x, int y, int dx, int dy, int count) {
        uint32_t low = UINT32_MAX, high = 0;
        for (int i = 0; i < count; ++i) {
            const uint32_t grey = GreyAsMask(Picture, x + i * dx, y + i * dy);
            low = std::min(low, grey);
            high = std::max(high, grey);
        }
        return high - low <= kEvenLine;
    };
    const auto wide = [&] { return box.Right - box.Left > kKeyColumns; };
    const auto tall = [&] { return box.Bottom - box.Top > kKeyRows; };
    for (TBox before; box != before;) {
        before = box;
        if (wide() && even(box.Left, box.Top, 0, 1, box.Bottom - box.Top))
            ++box.Left;
        if (wide() && even(box.Right - 1, box.Top, 0, 1, box.Bottom - box.Top))
            --box.Right;
        if (tall() && even(box.Left, box.Top, 1, 0, box.Right - box.Left))
            ++box.Top;
        if (tall() && even(box.Left, box.Bottom - 1, 1, 0, box.Right - box.Left))
            --box.Bottom;
    }
    return box;
}

// The dHash of the picture's part Box.
uint64_t DifferenceHash(const IconObject &Picture, const TBox &Box)
{
    const int width = Box.Right - Box.Left, height = Box.Bottom - Box.Top;
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
                const uint64_t grey = GreyAsMask(Picture, Box.Left + x, Box.Top + y);
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

} // namespace

TPictureKey PictureKeyOf(const IconObject &Picture)
{
    if (Picture.Width <= 0 || Picture.Height <= 0)
        return {};
    return {DifferenceHash(Picture, {0, 0, Picture.Width, Picture.Height}),
            DifferenceHash(Picture, ContentBox(Picture))};
}

bool ComputeEntryKey(TGroupLoader &Loader, const TIconItem &Entry, TPagePictures &Pictures, TEntryKey &Key,
                     const IconObject *Made)
{
    Key = TEntryKey{};
    if (!Loader.LoadIconGroup(Entry))
        return false;
    const TAdvancedIcon &icon = Loader.CurrentIcon;
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
        if (EntryPicture(Loader, Entry, kPictureKeySize, Pictures, extracted) == TEntryShown::Picture)
            picture = &extracted;
    } else if (TIconImage *image = Loader.CurrentIcon.Images.GetItem(
                   static_cast<uint16_t>(ChooseDisplayImage(Loader.CurrentIcon, kPictureKeySize)))) {
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
