#include "catalogue/catalogue.h"

#include "catalogue/failuretext.h"
#include "formats/ascii.h"
#include "platform/streams.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <new>
#include <sys/stat.h>

namespace vexillo {

namespace {

// Closes a directory search on every way out of a folder level.
struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

} // namespace

void TCatalogue::ResetCatalogue(uint32_t TypeMask, int NamedFiles)
{
    beginRun(TypeMask, NamedFiles);
    ClearIconItems(*this);
    ShowPageStatus();
    if (view())
        view()->ClearIconList();
    ShowIconCount(0);
    ShowSelectedCount(0);
    if (view())
        view()->ClearPreview();
    ShowFileCount(0);
}

void TCatalogue::AddIconItem(const std::string &GroupName, int32_t GroupPlace, TEntryKind Kind, bool GroupIsName,
                             bool GroupEscaped)
{
    IconItems.push_back(
        std::make_unique<TIconItem>(TIconItem{CurrentFile(), GroupName, GroupPlace, Kind, GroupIsName, GroupEscaped}));
    ShowPageStatus();
    ShowIconCount(IconCount());
}

bool EnumTypesProc(TCatalogue &Catalogue, HMODULE Module, const ResourceId &Type)
{
    const bool stopped = Catalogue.Stopped();
    Catalogue.ProcessMessages();
    if (!Type.IsName && Type.Number == RT_GROUP_ICON) {
        // A broken directory ends only this enumeration; its reason is kept.
        if (!Module->EnumResourceNames(
                Type, [&](const ResourceId &name) { return EnumNamesProc(Catalogue, Module, Type, name); }))
            Catalogue.NoteFileError(Module->LastError());
    }
    return !stopped;
}

// What a catalogue entry holds besides its two texts: the record, the
// blocks of its texts and its place in the list, and what the window and
// the CLI keep of it once it is keyed (its key, its places in the views and
// the lowered text the filter reads).
constexpr uint64_t kHeldPerItem = sizeof(TIconItem) + 160 + 96;

bool EnumNamesProc(TCatalogue &Catalogue, HMODULE Module, const ResourceId &Type, const ResourceId &Name)
{
    const bool stopped = Catalogue.Stopped();
    Catalogue.ProcessMessages();
    std::string group = Name.IsName ? Name.Name : std::to_string(Name.Number);
    // The entry is kept as long as the catalogue: it costs the file's
    // memory what it holds for as long as it is kept (at most a quarter of
    // it, the rest left for reading the file's pictures), and a file whose
    // entries pass that keeps those before.
    const TLoadBudgetPtr &budget = Module->Budget();
    if (!budget->Work(steps::kPerEntry, "catalogue entries") ||
        !Catalogue.KeepEntryMemory(budget, kHeldPerItem + Catalogue.CurrentFile().size() + group.size())) {
        Catalogue.NoteFileError(budget->Refusal());
        return false;
    }
    Catalogue.AddIconItem(group, Name.Place, Type.Number == RT_GROUP_CURSOR ? TEntryKind::Cursor : TEntryKind::Icon,
                          Name.IsName, !Name.Units.empty());
    return !stopped;
}

TReadError TCatalogue::ScanFile(const std::string &FileName)
{
    requireRun("ScanFile");
    beginFile(FileName);
    if (IsIconFile(FileName) || IsCursorFile(FileName) || IsAnimatedCursorFile(FileName)) {
        AddIconItem("", -1, EntryKindOfFile(FileName));
        return {};
    }
    try {
        TReadError openError;
        std::unique_ptr<TModule> module = TModule::LoadAsDataFile(FileName, &openError);
        if (!module) {
            NoteFileError(openError);
            noteUnread(FileName, openError);
            return openError;
        }
        // The file keeps the entries it added before an error.
        bool cursorGroups = false;
        if (!module->EnumResourceTypes([&](const ResourceId &type) {
                cursorGroups = cursorGroups || (!type.IsName && type.Number == RT_GROUP_CURSOR);
                return EnumTypesProc(*this, module.get(), type);
            }))
            NoteFileError(module->LastError());
        if (cursorGroups && !ListCursors)
            passCursors();
        // Cursor groups come after all icon groups, so that an icon keeps its
        // place in the catalogue whether cursors are listed or not.
        const ResourceId cursors = ResourceId::FromNumber(RT_GROUP_CURSOR);
        if (ListCursors && !Stopped() && !module->EnumResourceNames(cursors, [&](const ResourceId &name) {
                return EnumNamesProc(*this, module.get(), cursors, name);
            }))
            NoteFileError(module->LastError());
    } catch (const std::bad_alloc &) {
        // The system ran out before the budget did: the file ends here, the
        // entries found so far stay.
        NoteFileError(OutOfMemory());
    }
    if (FileError())
        noteUnread(FileName, FileError());
    return FileError();
}

TReadError TCatalogue::ScanNamedFile(const std::string &FileName)
{
    if (TReadError error = ScanFile(FileName); error || !IsIconFile(FileName))
        return error;
    // The scan lists an .ico file without opening it; named, its header is
    // read as well.
    TFileStream stream;
    TAdvancedIcon icon;
    uint16_t count = 0;
    TReadError error;
    if (!stream.OpenRead(FileName))
        error = stream.OpenError();
    else if (!icon.ReadHeader(stream, count))
        error = icon.LastError();
    if (error) {
        NoteFileError(error);
        noteUnread(FileName, error);
    }
    return error;
}

void TCatalogue::ScanFolder(const std::string &Folder)
{
    requireRun("ScanFolder");
    if (Folder.empty())
        return;
    const std::string folder = Folder.back() == '/' ? Folder : Folder + "/";
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    const int openError = errno;
    ShowSearchPath(folder);
    if (!dir) {
        noteUnreadFolder(Folder, IoError("cannot open the folder", openError));
        return;
    }

    // The folder's names are taken whole and searched in name order, so that
    // the same tree gives the same catalogue on every disk (readdir's order is
    // the file system's own).
    std::vector<std::string> names;
    int readError = 0;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir.get());
        if (!entry) {
            // errno set: the folder could not be read to its end.
            readError = errno;
            break;
        }
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    dir.reset();
    // The names it gave are still searched.
    if (readError != 0)
        noteUnreadFolder(Folder, IoError("cannot read the folder", readError));
    std::sort(names.begin(), names.end(),
              [](const std::string &a, const std::string &b) { return NameOrderLess(a, b); });

    for (const std::string &name : names) {
        const std::string path = folder + name;

        // Directories are entered only when they are real ones: a symbolic
        // link to a directory can make a cycle. Only regular files (or links
        // to them) are opened; a FIFO or device would block.
        struct stat own {};
        struct stat target {};
        const bool haveOwn = lstat(path.c_str(), &own) == 0;
        const bool isLink = haveOwn && S_ISLNK(own.st_mode);
        if (haveOwn && !isLink)
            target = own;
        const bool haveTarget = haveOwn && (!isLink || stat(path.c_str(), &target) == 0);

        if (haveOwn && !isLink && S_ISDIR(own.st_mode)) {
            ScanFolder(path);
        } else if (!(haveTarget && S_ISDIR(target.st_mode))) {
            countFile();
            const uint32_t type = FileTypeOf(name);
            if ((type & TypeMask()) != 0 && haveTarget && S_ISREG(target.st_mode))
                ScanFile(path);
            else if ((type & (ftCur | ftAni)) != 0)
                passCursors();
        }

        ProcessMessages();
        if (Stopped())
            throw EAbort();
    }
}

bool RunScan(TCatalogue &Catalogue, const std::function<bool()> &scan)
{
    bool searched = true;
    try {
        searched = scan();
    } catch (const EAbort &) {
        // Cancelled: what was found stays.
    }
    Catalogue.EndRun();
    return searched;
}

void ScanNamedFiles(TCatalogue &Catalogue, const std::vector<std::string> &Files, TRememberFile When,
                    const std::function<void(const std::string &)> &remember)
{
    Catalogue.ResetCatalogue(ftAll, static_cast<int>(Files.size()));
    for (const std::string &file : Files) {
        if (When == TRememberFile::BeforeScan)
            remember(file);
        Catalogue.ScanNamedFile(file);
        if (When == TRememberFile::AfterScan)
            remember(file);
    }
    Catalogue.ShowFileCount(Catalogue.FileCount());
}

} // namespace vexillo
