// vexillo-cli: the command-line companion of Vexillo. A thin layer over the
// icon library: it lists the images of an icon file and writes icons, single
// images, BMP and PNG files from them.
#include "icons/advancedicon.h"
#include "icons/i2bconvert.h"
#include "icons/icontools.h"
#include "platform/iconobject.h"
#include "platform/pngwriter.h"
#include "platform/streams.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
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
    "INDEX counts from 0, as 'images' prints it. Options may stand anywhere.\n"
    "\n"
    "Options:\n"
    "  --back RRGGBB   background colour for 'bmp' (hexadecimal red, green, blue)\n"
    "  --help          show this text\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 wrong usage.\n";

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
const std::set<std::string> kValueOptions = {"--back"};

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

// Loads an icon file; the images read before a failure stay in the icon.
bool loadIcon(TAdvancedIcon &icon, const std::string &fileName)
{
    return icon.LoadFromFile(fileName);
}

void loadIconOrFail(TAdvancedIcon &icon, const std::string &fileName)
{
    if (!loadIcon(icon, fileName))
        throw Failure{"cannot read the icon file \"" + fileName + "\""};
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
TIconImage &loadImageArgument(const Arguments &args, TAdvancedIcon &icon)
{
    expectCount(args, 4);
    const int index = parseIndex(args.positional[2]);
    loadIconOrFail(icon, args.positional[1]);
    return imageAt(icon, index, args.positional[1]);
}

int commandImages(const Arguments &args)
{
    expectCount(args, 2);
    TAdvancedIcon icon;
    const bool loaded = loadIcon(icon, args.positional[1]);
    for (uint16_t i = 0; i < icon.Images.Count; ++i) {
        const TIconImage *image = icon.Images.GetItem(i);
        std::printf("%u\t%u\t%u\t%u\t%u\t%u\t%u\n", static_cast<unsigned>(i), image->Width, image->Height,
                    image->BitCount, image->ColorCount, image->Planes, image->BytesInRes);
    }
    std::fflush(stdout);
    if (!loaded)
        throw Failure{"cannot read the icon file \"" + args.positional[1] + "\"" +
                      (icon.Images.Count ? " completely" : "")};
    return 0;
}

int commandSave(const Arguments &args)
{
    expectCount(args, 3);
    TAdvancedIcon icon;
    loadIconOrFail(icon, args.positional[1]);
    if (icon.Images.Count == 0)
        throw Failure{"\"" + args.positional[1] + "\" holds no images; nothing written"};
    icon.SaveToFile(args.positional[2]);
    return 0;
}

int commandSaveImage(const Arguments &args)
{
    TAdvancedIcon icon;
    loadImageArgument(args, icon);
    icon.SaveImageToFile(args.positional[3], parseIndex(args.positional[2]));
    return 0;
}

int commandBmp(const Arguments &args)
{
    TColor back = clWhite;
    if (auto it = args.options.find("--back"); it != args.options.end())
        back = parseColor(it->second);
    TAdvancedIcon icon;
    TIconImage &image = loadImageArgument(args, icon);
    auto graphic = image.CreateGraphic();
    TBitmap bitmap;
    IconToBitmap(*graphic, back, bitmap);
    bitmap.SaveToFile(args.positional[3]);
    return 0;
}

int commandPng(const Arguments &args)
{
    TAdvancedIcon icon;
    TIconImage &image = loadImageArgument(args, icon);
    const int index = parseIndex(args.positional[2]);
    // The picture at the image's own size, whatever its directory fields say.
    HICON own = CreateIconFromResourceEx(ByteView(image.Data.data(), image.StoredSize()), true, 0x30000, 0, 0,
                                         LR_DEFAULTCOLOR);
    GdiBitmap picture;
    const bool drawn = IconToArgb(own, picture);
    DestroyIcon(own);
    std::vector<uint8_t> png;
    if (!drawn || !EncodePngArgb(picture, png))
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
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vexillo-cli: %s\n", e.what());
        return 1;
    }
}
