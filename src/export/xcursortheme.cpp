#include "export/xcursortheme.h"

#include "formats/icondecode.h"
#include "formats/moduleresources.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>

// Last: Xlib's macros (None, Bool, Status) stay out of the headers above.
#include <X11/Xcursor/Xcursor.h>

namespace vexillo {

namespace {

// The longest cursor name kept; the folder's temporary names fit beside it.
constexpr size_t kMaxCursorNameBytes = 200;

uint32_t Premultiplied(uint32_t argb)
{
    const uint32_t alpha = argb >> 24;
    if (alpha == 0xFF)
        return argb;
    const auto scale = [&](int shift) { return ((((argb >> shift) & 0xFFu) * alpha + 127) / 255) << shift; };
    return (alpha << 24) | scale(16) | scale(8) | scale(0);
}

// An image that may give a cursor's picture at its size: its stored bytes,
// and where its hot spot lies.
struct Candidate {
    ByteView Stored;
    int HotspotX = 0;
    int HotspotY = 0;
    // Taken as the centre of the picture.
    bool CentreHotspot = false;
};

int StoredDepth(ByteView bits)
{
    if (IsPngStream(bits))
        return 32;
    uint16_t depth = 0;
    return bits.readU16(14, depth) ? std::min<int>(depth, 32) : 0;
}

// Decodes one image for a picture: Done, Skip (it does not decode, the
// reason in the error) or Stop (the budget refused it).
enum class Decoded { Done, Skip, Stop };
using DecodeImage = std::function<Decoded(size_t candidate, DecodedImage &image, THeldMemory &memory, TReadError &)>;

// A picture for every size the candidates have (their headers' larger side),
// made from the deepest image of that size that decodes (of equal depths the
// first); smallest first. False, with the last reason, when none decodes or
// the budget stops the decoding.
bool PicturesBySize(const std::vector<Candidate> &candidates, const DecodeImage &decode,
                    std::vector<CursorPicture> &pictures, std::vector<THeldMemory> &held, TReadError *error)
{
    TReadError last = NotFound("cursor image");
    // (size, -depth, candidate) in ascending order.
    std::vector<std::tuple<uint32_t, int, size_t>> order;
    for (size_t k = 0; k < candidates.size(); ++k) {
        uint32_t width = 0, height = 0;
        if (!ReadImageSize(candidates[k].Stored, width, height) || width == 0 || height == 0 ||
            std::max(width, height) > static_cast<uint32_t>(kMaxIconDimension)) {
            last = BadImage("image " + std::to_string(k) + " has no size to read");
            continue;
        }
        order.emplace_back(std::max(width, height), -StoredDepth(candidates[k].Stored), k);
    }
    std::sort(order.begin(), order.end());

    std::set<uint32_t> had;
    for (const auto &[size, depth, k] : order) {
        DecodedImage image;
        THeldMemory memory;
        if (had.count(size))
            continue;
        const Decoded decoded = decode(k, image, memory, last);
        if (decoded == Decoded::Stop)
            return Fail(error, last);
        // The decoder's size is the picture's, should the header have said
        // otherwise; a size already had keeps its first picture.
        if (decoded == Decoded::Skip || image.Width <= 0 || image.Height <= 0 ||
            !had.insert(static_cast<uint32_t>(std::max(image.Width, image.Height))).second)
            continue;
        const Candidate &candidate = candidates[k];
        pictures.push_back(CursorPictureOf(image, candidate.CentreHotspot ? image.Width / 2 : candidate.HotspotX,
                                           candidate.CentreHotspot ? image.Height / 2 : candidate.HotspotY));
        held.push_back(std::move(memory));
    }
    if (pictures.empty())
        return Fail(error, last);
    std::sort(pictures.begin(), pictures.end(),
              [](const CursorPicture &a, const CursorPicture &b) { return a.Size() < b.Size(); });
    return true;
}

// The picture of `frame` (smallest first) whose size is nearest `size`, the
// smaller of two.
const CursorPicture &NearestPicture(const std::vector<CursorPicture> &frame, int size)
{
    const auto larger = std::lower_bound(frame.begin(), frame.end(), size,
                                         [](const CursorPicture &picture, int s) { return picture.Size() < s; });
    if (larger == frame.begin())
        return *larger;
    if (larger == frame.end() || size - std::prev(larger)->Size() <= larger->Size() - size)
        return *std::prev(larger);
    return *larger;
}

struct ImagesDeleter {
    void operator()(XcursorImages *images) const { XcursorImagesDestroy(images); }
};
struct StreamCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};

// The names of the standard cursors: Windows' number, the name a cursor
// set's install file gives it, and the X names themes use for it, the file's
// name first (the core X cursor's where there is one), then the aliases (the
// CSS cursor names and the other names toolkits ask for).
struct StandardCursor {
    uint32_t Id;
    const char *InstallName;
    std::vector<std::string> XNames;
};

const std::vector<StandardCursor> &StandardCursors()
{
    static const std::vector<StandardCursor> cursors = {
        {32512, "arrow", {"left_ptr", "default", "arrow", "top_left_arrow", "left_arrow"}},
        {32513, "ibeam", {"xterm", "text", "ibeam"}},
        {32514, "wait", {"watch", "wait"}},
        {32515, "crosshair", {"crosshair", "cross", "tcross"}},
        {32516, "uparrow", {"center_ptr", "up_arrow"}},
        {32631, "nwpen", {"pencil", "draft"}},
        {32642,
         "sizenwse",
         {"nwse-resize", "size_fdiag", "bd_double_arrow", "top_left_corner", "bottom_right_corner", "nw-resize",
          "se-resize"}},
        {32643,
         "sizenesw",
         {"nesw-resize", "size_bdiag", "fd_double_arrow", "top_right_corner", "bottom_left_corner", "ne-resize",
          "sw-resize"}},
        {32644,
         "sizewe",
         {"sb_h_double_arrow", "ew-resize", "size_hor", "h_double_arrow", "col-resize", "left_side", "right_side",
          "e-resize", "w-resize"}},
        {32645,
         "sizens",
         {"sb_v_double_arrow", "ns-resize", "size_ver", "v_double_arrow", "row-resize", "top_side", "bottom_side",
          "n-resize", "s-resize"}},
        {32646, "sizeall", {"fleur", "move", "all-scroll", "size_all"}},
        {32648, "no", {"crossed_circle", "not-allowed", "no-drop", "forbidden", "circle"}},
        {32649, "hand", {"hand2", "pointer", "hand1", "hand", "pointing_hand"}},
        {32650, "appstarting", {"left_ptr_watch", "progress", "half-busy"}},
        {32651, "help", {"question_arrow", "help", "whats_this", "left_ptr_help"}},
    };
    return cursors;
}

CursorNames NamesOf(const StandardCursor &cursor)
{
    return {cursor.XNames.front(), std::vector<std::string>(cursor.XNames.begin() + 1, cursor.XNames.end())};
}

std::string Lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

CursorPicture CursorPictureOf(const DecodedImage &image, int hotspotX, int hotspotY)
{
    CursorPicture picture;
    picture.Width = image.Width;
    picture.Height = image.Height;
    picture.HotspotX = std::clamp(hotspotX, 0, image.Width - 1);
    picture.HotspotY = std::clamp(hotspotY, 0, image.Height - 1);
    picture.Pixels.resize(image.Color.size());
    for (size_t i = 0; i < image.Color.size(); ++i) {
        const uint32_t color = image.Color[i];
        if (image.AlphaBlend)
            picture.Pixels[i] = Premultiplied(color);
        else if (!image.Mask[i])
            picture.Pixels[i] = color | 0xFF000000u;
        else
            picture.Pixels[i] = (color & 0xFFFFFFu) != 0 ? 0xFF000000u : 0u;
    }
    return picture;
}

bool ReadCursorPictures(CursorFile &file, CursorPictures &out, TReadError *error)
{
    out = CursorPictures{};
    CursorPictures cursor;
    cursor.Frames.resize(file.Frames.size());
    for (size_t i = 0; i < file.Frames.size(); ++i) {
        std::vector<CursorImage> &images = file.Frames[i].Images;
        std::vector<Candidate> candidates;
        candidates.reserve(images.size());
        for (const CursorImage &image : images)
            candidates.push_back({image.Stored.View(), image.HotspotX, image.HotspotY, false});
        // The reader decoded each image once: its picture is taken over.
        const auto decode = [&](size_t k, DecodedImage &image, THeldMemory &memory, TReadError &why) {
            if (!images[k].Decodes()) {
                why = BadImage("image " + std::to_string(k));
                return Decoded::Skip;
            }
            image = std::move(images[k].Picture);
            memory = std::move(images[k].Memory);
            return Decoded::Done;
        };
        if (!PicturesBySize(candidates, decode, cursor.Frames[i], cursor.Held, error))
            return false;
    }
    cursor.Steps = file.Steps;
    out = std::move(cursor);
    return true;
}

bool ReadCursorPictures(const TAdvancedIcon &cursor, CursorPictures &out, TReadError *error)
{
    out = CursorPictures{};
    std::vector<Candidate> candidates;
    for (uint16_t k = 0; k < cursor.Images.Count; ++k) {
        const TIconImage &image = *cursor.Images.GetItem(k);
        candidates.push_back({image.StoredBytes(), image.HotspotX, image.HotspotY, !cursor.IsCursor});
    }
    const auto decode = [&](size_t k, DecodedImage &image, THeldMemory &memory, TReadError &why) {
        TDecodedPicture picture = cursor.Images.GetItem(static_cast<uint16_t>(k))->DecodeOwnSize(&why);
        if (!picture)
            return cursor.Budget && cursor.Budget->Spent() ? Decoded::Stop : Decoded::Skip;
        image = std::move(*picture.Icon);
        memory = std::move(picture.Memory);
        return Decoded::Done;
    };
    CursorPictures result;
    result.Frames.emplace_back();
    if (!PicturesBySize(candidates, decode, result.Frames.back(), result.Held, error))
        return false;
    result.Steps.push_back({0, 0});
    out = std::move(result);
    return true;
}

std::vector<int> CursorSizes(const CursorPictures &cursor)
{
    std::vector<int> sizes;
    for (const auto &frame : cursor.Frames)
        for (const CursorPicture &picture : frame)
            sizes.push_back(picture.Size());
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

bool EncodeXcursor(const CursorPictures &cursor, const TLoadBudgetPtr &budget, std::vector<uint8_t> &bytes,
                   TReadError *error)
{
    bytes.clear();
    const std::vector<int> sizes = CursorSizes(cursor);
    if (sizes.empty() || cursor.Steps.empty())
        return Fail(error, NotFound("cursor picture"));
    // The file's size: a table entry and a header for each image, and its
    // pixels. Held three times over while the file is made: libXcursor's
    // copy of the images, then its stream, which may hold twice the file
    // while it grows; the images go before the stream is copied out.
    constexpr uint64_t kImageOverhead = 12 + 36;
    uint64_t total = 16, pixels = 0, images = 0;
    for (const int size : sizes)
        for (const AniStep &step : cursor.Steps) {
            const CursorPicture &picture = NearestPicture(cursor.Frames[static_cast<size_t>(step.Frame)], size);
            pixels += picture.Pixels.size();
            ++images;
        }
    total += images * kImageOverhead + 4 * pixels;
    // libXcursor counts images in an int.
    if (images > INT_MAX)
        return Fail(error, LimitExceeded("cursor images", images, INT_MAX, "images"));
    THeldMemory memory(budget, 3 * total, "cursor files");
    if (budget && (!memory.ok() || !budget->Work(steps::kPerByte * total, "writing cursor files")))
        return Fail(error, budget->Refusal());

    std::unique_ptr<XcursorImages, ImagesDeleter> list(XcursorImagesCreate(static_cast<int>(images)));
    if (!list)
        return Fail(error, OutOfMemory());
    for (const int size : sizes)
        for (const AniStep &step : cursor.Steps) {
            const CursorPicture &picture = NearestPicture(cursor.Frames[static_cast<size_t>(step.Frame)], size);
            XcursorImage *image = XcursorImageCreate(picture.Width, picture.Height);
            if (!image)
                return Fail(error, OutOfMemory());
            image->size = static_cast<XcursorDim>(size);
            image->xhot = static_cast<XcursorDim>(picture.HotspotX);
            image->yhot = static_cast<XcursorDim>(picture.HotspotY);
            image->delay = static_cast<XcursorUInt>(step.DurationMs);
            std::copy(picture.Pixels.begin(), picture.Pixels.end(), image->pixels);
            list->images[list->nimage++] = image;
        }

    char *buffer = nullptr;
    size_t length = 0;
    bool saved = false;
    {
        std::unique_ptr<FILE, StreamCloser> stream(open_memstream(&buffer, &length));
        if (stream)
            saved = XcursorFileSaveImages(stream.get(), list.get()) != 0;
    }
    list.reset();
    std::unique_ptr<char, decltype(&std::free)> owned(buffer, &std::free);
    if (!saved || !buffer)
        return Fail(error, BadImage("libXcursor could not write the cursor"));
    bytes.assign(buffer, buffer + length);
    return true;
}

CursorNames StandardCursorNames(uint32_t id)
{
    for (const StandardCursor &cursor : StandardCursors())
        if (cursor.Id == id)
            return NamesOf(cursor);
    return {};
}

CursorNames CursorFileNames(const std::string &path)
{
    std::string stem = path.substr(path.find_last_of('/') + 1);
    if (const size_t dot = stem.find_last_of('.'); dot != std::string::npos && dot > 0)
        stem.resize(dot);
    const std::string lower = Lower(stem);
    for (const StandardCursor &cursor : StandardCursors())
        if (lower == cursor.InstallName)
            return NamesOf(cursor);
    return {SafeCursorName(stem), {}};
}

CursorNames CursorGroupNames(const ResourceId &group)
{
    if (!group.IsName) {
        if (CursorNames names = StandardCursorNames(group.Number); !names.Name.empty())
            return names;
        return {std::to_string(group.Number), {}};
    }
    return {SafeCursorName(group.Name), {}};
}

std::string SafeCursorName(const std::string &name)
{
    std::string safe = Lower(name.substr(0, kMaxCursorNameBytes));
    for (char &c : safe)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '+' && c != '.')
            c = '_';
    if (safe.empty())
        return "cursor";
    if (safe[0] == '.')
        safe[0] = '_';
    return safe;
}

std::string ThemeNameProblem(const std::string &theme)
{
    if (theme.empty())
        return "must not be empty";
    if (theme.find('/') != std::string::npos)
        return "must be a plain file name, without '/'";
    if (theme[0] == '.')
        return "must not start with '.'";
    if (std::any_of(theme.begin(), theme.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return "must not hold control characters";
    if (theme.size() > NAME_MAX)
        return "must be at most " + std::to_string(NAME_MAX) + " bytes long";
    return {};
}

bool TXcursorTheme::Open(const std::string &dir, const std::string &theme, TReadError *error)
{
    FName = theme;
    return FDir.Open(dir, error) && FDir.OpenSubfolder(theme, FTheme, error) &&
           FTheme.OpenSubfolder("cursors", FCursors, error);
}

CursorNames TXcursorTheme::FreeNames(const CursorNames &names) const
{
    if (FTaken.count(names.Name)) {
        for (uint64_t n = 2;; ++n) {
            const std::string suffix = "-" + std::to_string(n);
            std::string name = names.Name.substr(0, kMaxCursorNameBytes - suffix.size()) + suffix;
            if (!FTaken.count(name))
                return {std::move(name), {}};
        }
    }
    CursorNames free{names.Name, {}};
    for (const std::string &alias : names.Aliases)
        if (!FTaken.count(alias) && alias != names.Name)
            free.Aliases.push_back(alias);
    return free;
}

FileWrite TXcursorTheme::WriteCursor(const CursorNames &names, ByteView bytes, std::string &failed)
{
    FTaken.insert(names.Name);
    FTaken.insert(names.Aliases.begin(), names.Aliases.end());
    failed = names.Name;
    FileWrite write = FCursors.WriteFile(names.Name, bytes, true);
    for (size_t i = 0; write && i < names.Aliases.size(); ++i) {
        failed = names.Aliases[i];
        write = FCursors.SymlinkFile(names.Name, names.Aliases[i], true);
    }
    return write;
}

FileWrite TXcursorTheme::WriteIndex(const std::string &comment)
{
    std::string line = comment;
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    const std::string text = "[Icon Theme]\nName=" + FName + "\nComment=" + line + "\n";
    FTheme.SetBudget(nullptr);
    return FTheme.WriteFile("index.theme", ByteView(reinterpret_cast<const uint8_t *>(text.data()), text.size()), true);
}

} // namespace vexillo
