#include "cli/commands.h"

#include "catalogue/catalogue.h"
#include "catalogue/entrysets.h"
#include "catalogue/pages.h"
#include "catalogue/failuretext.h"
#include "cli/printable.h"
#include "export/extract.h"
#include "export/pngpictures.h"
#include "export/records.h"
#include "export/xcursortheme.h"
#include "formats/filekind.h"
#include "formats/fileinfo.h"
#include "formats/fileio.h"
#include "formats/outputfolder.h"
#include "icons/advancedicon.h"
#include "icons/i2bconvert.h"
#include "icons/icontools.h"
#include "platform/iconobject.h"
#include "platform/streams.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vexillo {

void say(const std::string &message)
{
    std::fprintf(stderr, "vexillo-cli: %s\n", Printable(message).c_str());
}

void say(const std::string &fileName, const std::string &reason)
{
    std::fprintf(stderr, "vexillo-cli: %s: %s\n", Printable(fileName).c_str(), Printable(reason).c_str());
}

namespace {

// A failure of a named file: "FILE: reason".
Failure fileFailure(const std::string &fileName, const std::string &reason)
{
    return Failure{fileName + ": " + reason};
}

// The entry of the icon a command names: an .ico, .cur or .ani file whole,
// a module's group as --group names it (FindIconGroup; its first group in
// directory order when none is given), a cursor group with --cursors.
TIconItem iconEntry(const Arguments &args, const std::string &fileName)
{
    if (IsIconFile(fileName) || IsCursorFile(fileName) || IsAnimatedCursorFile(fileName))
        return TIconItem{fileName, "", -1, EntryKindOfFile(fileName)};
    const auto option = args.options.find("--group");
    const std::string group = option == args.options.end() ? std::string() : option->second;
    TIconItem entry;
    TReadError error;
    const TEntryKind kind = args.options.count("--cursors") ? TEntryKind::Cursor : TEntryKind::Icon;
    if (!FindIconGroup(fileName, group, entry, error, kind))
        throw fileFailure(
            fileName,
            FileFailureText(fileName, group.empty() && error.Code == TReadErrorCode::NotFound ? TReadError{} : error));
    return entry;
}

// Loads an icon as the program does, from the place where its group lies.
// The images read before a failure stay in the icon. What the cursor reader
// left out (a frame that does not decode) is said on standard error, as
// xcursor says it.
bool loadIcon(TCatalogue &catalogue, const Arguments &args, const std::string &fileName)
{
    const bool loaded = catalogue.LoadIconGroup(iconEntry(args, fileName));
    for (const std::string &note : catalogue.CurrentIcon.Notes)
        say(fileName, note);
    return loaded;
}

void loadIconOrFail(TCatalogue &catalogue, const Arguments &args, const std::string &fileName)
{
    if (!loadIcon(catalogue, args, fileName))
        throw fileFailure(fileName, FileFailureText(fileName, catalogue.LastError()));
}

TIconImage &imageAt(TAdvancedIcon &icon, int index, const std::string &fileName)
{
    TIconImage *image = index < icon.Images.Count ? icon.Images.GetItem(static_cast<uint16_t>(index)) : nullptr;
    if (!image)
        throw fileFailure(fileName,
                          "no image " + std::to_string(index) + " (it has " + std::to_string(icon.Images.Count) + ")");
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

// A name as one field of a tab-separated line: every control character and
// backslash escaped (Printable), so that every line is one record and no
// name can drive the terminal.
std::string tsvField(const std::string &text)
{
    return Printable(text);
}

// An entry as the lists name it: its file and group, tab-separated.
std::string entryFields(const TIconItem &entry)
{
    return tsvField(entry.FileName) + "\t" + tsvField(entry.GroupName);
}

void printEntries(const TCatalogue &catalogue)
{
    // A cursor's line says so in a third field ("cursor", "animated").
    for (const auto &item : catalogue.IconItems)
        std::printf("%s%s\n", entryFields(*item).c_str(),
                    item->Kind == TEntryKind::Cursor           ? "\tcursor"
                    : item->Kind == TEntryKind::AnimatedCursor ? "\tanimated"
                                                               : "");
}

// The entries as 'groups' and 'scan' list them: a line each, or with --json
// a JSON record each (export/records.h), written as it is keyed.
void listEntries(TCatalogue &catalogue, const Arguments &args)
{
    if (!args.options.count("--json")) {
        printEntries(catalogue);
        return;
    }
    ForEachEntryKey(catalogue, [&](int, const TIconItem &entry, const TEntryKey &key) {
        std::printf("%s\n", EntryRecord(catalogue, entry, key).c_str());
    });
}

// The keys of the catalogue's entries; an entry that does not load is said,
// unless its file's failure has been said already. An entry its file's
// budget stopped leaves the file not wholly read: `allRead` false.
std::vector<TEntryKey> entryKeys(TCatalogue &catalogue, const std::set<std::string> &reported, bool &allRead)
{
    // A file's first entries that do not load are said one by one, the
    // rest counted: a module of thousands of broken groups says a screenful.
    constexpr int kSaidPerFile = 10;
    std::string file;
    int failed = 0;
    const auto sayMore = [&] {
        if (failed > kSaidPerFile)
            say(file, std::to_string(failed - kSaidPerFile) + " more groups that do not load");
    };
    std::vector<TEntryKey> keys;
    keys.reserve(catalogue.IconItems.size());
    ForEachEntryKey(catalogue, [&](int, const TIconItem &entry, const TEntryKey &key) {
        keys.push_back(key);
        if (key.Has(TEntryKey::Keyed))
            return;
        if (catalogue.LastError().Code == TReadErrorCode::LimitExceeded)
            allRead = false;
        if (reported.count(entry.FileName))
            return;
        if (entry.FileName != file) {
            sayMore();
            file = entry.FileName;
            failed = 0;
        }
        if (++failed <= kSaidPerFile)
            say(entry.GroupName.empty() ? entry.FileName : entry.FileName + " group " + entry.GroupName,
                EntryFailure(catalogue, entry));
    });
    sayMore();
    return keys;
}

// Why a folder named on the command line cannot be searched; empty when it
// can (the search reports the folders below it that it cannot open).
std::string folderProblem(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "cannot open the folder: " + SystemErrorText(errno);
    if (!S_ISDIR(st.st_mode))
        return "not a folder";
    DIR *dir = ::opendir(path.c_str());
    if (!dir)
        return "cannot open the folder: " + SystemErrorText(errno);
    ::closedir(dir);
    return {};
}

// Opens the folder a command writes to, making it and those above it when
// missing; a Failure naming it when it cannot be (a symbolic link among
// them). Everything is then written through the folder's handle.
void openOutputFolder(const std::string &path, TOutputFolder &folder)
{
    TReadError error;
    if (!folder.Open(path, &error))
        throw Failure{path + ": " + error.Text()};
}

void openSubfolder(const TOutputFolder &parent, const std::string &name, TOutputFolder &sub)
{
    TReadError error;
    if (!parent.OpenSubfolder(name, sub, &error))
        throw Failure{sub.Path() + ": " + error.Text()};
}

// Raises the error a failed write in an output folder stands for, naming
// the file as the user knows it.
[[noreturn]] void raiseWriteFailure(const TOutputFolder &folder, const std::string &name, const FileWrite &write)
{
    if (write.Result == FileWrite::LimitReached)
        throw Failure{folder.PathOf(name) + ": " + folder.LimitError().Text()};
    RaiseWriteError(folder, name, write);
}

// Scans a file named on the command line as the program would; a file that
// cannot be read (or an .ico file whose header is not an icon's) is reported
// on stderr. True when the file was read.
bool scanNamedFile(TCatalogue &catalogue, const std::string &fileName)
{
    const TReadError error = catalogue.ScanNamedFile(fileName);
    if (error)
        say(fileName, FileFailureText(fileName, error));
    return !error;
}

// What scanPaths read.
struct ScannedPaths {
    // The files named, in order.
    std::vector<std::string> files;
    // The files among them whose failure has been said.
    std::set<std::string> reported;
    // No file or folder named failed.
    bool allRead = true;
};

// Scans the files and folders named from args.positional[first] on in one
// run (cursor groups too with --cursors): a folder searched for `types`, a
// file read as 'groups' reads it, its failure said.
ScannedPaths scanPaths(TCatalogue &catalogue, const Arguments &args, size_t first, uint32_t types)
{
    ScannedPaths scanned;
    catalogue.ListCursors = args.options.count("--cursors") > 0;
    catalogue.OnUnreadFolder = [&](const std::string &folder, const TReadError &error) {
        say(folder, error.Text());
        scanned.allRead = false;
    };
    catalogue.ResetCatalogue(types);
    for (size_t i = first; i < args.positional.size(); ++i) {
        const std::string &path = args.positional[i];
        std::error_code ec;
        if (!std::filesystem::is_directory(path, ec)) {
            scanned.files.push_back(path);
            catalogue.CountNamedFile();
            if (!scanNamedFile(catalogue, path)) {
                scanned.reported.insert(path);
                scanned.allRead = false;
            }
        } else if (const std::string problem = folderProblem(path); !problem.empty()) {
            say(path, problem);
            scanned.allRead = false;
        } else {
            catalogue.ScanFolder(path);
        }
    }
    catalogue.EndRun();
    catalogue.OnUnreadFolder = nullptr;
    return scanned;
}

int commandGroups(const Arguments &args)
{
    if (args.positional.size() < 2)
        throw UsageError{"'groups' takes one or more files"};
    TCatalogue catalogue;
    catalogue.ListCursors = args.options.count("--cursors") > 0;
    catalogue.ResetCatalogue();
    bool allRead = true;
    for (size_t i = 1; i < args.positional.size(); ++i)
        allRead = scanNamedFile(catalogue, args.positional[i]) && allRead;
    catalogue.EndRun();
    listEntries(catalogue, args);
    return allRead ? 0 : 1;
}

// Says on standard error what an extraction passes over.
class SaidExtraction : public TExtractReport {
    void Skipped(const std::string &what, const std::string &reason) override
    {
        say("skipped " + what + ": " + reason);
    }
    void SourceStopped(const std::string &fileName, const TReadError &refusal) override
    {
        say(fileName, refusal.Text());
    }
};

int commandExtract(const Arguments &args)
{
    if (args.positional.size() < 2)
        throw UsageError{"'extract' takes one or more files or folders"};
    const std::string &out = requiredOption(args, "--out", "DIR");
    TExtractOptions options;
    options.AsPng = args.options.count("--png") > 0;
    options.Numbered = args.options.count("--numbered") > 0;
    options.Force = args.options.count("--force") > 0;
    const uint32_t types = typesOption(args);
    TOutputFolder folder;
    openOutputFolder(out, folder);

    TCatalogue catalogue;
    ScannedPaths scanned = scanPaths(catalogue, args, 1, types);
    options.NamedFiles = std::move(scanned.files);
    options.Reported = std::move(scanned.reported);

    SaidExtraction report;
    int status = scanned.allRead ? 0 : 1;
    try {
        ExtractIcons(catalogue, folder, options, report);
    } catch (const EStreamError &e) {
        // The first file that cannot be written ends the run: the next ones
        // would mostly fail the same way (a full disk, a read-only folder).
        say(e.Detail());
        status = 1;
    }
    if (report.Counts.Limited)
        status = 1;
    std::fprintf(stderr, "files %d\ticons %d\twritten %d\tskipped %d\n", catalogue.FileCount(), catalogue.IconCount(),
                 report.Counts.Written, report.Counts.Skipped);
    return status;
}

int commandScan(const Arguments &args)
{
    expectCount(args, 2);
    const uint32_t types = typesOption(args);
    const std::string &folder = args.positional[1];
    if (const std::string problem = folderProblem(folder); !problem.empty())
        throw fileFailure(folder, problem);
    TCatalogue catalogue;
    catalogue.ListCursors = args.options.count("--cursors") > 0;
    bool allRead = true;
    catalogue.OnUnreadFolder = [&](const std::string &unread, const TReadError &error) {
        say(unread, error.Text());
        allRead = false;
    };
    catalogue.ResetCatalogue(types);
    catalogue.ScanFolder(folder);
    catalogue.EndRun();
    listEntries(catalogue, args);
    std::fflush(stdout);
    std::fprintf(stderr, "files %d\ticons %d\n", catalogue.FileCount(), catalogue.IconCount());
    return allRead ? 0 : 1;
}

// The sets of duplicates among the icons of the files and folders (icons
// whose saved files are byte-identical), a line each: its entries as 'scan'
// lists them, tab-separated, in catalogue order; the sets in the order of
// their first entries. Then 'files N<TAB>icons M<TAB>sets S' on stderr.
int commandDupes(const Arguments &args)
{
    if (args.positional.size() < 2)
        throw UsageError{"'dupes' takes one or more files or folders"};
    TCatalogue catalogue;
    ScannedPaths scanned = scanPaths(catalogue, args, 1, typesOption(args));
    const std::vector<std::vector<int>> sets = DuplicateSets(entryKeys(catalogue, scanned.reported, scanned.allRead));
    for (const std::vector<int> &set : sets) {
        std::string line;
        for (const int position : set)
            line += (line.empty() ? "" : "\t") + entryFields(*catalogue.IconItems[static_cast<size_t>(position)]);
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    std::fprintf(stderr, "files %d\ticons %d\tsets %zu\n", catalogue.FileCount(), catalogue.IconCount(), sets.size());
    return scanned.allRead ? 0 : 1;
}

// The icons of the files and folders whose pictures look like FILE's (picture
// keys within kSimilarDistance bits), nearest first: the distance, file and
// group, tab-separated. Then 'files N<TAB>icons M<TAB>similar K' on stderr.
int commandSimilar(const Arguments &args)
{
    if (args.positional.size() < 3)
        throw UsageError{"'similar' takes a file and one or more files or folders"};
    const uint32_t types = typesOption(args);
    const std::string &fileName = args.positional[1];
    TCatalogue catalogue;
    const TIconItem wanted = iconEntry(args, fileName);
    TEntryKey key;
    TPagePictures pictures;
    if (!ComputeEntryKey(catalogue, wanted, pictures, key))
        throw fileFailure(fileName, EntryFailure(catalogue, wanted));
    if (!key.Has(TEntryKey::HasPicture))
        throw fileFailure(fileName, "has no picture to compare");
    ScannedPaths scanned = scanPaths(catalogue, args, 2, types);
    const std::vector<TNearEntry> near =
        NearestPictures(entryKeys(catalogue, scanned.reported, scanned.allRead), key.PictureKey);
    for (const TNearEntry &entry : near)
        std::printf("%d\t%s\n", entry.Distance,
                    entryFields(*catalogue.IconItems[static_cast<size_t>(entry.Position)]).c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "files %d\ticons %d\tsimilar %zu\n", catalogue.FileCount(), catalogue.IconCount(),
                 near.size());
    return scanned.allRead ? 0 : 1;
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
        throw fileFailure(args.positional[1], FileFailureText(args.positional[1], catalogue.LastError()));
    return 0;
}

// Appends a tab and `value` to a line of 'info'.
void appendField(std::string &line, uint64_t value)
{
    char digits[24];
    const char *end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    line += '\t';
    line.append(digits, static_cast<size_t>(end - digits));
}

// What a file is and holds, one record a line, its kind first and its
// notes last:
//   kind    PE32 | PE32+ | NE | ICO | CUR | ANI
//   group   icon|cursor  NAME  LANGUAGE  IMAGES   (NAME and LANGUAGE "-" in
//                                                  an .ico or .cur file)
//   image   INDEX  WIDTH  HEIGHT  BITS  png|dib  BYTES  [HOTX  HOTY]
//   frames  COUNT  steps  COUNT                   (.ani)
//   frame   INDEX  WIDTH  HEIGHT  HOTX  HOTY
//   step    INDEX  FRAME  MILLISECONDS
//   note    what a reader met and worked around, or could not read
int commandInfo(const Arguments &args)
{
    expectCount(args, 2);
    const std::string &fileName = args.positional[1];
    FileInfo info;
    TReadError error;
    const bool read = ReadFileInfo(fileName, info, &error);
    if (info.Kind.empty())
        throw fileFailure(fileName, FileFailureText(fileName, error));
    std::printf("kind\t%s\n", info.Kind.c_str());
    for (const GroupInfo &group : info.Groups) {
        // An .ico or .cur file is one group without a name or language.
        const bool named = info.Kind.starts_with("PE") || info.Kind == "NE";
        std::printf("group\t%s\t%s\t%s\t%zu\n", group.Cursor ? "cursor" : "icon",
                    named ? tsvField(group.Name).c_str() : "-", named ? std::to_string(group.Language).c_str() : "-",
                    group.Images.size());
        // A group may name thousands of images: their lines are made
        // without printf's parsing of its format, which would take most of
        // the time of the listing.
        std::string line;
        for (size_t i = 0; i < group.Images.size(); ++i) {
            const ImageInfo &image = group.Images[i];
            line = "image";
            for (const uint64_t field :
                 {uint64_t{i}, uint64_t{image.Width}, uint64_t{image.Height}, uint64_t{image.BitCount}})
                appendField(line, field);
            line += image.Png ? "\tpng" : "\tdib";
            appendField(line, image.Bytes);
            if (group.Cursor) {
                appendField(line, image.HotspotX);
                appendField(line, image.HotspotY);
            }
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
    }
    // Frames are numbered as the file numbers them, a frame left out
    // (noted) leaving its number out.
    const CursorFile &ani = info.Animation;
    if (!ani.Frames.empty())
        std::printf("frames\t%zu\tsteps\t%zu\n", ani.Frames.size(), ani.Steps.size());
    for (const CursorFrame &frame : ani.Frames) {
        const CursorImage &shown = frame.ShownImage();
        std::printf("frame\t%u\t%d\t%d\t%d\t%d\n", frame.Number, shown.Picture.Width, shown.Picture.Height,
                    shown.HotspotX, shown.HotspotY);
    }
    for (size_t i = 0; i < ani.Steps.size(); ++i)
        std::printf("step\t%zu\t%u\t%d\n", i, ani.Frames[static_cast<size_t>(ani.Steps[i].Frame)].Number,
                    ani.Steps[i].DurationMs);
    for (const std::string &note : info.Notes.Lines())
        std::printf("note\t%s\n", tsvField(note).c_str());
    if (info.Notes.Dropped())
        std::printf("note\t%llu more not shown\n", static_cast<unsigned long long>(info.Notes.Dropped()));
    std::fflush(stdout);
    if (!read)
        throw fileFailure(fileName, FileFailureText(fileName, error));
    return 0;
}

// Refuses "-" as OUT when standard output is a terminal, as gzip does:
// picture bytes written there only garble it. Checked before the work.
void refuseTerminalOutput(const std::string &fileName)
{
    if (fileName == "-" && ::isatty(STDOUT_FILENO))
        throw Failure{"standard output is a terminal; redirect it or name a file"};
}

// Writes the bytes a command makes as OUT: "-" is standard output, any
// other name a file written complete or not at all.
void writeOutput(const std::string &fileName, const std::vector<uint8_t> &bytes)
{
    if (fileName != "-") {
        WriteFileReplacing(fileName, bytes);
        return;
    }
    refuseTerminalOutput(fileName);
    std::fflush(stdout);
    if (!WriteAll(STDOUT_FILENO, bytes.data(), bytes.size()))
        throw EWriteError("standard output", errno);
}

int commandSave(const Arguments &args)
{
    expectCount(args, 3);
    refuseTerminalOutput(args.positional[2]);
    TCatalogue catalogue;
    TAdvancedIcon &icon = catalogue.CurrentIcon;
    loadIconOrFail(catalogue, args, args.positional[1]);
    if (icon.Images.Count == 0)
        throw fileFailure(args.positional[1], "holds no images; nothing written");
    TMemoryStream stream;
    icon.SaveToStream(stream);
    writeOutput(args.positional[2], stream.Bytes());
    return 0;
}

int commandSaveImage(const Arguments &args)
{
    refuseTerminalOutput(args.positional.back());
    TCatalogue catalogue;
    loadImageArgument(args, catalogue);
    TMemoryStream stream;
    catalogue.CurrentIcon.SaveImageToStream(stream, parseIndex(args.positional[2]));
    writeOutput(args.positional[3], stream.Bytes());
    return 0;
}

int commandBmp(const Arguments &args)
{
    TColor back = clWhite;
    if (auto it = args.options.find("--back"); it != args.options.end())
        back = parseColor(it->second);
    refuseTerminalOutput(args.positional.back());
    TCatalogue catalogue;
    TIconImage &image = loadImageArgument(args, catalogue);
    if (TReadError error; !image.BuildHandle(&error))
        throw fileFailure(args.positional[1],
                          "image " + args.positional[2] + ": " + (error ? error.Text() : "no picture"));
    auto graphic = image.CreateGraphic();
    TBitmap bitmap;
    IconToBitmap(*graphic, back, bitmap);
    writeOutput(args.positional[3], bitmap.SaveToBytes());
    return 0;
}

int commandPng(const Arguments &args)
{
    refuseTerminalOutput(args.positional.back());
    TCatalogue catalogue;
    TIconImage &image = loadImageArgument(args, catalogue);
    const int index = parseIndex(args.positional[2]);
    // The picture at the image's own size, whatever its directory fields say.
    std::vector<uint8_t> png;
    std::string why;
    if (!ImageAsPng(image, png, why))
        throw fileFailure(args.positional[1], "image " + std::to_string(index) + ": " + why);
    writeOutput(args.positional[3], png);
    return 0;
}

// The longest NAME of 'hicolor': NAME.png must fit in a file name.
constexpr size_t kMaxThemeNameBytes = NAME_MAX - 4;

// NAME of 'hicolor', the icon's name in the theme, given with or without
// its ".png": a file name of the theme's folders as it stands, nothing in it
// may lead out of them, hide the file or break a line.
std::string themeName(std::string name)
{
    constexpr std::string_view png = ".png";
    if (name.size() > png.size() &&
        std::equal(png.begin(), png.end(), name.end() - static_cast<std::ptrdiff_t>(png.size()),
                   [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); }))
        name.resize(name.size() - png.size());
    if (name.empty())
        throw UsageError{"'hicolor' needs --name NAME"};
    if (name.find('/') != std::string::npos)
        throw UsageError{"--name must be a plain file name, without '/'"};
    if (name[0] == '.')
        throw UsageError{"--name must not start with '.'"};
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        throw UsageError{"--name must not hold control characters"};
    if (name.size() > kMaxThemeNameBytes)
        throw UsageError{"--name must be at most " + std::to_string(kMaxThemeNameBytes) + " bytes long"};
    return name;
}

// Puts the icon in the hicolor theme below DIR: a picture for each of its
// sizes, replacing the theme's picture of that name in one step (never
// through a symbolic link), so that the theme is never seen half-written.
int commandHicolor(const Arguments &args)
{
    expectCount(args, 2);
    const std::string &fileName = args.positional[1];
    const std::string name = themeName(requiredOption(args, "--name", "NAME"));
    const std::string &out = requiredOption(args, "--out", "DIR");
    TCatalogue catalogue;
    loadIconOrFail(catalogue, args, fileName);
    // Each level is opened in the one above it, and none may be a symbolic
    // link: nothing is written outside DIR. The folders are made with the
    // first picture, so that an icon without one leaves none.
    TOutputFolder folder, theme;
    int written = 0;
    std::vector<std::string> skipped;
    IconThemePictures(
        catalogue.CurrentIcon,
        [&](int size, const std::vector<uint8_t> &png) {
            if (!theme.IsOpen()) {
                openOutputFolder(out, folder);
                folder.SetBudget(catalogue.CurrentIcon.Budget);
                openSubfolder(folder, "hicolor", theme);
            }
            TOutputFolder sizeFolder, apps;
            openSubfolder(theme, std::to_string(size) + "x" + std::to_string(size), sizeFolder);
            openSubfolder(sizeFolder, "apps", apps);
            const std::string file = name + ".png";
            if (const FileWrite write = apps.WriteFile(file, ByteView(png.data(), png.size()), true); !write)
                raiseWriteFailure(apps, file, write);
            std::printf("%s\n", tsvField(apps.PathOf(file)).c_str());
            ++written;
        },
        skipped);
    for (const std::string &reason : skipped)
        say(fileName, reason);
    if (written == 0)
        throw fileFailure(fileName, "holds no square image to put in a theme");
    return 0;
}

// An X cursor theme being written for 'xcursor': DIR/THEME opened when the
// first cursor is ready, so that a run that makes none leaves nothing.
class XcursorRun {
public:
    XcursorRun(std::string out, std::string name) : FOut(std::move(out)), FName(std::move(name)) {}

    // Writes a cursor read from `source` (of the file `fileName`), its files
    // drawing on `budget`, and prints its line. False, the reason said, when
    // its budget refuses it; any other failure to write raises.
    bool Write(const std::string &fileName, const std::string &source, const CursorNames &names,
               const CursorPictures &pictures, const TLoadBudgetPtr &budget)
    {
        std::vector<uint8_t> bytes;
        TReadError error;
        if (!EncodeXcursor(pictures, budget, bytes, &error)) {
            say(source, error.Text());
            return false;
        }
        if (!FTheme.ThemeFolder().IsOpen() && !FTheme.Open(FOut, FName, &error))
            throw Failure{FOut + "/" + FName + ": " + error.Text()};
        FTheme.SetBudget(budget);
        // A name an earlier cursor of the run has is never replaced: the
        // cursor gets a free one, and the user is told.
        const CursorNames free = FTheme.FreeNames(names);
        if (free.Name != names.Name)
            say(source,
                "'" + names.Name + "' was written for " + FTakenBy[names.Name] + "; written as '" + free.Name + "'");
        else
            for (const std::string &alias : names.Aliases)
                if (std::find(free.Aliases.begin(), free.Aliases.end(), alias) == free.Aliases.end())
                    say(source, "no link '" + alias + "': it was written for " + FTakenBy[alias]);
        FTakenBy.emplace(free.Name, source);
        for (const std::string &alias : free.Aliases)
            FTakenBy.emplace(alias, source);
        std::string failed;
        if (const FileWrite write = FTheme.WriteCursor(free, ByteView(bytes.data(), bytes.size()), failed); !write) {
            if (write.Result != FileWrite::LimitReached)
                raiseWriteFailure(FTheme.CursorsFolder(), failed, write);
            say(source, FTheme.CursorsFolder().LimitError().Text());
            return false;
        }
        std::string sizes;
        for (const int size : CursorSizes(pictures))
            sizes += (sizes.empty() ? "" : ",") + std::to_string(size);
        std::printf("%s\t%s\t%s\n", tsvField(source).c_str(), tsvField(free.Name).c_str(), sizes.c_str());
        const std::string base = fileName.substr(fileName.find_last_of('/') + 1);
        if (FSources.empty() || FSources.back() != base)
            FSources.push_back(base);
        return true;
    }

    // Writes index.theme, naming the files the cursors came from, once the
    // cursors are written; false when none was.
    bool Finish()
    {
        if (FSources.empty())
            return false;
        std::string sources;
        for (const std::string &source : FSources)
            sources += (sources.empty() ? "" : ", ") + source;
        if (const FileWrite write = FTheme.WriteIndex("Windows cursors from " + sources + ", made by vexillo-cli");
            !write)
            raiseWriteFailure(FTheme.ThemeFolder(), "index.theme", write);
        return true;
    }

private:
    std::string FOut, FName;
    TXcursorTheme FTheme;
    std::vector<std::string> FSources;
    // The source each name of the theme was written for.
    std::map<std::string, std::string> FTakenBy;
};

// A .cur or .ani file (an .ico file too) as one cursor, what its reader
// worked around or left out said; false, the reason alone said, when it
// cannot be read or written.
bool writeCursorFile(XcursorRun &run, const std::string &fileName)
{
    TReadError error;
    ReadNotes notes;
    CursorFile file;
    CursorPictures pictures;
    if (!ReadCursorFile(fileName, file, &error, &notes) || !ReadCursorPictures(file, pictures, &error)) {
        say(fileName, error.Text());
        return false;
    }
    for (const std::string &note : notes.Lines())
        say(fileName, note);
    return run.Write(fileName, fileName, CursorFileNames(fileName), pictures, file.Budget);
}

// Whether a file's first bytes are a cursor's (RIFF, or an icon directory of
// either type) rather than a module's; false, the reason said, when it
// cannot be read.
bool readCursorKind(const std::string &fileName, bool &cursorFile)
{
    std::vector<uint8_t> head;
    TReadError error;
    if (!ReadFileHead(fileName, head, &error)) {
        say(fileName, error.Text());
        return false;
    }
    const ByteView view(head.data(), head.size());
    uint32_t magic = 0;
    uint16_t type = 0, count = 0;
    cursorFile = (view.readU32(0, magic) && magic == 0x46464952u) || ParseIconDirHeader(view, type, count, nullptr);
    return true;
}

// A group's name as 'groups' prints it.
std::string groupText(const ResourceId &group)
{
    return group.IsName ? group.Name : std::to_string(group.Number);
}

// The cursor groups of a module, each a cursor; a broken one is passed over,
// its reason said. True only when every group listed was written and the
// listing was whole.
bool writeModuleCursors(XcursorRun &run, const std::string &fileName)
{
    TReadError error;
    const std::unique_ptr<TModule> module = TModule::LoadAsDataFile(fileName, &error);
    if (!module) {
        say(fileName, FileFailureText(fileName, error));
        return false;
    }
    std::vector<ResourceId> groups;
    const bool listed =
        module->EnumResourceNames(ResourceId::FromNumber(RT_GROUP_CURSOR), [&](const ResourceId &group) {
            groups.push_back(group);
            return true;
        });
    // A broken listing is said once: alone when it gave no group, before the
    // groups it gave otherwise.
    const bool broken = !listed && module->LastError().Code != TReadErrorCode::NotFound;
    if (broken || groups.empty())
        say(fileName, broken ? module->LastError().Text() : "holds no cursors");
    if (groups.empty())
        return false;
    bool written = !broken;
    for (size_t i = 0; i < groups.size(); ++i) {
        const ResourceId &group = groups[i];
        const std::string source = fileName + ":" + groupText(group);
        TAdvancedIcon cursor;
        CursorPictures pictures;
        if (!cursor.LoadCursorFromResource(module.get(), group)) {
            say(source, cursor.LastError().Text());
            written = false;
        } else if (!ReadCursorPictures(cursor, pictures, &error)) {
            say(source, error.Text());
            written = false;
        } else {
            written = run.Write(fileName, source, CursorGroupNames(group), pictures, cursor.Budget) && written;
        }
        // A spent budget ends the module: nothing more can be read from it.
        if (module->Budget() && module->Budget()->Spent())
            return written && i + 1 == groups.size();
    }
    return written;
}

// Makes DIR/THEME, an X cursor theme, of the cursors of the files: each
// .cur and .ani file a cursor, each module its cursor groups.
int commandXcursor(const Arguments &args)
{
    if (args.positional.size() < 2)
        throw UsageError{"'xcursor' takes one or more files"};
    const std::string &name = requiredOption(args, "--name", "THEME");
    const std::string &out = requiredOption(args, "--out", "DIR");
    if (const std::string problem = ThemeNameProblem(name); !problem.empty())
        throw UsageError{"--name " + problem};
    XcursorRun run(out, name);
    bool allWritten = true;
    for (size_t i = 1; i < args.positional.size(); ++i) {
        const std::string &fileName = args.positional[i];
        bool cursorFile = false;
        if (!readCursorKind(fileName, cursorFile))
            allWritten = false;
        else if (cursorFile)
            allWritten = writeCursorFile(run, fileName) && allWritten;
        else
            allWritten = writeModuleCursors(run, fileName) && allWritten;
    }
    if (!run.Finish())
        throw Failure{"no cursor written"};
    return allWritten ? 0 : 1;
}

// A command: its name, what it runs and the options it takes.
struct Command {
    const char *name;
    int (*run)(const Arguments &);
    std::set<std::string> options;
};

const Command kCommands[] = {
    {"groups", commandGroups, {"--cursors", "--json"}},
    {"scan", commandScan, {"--types", "--cursors", "--json"}},
    {"dupes", commandDupes, {"--types", "--cursors"}},
    {"similar", commandSimilar, {"--group", "--types", "--cursors"}},
    {"extract", commandExtract, {"--out", "--types", "--png", "--numbered", "--force", "--cursors"}},
    {"images", commandImages, {"--group", "--cursors"}},
    {"info", commandInfo, {}},
    {"save", commandSave, {"--group", "--cursors"}},
    {"save-image", commandSaveImage, {"--group", "--cursors"}},
    {"bmp", commandBmp, {"--group", "--back", "--cursors"}},
    {"png", commandPng, {"--group", "--cursors"}},
    {"hicolor", commandHicolor, {"--group", "--name", "--out", "--cursors"}},
    {"xcursor", commandXcursor, {"--name", "--out"}},
};

} // namespace

int runCommand(const Arguments &args)
{
    if (args.positional.empty())
        throw UsageError{"no command given"};
    const std::string &name = args.positional[0];
    const auto command =
        std::find_if(std::begin(kCommands), std::end(kCommands), [&](const Command &c) { return name == c.name; });
    if (command == std::end(kCommands))
        throw UsageError{"unknown command '" + name + "'"};
    for (const auto &option : args.options)
        if (!command->options.count(option.first))
            throw UsageError{"'" + name + "' takes no option " + option.first};
    return command->run(args);
}

} // namespace vexillo
