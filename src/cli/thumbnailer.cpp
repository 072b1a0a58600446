// vexillo-thumbnailer: the picture a file manager shows for a Windows program,
// an .ico or .cur file or an animated cursor. Usage:
// vexillo-thumbnailer -s SIZE INPUT OUTPUT
//
// It writes OUTPUT, a PNG of the icon the file shows (a module's first icon
// group in directory order, an .ico or .cur file's icon, an animated
// cursor's first frame): the image that is the smallest at least SIZE
// pixels, else the largest, scaled down to SIZE with its transparency,
// never up. A file without an icon, or one that cannot be read, gets
// nothing written and exit status 1; wrong usage gives 2. It runs on every
// file a user browses, downloaded hostile ones among them: nothing is
// written but OUTPUT, and the file's budget bounds its memory, time and
// output (MakeThumbnail does the work).
#include "catalogue/failuretext.h"
#include "cli/printable.h"
#include "export/thumbnail.h"
#include "formats/fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

using namespace vexillo;

namespace {

const char kUsage[] =
    "Usage: vexillo-thumbnailer -s SIZE INPUT OUTPUT\n"
    "Writes OUTPUT, a PNG picture of the icon that INPUT shows (a Windows program\n"
    "or library, an .ico or .cur file, or an animated cursor's first frame),\n"
    "scaled down to SIZE pixels (1 to 1024).\n"
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

// Writes the bytes into OUTPUT itself: file managers make it, keep it open
// and read the picture through their own descriptor, so it must be the same
// file, not a new one put in its place. It is complete, or empty (removed
// if it was made here) on a failure such as a full disk. Only a regular
// file is written: a FIFO, device or folder at OUTPUT is refused untouched,
// and a symbolic link planted there is replaced itself, never written
// through.
bool WriteOutput(const std::string &output, const std::vector<uint8_t> &bytes, std::string &why)
{
    const FileWrite write = WriteIntoFile(output, ByteView(bytes.data(), bytes.size()));
    if (write.Result == FileWrite::Taken)
        why = write.Error == EISDIR ? "a folder, not a file" : "not a regular file";
    else if (!write)
        why = std::strerror(write.Error);
    return static_cast<bool>(write);
}

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
        std::fprintf(stderr, "vexillo-thumbnailer: SIZE must be 1 to %d, not \"%s\"\n", kMaxThumbnailSize,
                     Printable(argv[2]).c_str());
        return 2;
    }
    const std::string input = argv[3], output = argv[4];

    std::vector<uint8_t> png;
    TReadError error;
    if (!MakeThumbnail(input, static_cast<int>(size), png, error))
        return fail(input, FileFailureText(input, error));
    std::string why;
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
