// The catalogue of found icons: one entry per icon group of a scanned module
// and one per scanned .ico file, filled from a list of files or a whole
// folder tree, with the status texts that report its counters; the scan
// sequences the window and vexillo-cli run, and the loading of an entry's
// group from its file.
//
// This is the main window's scan logic without Qt. The window side (status
// bar panels, message pump, the lists to empty) is reached through
// TCatalogueView (catalogue/catalogueview.h), which the main window
// implements.
#pragma once

#include "catalogue/catalogueview.h"
#include "catalogue/filenames.h"
#include "icons/advancedicon.h"
#include "icons/icontypes.h"
#include "platform/pemodule.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

namespace vexillo {

// A file a run found a fault in, and the reason in the words every program
// uses (FileFailureText).
struct TUnreadFile {
    std::string FileName;
    std::string Reason;
};

class TCatalogue {
public:
    static constexpr int IconsPerPage = 80;
    // The most files a run lists among those it could not read; beyond it
    // they are only counted, so that a search of millions stays small.
    static constexpr size_t kMaxUnreadListed = 10000;

    explicit TCatalogue(TCatalogueView *View = nullptr) : FView(View) {}
    TCatalogue(const TCatalogue &) = delete;
    TCatalogue &operator=(const TCatalogue &) = delete;

    // The found icons, in order of discovery; only appended or all cleared.
    std::vector<std::unique_ptr<TIconItem>> IconItems;
    // The run's one icon: holds the group loaded last.
    TAdvancedIcon CurrentIcon;

    int IconCount() const { return static_cast<int>(IconItems.size()); }
    int PageCount() const { return (IconCount() + IconsPerPage - 1) / IconsPerPage; }

    // A run of scans, the one way to start one: ResetCatalogue empties the
    // catalogue, the lists and the counters, takes the file types a folder
    // scan opens and the number of files the run names (Open file names its
    // files; a folder scan counts what it finds), and leaves FStopped false.
    // EndRun ends the run (FStopped true). ScanFile and ScanFolder outside a
    // run raise std::logic_error: a scan never starts from stale state.
    void ResetCatalogue(uint32_t TypeMask = ftAll, int NamedFiles = 0);
    void EndRun();
    // Asks the running folder scan to stop: it raises EAbort after the
    // directory entry it is at.
    void Stop() { FStopped = true; }
    // One more file named for the run (vexillo-cli names files and folders).
    void CountNamedFile() { ++FFileCount; }

    // True except while a run goes on and nobody asked it to stop.
    bool Stopped() const { return FStopped; }
    int FileCount() const { return FFileCount; }
    uint32_t TypeMask() const { return FTypeMask; }
    // The file being scanned, or scanned last.
    const std::string &CurrentFile() const { return FCurrentFile; }
    int CurrentPage() const { return FCurrentPage; }
    void SetCurrentPage(int Page) { FCurrentPage = Page; }

    // Appends the entries of one file: one for an .ico, .cur or .ani file
    // (not opened), one per icon group of a module (and per cursor group,
    // with ListCursors). Errors of the file end its scan
    // quietly; LastError keeps the reason.
    void ScanFile(const std::string &FileName);
    // ScanFile for a file the user named: an .ico file's header is read too,
    // so that a missing or foreign file is not passed over. Returns the
    // file's fault, which the run also counts among its unread files.
    TReadError ScanNamedFile(const std::string &FileName);
    // Appends the entries of every file below Folder whose type is in
    // the run's types, depth first. Throws EAbort when it finds FStopped set
    // after a directory entry. An empty Folder does nothing. A folder that
    // cannot be opened or read whole joins the unread files with its reason,
    // and is handed to OnUnreadFolder; the names it gave are still searched.
    void ScanFolder(const std::string &Folder);
    // Told of each folder ScanFolder could not open or read, as it is met.
    std::function<void(const std::string &Folder, const TReadError &Error)> OnUnreadFolder;
    // Appends an entry of the current file and updates the counters.
    void AddIconItem(const std::string &GroupName, int32_t GroupPlace = -1, TEntryKind Kind = TEntryKind::Icon,
                     bool GroupIsName = false, bool GroupEscaped = false);
    // Keeps Bytes of an entry being added on the memory of the file that
    // Budget reads, for as long as the catalogue keeps its entries; false,
    // with the budget's reason, when the file's memory refuses them.
    bool KeepEntryMemory(const TLoadBudgetPtr &Budget, uint64_t Bytes);
    // Gives back what the entries kept (ClearIconItems).
    void ReleaseEntryMemory() { FKeptMemory.clear(); }
    // Whether ScanFile lists a module's cursor groups too, after its icon
    // groups (off by default: .cur and .ani files are entries either way).
    bool ListCursors = false;
    // Loads an entry's icon group into CurrentIcon (emptied first); true when
    // the group was read, else LastError says why. An entry that knows its
    // group's place is loaded from there.
    bool LoadIconGroup(const std::string &FileName, const std::string &GroupName);
    bool LoadIconGroup(const TIconItem &Entry);
    // Loads a module's group (an entry that knows its group's place) into
    // Icon for its picture: each image's head only, then the whole of the
    // image Choose picks (an index into Icon's images), which it returns;
    // nullptr when the group holds no image then. The other images hold
    // their heads only: Icon is for the picture alone. An image that no
    // longer reads whole is returned without bytes.
    TIconImage *LoadPictureImage(const TIconItem &Entry, TAdvancedIcon &Icon,
                                 const std::function<int(const TAdvancedIcon &)> &Choose);

    // The language of the group LoadIconGroup loaded last (a Windows
    // language identifier, 0 for neutral); -1 for an .ico file or when it
    // is not known.
    int GroupLanguage() const { return FGroupLanguage; }
    // While the returned guard lives, LoadIconGroup keeps the module it
    // opened last and reads the next group of the same file from it: a run
    // over consecutive groups (a page, a save) parses the module once and
    // shares its image bytes. The module is closed when the guard goes.
    class TModuleKeeper {
    public:
        explicit TModuleKeeper(TCatalogue &Catalogue) : FCatalogue(Catalogue) { FCatalogue.FKeepModule = true; }
        ~TModuleKeeper()
        {
            FCatalogue.FKeepModule = false;
            FCatalogue.FOpenModule.reset();
        }
        TModuleKeeper(const TModuleKeeper &) = delete;
        TModuleKeeper &operator=(const TModuleKeeper &) = delete;

    private:
        TCatalogue &FCatalogue;
    };
    [[nodiscard]] TModuleKeeper KeepModuleOpen() { return TModuleKeeper(*this); }

    // Why the last ScanFile or LoadIconGroup went wrong; Code None when it
    // did not (a module without icons is no fault).
    const TReadError &LastError() const { return FLastError; }
    // Keeps the first fault of the file being scanned.
    void NoteFileError(const TReadError &Error);

    // The files of the run that could not be read, wholly or in part (a
    // module, or a named .ico file, with a fault, or a folder that could not
    // be opened or read; a module that merely holds no icons is read),
    // counted exactly; the first kMaxUnreadListed are
    // listed with their reasons, in the order met.
    int UnreadCount() const { return FUnreadCount; }
    const std::vector<TUnreadFile> &UnreadFiles() const { return FUnreadFiles; }
    // The cursors the run passed over while cursors were not asked for:
    // .cur and .ani files of a folder whose types leave them out, and
    // modules whose cursor groups ListCursors leaves out.
    int PassedCursors() const { return FPassedCursors; }

    void ShowSearchPath(const std::string &Folder);
    // "Page/Pages Pages" of the catalogue's pages, or of Pages pages when
    // the pages show fewer entries (a filter).
    void ShowPageStatus(int Pages = -1);
    void ShowFileCount(int Count);
    void ShowIconCount(int Count);
    void ShowSelectedCount(int Count);

    void ProcessMessages();

private:
    bool loadGroup(const TIconItem &Entry);
    // The module of FileName: the one kept open, else opened (into Opened,
    // or kept open in its place while a TModuleKeeper lives); nullptr, with
    // the reason in LastError, when it does not open.
    TModule *openModule(const std::string &FileName, std::unique_ptr<TModule> &Opened);
    void setStatus(int panel, const std::string &text);
    void noteUnread(const std::string &FileName, const TReadError &Error);
    void noteUnreadFolder(const std::string &Folder, const TReadError &Error);
    void requireRun(const char *what) const;

    bool FStopped = true;
    bool FRunning = false;
    int FFileCount = 0;
    uint32_t FTypeMask = 0;
    std::string FCurrentFile;
    int FCurrentPage = 0;

    TCatalogueView *FView;
    TReadError FLastError;
    bool FKeepModule = false;
    std::unique_ptr<TModule> FOpenModule;
    std::string FOpenModuleFile;
    int FGroupLanguage = -1;
    int FUnreadCount = 0;
    std::vector<TUnreadFile> FUnreadFiles;
    int FPassedCursors = 0;
    // What the entries hold, kept on the memory of each module they came
    // from, so that the pages and keys read the file within what is left.
    std::vector<TKeptMemory> FKeptMemory;
};

// Frees every entry, last first, and empties the catalogue.
void ClearIconItems(TCatalogue &Catalogue);

// A scan as the main window runs one: `scan` begins a run and fills the
// catalogue, and tells whether it searched; a cancel (EAbort) ends it
// quietly, keeping what was found. The run is ended then. Returns what
// `scan` told, true after a cancel.
bool RunScan(TCatalogue &Catalogue, const std::function<bool()> &scan);

// A run over the files named (Open file, Reopen): each scanned in order (as
// ScanNamedFile scans it) and
// handed to `remember` before its scan or after it; then the count of files
// named is shown. The run is not ended.
enum class TRememberFile { BeforeScan, AfterScan };
void ScanNamedFiles(TCatalogue &Catalogue, const std::vector<std::string> &Files, TRememberFile When,
                    const std::function<void(const std::string &)> &remember);

// The entry of a module's icon group that `Group` names, as a user names it
// from a listing: empty, the first group; "#N" or a text that reads as a
// number from 1 to 65535 ("12", "012"), the group of that number; a text in
// double quotes, the group named by what they enclose ("\"012\"" is the
// group named 012, never the number 12); any other text, a name. A name
// finds the first group of exactly that name, else the first whose name
// matches it without regard to ASCII case, never a numbered group. The
// entry keeps whether its group is named. False, with the reason, when the
// module cannot be read or has no such group. A cursor group likewise when
// Kind is TEntryKind::Cursor.
bool FindIconGroup(const std::string &FileName, const std::string &Group, TIconItem &Entry, TReadError &Error,
                   TEntryKind Kind = TEntryKind::Icon);

// The callbacks of a module's resource enumeration during ScanFile: each
// reads the stop flag, pumps messages, does its work and returns whether
// the enumeration goes on (exactly when the flag read first was false).
bool EnumTypesProc(TCatalogue &Catalogue, HMODULE Module, const ResourceId &Type);
bool EnumNamesProc(TCatalogue &Catalogue, HMODULE Module, const ResourceId &Type, const ResourceId &Name);

} // namespace vexillo
