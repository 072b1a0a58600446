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
#include "platform/pngwriter.h"
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

// Loads an icon as the program does: an .ico file whole, a module's group
// by number or name (its first group when none is given). The images read
// before a failure stay in the icon.
bool loadIcon(TCatalogue &catalogue, const Arguments &args, const std::string &fileName)
{
    std::string group;
    if (auto it = args.options.find("--group"); it != args.options.end()) {
        group = it->second;
    } else if (!IsIconFile(fileName)) {
        catalogue.ScanFile(fileName);
        if (catalogue.IconItems.empty())
            throw Failure{"\"" + fileName + "\" holds no icons"};
        group = catalogue.IconItems.front()->GroupName;
    }
    return catalogue.LoadIconGroup(fileName, group);
}

void loadIconOrFail(TCatalogue &catalogue, const Arguments &args, const std::string &fileName)
{
    if (!loadIcon(catalogue, args, fileName))
        throw Failure{"cannot read the icon \"" + fileName + "\"" +
                      (args.options.count("--group") ? " group " + args.options.at("--group") : "")};
}

TIconImage &imageAt(TAdvancedIcon &icon, int index, const std::string &fileName)
{
    TIconImage *image = index < icon.Images.Count ? icon.Images.GetItem(static_cast<uint16_t>(index)) : nullptr;
    if (!image)
        throw Failure{"\"" + fileName + "\" has no image " + std::to_string(index) + " (it has " +
                      std::to_string(icon.Images.Count) + ")"};
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

int commandGroups(const Arguments &args)
{
    if (args.positional.size() < 2)
        throw UsageError{"'groups' takes one or more files"};
    TCatalogue catalogue;
    catalogue.ResetCatalogue();
    for (size_t i = 1; i < args.positional.size(); ++i)
        catalogue.ScanFile(args.positional[i]);
    printEntries(catalogue);
    return 0;
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

// The picture of an image at its own size as a PNG file's bytes; false when
// the image does not decode.
bool encodePng(const TIconImage &image, std::vector<uint8_t> &png)
{
    HICON own = CreateIconFromResourceEx(ByteView(image.Data.data(), image.StoredSize()), true, 0x30000, 0, 0,
                                         LR_DEFAULTCOLOR);
    GdiBitmap picture;
    const bool drawn = IconToArgb(own, picture);
    DestroyIcon(own);
    return drawn && EncodePngArgb(picture, png);
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
            std::fprintf(stderr, "vexillo-cli: skipped %s: cannot read \"%s\"%s\n", number.c_str(),
                         item.FileName.c_str(), item.GroupName.empty() ? "" : (" group " + item.GroupName).c_str());
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
            counts.Add(writeExtracted(folder + number + ".ico", stream.Bytes(), force, inputs));
            continue;
        }
        for (uint16_t k = 0; k < icon.Images.Count; ++k) {
            std::vector<uint8_t> png;
            if (!encodePng(*icon.Images.GetItem(k), png)) {
                std::fprintf(stderr, "vexillo-cli: skipped %s-%u: the image does not decode\n", number.c_str(),
                             static_cast<unsigned>(k + 1));
                ++counts.skipped;
                continue;
            }
            const std::string name = folder + number + "-" + std::to_string(k + 1) + ".png";
            counts.Add(writeExtracted(name, png, force, inputs));
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
    TCatalogue catalogue;
    catalogue.FTypeMask = ftAll;
    if (auto it = args.options.find("--types"); it != args.options.end())
        catalogue.FTypeMask = parseTypes(it->second);

    std::error_code ec;
    std::filesystem::create_directories(out->second, ec);
    if (!std::filesystem::is_directory(out->second))
        throw Failure{"cannot make the folder \"" + out->second + "\""};
    const std::string folder = WithTrailingSlash(out->second);

    catalogue.ResetCatalogue();
    InputFiles inputs;
    for (size_t i = 1; i < args.positional.size(); ++i) {
        const std::string &path = args.positional[i];
        if (std::filesystem::is_directory(path)) {
            catalogue.ScanFolder(path);
        } else {
            inputs.Add(path);
            ++catalogue.FFileCount;
            catalogue.ScanFile(path);
        }
    }
    catalogue.FStopped = true;
    for (const auto &item : catalogue.IconItems)
        inputs.Add(item->FileName);

    ExtractCounts counts;
    int status = 0;
    try {
        extractIcons(catalogue, folder, asPng, force, inputs, counts);
    } catch (const EStreamError &e) {
        // The first file that cannot be written ends the run: the next ones
        // would mostly fail the same way (a full disk, a read-only folder).
        std::fprintf(stderr, "vexillo-cli: %s\n", e.Detail().c_str());
        status = 1;
    }
    std::printf("files %d\ticons %d\twritten %d\tskipped %d\n", catalogue.FFileCount, catalogue.IconCount(),
                counts.written, counts.skipped);
    return status;
}


int commandScan(const Arguments &args)
{
    expectCount(args, 2);
    TCatalogue catalogue;
    catalogue.FTypeMask = ftAll;
    if (auto it = args.options.find("--types"); it != args.options.end())
        catalogue.FTypeMask = parseTypes(it->second);
    struct stat st {};
    if (stat(args.positional[1].c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw Failure{"\"" + args.positional[1] + "\" is not a folder"};
    catalogue.ResetCatalogue();
    catalogue.ScanFolder(args.positional[1]);
    catalogue.FStopped = true;
    printEntries(catalogue);
    std::printf("files %d\ticons %d\n", catalogue.FFileCount, catalogue.IconCount());
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
        throw Failure{"cannot read the icon \"" + args.positional[1] + "\"" +
                      (icon.Images.Count ? " completely" : "")};
    return 0;
}

int commandSave(const Arguments &args)
{
    expectCount(args, 3);
    TCatalogue catalogue;
    TAdvancedIcon &icon = catalogue.CurrentIcon;
    loadIconOrFail(catalogue, args, args.positional[1]);
    if (icon.Images.Count == 0)
        throw Failure{"\"" + args.positional[1] + "\" holds no images; nothing written"};
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
    if (!encodePng(image, png))
        throw Failure{"image " + std::to_string(index) + " of \"" + args.positional[1] + "\" cannot be decoded"};
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
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vexillo-cli: %s\n", e.what());
        return 1;
    }
}
