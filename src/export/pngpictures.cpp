#include "export/pngpictures.h"

#include "formats/icondecode.h"
#include "formats/pngwriter.h"
#include "platform/iconobject.h"

#include <algorithm>
#include <set>

namespace vexillo {

namespace {

// A decoded picture as PNG bytes, its transparency kept, the work charged to
// `budget`.
bool EncodePicture(const DecodedImage *picture, const TLoadBudgetPtr &budget, std::vector<uint8_t> &Png,
                   std::string &why)
{
    TReadError error;
    if (!ChargeEncode(budget, static_cast<uint64_t>(picture->Width) * static_cast<uint64_t>(picture->Height), &error)) {
        why = error.Text();
        return false;
    }
    PixelImage pixels;
    if (IconToArgb(picture, pixels) && EncodePngArgb(pixels, Png))
        return true;
    why = "the picture cannot be encoded";
    return false;
}

} // namespace

bool ImageAsPng(const TIconImage &Image, std::vector<uint8_t> &Png, std::string &why)
{
    TReadError error;
    const ByteView stored = Image.StoredBytes();
    if (IsPngStream(stored)) {
        // An image stored as a PNG stream is written as it is, once its
        // chunks are found whole.
        if (Image.Budget && !Image.Budget->Work(steps::kPerByte * stored.size(), "checking PNG streams")) {
            why = Image.Budget->Refusal().Text();
            return false;
        }
        if (!PngChunksIntact(stored, &error)) {
            why = error.Text();
            return false;
        }
        Png.assign(stored.data(), stored.data() + stored.size());
        return true;
    }
    const TDecodedPicture own = Image.DecodeOwnSize(why);
    return own && EncodePicture(own.Icon.get(), Image.Budget, Png, why);
}

namespace {

// How deep an image is for an icon theme: a PNG stream counts as 32 bits, a
// bitmap as its header's bit count (at most 32).
int ThemeDepth(ByteView stored)
{
    if (IsPngStream(stored))
        return 32;
    uint16_t bits = 0;
    return stored.readU16(14, bits) ? std::min<int>(bits, 32) : 0;
}

// The image as a Size by Size PNG, scaled down when it is larger.
bool ThemePicture(const TIconImage &Image, int Size, std::vector<uint8_t> &Png, std::string &why)
{
    const TDecodedPicture own = Image.DecodeOwnSize(why);
    if (!own)
        return false;
    if (own.Icon->Width == Size && own.Icon->Height == Size)
        return EncodePicture(own.Icon.get(), Image.Budget, Png, why);
    TReadError error;
    const uint64_t size = static_cast<uint64_t>(Size) * static_cast<uint64_t>(Size);
    if (!ChargeScale(Image.Budget, static_cast<uint64_t>(own.Icon->Width) * static_cast<uint64_t>(own.Icon->Height),
                     size, &error)) {
        why = error.Text();
        return false;
    }
    const IconObject scaled = ScaleIcon(*own.Icon, Size, Size);
    return EncodePicture(&scaled, Image.Budget, Png, why);
}

} // namespace

void IconThemePictures(const TAdvancedIcon &Icon, const std::function<void(int, const std::vector<uint8_t> &)> &write,
                       std::vector<std::string> &skipped)
{
    constexpr int kScaledSize = 256;
    // The square images by size (from their own headers, not the directory),
    // each size's deepest first: (-depth, index) in ascending order.
    std::map<int, std::vector<std::pair<int, uint16_t>>> bySize;
    for (uint16_t k = 0; k < Icon.Images.Count; ++k) {
        const ByteView stored = Icon.Images.GetItem(k)->StoredBytes();
        uint32_t width = 0, height = 0;
        if (ReadImageSize(stored, width, height) && width == height && width >= 1 &&
            width <= static_cast<uint32_t>(kMaxIconDimension))
            bySize[static_cast<int>(width)].emplace_back(-ThemeDepth(stored), k);
    }
    if (bySize.empty())
        return;
    for (auto &entry : bySize)
        std::sort(entry.second.begin(), entry.second.end());

    std::set<int> sizes;
    for (const auto &entry : bySize)
        if (entry.first <= kMaxThemeSize)
            sizes.insert(entry.first);
    if (bySize.rbegin()->first > kScaledSize)
        sizes.insert(kScaledSize);

    // Images that failed, by their bytes: an image naming the same bytes as
    // one that failed fails the same way and is not tried again.
    std::set<std::pair<const uint8_t *, uint32_t>> failed;
    for (const int size : sizes) {
        // The images that can make the picture: its own size's, and for 256
        // the larger ones, the largest first.
        std::vector<uint16_t> sources;
        if (const auto own = bySize.find(size); own != bySize.end())
            for (const auto &candidate : own->second)
                sources.push_back(candidate.second);
        if (size == kScaledSize)
            for (auto larger = bySize.rbegin(); larger != bySize.rend() && larger->first > size; ++larger)
                for (const auto &candidate : larger->second)
                    sources.push_back(candidate.second);
        for (const uint16_t k : sources) {
            const TIconImage &image = *Icon.Images.GetItem(k);
            const auto bytes = std::make_pair(image.Data.data(), image.StoredSize());
            std::vector<uint8_t> png;
            std::string why;
            if (failed.count(bytes))
                continue;
            if (ThemePicture(image, size, png, why)) {
                write(size, png);
                break;
            }
            failed.insert(bytes);
            skipped.push_back("image " + std::to_string(k) + ": " + why);
            // A spent budget ends the pictures: nothing more can be decoded.
            if (Icon.Budget && Icon.Budget->Spent())
                return;
        }
    }
}

} // namespace vexillo
