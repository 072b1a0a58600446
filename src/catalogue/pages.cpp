#include "catalogue/pages.h"

#include "formats/icondecode.h"
#include "platform/extracticon.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

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

int ChooseDisplayImage(const TAdvancedIcon &Icon, int Size)
{
    return Size == 32 ? ChooseDisplayImage(Icon) : ChooseImageForSize(Icon, Size);
}

int ChooseImageForSize(const TAdvancedIcon &Icon, int Size, int Frame)
{
    int exact = -1, exactRich = -1, above = -1, below = -1;
    auto sizeOf = [](const TIconImage *image) { return PreviewImageSize(image->Width); };
    // Of two images of one size, the deeper; of equal depth, the first.
    auto better = [&](int candidate, int kept) {
        if (kept < 0)
            return true;
        const TIconImage *a = Icon.Images.GetItem(static_cast<uint16_t>(candidate));
        const TIconImage *b = Icon.Images.GetItem(static_cast<uint16_t>(kept));
        if (sizeOf(a) != sizeOf(b))
            return false;
        return a->BitCount > b->BitCount;
    };
    for (uint16_t i = 0; i < Icon.Images.Count; ++i) {
        const TIconImage *image = Icon.Images.GetItem(i);
        if (!image || (Frame >= 0 && image->Frame != Frame))
            continue;
        const int size = sizeOf(image);
        if (size == Size) {
            exact = i;
            if (image->BitCount > 8 && exactRich < 0)
                exactRich = i;
        } else if (size > Size) {
            if (above < 0 || size < sizeOf(Icon.Images.GetItem(static_cast<uint16_t>(above))) || better(i, above))
                above = i;
        } else if (below < 0 || size > sizeOf(Icon.Images.GetItem(static_cast<uint16_t>(below))) || better(i, below)) {
            below = i;
        }
    }
    if (exactRich >= 0)
        return exactRich;
    if (exact >= 0)
        return exact;
    if (above >= 0)
        return above;
    return below >= 0 ? below : 0;
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
    return std::to_string(PreviewImageSize(Image.Width)) + "x" + std::to_string(PreviewImageSize(Image.Height)) + ", " +
           ColorsText(Image.BitCount);
}

TPictureSize PreviewPictureSize(const TIconImage &Image)
{
    const ByteView stored = Image.StoredBytes();
    if (uint32_t width = 0, height = 0;
        ReadImageSize(stored, width, height) && EntrySide(width) == Image.Width && EntrySide(height) == Image.Height)
        return {static_cast<int>(width), static_cast<int>(height)};
    return {PreviewImageSize(Image.Width), PreviewImageSize(Image.Height)};
}

int PreviewRowHeight(const TIconImage &Image)
{
    return PreviewPictureSize(Image).Height + 25;
}

const IconObject *TPagePictures::Picture(TIconImage &Image, int Size)
{
    const SharedBytes stored = Image.Data.Prefix(Image.StoredSize());
    for (const Kept &kept : FKept)
        if (kept.Bytes.SameAs(stored) && kept.Width == Image.Width && kept.Height == Image.Height && kept.Size == Size)
            return kept.Picture.get();
    std::unique_ptr<IconObject> picture;
    THeldMemory memory;
    if (HICON handle = Image.GetHandle()) {
        // The kept picture holds memory of the image's load while the page
        // shows it; scaling costs its work.
        const uint64_t own = static_cast<uint64_t>(handle->Width) * static_cast<uint64_t>(handle->Height);
        const uint64_t size = static_cast<uint64_t>(Size) * static_cast<uint64_t>(Size);
        const bool same = handle->Width == Size && handle->Height == Size;
        memory = THeldMemory(Image.Budget, kBytesPerDecodedPixel * size, "page pictures");
        if (memory.ok() && (same || ChargeScale(Image.Budget, own, size, nullptr)))
            picture = std::make_unique<IconObject>(same ? *handle : ScaleIcon(*handle, Size, Size));
        else
            memory.Reset();
    }
    FKept.push_back({stored, Image.Width, Image.Height, Size, std::move(picture), std::move(memory)});
    return FKept.back().Picture.get();
}

void TPagePictures::MoveTo(const std::string &FileName)
{
    if (FileName != FFileName)
        FKept.clear();
    FFileName = FileName;
}

TEntryShown EntryPicture(TGroupLoader &Loader, const TIconItem &Entry, int Size, TPagePictures &Pictures,
                         IconObject &Picture)
{
    Pictures.MoveTo(Entry.FileName);
    const IconObject *picture = nullptr;
    UniqueIcon extracted;
    if (IsIconFile(Entry.FileName)) {
        extracted.reset(ExtractIconAtSize(Entry.FileName, Size));
        picture = extracted.get();
    } else if (Entry.GroupPlace >= 0 && !IsCursorFile(Entry.FileName) && !IsAnimatedCursorFile(Entry.FileName)) {
        // A module's group, of which only the image shown is read whole.
        TAdvancedIcon icon;
        TIconImage *image = Loader.LoadPictureImage(
            Entry, icon, [Size](const TAdvancedIcon &loaded) { return ChooseDisplayImage(loaded, Size); });
        if (!image)
            return TEntryShown::Missing;
        picture = Pictures.Picture(*image, Size);
    } else {
        // A group that no longer loads has no image to show.
        Loader.LoadIconGroup(Entry);
        const int K = ChooseDisplayImage(Loader.CurrentIcon, Size);
        TIconImage *image = Loader.CurrentIcon.Images.GetItem(static_cast<uint16_t>(K));
        if (!image)
            return TEntryShown::Missing;
        picture = Pictures.Picture(*image, Size);
    }
    const TEntryShown shown = picture ? TEntryShown::Picture : TEntryShown::Blank;
    if (picture)
        Picture = *picture;
    return shown;
}

std::string LanguageText(int Language)
{
    // The primary languages of Windows language identifiers (the low ten
    // bits) that programs' resources mostly use.
    static const struct {
        int Primary;
        const char *Name;
    } kNames[] = {
        {0x01, "Arabic"},    {0x02, "Bulgarian"},  {0x03, "Catalan"},  {0x04, "Chinese"},   {0x05, "Czech"},
        {0x06, "Danish"},    {0x07, "German"},     {0x08, "Greek"},    {0x09, "English"},   {0x0A, "Spanish"},
        {0x0B, "Finnish"},   {0x0C, "French"},     {0x0D, "Hebrew"},   {0x0E, "Hungarian"}, {0x0F, "Icelandic"},
        {0x10, "Italian"},   {0x11, "Japanese"},   {0x12, "Korean"},   {0x13, "Dutch"},     {0x14, "Norwegian"},
        {0x15, "Polish"},    {0x16, "Portuguese"}, {0x18, "Romanian"}, {0x19, "Russian"},   {0x1A, "Croatian"},
        {0x1B, "Slovak"},    {0x1D, "Swedish"},    {0x1E, "Thai"},     {0x1F, "Turkish"},   {0x22, "Ukrainian"},
        {0x24, "Slovenian"}, {0x25, "Estonian"},   {0x26, "Latvian"},  {0x27, "Lithuanian"}};
    char number[16];
    std::snprintf(number, sizeof number, "0x%04X", static_cast<unsigned>(Language & 0xFFFF));
    if (Language == 0)
        return std::string("Neutral (") + number + ")";
    for (const auto &known : kNames)
        if (known.Primary == (Language & 0x3FF))
            return std::string(known.Name) + " (" + number + ")";
    return number;
}

std::string EntryDescription(TGroupLoader &Loader, const TIconItem &Entry)
{
    // A hostile group may list thousands of images; the tooltip names the first ones.
    constexpr uint16_t kImagesNamed = 16;
    std::string text = "File: " + Entry.FileName;
    const bool module = !IsIconFile(Entry.FileName);
    if (module)
        text += "\nGroup: " + Entry.GroupName;
    // The group is read for the description alone and let go after it: a
    // hostile group's thousands of images are not kept for a tooltip. Of a
    // module's group found by a scan only the heads of its images are read,
    // what their sizes and depths come from.
    struct TLetGo {
        TAdvancedIcon &Icon;
        ~TLetGo() { Icon.Clear(); }
    } letGo{Loader.CurrentIcon};
    TAdvancedIcon heads;
    const bool headsOnly =
        module && Entry.GroupPlace >= 0 && !IsCursorFile(Entry.FileName) && !IsAnimatedCursorFile(Entry.FileName);
    if (headsOnly)
        Loader.LoadPictureImage(
            Entry, heads, [](const TAdvancedIcon &) { return -1; }, kImagesNamed);
    else
        Loader.LoadIconGroup(Entry);
    const TIconImageList &images = headsOnly ? heads.Images : Loader.CurrentIcon.Images;
    if (images.Count == 0)
        return text + "\nImages: none (" + (Loader.LastError() ? Loader.LastError().Text() : "none found") + ")";
    if (module && Loader.GroupLanguage() >= 0)
        text += "\nLanguage: " + LanguageText(Loader.GroupLanguage());
    // Images by size, in the order the sizes come, each with its depths:
    // "16×16 (4, 8 bit), 256×256 (PNG)".
    std::vector<std::pair<std::pair<int, int>, std::vector<std::string>>> sizes;
    for (uint16_t k = 0; k < images.Count && k < kImagesNamed; ++k) {
        const TIconImage &image = *images.GetItem(k);
        const TPictureSize size = PreviewPictureSize(image);
        const std::pair<int, int> key{size.Width, size.Height};
        auto same = std::find_if(sizes.begin(), sizes.end(), [&](const auto &kept) { return kept.first == key; });
        if (same == sizes.end())
            same = sizes.insert(sizes.end(), {key, {}});
        same->second.push_back(IsPngStream(image.StoredBytes()) ? "PNG" : std::to_string(image.BitCount));
    }
    text += "\nImages:";
    for (size_t k = 0; k < sizes.size(); ++k) {
        const auto &[size, depths] = sizes[k];
        std::string list;
        for (const std::string &depth : depths)
            list += (list.empty() ? "" : ", ") + depth;
        const bool bits = depths.back() != "PNG";
        text += (k ? ", " : " ") + std::to_string(size.first) + "\u00D7" + std::to_string(size.second) + " (" + list +
                (bits ? " bit)" : ")");
    }
    if (const int named = headsOnly ? heads.GroupCount : images.Count; named > kImagesNamed)
        text += " and " + std::to_string(named - kImagesNamed) + " more";
    // What the cursor reader left out (a frame that does not decode): the
    // first thing, and how many more.
    if (const auto &notes = Loader.CurrentIcon.Notes; !headsOnly && !notes.empty())
        text += "\nNote: " + notes.front() +
                (notes.size() > 1 ? " (and " + std::to_string(notes.size() - 1) + " more)" : std::string());
    return text;
}

std::string EntryToolTip(TCatalogue &Catalogue, const TIconItem &Entry)
{
    if (!Catalogue.Stopped())
        return "File: " + Entry.FileName + "\nGroup: " + Entry.GroupName;
    return EntryDescription(Catalogue, Entry);
}

TPageRange PageRange(int Page, int IconCount, int IconsPerPage)
{
    TPageRange range;
    range.First = (Page - 1) * IconsPerPage;
    range.End = std::min(Page * IconsPerPage, IconCount);
    return range;
}

namespace {

// What one page entry shows, made by whichever thread took it.
struct TMadeEntry {
    TEntryShown Shown = TEntryShown::Missing;
    IconObject Picture;
    std::atomic<bool> Ready{false};
};

// A page's entries in pieces of consecutive positions, a piece never
// spanning two files (so that a module is opened once for its groups in a
// piece), and no longer than kPiece, so that two threads share a page of one
// module and the page fills in order while they work.
constexpr size_t kPiece = 8;
std::vector<std::pair<size_t, size_t>> PagePieces(const TCatalogue &Catalogue, const std::vector<int> &Positions)
{
    std::vector<std::pair<size_t, size_t>> pieces;
    for (size_t first = 0; first < Positions.size();) {
        size_t end = first + 1;
        while (end < Positions.size() && end - first < kPiece &&
               Catalogue.IconItems[static_cast<size_t>(Positions[end])]->FileName ==
                   Catalogue.IconItems[static_cast<size_t>(Positions[first])]->FileName)
            ++end;
        pieces.emplace_back(first, end);
        first = end;
    }
    return pieces;
}

} // namespace

void ForEachPageEntry(TCatalogue &Catalogue, const std::vector<int> &Positions, int Size,
                      const std::function<void(int, const TIconItem &, const IconObject *)> &show)
{
    const auto pieces = PagePieces(Catalogue, Positions);
    std::vector<TMadeEntry> made(Positions.size());
    std::atomic<size_t> nextPiece{0};
    std::mutex mutex;
    std::condition_variable readyChanged;
    // Takes pieces until none is left, each entry pictured with `loader`.
    const auto work = [&](TGroupLoader &loader, const std::function<void()> &afterEach) {
        const auto keep = loader.KeepModuleOpen();
        TPagePictures pictures;
        for (size_t piece = nextPiece++; piece < pieces.size(); piece = nextPiece++) {
            for (size_t i = pieces[piece].first; i < pieces[piece].second; ++i) {
                TMadeEntry &entry = made[i];
                try {
                    entry.Shown = EntryPicture(loader, *Catalogue.IconItems[static_cast<size_t>(Positions[i])], Size,
                                               pictures, entry.Picture);
                } catch (const std::exception &) { // out of memory: no picture
                    entry.Shown = TEntryShown::Blank;
                }
                {
                    const std::lock_guard lock(mutex);
                    entry.Ready.store(true, std::memory_order_release);
                }
                readyChanged.notify_one();
                afterEach();
            }
        }
    };
    // The entries made so far, in page order.
    size_t shown = 0;
    const auto showReady = [&] {
        for (; shown < made.size() && made[shown].Ready.load(std::memory_order_acquire); ++shown) {
            const TIconItem &entry = *Catalogue.IconItems[static_cast<size_t>(Positions[shown])];
            if (made[shown].Shown != TEntryShown::Missing)
                show(Positions[shown], entry,
                     made[shown].Shown == TEntryShown::Picture ? &made[shown].Picture : nullptr);
        }
    };
    // The calling thread loads with the window's catalogue and shows what
    // is ready after each entry; the others have loaders of their own (the
    // entries are only read).
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const size_t helpers =
        std::min<size_t>(PageThreads > 0 ? static_cast<size_t>(PageThreads) - 1 : std::min(processors, 4u) - 1,
                         pieces.size() > 1 ? pieces.size() - 1 : 0);
    std::vector<std::thread> threads;
    // Joined however this returns: the threads use what lives here.
    struct TJoin {
        std::vector<std::thread> &Threads;
        ~TJoin()
        {
            for (std::thread &thread : Threads)
                thread.join();
        }
    } join{threads};
    try {
        for (size_t i = 0; i < helpers; ++i)
            threads.emplace_back([&] {
                TGroupLoader own;
                work(own, [] {});
            });
    } catch (const std::exception &) {
        // No thread left to start (or no memory for one): the threads
        // started and this one share the page.
    }
    work(Catalogue, showReady);
    for (std::unique_lock lock(mutex); shown < made.size();) {
        readyChanged.wait(lock, [&] { return made[shown].Ready.load(std::memory_order_acquire); });
        lock.unlock();
        showReady();
        lock.lock();
    }
}

} // namespace vexillo
