// Files on disk as every reader and writer of the program opens them: one
// way to open a file for reading without blocking, one read loop and one
// write loop, and whole files written complete or not at all (or, into a
// caller's file, complete or empty).
#pragma once

#include "formats/byteview.h"
#include "formats/loadbudget.h"
#include "formats/readerror.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vexillo {

// An open file descriptor, closed when its owner goes.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : FFd(fd) {}
    ~FileHandle() { Close(); }
    FileHandle(FileHandle &&other) noexcept : FFd(other.FFd) { other.FFd = -1; }
    FileHandle &operator=(FileHandle &&other) noexcept;
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    int Get() const { return FFd; }
    // Gives up the descriptor without closing it.
    int Release()
    {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }
    explicit operator bool() const { return FFd >= 0; }
    void Close();

private:
    int FFd = -1;
};

// Opens a regular file for reading. The open does not wait on a FIFO or a
// device (they, and folders, are refused), so no file can block the
// program. The file's size goes to *size; the reason of a refusal to *error.
FileHandle OpenRegularFile(const std::string &path, TReadError *error, uint64_t *size = nullptr);

// Reads up to `length` bytes from the file's position, retrying when a
// signal interrupts; how many arrived (fewer only at the end), or -1 with
// errno set.
int64_t ReadUpTo(int fd, void *buffer, uint64_t length);
// Reads exactly `length` bytes at `offset`; false, with the reason, when the
// system refuses or the file ends first (it shrank).
bool ReadAt(int fd, uint64_t offset, void *buffer, uint64_t length, TReadError *error);
// Reads a whole regular file of at most `maxSize` bytes; false, with the
// reason, when it cannot be opened or read, or is (or grows) larger. With
// `budget`, the budget of this load of the file, sharing the memory of its
// other loads (TLoadBudget::ForOpenFile), is made while the file is open.
bool ReadWholeFile(const std::string &path, uint64_t maxSize, std::vector<uint8_t> &bytes, TReadError *error,
                   TLoadBudgetPtr *budget = nullptr);

// Writes every byte, retrying when a signal interrupts; false with errno set.
bool WriteAll(int fd, const void *data, uint64_t size);

// How writing a whole file ended: Done, or the step that failed with the
// system's error number; Taken when the name was taken and had to be kept;
// LimitReached when the writer's limit of files created refused it.
struct FileWrite {
    enum Outcome { Done, CreateFailed, WriteFailed, Taken, LimitReached };
    Outcome Result = Done;
    int Error = 0;
    explicit operator bool() const { return Result == Done; }
};

// Writes `bytes` as the file `fileName`, replacing an existing file only once
// every byte is written (a temporary file in the same folder takes its
// place, keeping its permissions). A symbolic link is followed: the file it
// points to is replaced. An existing folder or other non-regular file, or a
// file that cannot be written, fails the create. Where the folder takes no
// new files but the file itself is writable, the file is rewritten in place:
// its space is reserved first where the file system allows, so that a full
// disk is found before a byte changes, but a failure after that can leave
// the file damaged.
FileWrite WriteFileReplacingBytes(const std::string &fileName, ByteView bytes);

// Writes `bytes` as the directory entry `fileName`, complete or not at all
// and never through a symbolic link. A taken name (anything, a dangling link
// too) is kept (Taken, nothing written) unless `replaceTaken`, which replaces
// the entry itself: a link, not its target.
FileWrite WriteNewFileBytes(const std::string &fileName, ByteView bytes, bool replaceTaken);

// Writes `bytes` into the file `fileName` itself, for a caller that made it
// and reads it back through a descriptor it keeps: the same file, from its
// start, cut to their size, and not flushed. A missing file is made. Only a
// regular file is written: a folder, FIFO, device or socket at the name is
// left as it is, never opened (Taken, with EISDIR for a folder, else
// EINVAL). A symbolic link at the name is not written through: the link
// itself is replaced, as WriteNewFileBytes does. When a step fails the file
// is left empty, or removed if it was made here: never partly written.
FileWrite WriteIntoFile(const std::string &fileName, ByteView bytes);

} // namespace vexillo
