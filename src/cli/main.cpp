// vexillo-cli: the command-line companion of Vexillo. A thin layer over the
// icon library and the catalogue: it lists the icon groups of modules and
// folders and the images of an icon, and writes icons, single images, BMP and
// PNG files from them.
#include "catalogue/catalogue.h"
#include "export/saveflows.h"
#include "icons/advancedicon.h"
#include "icons/i2bconvert.h"
#include "icons/icontools.h"
#include "platform/iconobject.h"
#include "formats/pngwriter.h"
#include "platform/streams.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace vexillo;

namespace {

const char kUsage[] =
    "Usage: vexillo-cli COMMAND ARGUMENTS [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  groups FILE...                      list the icons of files: one line per icon,\n"
    "                                      file and group name (tab-separated)\n"
    "  scan FOLDER [--types exe,dll,ico,cpl,ocx]\n"
    "                                      the same for every file below FOLDER of those\n"
    "                                      types (all five by default), then a line\n"
    "                                      'files N<TAB>icons M'\n"
    "  extract FILE-OR-FOLDER... --out DIR [--types LIST] [--png] [--force]\n"
    "                                      find the icons of files and folders (folders\n"
    "                                      searched like 'scan') and save each as\n"
    "                                      DIR/N.ico, N its number in the catalogue, or\n"
    "                                      with --png each image as DIR/N-K.png. A name\n"
    "                                      that exists is skipped (one line on standard\n"
    "                                      error) unless --force is given. Ends with a\n"
    "                                      line 'files F icons I written W skipped S'\n"
    "                                      (tab-separated)\n"
    "  images FILE.ico                     list the images of an icon, one a line:\n"
    "                                      index, width, height, bit count, colours,\n"
    "                                      planes, bytes (tab-separated)\n"
    "  save FILE.ico OUT.ico               write the icon with all its images\n"
    "  save-image FILE.ico INDEX OUT.ico   write one image as a one-image icon\n"
    "  bmp FILE.ico INDEX OUT.bmp          write one image as a 24-bit BMP drawn over\n"
    "                                      white (or --back RRGGBB)\n"
    "  png FILE.ico INDEX OUT.png          write one image as a PNG at its own size,\n"
    "                                      transparency kept\n"
    "\n"
    "FILE.ico may also be a module (.exe, .dll, .cpl, .ocx) with --group NAME, the\n"
    "group as 'groups' prints it; without --group a module's first group is taken.\n"
    "INDEX counts from 0, as 'images' prints it. Options may stand anywhere.\n"
    "\n"
    "Options:\n"
    "  --group NAME    the icon group of a module (a number or a name)\n"
    "  --types LIST    file types for 'scan' and 'extract', comma-separated\n"
    "  --out DIR       the folder 'extract' writes to (made when missing)\n"
    "  --png           'extract' writes every image as a PNG file\n"
    "  --force         'extract' replaces files that exist (a symbolic link itself,\n"
    "                  not its target), but never one of the files it reads\n"
    "  --back RRGGBB   background colour for 'bmp' (hexadecimal red, green, blue)\n"
    "  --help          show this text\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 wrong usage. 'extract' exits 0 when it\n"
    "skips icons or files; it stops at the first file it cannot write, naming the\n"
    "file and the reason, and exits 1.\n";

struct UsageError {
    std::string message;
};

struct Failure {
    std::string message;
};

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    bool help = false;
};

// Options that take a value; any other word starting with "--" is unknown.
const std::set<std::string> kValueOptions = {"--back", "--group", "--types", "--out"};
// Options that take no value.
const std::set<std::string> kFlagOptions = {"--png", "--force"};

Arguments parseArguments(int argc, char **argv)
{
    Arguments args;
    bool onlyPositional = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (onlyPositional || word.size() < 2 || word.rfind("--", 0) != 0) {
            args.positional.push_back(word);
        } else if (word == "--") {
            onlyPositional = true;
        } else if (word == "--help") {
            args.help = true;
        } else if (kFlagOptions.count(word)) {
            args.options[word] = "1";
        } else {
            std::string name = word, value;
            const size_t eq = word.find('=');
            const bool inlineValue = eq != std::string::npos;
            if (inlineValue) {
                name = word.substr(0, eq);
                value = word.substr(eq + 1);
            }
            if (!kValueOptions.count(name))
                throw UsageError{"unknown option " + name};
            if (!inlineValue) {
                if (i + 1 >= argc)
                    throw UsageError{"option " + name + " needs a value"};
                value = argv[++i];
            }
            args.options[name] = value;
        }
    }
    return args;
}

TColor parseColor(const std::string &text)
{
    std::string hex = text;
    if (!hex.empty() && hex[0] == '#')
        hex.erase(0, 1);
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw UsageError{"--back needs a colour as RRGGBB, not \"" + text + "\""};
    const unsigned long rgb = std::strtoul(hex.c_str(), nullptr, 16);
    return RGBColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

int parseIndex(const std::string &text)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError{"INDEX must be a number from 0, not \"" + text + "\""};
    return std::atoi(text.c_str());
}

void expectCount(const Arguments &args, size_t count)
{
    if (args.positional.size() != count)
        throw UsageError{"'" + args.positional[0] + "' takes " + std::to_string(count - 1) + " arguments"};
}

// A failure of a named file: "FILE: reason".
Failure fileFailure(const std::string &fileName, const std::string &reason)
{
    return Failure{fileName + ": " + reason};
}

// Loads an icon as the program does: an .ico file whole, a module's group
// by number or name (its first group in directory order when none is
// given). The images read before a failure stay in the icon.
bool loadIcon(TCatalogue &catalogue, const Arguments &args, const std::string &fileName)
{
    std::string group;
    if (auto it = args.options.find("--group"); it != args.options.end()) {
        group = it->second;
    } else if (!IsIconFile(fileName)) {
        catalogue.ResetCatalogue();
        catalogue.ScanFile(fileName);
        catalogue.EndRun();
        if (catalogue.IconItems.empty())
            throw fileFailure(fileName, catalogue.LastError() ? catalogue.LastError().Text() : "holds no icons");
        group = catalogue.IconItems.front()->GroupName;
    }
    return catalogue.LoadIconGroup(fileName, group);
}

void loadIconOrFail(TCatalogue &catalogue, const Arguments &args, const std::string &fileName)
{
    if (!loadIcon(catalogue, args, fileName))
        throw fileFailure(fileName, catalogue.LastError().Text());
}

TIconImage &imageAt(TAdvancedIcon &icon, int index, const std::string &fileName)
{
    TIconImage *image = index < icon.Images.Count ? icon.Images.GetItem(static_cast<uint16_t>(index)) : nullptr;
    if (!image)
        throw fileFailure(fileName, "no image " + std::to_string(index) + " (it has " +
                                        std::to_string(icon.Images.Count) + ")");
    return *image;
}

// For the commands FILE INDEX OUT: loads FILE and gives its image INDEX.
TIconImage &loadImageArgument(const Arguments &args, TCatalogue &catalogue)
{
    expectCount(args, 4);
    const int index = parseIndex(args.positional[2]);
    loadIconOrFail(catalogue, args, args.positional[1]);
    return imageAt(catalogue.CurrentIcon, index, args.positional[1]);
}

void printEntries(const TCatalogue &catalogue)
{
    for (const auto &item : catalogue.IconItems)
        std::printf("%s\t%s\n", item->FileName.c_str(), item->GroupName.c_str());
}

// Scans a file named on the command line as the program would; a file that
// cannot be read (or an .ico file whose header is not an icon's) is reported
// on stderr. True when the file was read.
bool scanNamedFile(TCatalogue &catalogue, const std::string &fileName)
{
    catalogue.ScanFile(fileName);
    TReadError error = catalogue.LastError();
    if (!error && IsIconFile(fileName)) {
        // The program lists an .ico file without opening it; here the header
        // is read so that a missing or foreign file is not passed over.
        TFileStream stream;
        TAdvancedIcon icon;
        uint16_t count = 0;
        if (!stream.OpenRead(fileName))
            error = stream.OpenError();
        else if (!icon.ReadHeader(stream, count))
            error = icon.LastError();
    }
    if (error)
        std::fprintf(stderr, "vexillo-cli: %s: %s\n", fileName.c_str(), error.Text().c_str());
    return !error;
}

int commandGroups(const Arguments &args)
{
    if (args.positional.size() < 2)
        throw UsageError{"'groups' takes one or more files"};
    TCatalogue catalogue;
    catalogue.ResetCatalogue();
    bool allRead = true;
    for (size_t i = 1; i < args.positional.size(); ++i)
        allRead = scanNamedFile(catalogue, args.positional[i]) && allRead;
    catalogue.EndRun();
    printEntries(catalogue);
    return allRead ? 0 : 1;
}

uint32_t parseTypes(const std::string &list)
{
    uint32_t mask = 0;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string word = list.substr(start, comma - start);
        const uint32_t bit = FileTypeOf("." + word);
        if (word.empty() || word.find('.') != std::string::npos || bit == 0)
            throw UsageError{"--types takes exe, dll, ico, cpl and ocx, not \"" + word + "\""};
        mask |= bit;
        start = comma + 1;
    }
    return mask;
}

// The file types of --types, all five without it.
uint32_t typesOption(const Arguments &args)
{
    const auto it = args.options.find("--types");
    return it == args.options.end() ? ftAll : parseTypes(it->second);
}

// The files an extraction reads, by device and inode: each path itself (a
// link, say) and the file it leads to.
class InputFiles {
public:
    void Add(const std::string &path)
    {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0)
            FIds.emplace(st.st_dev, st.st_ino);
        if (::stat(path.c_str(), &st) == 0)
            FIds.emplace(st.st_dev, st.st_ino);
    }

    // True when the entry at `path` (not followed) is one of the inputs.
    bool Holds(const std::string &path) const
    {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && FIds.count({st.st_dev, st.st_ino}) > 0;
    }

private:
    std::set<std::pair<dev_t, ino_t>> FIds;
};

// Writes one file of an extraction; false, with a line on standard error,
// when it is skipped. Write failures raise EStreamError.
bool writeExtracted(const std::string &fileName, const std::vector<uint8_t> &bytes, bool force,
                    const InputFiles &inputs)
{
    // Icons are read one at a time after the scan, so a file still to be
    // read must not be replaced, whatever --force says.
    if (force && inputs.Holds(fileName)) {
        std::fprintf(stderr, "vexillo-cli: skipped %s: it is one of the files being read\n", fileName.c_str());
        return false;
    }
    if (!WriteNewFile(fileName, bytes, force ? TTakenName::Replace : TTakenName::Keep)) {
        std::fprintf(stderr, "vexillo-cli: skipped %s: the file exists (use --force to replace it)\n",
                     fileName.c_str());
        return false;
    }
    return true;
}

// Gives `fileName` the picture already written as `written` (an image whose
// entry names the same bytes as an earlier one): a hard link, so that
// thousands of entries of one picture cost one file's bytes and one encoding.
// Where the file system has no hard links, the bytes are copied.
bool linkExtracted(const std::string &written, const std::string &fileName, bool force, const InputFiles &inputs)
{
    if (force && inputs.Holds(fileName)) {
        std::fprintf(stderr, "vexillo-cli: skipped %s: it is one of the files being read\n", fileName.c_str());
        return false;
    }
    if (::link(written.c_str(), fileName.c_str()) == 0)
        return true;
    if (errno != EEXIST) {
        std::vector<uint8_t> bytes;
        TFileStream copy;
        if (!copy.OpenRead(written))
            throw EWriteError(fileName, EIO);
        bytes.resize(copy.Size());
        if (!copy.ReadExact(bytes.data(), bytes.size()))
            throw EWriteError(fileName, EIO);
        return writeExtracted(fileName, bytes, force, inputs);
    }
    if (!force) {
        std::fprintf(stderr, "vexillo-cli: skipped %s: the file exists (use --force to replace it)\n",
                     fileName.c_str());
        return false;
    }
    // A link under a free name beside it, then moved over the name.
    for (int attempt = 0;; ++attempt) {
        const std::string temporary = fileName + ".link" + std::to_string(attempt);
        if (::link(written.c_str(), temporary.c_str()) == 0) {
            if (::rename(temporary.c_str(), fileName.c_str()) == 0)
                return true;
            const int error = errno;
            ::unlink(temporary.c_str());
            throw EWriteError(fileName, error);
        }
        if (errno != EEXIST || attempt == 100)
            throw EWriteError(fileName, errno);
    }
}

struct ExtractCounts {
    int written = 0, skipped = 0;
    void Add(bool wasWritten) { ++(wasWritten ? written : skipped); }
};

// Writes every icon of the catalogue to `folder`, counting as it goes.
void extractIcons(TCatalogue &catalogue, const std::string &folder, bool asPng, bool force,
                  const InputFiles &inputs, ExtractCounts &counts)
{
    for (int n = 0; n < catalogue.IconCount(); ++n) {
        const TIconItem &item = *catalogue.IconItems[static_cast<size_t>(n)];
        const std::string number = std::to_string(n + 1);
        if (!catalogue.LoadIconGroup(item.FileName, item.GroupName)) {
            std::fprintf(stderr, "vexillo-cli: skipped %s: %s%s: %s\n", number.c_str(), item.FileName.c_str(),
                         item.GroupName.empty() ? "" : (" group " + item.GroupName).c_str(),
                         catalogue.LastError().Text().c_str());
            ++counts.skipped;
            continue;
        }
        TAdvancedIcon &icon = catalogue.CurrentIcon;
        if (!asPng) {
            if (icon.Images.Count == 0) {
                ++counts.skipped;
                continue;
            }
            TMemoryStream stream;
            icon.SaveToStream(stream);
            counts.Add(writeExtracted(SavedFileName(folder, number, 0, ".ico"), stream.Bytes(), force, inputs));
            continue;
        }
        // Entries that name the same bytes give the same picture: it is
        // encoded once and linked under the other names.
        std::map<std::pair<const uint8_t *, uint32_t>, std::string> pictures;
        for (uint16_t k = 0; k < icon.Images.Count; ++k) {
            const TIconImage &image = *icon.Images.GetItem(k);
            const std::string name = SavedFileName(folder, number, k + 1, ".png");
            const auto key = std::make_pair(image.Data.data(), image.StoredSize());
            if (auto same = pictures.find(key); same != pictures.end()) {
                counts.Add(linkExtracted(same->second, name, force, inputs));
                continue;
            }
            std::vector<uint8_t> png;
            std::string why;
            if (!ImageAsPng(image, png, why)) {
                std::fprintf(stderr, "vexillo-cli: skipped %s-%u: %s\n", number.c_str(), static_cast<unsigned>(k + 1),
                             why.c_str());
                ++counts.skipped;
                continue;
            }
            const bool written = writeExtracted(name, png, force, inputs);
            counts.Add(written);
            if (written)
                pictures.emplace(key, name);
        }
    }
}

int commandExtract(const Arguments &args)
{
    if (args.positional.size() < 2)
        throw UsageError{"'extract' takes one or more files or folders"};
    const auto out = args.options.find("--out");
    if (out == args.options.end() || out->second.empty())
        throw UsageError{"'extract' needs --out DIR"};
    const bool asPng = args.options.count("--png") > 0;
    const bool force = args.options.count("--force") > 0;
    const uint32_t types = typesOption(args);

    std::error_code ec;
    std::filesystem::create_directories(out->second, ec);
    if (!std::filesystem::is_directory(out->second, ec))
        throw Failure{"cannot make the folder \"" + out->second + "\""};
    const std::string folder = WithTrailingSlash(out->second);

    TCatalogue catalogue;
    catalogue.ResetCatalogue(types);
    bool allRead = true;
    InputFiles inputs;
    for (size_t i = 1; i < args.positional.size(); ++i) {
        const std::string &path = args.positional[i];
        if (std::filesystem::is_directory(path, ec)) {
            catalogue.ScanFolder(path);
        } else {
            inputs.Add(path);
            catalogue.CountNamedFile();
            allRead = scanNamedFile(catalogue, path) && allRead;
        }
    }
    catalogue.EndRun();
    for (const auto &item : catalogue.IconItems)
        inputs.Add(item->FileName);

    ExtractCounts counts;
    int status = allRead ? 0 : 1;
    try {
        const auto keep = catalogue.KeepModuleOpen();
        extractIcons(catalogue, folder, asPng, force, inputs, counts);
    } catch (const EStreamError &e) {
        // The first file that cannot be written ends the run: the next ones
        // would mostly fail the same way (a full disk, a read-only folder).
        std::fprintf(stderr, "vexillo-cli: %s\n", e.Detail().c_str());
        status = 1;
    }
    std::printf("files %d\ticons %d\twritten %d\tskipped %d\n", catalogue.FileCount(), catalogue.IconCount(),
                counts.written, counts.skipped);
    return status;
}


int commandScan(const Arguments &args)
{
    expectCount(args, 2);
    const uint32_t types = typesOption(args);
    struct stat st {};
    if (stat(args.positional[1].c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw Failure{"\"" + args.positional[1] + "\" is not a folder"};
    TCatalogue catalogue;
    catalogue.ResetCatalogue(types);
    catalogue.ScanFolder(args.positional[1]);
    catalogue.EndRun();
    printEntries(catalogue);
    std::printf("files %d\ticons %d\n", catalogue.FileCount(), catalogue.IconCount());
    return 0;
}

int commandImages(const Arguments &args)
{
    expectCount(args, 2);
    TCatalogue catalogue;
    TAdvancedIcon &icon = catalogue.CurrentIcon;
    const bool loaded = loadIcon(catalogue, args, args.positional[1]);
    for (uint16_t i = 0; i < icon.Images.Count; ++i) {
        const TIconImage *image = icon.Images.GetItem(i);
        std::printf("%u\t%u\t%u\t%u\t%u\t%u\t%u\n", static_cast<unsigned>(i), image->Width, image->Height,
                    image->BitCount, image->ColorCount, image->Planes, image->BytesInRes);
    }
    std::fflush(stdout);
    if (!loaded)
        throw fileFailure(args.positional[1], catalogue.LastError().Text());
    return 0;
}

int commandSave(const Arguments &args)
{
    expectCount(args, 3);
    TCatalogue catalogue;
    TAdvancedIcon &icon = catalogue.CurrentIcon;
    loadIconOrFail(catalogue, args, args.positional[1]);
    if (icon.Images.Count == 0)
        throw fileFailure(args.positional[1], "holds no images; nothing written");
    icon.SaveToFile(args.positional[2]);
    return 0;
}

int commandSaveImage(const Arguments &args)
{
    TCatalogue catalogue;
    loadImageArgument(args, catalogue);
    catalogue.CurrentIcon.SaveImageToFile(args.positional[3], parseIndex(args.positional[2]));
    return 0;
}

int commandBmp(const Arguments &args)
{
    TColor back = clWhite;
    if (auto it = args.options.find("--back"); it != args.options.end())
        back = parseColor(it->second);
    TCatalogue catalogue;
    TIconImage &image = loadImageArgument(args, catalogue);
    auto graphic = image.CreateGraphic();
    if (!graphic->GetHandle()) {
        TReadError error;
        const UniqueIcon attempt(CreateIconFromResourceEx(image.StoredBytes(), true, 0x30000, image.Width,
                                                          image.Height, LR_DEFAULTCOLOR, &error));
        throw fileFailure(args.positional[1], "image " + args.positional[2] + ": " +
                                                  (error ? error.Text() : "no picture"));
    }
    TBitmap bitmap;
    IconToBitmap(*graphic, back, bitmap);
    bitmap.SaveToFile(args.positional[3]);
    return 0;
}

int commandPng(const Arguments &args)
{
    TCatalogue catalogue;
    TIconImage &image = loadImageArgument(args, catalogue);
    const int index = parseIndex(args.positional[2]);
    // The picture at the image's own size, whatever its directory fields say.
    std::vector<uint8_t> png;
    std::string why;
    if (!ImageAsPng(image, png, why))
        throw fileFailure(args.positional[1], "image " + std::to_string(index) + ": " + why);
    WriteFileReplacing(args.positional[3], png);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        const Arguments args = parseArguments(argc, argv);
        if (args.help) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (args.positional.empty())
            throw UsageError{"no command given"};
        const std::string &command = args.positional[0];
        if (args.options.count("--back") && command != "bmp")
            throw UsageError{"--back is for 'bmp' only"};
        if (args.options.count("--types") && command != "scan" && command != "extract")
            throw UsageError{"--types is for 'scan' and 'extract' only"};
        if ((args.options.count("--out") || args.options.count("--png") || args.options.count("--force")) &&
            command != "extract")
            throw UsageError{"--out, --png and --force are for 'extract' only"};
        if (args.options.count("--group") && (command == "scan" || command == "groups" || command == "extract"))
            throw UsageError{"--group is for the commands on one icon"};
        if (command == "extract")
            return commandExtract(args);
        if (command == "groups")
            return commandGroups(args);
        if (command == "scan")
            return commandScan(args);
        if (command == "images")
            return commandImages(args);
        if (command == "save")
            return commandSave(args);
        if (command == "save-image")
            return commandSaveImage(args);
        if (command == "bmp")
            return commandBmp(args);
        if (command == "png")
            return commandPng(args);
        throw UsageError{"unknown command '" + command + "'"};
    } catch (const UsageError &e) {
        std::fprintf(stderr, "vexillo-cli: %s\n\n%s", e.message.c_str(), kUsage);
        return 2;
    } catch (const Failure &e) {
        std::fprintf(stderr, "vexillo-cli: %s\n", e.message.c_str());
        return 1;
    } catch (const EStreamError &e) {
        // The file and the system's reason, as a command line reports them.
        std::fprintf(stderr, "vexillo-cli: %s\n", e.Detail().c_str());
        return 1;
    } catch (const EInvalidGraphic &e) {
        std::fprintf(stderr, "vexillo-cli: %s\n", e.what());
        return 1;
    } catch (const EOutOfResources &e) {
        std::fprintf(stderr, "vexillo-cli: %s\n", e.what());
        return 1;
    }
}
