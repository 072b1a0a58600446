// A folder that a run writes many files to, opened once and written through
// its handle: every file and subfolder is made relative to that handle and
// no symbolic link inside it is followed, so that a folder renamed or swapped
// for a link while the run goes on cannot send a single file elsewhere.
#pragma once

#include "formats/byteview.h"
#include "formats/fileio.h"
#include "formats/readerror.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace vexillo {

// How many files one source file may make an extraction write: a file
// created costs at least a block on disk and an inode, so a small file that
// names tens of thousands of images must not fill a disk with them. At least
// kMinFilesWrittenPerSource, or one for every kSourceBytesPerFileWritten
// bytes of the source.
inline constexpr uint64_t kMinFilesWrittenPerSource = 16384;
inline constexpr uint64_t kSourceBytesPerFileWritten = 64;
inline constexpr uint64_t FilesWrittenLimit(uint64_t sourceBytes)
{
    return std::max(kMinFilesWrittenPerSource, sourceBytes / kSourceBytesPerFileWritten);
}

class TOutputFolder {
public:
    TOutputFolder() = default;

    // Opens the folder `path`, making it (and the folders above it) when
    // missing. The folder itself must not be a symbolic link; the folders
    // above it are the user's choice. False with the reason ("a symbolic
    // link, not a folder", "cannot make the folder: ...") when it cannot be.
    bool Open(const std::string &path, TReadError *error);
    // Opens the folder `name` in this one as `sub`, making it when missing,
    // and refusing a symbolic link. The subfolder counts its files against
    // this folder's limit.
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
    // permissions are kept. LimitReached, nothing written, once the files
    // created reach the limit.
    FileWrite WriteFile(const std::string &name, ByteView bytes, bool replaceTaken);
    // Gives the file `written` of this folder the name `name` as well (a hard
    // link), with the same rules for a taken name. Where the file system has
    // no hard links (or the file no more room for them) the bytes are copied.
    FileWrite LinkFile(const std::string &written, const std::string &name, bool replaceTaken);
    // The entry `name` itself (a link is not followed); false when there is none.
    bool EntryStatus(const std::string &name, struct stat &status) const;

    // From now on at most `maximum` files may be created, in this folder and
    // its subfolders together; the count starts again from 0.
    void SetFileLimit(uint64_t maximum);
    uint64_t FilesCreated() const { return FCount->Created; }
    // "limit exceeded: files written (N files, at most M)", N counting the
    // file that was refused.
    TReadError LimitError() const;

private:
    // The files created and the most that may be, shared with subfolders.
    struct Count {
        uint64_t Created = 0;
        uint64_t Limit = UINT64_MAX;
    };

    // Writes a new file under `name`: `fill` writes its bytes to the
    // descriptor it is given and returns 0 or the errno value of a failure.
    FileWrite CreateFile(const std::string &name, bool replaceTaken, const std::function<int(int)> &fill);
    // Moves the entry `from` (a temporary name) to `name`, replacing what is
    // there; the temporary name is gone afterwards in every case.
    FileWrite ReplaceWith(const std::string &from, const std::string &name);
    FileWrite Created();

    FileHandle FFolder;
    std::string FPath;
    std::shared_ptr<Count> FCount = std::make_shared<Count>();
};

} // namespace vexillo
