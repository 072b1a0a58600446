#include "catalogue/catalogue.h"

#include "catalogue/failuretext.h"
#include "formats/ascii.h"
#include "platform/streams.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <new>
#include <optional>
#include <sys/stat.h>

namespace vexillo {

namespace {

// Closes a directory search on every way out of a folder level.
struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

} // namespace

// ---- Status texts ------------------------------------------------------------

void TCatalogue::setStatus(int panel, const std::string &text)
{
    if (FView)
        FView->SetStatusText(panel, text);
}

void TCatalogue::ProcessMessages()
{
    if (FView)
        FView->ProcessMessages();
}

void TCatalogue::ShowSearchPath(const std::string &Folder)
{
    setStatus(spSearchPath, Folder);
}

void TCatalogue::ShowPageStatus(int Pages)
{
    if (Pages < 0)
        Pages = PageCount();
    if (Pages == 0)
        setStatus(spPages, " Pages");
    else
        setStatus(spPages, std::to_string(FCurrentPage) + "/" + std::to_string(Pages) + " Pages");
}

void TCatalogue::ShowFileCount(int Count)
{
    setStatus(spFiles, std::to_string(Count) + " Files");
}

void TCatalogue::ShowIconCount(int Count)
{
    setStatus(spIcons, "Icons: " + std::to_string(Count));
}

void TCatalogue::ShowSelectedCount(int Count)
{
    setStatus(spSelected, "Selected: " + std::to_string(Count));
}

// ---- Scanning ----------------------------------------------------------------

void ClearIconItems(TCatalogue &Catalogue)
{
    auto &items = Catalogue.IconItems;
    while (!items.empty())
        items.pop_back();
    Catalogue.ReleaseEntryMemory();
}

void TCatalogue::requireRun(const char *what) const
{
    if (!FRunning)
        throw std::logic_error(std::string(what) + " outside a run: begin one with ResetCatalogue");
}

void TCatalogue::EndRun()
{
    FStopped = true;
    FRunning = false;
}

void TCatalogue::ResetCatalogue(uint32_t TypeMask, int NamedFiles)
{
    FTypeMask = TypeMask;
    FRunning = true;
    FFileCount = 0;
    FCurrentPage = 1;
    ClearIconItems(*this);
    ShowPageStatus();
    FStopped = false;
    if (FView)
        FView->ClearIconList();
    ShowIconCount(0);
    ShowSelectedCount(0);
    if (FView)
        FView->ClearPreview();
    ShowFileCount(0);
    FFileCount = NamedFiles;
    FUnreadCount = 0;
    FUnreadFiles.clear();
    FPassedCursors = 0;
}

bool TCatalogue::KeepEntryMemory(const TLoadBudgetPtr &Budget, uint64_t Bytes)
{
    // One record for each file: a module's entries are added one after the
    // other, each kept on the file's memory for as long as the catalogue.
    if (FKeptMemory.empty() || FKeptMemory.back().Account() != Budget->Account().get())
        FKeptMemory.emplace_back();
    return Budget->Keep(Bytes, "catalogue entries", FKeptMemory.back());
}

void TCatalogue::noteUnread(const std::string &FileName, const TReadError &Error)
{
    ++FUnreadCount;
    if (FUnreadFiles.size() < kMaxUnreadListed)
        FUnreadFiles.push_back({FileName, FileFailureText(FileName, Error)});
}

void TCatalogue::noteUnreadFolder(const std::string &Folder, const TReadError &Error)
{
    noteUnread(Folder, Error);
    if (OnUnreadFolder)
        OnUnreadFolder(Folder, Error);
}

void TCatalogue::AddIconItem(const std::string &GroupName, int32_t GroupPlace, TEntryKind Kind, bool GroupIsName,
                             bool GroupEscaped)
{
    IconItems.push_back(
        std::make_unique<TIconItem>(TIconItem{FCurrentFile, GroupName, GroupPlace, Kind, GroupIsName, GroupEscaped}));
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

void TCatalogue::ScanFile(const std::string &FileName)
{
    requireRun("ScanFile");
    FCurrentFile = FileName;
    FLastError = {};
    if (IsIconFile(FileName) || IsCursorFile(FileName) || IsAnimatedCursorFile(FileName)) {
        AddIconItem("", -1, EntryKindOfFile(FileName));
        return;
    }
    try {
        std::unique_ptr<TModule> module = TModule::LoadAsDataFile(FileName, &FLastError);
        if (!module) {
            noteUnread(FileName, FLastError);
            return;
        }
        // The file keeps the entries it added before an error.
        bool cursorGroups = false;
        if (!module->EnumResourceTypes([&](const ResourceId &type) {
                cursorGroups = cursorGroups || (!type.IsName && type.Number == RT_GROUP_CURSOR);
                return EnumTypesProc(*this, module.get(), type);
            }))
            NoteFileError(module->LastError());
        if (cursorGroups && !ListCursors)
            ++FPassedCursors;
        // Cursor groups come after all icon groups, so that an icon keeps its
        // place in the catalogue whether cursors are listed or not.
        const ResourceId cursors = ResourceId::FromNumber(RT_GROUP_CURSOR);
        if (ListCursors && !FStopped && !module->EnumResourceNames(cursors, [&](const ResourceId &name) {
                return EnumNamesProc(*this, module.get(), cursors, name);
            }))
            NoteFileError(module->LastError());
    } catch (const std::bad_alloc &) {
        // The system ran out before the budget did: the file ends here, the
        // entries found so far stay.
        NoteFileError(OutOfMemory());
    }
    if (FLastError)
        noteUnread(FileName, FLastError);
}

TReadError TCatalogue::ScanNamedFile(const std::string &FileName)
{
    ScanFile(FileName);
    if (FLastError || !IsIconFile(FileName))
        return FLastError;
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
    if (error)
        noteUnread(FileName, error);
    return error;
}

void TCatalogue::NoteFileError(const TReadError &Error)
{
    // A module without resources, or without icon groups, is no fault.
    if (Error && Error.Code != TReadErrorCode::NotFound && !FLastError)
        FLastError = Error;
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
            ++FFileCount;
            ShowFileCount(FFileCount);
            const uint32_t type = FileTypeOf(name);
            if ((type & FTypeMask) != 0 && haveTarget && S_ISREG(target.st_mode))
                ScanFile(path);
            else if ((type & (ftCur | ftAni)) != 0)
                ++FPassedCursors;
        }

        ProcessMessages();
        if (FStopped)
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

namespace {

// A group as a user writes it (see FindIconGroup): true and the number for
// "#N" and for a text that reads as an integer, false and the name otherwise.
bool ParseGroupArgument(const std::string &Group, int &number, std::string &name)
{
    const bool hashed =
        Group.size() > 1 && Group[0] == '#' && Group.find_first_not_of("0123456789", 1) == std::string::npos;
    if (ReadsAsInteger(hashed ? Group.substr(1) : Group, number) && number >= 1 && number <= 0xFFFF)
        return true;
    const bool quoted = Group.size() >= 2 && Group.front() == '"' && Group.back() == '"';
    name = quoted ? Group.substr(1, Group.size() - 2) : Group;
    return false;
}

} // namespace

bool FindIconGroup(const std::string &FileName, const std::string &Group, TIconItem &Entry, TReadError &Error,
                   TEntryKind Kind)
{
    const bool cursor = Kind == TEntryKind::Cursor;
    std::unique_ptr<TModule> module = TModule::LoadAsDataFile(FileName, &Error);
    if (!module)
        return false;
    int number = 0;
    std::string name;
    const bool numbered = !Group.empty() && ParseGroupArgument(Group, number, name);
    std::optional<TIconItem> exact, folded;
    const ResourceId type = ResourceId::FromNumber(cursor ? RT_GROUP_CURSOR : RT_GROUP_ICON);
    const bool listed = module->EnumResourceNames(type, [&](const ResourceId &id) {
        const std::string text = id.IsName ? id.Name : std::to_string(id.Number);
        if (Group.empty() || (numbered ? !id.IsName && id.Number == number : id.IsName && id.Name == name))
            exact = TIconItem{FileName, text, id.Place, Kind, id.IsName, !id.Units.empty()};
        else if (!numbered && !folded && id.IsName && EqualsIgnoringAsciiCase(id.Name, name))
            folded = TIconItem{FileName, text, id.Place, Kind, id.IsName, !id.Units.empty()};
        return !exact;
    });
    if (exact || folded) {
        Entry = exact ? *exact : *folded;
        return true;
    }
    Error = !listed && module->LastError() && module->LastError().Code != TReadErrorCode::NotFound ? module->LastError()
            : Group.empty() ? NotFound(cursor ? "cursors" : "icons")
                            : NotFound((cursor ? "cursor group " : "icon group ") +
                                       (numbered ? std::to_string(number) : "\"" + name + "\""));
    return false;
}

bool TCatalogue::LoadIconGroup(const std::string &FileName, const std::string &GroupName)
{
    return LoadIconGroup(
        TIconItem{FileName, GroupName, -1, GroupName.empty() ? EntryKindOfFile(FileName) : TEntryKind::Icon});
}

bool TCatalogue::LoadIconGroup(const TIconItem &Entry)
{
    // Nothing of the last load stays: a file that does not open leaves no
    // budget, cursor flag or reason of the one before.
    CurrentIcon.Clear();
    FLastError = {};
    FGroupLanguage = -1;
    try {
        return loadGroup(Entry);
    } catch (const std::bad_alloc &) {
        CurrentIcon.Images.Clear();
        FLastError = OutOfMemory();
        return false;
    }
}

namespace {

// The group an entry names, at the place the scan found it: a name when the
// entry is marked as one, whatever its characters; otherwise a number written
// in decimal digits, else a name (an entry made from a text alone).
ResourceId GroupId(const TIconItem &Entry)
{
    int id = 0;
    ResourceId group = !Entry.GroupIsName && ReadsAsInteger(Entry.GroupName, id) && id >= 1 && id <= 0xFFFF
                           ? ResourceId::FromNumber(static_cast<uint16_t>(id))
                           : ResourceId::FromName(Entry.GroupName);
    group.Place = Entry.GroupPlace;
    if (Entry.GroupEscaped)
        group.Units = EscapedNameUnits(Entry.GroupName);
    return group;
}

} // namespace

TModule *TCatalogue::openModule(const std::string &FileName, std::unique_ptr<TModule> &Opened)
{
    if (FKeepModule && FOpenModule && FOpenModuleFile == FileName)
        return FOpenModule.get();
    Opened = TModule::LoadAsDataFile(FileName, &FLastError);
    if (!Opened || !FKeepModule)
        return Opened.get();
    FOpenModule = std::move(Opened);
    FOpenModuleFile = FileName;
    return FOpenModule.get();
}

TIconImage *TCatalogue::LoadPictureImage(const TIconItem &Entry, TAdvancedIcon &Icon,
                                         const std::function<int(const TAdvancedIcon &)> &Choose)
{
    // The most of an image its fields are read from (a bitmap's header, a
    // PNG's signature and header chunk).
    constexpr uint32_t kImageHead = 64;
    FLastError = {};
    try {
        std::unique_ptr<TModule> opened;
        TModule *module = openModule(Entry.FileName, opened);
        if (!module)
            return nullptr;
        const ResourceId group = GroupId(Entry);
        // As a whole load, the images read before an entry that fails stay.
        Icon.LoadHeadsFromResource(module, group, Entry.Kind == TEntryKind::Cursor, kImageHead);
        const int K = Icon.Images.Count > 0 ? Choose(Icon) : -1;
        TIconImage *image = K >= 0 ? Icon.Images.GetItem(static_cast<uint16_t>(K)) : nullptr;
        // An image that no longer reads whole keeps no bytes: it shows none.
        if (image && !Icon.ReadWholeImage(module, static_cast<uint16_t>(K)))
            image->Data = {};
        return image;
    } catch (const std::bad_alloc &) {
        FLastError = OutOfMemory();
        return nullptr;
    }
}

bool TCatalogue::loadGroup(const TIconItem &Entry)
{
    const std::string &FileName = Entry.FileName;
    bool loaded = false;
    if (IsIconFile(FileName)) {
        loaded = CurrentIcon.LoadFromFile(FileName);
    } else if (IsCursorFile(FileName) || IsAnimatedCursorFile(FileName)) {
        // Told apart by their bytes: many .cur files are animated.
        loaded = CurrentIcon.LoadAnimatedCursorFromFile(FileName);
    } else {
        std::unique_ptr<TModule> opened;
        TModule *module = openModule(FileName, opened);
        if (!module)
            return false;
        // The group at the place the scan found it, as long as that place
        // still holds the entry's number or name; else the first of them.
        const ResourceId group = GroupId(Entry);
        const bool cursor = Entry.Kind == TEntryKind::Cursor;
        int id = 0;
        if (cursor)
            loaded = CurrentIcon.LoadCursorFromResource(module, group);
        else if (Entry.GroupPlace >= 0 || Entry.GroupIsName)
            loaded = CurrentIcon.LoadFromResource(module, group);
        else if (ReadsAsInteger(Entry.GroupName, id))
            loaded = CurrentIcon.LoadFromResourceID(module, id);
        else
            loaded = CurrentIcon.LoadFromResourceName(module, Entry.GroupName);
        uint16_t language = 0;
        if (loaded &&
            module->ResourceLanguage(ResourceId::FromNumber(cursor ? RT_GROUP_CURSOR : RT_GROUP_ICON), group, language))
            FGroupLanguage = language;
    }
    if (!loaded)
        FLastError = CurrentIcon.LastError();
    return loaded;
}

} // namespace vexillo
