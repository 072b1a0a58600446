// A run of scans: whether one goes on and whether it was asked to stop, its
// counters (files met, files not read and why, cursors passed over), the
// file it is at, and the status texts and message pump of the window that
// shows it (TCatalogueView).
#pragma once

#include "catalogue/catalogueview.h"
#include "formats/readerror.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vexillo {

// A file a run found a fault in, and the reason in the words every program
// uses (FileFailureText).
struct TUnreadFile {
    std::string FileName;
    std::string Reason;
};

class TScanRun {
public:
    // The most files a run lists among those it could not read; beyond it
    // they are only counted, so that a search of millions stays small.
    static constexpr size_t kMaxUnreadListed = 10000;

    explicit TScanRun(TCatalogueView *View = nullptr) : FView(View) {}
    TScanRun(const TScanRun &) = delete;
    TScanRun &operator=(const TScanRun &) = delete;

    // Ends the run (FStopped true).
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

    // The first fault of the file being scanned, or scanned last; Code None
    // when it had none (a module without icons is no fault).
    const TReadError &FileError() const { return FFileError; }
    // Keeps the first fault of the file being scanned.
    void NoteFileError(const TReadError &Error);

    // The files of the run that could not be read, wholly or in part (a
    // module, or a named .ico file, with a fault, or a folder that could not
    // be opened or read; a module that merely holds no icons is read),
    // counted exactly; the first kMaxUnreadListed are listed with their
    // reasons, in the order met.
    int UnreadCount() const { return FUnreadCount; }
    const std::vector<TUnreadFile> &UnreadFiles() const { return FUnreadFiles; }
    // The cursors the run passed over while cursors were not asked for:
    // .cur and .ani files of a folder whose types leave them out, and
    // modules whose cursor groups are left out.
    int PassedCursors() const { return FPassedCursors; }
    // Told of each folder a folder scan could not open or read, as it is met.
    std::function<void(const std::string &Folder, const TReadError &Error)> OnUnreadFolder;

    void ShowSearchPath(const std::string &Folder);
    // "Page/Pages Pages", or " Pages" when there are none.
    void ShowPageStatus(int Pages);
    void ShowFileCount(int Count);
    void ShowIconCount(int Count);
    void ShowSelectedCount(int Count);

    void ProcessMessages();

protected:
    // Starts a run: the counters emptied, FCurrentPage 1, the types a folder
    // scan opens and the number of files the run names taken, FStopped false.
    void beginRun(uint32_t TypeMask, int NamedFiles);
    // Raises std::logic_error outside a run: a scan never starts from stale
    // state.
    void requireRun(const char *what) const;
    // The file the run is at now, with no fault yet.
    void beginFile(const std::string &FileName);
    void noteUnread(const std::string &FileName, const TReadError &Error);
    void noteUnreadFolder(const std::string &Folder, const TReadError &Error);
    void countFile() { ShowFileCount(++FFileCount); }
    void passCursors() { ++FPassedCursors; }
    TCatalogueView *view() const { return FView; }

private:
    void setStatus(int panel, const std::string &text);

    bool FStopped = true;
    bool FRunning = false;
    int FFileCount = 0;
    uint32_t FTypeMask = 0;
    std::string FCurrentFile;
    int FCurrentPage = 0;
    TReadError FFileError;
    int FUnreadCount = 0;
    std::vector<TUnreadFile> FUnreadFiles;
    int FPassedCursors = 0;
    TCatalogueView *FView;
};

} // namespace vexillo
