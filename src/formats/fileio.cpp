#include "formats/fileio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexillo {

FileHandle &FileHandle::operator=(FileHandle &&other) noexcept
{
    if (this != &other) {
        Close();
        FFd = other.FFd;
        other.FFd = -1;
    }
    return *this;
}

void FileHandle::Close()
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
}

FileHandle OpenRegularFile(const std::string &path, TReadError *error, uint64_t *size)
{
    // O_NONBLOCK keeps the open itself from waiting on a FIFO; anything that
    // is not a regular file is then refused.
    FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file) {
        Fail(error, IoError("cannot open the file", errno));
        return {};
    }
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) {
        Fail(error, IoError("cannot read the file", errno));
        return {};
    }
    if (!S_ISREG(st.st_mode) || st.st_size < 0) {
        Fail(error, NotRegularFile(st.st_mode));
        return {};
    }
    // O_NONBLOCK has no effect on a regular file's reads; it stays set.
    if (size)
        *size = static_cast<uint64_t>(st.st_size);
    return file;
}

namespace {

// Moves `length` bytes by calls of `io(done, chunk)`, each for at most 1 GiB
// of what is left (read and write take no more at once), until all have
// moved or a call returns 0 or fails (a call interrupted by a signal is made
// again). Returns the bytes moved; `last` is what the last call returned.
template <typename Io> uint64_t MoveInChunks(uint64_t length, Io io, ssize_t &last)
{
    uint64_t done = 0;
    while (done < length) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(length - done, 1u << 30));
        const ssize_t n = io(done, chunk);
        if (n < 0 && errno == EINTR)
            continue;
        last = n;
        if (n <= 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    return done;
}

} // namespace

int64_t ReadUpTo(int fd, void *buffer, uint64_t length)
{
    auto *out = static_cast<uint8_t *>(buffer);
    ssize_t last = 0;
    const uint64_t total = MoveInChunks(
        length, [&](uint64_t done, size_t chunk) { return ::read(fd, out + done, chunk); }, last);
    return last < 0 && total == 0 ? -1 : static_cast<int64_t>(total);
}

bool ReadAt(int fd, uint64_t offset, void *buffer, uint64_t length, TReadError *error)
{
    auto *out = static_cast<uint8_t *>(buffer);
    ssize_t last = 0;
    const uint64_t done = MoveInChunks(
        length,
        [&](uint64_t at, size_t chunk) { return ::pread(fd, out + at, chunk, static_cast<off_t>(offset + at)); }, last);
    if (done == length)
        return true;
    if (last < 0)
        return Fail(error, IoError("cannot read the file", errno));
    return Fail(error, Truncated(offset + done, "the file shrank while it was read"));
}

bool ReadWholeFile(const std::string &path, uint64_t maxSize, std::vector<uint8_t> &bytes, TReadError *error,
                   TLoadBudgetPtr *budget)
{
    uint64_t size = 0;
    FileHandle file = OpenRegularFile(path, error, &size);
    if (!file)
        return false;
    if (budget)
        *budget = TLoadBudget::ForOpenFile(file.Get(), size);
    if (size > maxSize)
        return Fail(error, LimitExceeded("file size", size, maxSize, "bytes"));
    // One byte more than the size is asked for, so that a file that grew
    // since is noticed and refused.
    bytes.resize(size + 1);
    const int64_t n = ReadUpTo(file.Get(), bytes.data(), bytes.size());
    if (n < 0) {
        bytes.clear();
        return Fail(error, IoError("cannot read the file", errno));
    }
    bytes.resize(static_cast<size_t>(n));
    if (bytes.size() > maxSize)
        return Fail(error, LimitExceeded("file size", bytes.size(), maxSize, "bytes"));
    return true;
}

bool WriteAll(int fd, const void *data, uint64_t size)
{
    const auto *bytes = static_cast<const uint8_t *>(data);
    ssize_t last = 0;
    if (MoveInChunks(
            size, [&](uint64_t done, size_t chunk) { return ::write(fd, bytes + done, chunk); }, last) == size)
        return true;
    if (last == 0)
        errno = EIO;
    return false;
}

namespace {

// The process's file mode mask, read once: umask() can only be read by
// setting it.
mode_t currentUmask()
{
    static const mode_t mask = [] {
        const mode_t current = ::umask(0);
        ::umask(current);
        return current;
    }();
    return mask;
}

FileWrite failed(FileWrite::Outcome outcome, int error)
{
    return {outcome, error};
}

// Writes the bytes, flushes them to the disk when `flush` and closes the file;
// 0 when all went well, else the errno value of the first step that failed.
// The file is closed in either case.
int writeAndClose(int fd, ByteView bytes, bool flush)
{
    int error = 0;
    if (!WriteAll(fd, bytes.data(), bytes.size()) || (flush && ::fsync(fd) != 0))
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

// The name of a temporary file beside the file `name`, for mkstemp: ".",
// the name, ".XXXXXX", the name cut short (at a character's start, for
// UTF-8) where the whole would pass the longest name a folder takes.
std::string temporaryNameFor(const std::string &name)
{
    static constexpr size_t kAround = 8; // "." and ".XXXXXX"
    size_t kept = std::min(name.size(), static_cast<size_t>(NAME_MAX) - kAround);
    while (kept > 0 && kept < name.size() && (static_cast<uint8_t>(name[kept]) & 0xC0) == 0x80)
        --kept;
    return "." + name.substr(0, kept) + ".XXXXXX";
}

// A temporary file beside `target` holding the bytes, with the given mode;
// its name goes to `tempName`. The bytes reach the disk before it returns
// when `flush` (a file about to replace another must not leave an empty one
// behind after a crash). When it fails the temporary file is gone.
FileWrite writeTemporary(const std::string &target, ByteView bytes, mode_t mode, std::string &tempName, bool flush)
{
    namespace fs = std::filesystem;
    fs::path folder = fs::path(target).parent_path();
    if (folder.empty())
        folder = ".";
    tempName = (folder / temporaryNameFor(fs::path(target).filename().string())).string();
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0)
        return failed(FileWrite::CreateFailed, errno);
    int error = ::fchmod(fd, mode) != 0 ? errno : 0;
    if (error != 0)
        ::close(fd);
    else
        error = writeAndClose(fd, bytes, flush);
    if (error != 0) {
        ::unlink(tempName.c_str());
        return failed(FileWrite::WriteFailed, error);
    }
    return {};
}

// Rewrites an existing regular file's bytes where it is, for a folder that
// takes no new files.
FileWrite overwriteInPlace(const std::string &target, ByteView bytes)
{
    FileHandle file(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK));
    if (!file)
        return failed(FileWrite::CreateFailed, errno);
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return failed(FileWrite::CreateFailed, EACCES);
    // Room for the new bytes is claimed before the old ones are touched; a
    // file system without fallocate is written without that guard.
    if (bytes.size() > static_cast<uint64_t>(st.st_size) &&
        ::fallocate(file.Get(), 0, 0, static_cast<off_t>(bytes.size())) != 0 && errno != EOPNOTSUPP && errno != ENOSYS)
        return failed(FileWrite::WriteFailed, errno);
    if (!WriteAll(file.Get(), bytes.data(), bytes.size()) ||
        ::ftruncate(file.Get(), static_cast<off_t>(bytes.size())) != 0 || ::fsync(file.Get()) != 0)
        return failed(FileWrite::WriteFailed, errno);
    if (::close(file.Release()) != 0)
        return failed(FileWrite::WriteFailed, errno);
    return {};
}

} // namespace

FileWrite WriteFileReplacingBytes(const std::string &fileName, ByteView bytes)
{
    // Writing through a symbolic link replaces the file it points to, as
    // writing into the link would.
    std::string target = fileName;
    if (char *resolved = ::realpath(fileName.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists) {
        if (S_ISDIR(existing.st_mode))
            return failed(FileWrite::CreateFailed, EISDIR);
        if (!S_ISREG(existing.st_mode))
            return failed(FileWrite::CreateFailed, EACCES);
        if (::access(target.c_str(), W_OK) != 0)
            return failed(FileWrite::CreateFailed, errno);
    }

    const mode_t mode = exists ? (existing.st_mode & 07777) : (0666 & ~currentUmask());
    std::string tempName;
    const FileWrite temporary = writeTemporary(target, bytes, mode, tempName, true);
    if (temporary.Result == FileWrite::CreateFailed && exists &&
        (temporary.Error == EACCES || temporary.Error == EPERM || temporary.Error == EROFS))
        return overwriteInPlace(target, bytes);
    if (!temporary)
        return temporary;
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempName.c_str());
        return failed(FileWrite::CreateFailed, error);
    }
    return {};
}

namespace {

// Writes a new file as a file without a name that is then linked in under
// `fileName`: the name appears with every byte in place or not at all, and a
// taken name (anything, a planted link too) is refused by the link itself.
// Nothing written (NotSupported) where the file system or /proc cannot do it.
enum class UnnamedWrite { Done, Taken, NotSupported, Failed };
UnnamedWrite writeUnnamed(const std::string &fileName, ByteView bytes, FileWrite &failure)
{
    namespace fs = std::filesystem;
    fs::path folder = fs::path(fileName).parent_path();
    if (folder.empty())
        folder = ".";
    FileHandle file(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!file)
        return UnnamedWrite::NotSupported; // the temporary-file way then says what is wrong
    if (!WriteAll(file.Get(), bytes.data(), bytes.size())) {
        failure = failed(FileWrite::WriteFailed, errno);
        return UnnamedWrite::Failed;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(file.Get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, fileName.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        const int error = errno;
        if (error == EEXIST)
            return UnnamedWrite::Taken;
        if (error == ENOENT && !fs::exists("/proc/self/fd"))
            return UnnamedWrite::NotSupported;
        failure = failed(FileWrite::CreateFailed, error);
        return UnnamedWrite::Failed;
    }
    if (::close(file.Release()) != 0) {
        failure = failed(FileWrite::WriteFailed, errno);
        return UnnamedWrite::Failed;
    }
    return UnnamedWrite::Done;
}

} // namespace

FileWrite WriteNewFileBytes(const std::string &fileName, ByteView bytes, bool replaceTaken)
{
    if (!replaceTaken) {
        FileWrite failure;
        switch (writeUnnamed(fileName, bytes, failure)) {
        case UnnamedWrite::Done: return {};
        case UnnamedWrite::Taken: return failed(FileWrite::Taken, EEXIST);
        case UnnamedWrite::Failed: return failure;
        case UnnamedWrite::NotSupported: break; // the temporary file below
        }
    }
    // A taken name is found without following a link at it.
    struct stat existing {};
    const bool exists = ::lstat(fileName.c_str(), &existing) == 0;
    if (exists && !replaceTaken)
        return failed(FileWrite::Taken, EEXIST);
    // A replaced regular file keeps its permissions; anything else gets the
    // ones a new file gets.
    const mode_t mode = exists && S_ISREG(existing.st_mode) ? (existing.st_mode & 07777) : (0666 & ~currentUmask());
    std::string tempName;
    // Only a file that replaces another is flushed first: a new name loses
    // nothing if a crash comes before its bytes reach the disk.
    if (const FileWrite temporary = writeTemporary(fileName, bytes, mode, tempName, exists); !temporary)
        return temporary;

    if (replaceTaken) {
        // rename() puts the new file in the entry's place, a link included.
        if (::rename(tempName.c_str(), fileName.c_str()) != 0) {
            const int error = errno;
            ::unlink(tempName.c_str());
            return failed(FileWrite::CreateFailed, error);
        }
        return {};
    }

    // The complete file takes the name only if nothing has it: the name is
    // claimed and filled in one step, so no one sees a partial file and a
    // name taken since the check above (a link planted in a shared folder)
    // is never written through. renameat2(RENAME_NOREPLACE) does that; on a
    // file system without it (NFS), link() refuses a taken name just the same.
    int error = 0;
    if (::renameat2(AT_FDCWD, tempName.c_str(), AT_FDCWD, fileName.c_str(), RENAME_NOREPLACE) != 0) {
        error = errno;
        if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP)
            error = ::link(tempName.c_str(), fileName.c_str()) == 0 ? 0 : errno;
        ::unlink(tempName.c_str());
    }
    if (error == EEXIST)
        return failed(FileWrite::Taken, EEXIST);
    if (error != 0)
        return failed(FileWrite::CreateFailed, error);
    return {};
}

namespace {

// The bytes moved into an open file from its start, the file cut to their
// size; 0, or the errno value of the step that failed. Room for them is
// claimed first where the file system allows, so that a full disk is
// mostly found before a byte is written.
int fillFrom(int fd, ByteView bytes, uint64_t oldSize)
{
    if (bytes.size() > oldSize && ::fallocate(fd, 0, 0, static_cast<off_t>(bytes.size())) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        return errno;
    ssize_t last = 0;
    const uint64_t done = MoveInChunks(
        bytes.size(),
        [&](uint64_t at, size_t chunk) { return ::pwrite(fd, bytes.data() + at, chunk, static_cast<off_t>(at)); },
        last);
    if (done != bytes.size())
        return last == 0 ? EIO : errno;
    return ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 ? errno : 0;
}

// Empties a file after a failed write, so that no partial picture is read;
// a failure here leaves nothing more to try.
void emptyAsFarAsItCan(int fd)
{
    [[maybe_unused]] const int ignored = ::ftruncate(fd, 0);
}

} // namespace

FileWrite WriteIntoFile(const std::string &fileName, ByteView bytes)
{
    struct stat seen {};
    const bool exists = ::lstat(fileName.c_str(), &seen) == 0;
    if (!exists && errno != ENOENT)
        return failed(FileWrite::CreateFailed, errno);
    if (exists && S_ISLNK(seen.st_mode))
        return WriteNewFileBytes(fileName, bytes, true);
    if (exists && !S_ISREG(seen.st_mode))
        return failed(FileWrite::Taken, S_ISDIR(seen.st_mode) ? EISDIR : EINVAL);

    // O_NOFOLLOW and O_EXCL refuse a link or a file put at the name since;
    // O_NONBLOCK keeps the open from waiting on a FIFO put there, which the
    // look at the open file then refuses.
    const int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK | (exists ? 0 : O_CREAT | O_EXCL);
    FileHandle file(::open(fileName.c_str(), flags, 0666));
    if (!file)
        return failed(FileWrite::CreateFailed, errno);
    struct stat opened {};
    if (::fstat(file.Get(), &opened) != 0)
        return failed(FileWrite::CreateFailed, errno);
    if (!S_ISREG(opened.st_mode) || (exists && (opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino)))
        return failed(FileWrite::Taken, S_ISDIR(opened.st_mode) ? EISDIR : EINVAL);

    int error = fillFrom(file.Get(), bytes, static_cast<uint64_t>(opened.st_size));
    if (error != 0)
        emptyAsFarAsItCan(file.Get());
    if (::close(file.Release()) != 0 && error == 0) {
        // The bytes may not have reached the file: it is emptied through a
        // new descriptor, if the name still holds it.
        error = errno;
        FileHandle again(::open(fileName.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK));
        struct stat st {};
        if (again && ::fstat(again.Get(), &st) == 0 && st.st_dev == opened.st_dev && st.st_ino == opened.st_ino)
            emptyAsFarAsItCan(again.Get());
    }
    if (error == 0)
        return {};
    // Nothing partial stays: the file is empty, and gone if it was made here
    // (and the name still holds it).
    struct stat now {};
    if (!exists && ::lstat(fileName.c_str(), &now) == 0 && now.st_dev == opened.st_dev && now.st_ino == opened.st_ino)
        ::unlink(fileName.c_str());
    return failed(FileWrite::WriteFailed, error);
}

} // namespace vexillo
