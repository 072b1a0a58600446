// vexillo-thumbnailer: the picture a file manager shows for a Windows program
// or an .ico file. Usage: vexillo-thumbnailer -s SIZE INPUT OUTPUT
//
// It writes OUTPUT, a PNG of the icon the file shows (a module's first icon
// group in directory order, an .ico file's icon): the image that is the
// smallest at least SIZE pixels, else the largest, scaled down to SIZE with
// its transparency, never up. A file without an icon, or one that cannot be
// read, gets no OUTPUT and exit status 1; wrong usage gives 2. It runs on
// every file a user browses, downloaded hostile ones among them: nothing is
// left but OUTPUT, and the readers' limits bound its memory and time.
#include "catalogue/catalogue.h"
#include "catalogue/failuretext.h"
#include "catalogue/pages.h"
#include "cli/printable.h"
#include "formats/fileio.h"
#include "formats/filekind.h"
#include "formats/icofile.h"
#include "formats/pngwriter.h"
#include "icons/advancedicon.h"
#include "platform/iconobject.h"
#include "platform/pemodule.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <set>
#include <string>
#include <unistd.h>

using namespace vexillo;

namespace {

constexpr int kMaxThumbnailSize = 1024;

const char kUsage[] =
    "Usage: vexillo-thumbnailer -s SIZE INPUT OUTPUT\n"
    "Writes OUTPUT, a PNG picture of the icon that INPUT shows (a Windows program\n"
    "or library, or an .ico file), scaled down to SIZE pixels (1 to 1024).\n"
    "File managers run it through vexillo.thumbnailer.\n"
    "\n"
    "  -h, --help     show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 OUTPUT written; 1 no icon, or the file cannot be read or\n"
    "OUTPUT written (a line on standard error says why); 2 wrong usage.\n";

// Says why on standard error, escaped: a file's name may hold anything.
int fail(const std::string &input, const std::string &reason)
{
    std::fprintf(stderr, "vexillo-thumbnailer: %s\n", Printable(input + ": " + reason).c_str());
    return 1;
}

// The icon the file shows: an ICO file's (by its header, whatever its name),
// or the first group of a module. Any other file is refused at its first
// bytes: file managers ask for every shared library they show.
bool LoadShownIcon(const std::string &fileName, TAdvancedIcon &icon, TReadError &error)
{
    std::vector<uint8_t> head;
    if (!ReadFileHead(fileName, head, &error))
        return false;
    const std::string_view kind = FileKindOf(ByteView(head.data(), head.size()));
    if (kind == kKindIconFile) {
        const bool loaded = icon.LoadFromFile(fileName);
        error = icon.LastError();
        return loaded || icon.Images.Count > 0; // the images read before a fault still serve
    }
    if (kind != kKindWindowsModule) {
        // The reason that the reader of what the name promises gives.
        uint16_t count = 0;
        if (IsIconFile(fileName))
            ParseIcoHeader(ByteView(head.data(), head.size()), count, &error);
        else
            error = NotPeFile("no MZ signature");
        return false;
    }
    std::unique_ptr<TModule> module = TModule::LoadAsDataFile(fileName, &error);
    if (!module)
        return false;
    ResourceId first;
    bool found = false;
    module->EnumResourceNames(ResourceId::FromNumber(RT_GROUP_ICON), [&](const ResourceId &name) {
        first = name;
        found = true;
        return false;
    });
    if (!found) {
        // A module without resources or icon groups holds no icons; only a
        // fault of its directory is a reason of its own.
        error = module->LastError().Code == TReadErrorCode::NotFound ? TReadError{} : module->LastError();
        return false;
    }
    const bool loaded = icon.LoadFromResource(module.get(), first);
    error = icon.LastError();
    return loaded || icon.Images.Count > 0;
}

// Writes the bytes as OUTPUT, complete or not at all: a temporary file
// beside it takes its place once every byte is written, so that a full disk
// leaves OUTPUT as it was and nothing else, and a symbolic link planted at
// OUTPUT is replaced itself, never written through.
bool WriteOutput(const std::string &output, const std::vector<uint8_t> &bytes, std::string &why)
{
    const FileWrite write = WriteNewFileBytes(output, ByteView(bytes.data(), bytes.size()), true);
    if (!write)
        why = std::strerror(write.Error);
    return static_cast<bool>(write);
}

} // namespace

namespace {

int run(int argc, char **argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("vexillo-thumbnailer " VEXILLO_VERSION);
        return 0;
    }
    if (argc != 5 || std::strcmp(argv[1], "-s") != 0) {
        std::fputs("Usage: vexillo-thumbnailer -s SIZE INPUT OUTPUT\nTry 'vexillo-thumbnailer --help'.\n", stderr);
        return 2;
    }
    char *end = nullptr;
    const long size = std::strtol(argv[2], &end, 10);
    if (*end != '\0' || size < 1 || size > kMaxThumbnailSize) {
        std::fprintf(stderr, "vexillo-thumbnailer: SIZE must be 1 to %d, not \"%s\"\n", kMaxThumbnailSize, argv[2]);
        return 2;
    }
    const std::string input = argv[3], output = argv[4];

    TAdvancedIcon icon;
    TReadError error;
    if (!LoadShownIcon(input, icon, error) || icon.Images.Count == 0)
        return fail(input, FileFailureText(input, error));
    // The image chosen for the size, else the first of the others that decodes:
    // one broken image should not cost a file its thumbnail. Images that hold
    // the very same bytes as one tried are not tried again, and every attempt
    // draws on the file's budget.
    const int chosen = ChooseImageForSize(icon, static_cast<int>(size));
    TDecodedPicture own;
    TReadError chosenError;
    std::set<std::pair<const uint8_t *, uint32_t>> tried;
    for (int k = -1; k < icon.Images.Count && !own; ++k) {
        const int index = k < 0 ? chosen : k;
        if (k == chosen)
            continue;
        const TIconImage *image = icon.Images.GetItem(static_cast<uint16_t>(index));
        if (!tried.emplace(image->Data.data(), image->StoredSize()).second)
            continue;
        own = image->DecodeOwnSize(&error);
        if (k < 0)
            chosenError = error;
        if (!own && icon.Budget->Spent()) {
            chosenError = error;
            break;
        }
    }
    if (!own)
        return fail(input, chosenError.Text());

    // Scaled down so that its larger side is SIZE, never up.
    const int larger = std::max(own.Icon->Width, own.Icon->Height);
    DecodedImage picture = *own.Icon;
    if (larger > size) {
        const int width = static_cast<int>(std::max<long>(1, own.Icon->Width * size / larger));
        const int height = static_cast<int>(std::max<long>(1, own.Icon->Height * size / larger));
        if (!ChargeScale(icon.Budget, static_cast<uint64_t>(own.Icon->Width) * static_cast<uint64_t>(own.Icon->Height),
                         static_cast<uint64_t>(width) * static_cast<uint64_t>(height), &error))
            return fail(input, error.Text());
        picture = ScaleIcon(*own.Icon, width, height);
    }
    PixelImage pixels;
    std::vector<uint8_t> png;
    std::string why;
    if (!ChargeEncode(icon.Budget, static_cast<uint64_t>(picture.Width) * static_cast<uint64_t>(picture.Height),
                      &error))
        return fail(input, error.Text());
    if (!IconToArgb(&picture, pixels) || !EncodePngArgb(pixels, png, true))
        return fail(input, "the picture cannot be encoded");
    if (!WriteOutput(output, png, why))
        return fail(output, why);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // A failed allocation ends the file's thumbnail like any other fault.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        return fail(argc > 3 ? argv[3] : "", "out of memory");
    }
}
