// The catalogue of found icons: one entry per icon group of a scanned module
// and one per scanned .ico, .cur or .ani file, filled from a list of files or
// a whole folder tree; the scan sequences the window and vexillo-cli run.
// Its three parts have a job each: the entries it stores (entries.h), the
// run with its counters and status texts (scanrun.h), and the loading of an
// entry's group from its file (grouploader.h).
//
// This is the main window's scan logic without Qt. The window side (status
// bar panels, message pump, the lists to empty) is reached through
// TCatalogueView (catalogue/catalogueview.h), which the main window
// implements.
#pragma once

#include "catalogue/entries.h"
#include "catalogue/filenames.h"
#include "catalogue/grouploader.h"
#include "catalogue/scanrun.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vexillo {

// The catalogue: the entries it stores (TCatalogueEntries), the run that
// fills them (TScanRun) and the loader of an entry's group (TGroupLoader),
// with the scans that join them.
class TCatalogue : public TCatalogueEntries, public TScanRun, public TGroupLoader {
public:
    explicit TCatalogue(TCatalogueView *View = nullptr) : TScanRun(View) {}

    // A run of scans, the one way to start one: ResetCatalogue empties the
    // catalogue, the lists and the counters, takes the file types a folder
    // scan opens and the number of files the run names (Open file names its
    // files; a folder scan counts what it finds), and leaves FStopped false.
    // EndRun ends the run (FStopped true). ScanFile and ScanFolder outside a
    // run raise std::logic_error: a scan never starts from stale state.
    void ResetCatalogue(uint32_t TypeMask = ftAll, int NamedFiles = 0);

    // Appends the entries of one file: one for an .ico, .cur or .ani file
    // (not opened), one per icon group of a module (and per cursor group,
    // with ListCursors). Errors of the file end its scan quietly and are
    // returned (FileError keeps them too).
    TReadError ScanFile(const std::string &FileName);
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
    // Appends an entry of the current file and updates the counters.
    void AddIconItem(const std::string &GroupName, int32_t GroupPlace = -1, TEntryKind Kind = TEntryKind::Icon,
                     bool GroupIsName = false, bool GroupEscaped = false);
    // Whether ScanFile lists a module's cursor groups too, after its icon
    // groups (off by default: .cur and .ani files are entries either way).
    bool ListCursors = false;

    // "Page/Pages Pages" of the catalogue's pages, or of Pages pages when
    // the pages show fewer entries (a filter).
    void ShowPageStatus(int Pages = -1) { TScanRun::ShowPageStatus(Pages < 0 ? PageCount() : Pages); }
};

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

// The callbacks of a module's resource enumeration during ScanFile: each
// reads the stop flag, pumps messages, does its work and returns whether
// the enumeration goes on (exactly when the flag read first was false).
bool EnumTypesProc(TCatalogue &Catalogue, HMODULE Module, const ResourceId &Type);
bool EnumNamesProc(TCatalogue &Catalogue, HMODULE Module, const ResourceId &Type, const ResourceId &Name);

} // namespace vexillo
