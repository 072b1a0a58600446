// A folder that a run writes many files to, opened once and written through
// its handle: every file and subfolder is made relative to that handle and
// no symbolic link inside it is followed, so that a folder renamed or swapped
// for a link while the run goes on cannot send a single file elsewhere.
#pragma once

#include "formats/byteview.h"
#include "formats/fileio.h"
#include "formats/loadbudget.h"
#include "formats/readerror.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace vexillo {

class TOutputFolder {
public:
    TOutputFolder() = default;

    // Opens the folder `path`, making it (and the folders above it) when
    // missing. The folder itself must not be a symbolic link; the folders
    // above it are the user's choice. False with the reason ("a symbolic
    // link, not a folder", "cannot make the folder: ...") when it cannot be.
    bool Open(const std::string &path, TReadError *error);
    // Opens the folder `name` in this one as `sub`, making it when missing,
    // and refusing a symbolic link. The subfolder's files draw on this
    // folder's budget.
    bool OpenSubfolder(const std::string &name, TOutputFolder &sub, TReadError *error) const;

    bool IsOpen() const { return static_cast<bool>(FFolder); }
    // The folder as the user named it, and an entry of it by that path: for
    // messages only, never opened.
    const std::string &Path() const { return FPath; }
    std::string PathOf(const std::string &name) const;

    // Writes `bytes` as the entry `name`, complete or not at all: the file
    // gets its name only once every byte is written, and a failure (a full
    // disk) leaves nothing behind. A taken name (anything, a dangling link
    // too) is kept (Taken) unless `replaceTaken`, which replaces the entry
    // itself, a link and not its target; a replaced regular file's
    // permissions are kept. LimitReached, nothing written, when the budget
    // refuses the file.
    FileWrite WriteFile(const std::string &name, ByteView bytes, bool replaceTaken);
    // Gives the file `written` of this folder the name `name` as well (a hard
    // link), with the same rules for a taken name. Where the file system has
    // no hard links (or the file no more room for them) the bytes are copied.
    FileWrite LinkFile(const std::string &written, const std::string &name, bool replaceTaken);
    // Makes the entry `name` a symbolic link to `target` (an entry of this
    // folder, named relative to it), with the same rules for a taken name;
    // a replaced entry is swapped for the link in one step.
    FileWrite SymlinkFile(const std::string &target, const std::string &name, bool replaceTaken);
    // The entry `name` itself (a link is not followed); false when there is none.
    bool EntryStatus(const std::string &name, struct stat &status) const;

    // From now on every file made here or in a subfolder (written or
    // linked) draws on `budget`, the budget of the file its bytes come from:
    // the work of making it, and its bytes and a block (kOutputBytesPerFile)
    // of output; so a small file that names tens of thousands of images
    // cannot fill a disk with them. None: no limit.
    void SetBudget(TLoadBudgetPtr budget) { FShared->Budget = std::move(budget); }
    // Why the budget refused the last file ("limit exceeded: output for one
    // file (...)").
    TReadError LimitError() const;

private:
    // What the folder and its subfolders share.
    struct Shared {
        TLoadBudgetPtr Budget;
    };

    // Charges a file of `bytes` bytes about to be made; false when the
    // budget refuses it.
    bool Charge(uint64_t bytes);

    // Writes a new file under `name`: `fill` writes its bytes to the
    // descriptor it is given and returns 0 or the errno value of a failure.
    FileWrite CreateFile(const std::string &name, bool replaceTaken, const std::function<int(int)> &fill);
    // Moves the entry `from` (a temporary name) to `name`, replacing what is
    // there; the temporary name is gone afterwards in every case.
    FileWrite ReplaceWith(const std::string &from, const std::string &name);

    FileHandle FFolder;
    std::string FPath;
    std::shared_ptr<Shared> FShared = std::make_shared<Shared>();
};

} // namespace vexillo
