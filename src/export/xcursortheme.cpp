#include "export/xcursortheme.h"

#include "formats/icofile.h"
#include "formats/icondecode.h"
#include "formats/peresources.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
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

// The images of one ICO/CUR file by size, each size's deepest first: (size,
// -bit count, entry).
struct Candidate {
    int Size;
    int NegativeDepth;
    uint16_t Entry;
    bool operator<(const Candidate &other) const
    {
        return std::tie(Size, NegativeDepth, Entry) < std::tie(other.Size, other.NegativeDepth, other.Entry);
    }
};

int StoredDepth(ByteView bits)
{
    if (IsPngStream(bits))
        return 32;
    uint16_t depth = 0;
    return bits.readU16(14, depth) ? std::min<int>(depth, 32) : 0;
}

// Every size of one frame's ICO/CUR file, each the deepest image of the size
// that decodes.
bool ReadFramePictures(ByteView file, const TLoadBudgetPtr &budget, std::vector<CursorPicture> &pictures,
                       std::vector<THeldMemory> &held, TReadError *error)
{
    uint16_t type = 0, count = 0;
    if (!ParseIconDirHeader(file, type, count, error))
        return false;
    if (count == 0)
        return Fail(error, NotFound("image"));
    if (!file.contains(kIcoHeaderSize, kIcoEntrySize * count))
        return Fail(error, Truncated(file.size(), "a directory of " + std::to_string(count) + " entries"));
    if (budget && !budget->Work(steps::kPerEntry * count, "reading cursor entries"))
        return Fail(error, budget->Refusal());

    std::vector<Candidate> candidates;
    std::vector<IcoEntry> entries(count);
    TReadError last = NotFound("cursor image");
    for (uint16_t i = 0; i < count; ++i) {
        ByteView at, bits;
        file.sub(kIcoHeaderSize + kIcoEntrySize * i, kIcoEntrySize, at);
        entries[i] = ParseIcoEntry(at);
        uint32_t width = 0, height = 0;
        if (!file.sub(entries[i].Offset, entries[i].BytesInRes, bits)) {
            last = Truncated(file.size(), "image " + std::to_string(i));
            continue;
        }
        if (!ReadImageSize(bits, width, height) || width == 0 || height == 0 ||
            std::max(width, height) > static_cast<uint32_t>(kMaxIconDimension)) {
            last = Corrupt(entries[i].Offset, "image " + std::to_string(i) + " has no size to read");
            continue;
        }
        candidates.push_back({static_cast<int>(std::max(width, height)), -StoredDepth(bits), i});
    }
    std::sort(candidates.begin(), candidates.end());

    for (size_t k = 0; k < candidates.size(); ++k) {
        const Candidate &candidate = candidates[k];
        const auto had = [&](int size) {
            return std::any_of(pictures.begin(), pictures.end(),
                               [&](const CursorPicture &p) { return p.Size() == size; });
        };
        if (had(candidate.Size))
            continue;
        const IcoEntry &entry = entries[candidate.Entry];
        ByteView bits;
        file.sub(entry.Offset, entry.BytesInRes, bits);
        uint32_t width = 0, height = 0;
        ReadImageSize(bits, width, height);
        THeldMemory memory;
        DecodedImage image;
        if (!ChargeDecode(budget, bits, uint64_t{width} * height, memory, error))
            return false;
        if (!DecodeIconImage(bits, image, &last) || image.Width <= 0 || image.Height <= 0)
            continue;
        // The decoder's size is the picture's, should the header have said
        // otherwise; a size already had keeps its first picture.
        if (had(std::max(image.Width, image.Height)))
            continue;
        // A CUR entry keeps the hot spot where an ICO entry keeps planes and
        // bit count; an icon's is taken as its centre.
        const bool cursor = type == kIcoTypeCursor;
        pictures.push_back(CursorPictureOf(image, cursor ? entry.Planes : image.Width / 2,
                                           cursor ? entry.BitCount : image.Height / 2));
        held.push_back(std::move(memory));
    }
    if (pictures.empty())
        return Fail(error, last);
    std::sort(pictures.begin(), pictures.end(),
              [](const CursorPicture &a, const CursorPicture &b) { return a.Size() < b.Size(); });
    return true;
}

// The picture of `frame` whose size is nearest `size`, the smaller of two.
const CursorPicture &NearestPicture(const std::vector<CursorPicture> &frame, int size)
{
    const CursorPicture *best = &frame.front();
    for (const CursorPicture &picture : frame)
        if (std::abs(picture.Size() - size) < std::abs(best->Size() - size))
            best = &picture;
    return *best;
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

bool ReadCursorPictures(ByteView bytes, const TLoadBudgetPtr &budget, CursorPictures &out, TReadError *error)
{
    out = CursorPictures{};
    AniFrameFiles files;
    if (!ReadAnimatedCursorFrames(bytes, files, error))
        return false;
    CursorPictures cursor;
    cursor.Frames.resize(files.Frames.size());
    for (size_t i = 0; i < files.Frames.size(); ++i)
        if (!ReadFramePictures(files.Frames[i], budget, cursor.Frames[i], cursor.Held, error)) {
            if (error && files.Frames.size() > 1)
                error->Detail += " in frame " + std::to_string(i);
            return false;
        }
    cursor.Steps = std::move(files.Steps);
    out = std::move(cursor);
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
    // pixels; held while the file is made and kept.
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
    THeldMemory memory(budget, 2 * total, "cursor files");
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

FileWrite TXcursorTheme::WriteCursor(const CursorNames &names, ByteView bytes, std::string &failed)
{
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
