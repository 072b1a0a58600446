#include "formats/outputfolder.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace vexillo {

namespace {

// A folder is held by a path-only handle: it serves the *at calls whatever
// the folder's read permission, and O_NOFOLLOW with O_DIRECTORY refuses a
// symbolic link in its place.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

FileWrite failed(FileWrite::Outcome outcome, int error)
{
    return {outcome, error};
}

// One name in the folder: no '/', not "." or "..".
bool isEntryName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Why the folder `name` (relative to `at`) could not be opened.
TReadError folderError(int at, const std::string &name, int error)
{
    struct stat st {};
    if ((error == ENOTDIR || error == ELOOP) && ::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            return {TReadErrorCode::Io, "a symbolic link, not a folder", 0, ELOOP};
        if (!S_ISDIR(st.st_mode))
            return {TReadErrorCode::Io, "not a folder", 0, ENOTDIR};
    }
    return IoError("cannot open the folder", error);
}

// A new file is linked in from /proc/self/fd; without /proc (a chroot) the
// file is written under a temporary name instead.
bool procAvailable()
{
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

// Gives `make` fresh temporary names (hidden, short enough beside any name)
// until one is free; 0 with the name in `temporary`, or the errno value of
// the first failure other than a taken name.
int withTemporaryName(std::string &temporary, const std::function<int(const std::string &)> &make)
{
    static std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        temporary = ".vexillo-";
        uint64_t bits = random();
        for (int i = 0; i < 10; ++i, bits /= 36)
            temporary += digits[bits % 36];
        error = make(temporary);
    }
    return error;
}

// Copies `size` bytes of `source` to `target`; 0 or the errno value.
int copyBytes(int source, int target, uint64_t size)
{
    uint8_t buffer[65536];
    for (uint64_t done = 0; done < size;) {
        const uint64_t chunk = std::min<uint64_t>(sizeof buffer, size - done);
        errno = 0; // a file that shrank sets none
        if (!ReadAt(source, done, buffer, chunk, nullptr))
            return errno != 0 ? errno : EIO;
        if (!WriteAll(target, buffer, chunk))
            return errno;
        done += chunk;
    }
    return 0;
}

} // namespace

bool TOutputFolder::Open(const std::string &path, TReadError *error)
{
    FFolder.Close();
    FPath = path;
    // The folder's own name without a trailing '/', which would follow a link.
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.empty())
        return Fail(error, IoError("cannot open the folder", ENOENT));
    const std::filesystem::path parent = std::filesystem::path(folder).parent_path();
    std::error_code made;
    if (!parent.empty())
        std::filesystem::create_directories(parent, made);
    if (made)
        return Fail(error, IoError("cannot make the folder", made.value()));
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        return Fail(error, IoError("cannot make the folder", errno));
    FFolder = FileHandle(::open(folder.c_str(), kFolderFlags));
    if (!FFolder)
        return Fail(error, folderError(AT_FDCWD, folder, errno));
    return true;
}

bool TOutputFolder::OpenSubfolder(const std::string &name, TOutputFolder &sub, TReadError *error) const
{
    sub.FFolder.Close();
    sub.FPath = PathOf(name);
    sub.FShared = FShared;
    if (!isEntryName(name))
        return Fail(error, IoError("cannot make the folder", EINVAL));
    if (::mkdirat(FFolder.Get(), name.c_str(), 0777) != 0 && errno != EEXIST)
        return Fail(error, IoError("cannot make the folder", errno));
    sub.FFolder = FileHandle(::openat(FFolder.Get(), name.c_str(), kFolderFlags));
    if (!sub.FFolder)
        return Fail(error, folderError(FFolder.Get(), name, errno));
    return true;
}

std::string TOutputFolder::PathOf(const std::string &name) const
{
    if (FPath.empty() || FPath.back() == '/')
        return FPath + name;
    return FPath + "/" + name;
}

bool TOutputFolder::EntryStatus(const std::string &name, struct stat &status) const
{
    return isEntryName(name) && ::fstatat(FFolder.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

TReadError TOutputFolder::LimitError() const
{
    return FShared->Budget ? FShared->Budget->Refusal() : TReadError{};
}

bool TOutputFolder::Charge(uint64_t bytes)
{
    const TLoadBudgetPtr &budget = FShared->Budget;
    return !budget || (budget->Work(steps::kPerFileMade + steps::kPerByte * bytes, "files written") &&
                       budget->Output(bytes + kOutputBytesPerFile, "files written"));
}

FileWrite TOutputFolder::ReplaceWith(const std::string &from, const std::string &name)
{
    const int folder = FFolder.Get();
    // renameat() puts the new file in the entry's place, a link included.
    if (::renameat(folder, from.c_str(), folder, name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(folder, from.c_str(), 0);
        return failed(FileWrite::CreateFailed, error);
    }
    // A rename between two links to one file does nothing and leaves both:
    // the temporary one goes (when it is gone already, nothing happens).
    ::unlinkat(folder, from.c_str(), 0);
    return {};
}

FileWrite TOutputFolder::CreateFile(const std::string &name, bool replaceTaken, const std::function<int(int)> &fill)
{
    if (!isEntryName(name))
        return failed(FileWrite::CreateFailed, EINVAL);
    const int folder = FFolder.Get();
    struct stat existing {};
    const bool taken = ::fstatat(folder, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (taken && !replaceTaken)
        return failed(FileWrite::Taken, EEXIST);

    // The file is written without a name and linked in once complete; where
    // the file system cannot (or without /proc), under a temporary name.
    std::string temporary;
    int fd = procAvailable() ? ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666) : -1;
    if (fd < 0 && (!procAvailable() || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT)) {
        const int error = withTemporaryName(temporary, [&](const std::string &candidate) {
            fd = ::openat(folder, candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0666);
            return fd < 0 ? errno : 0;
        });
        errno = error;
    }
    if (fd < 0)
        return failed(FileWrite::CreateFailed, errno);
    FileHandle file(fd);
    const auto dropTemporary = [&] {
        if (!temporary.empty())
            ::unlinkat(folder, temporary.c_str(), 0);
    };

    // A replaced regular file keeps its permissions. Only a file that
    // replaces another is flushed first: a new name loses nothing if a crash
    // comes before its bytes reach the disk.
    int error = taken && S_ISREG(existing.st_mode) && ::fchmod(fd, existing.st_mode & 07777) != 0 ? errno : 0;
    if (error == 0)
        error = fill(fd);
    if (error == 0 && taken && ::fsync(fd) != 0)
        error = errno;
    if (error != 0) {
        dropTemporary();
        return failed(FileWrite::WriteFailed, error);
    }

    if (temporary.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const auto linkAs = [&](const std::string &entry) {
            return ::linkat(AT_FDCWD, self.c_str(), folder, entry.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
        };
        if (!replaceTaken) {
            // The link claims the name only if nothing has it, a link planted
            // since the check above included.
            if (const int linked = linkAs(name); linked != 0)
                return failed(linked == EEXIST ? FileWrite::Taken : FileWrite::CreateFailed, linked);
            if (::close(file.Release()) != 0) {
                error = errno;
                ::unlinkat(folder, name.c_str(), 0);
                return failed(FileWrite::WriteFailed, error);
            }
            return {};
        }
        if (const int linked = withTemporaryName(temporary, linkAs); linked != 0)
            return failed(FileWrite::CreateFailed, linked);
    }
    if (::close(file.Release()) != 0) {
        error = errno;
        dropTemporary();
        return failed(FileWrite::WriteFailed, error);
    }
    if (replaceTaken)
        return ReplaceWith(temporary, name);

    // The complete file takes the name only if nothing has it;
    // renameat2(RENAME_NOREPLACE) does that, and where the file system has
    // no such rename (NFS) linkat() refuses a taken name just the same.
    if (::renameat2(folder, temporary.c_str(), folder, name.c_str(), RENAME_NOREPLACE) != 0) {
        error = errno;
        if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP)
            error = ::linkat(folder, temporary.c_str(), folder, name.c_str(), 0) == 0 ? 0 : errno;
        dropTemporary();
        if (error != 0)
            return failed(error == EEXIST ? FileWrite::Taken : FileWrite::CreateFailed, error);
    }
    return {};
}

FileWrite TOutputFolder::WriteFile(const std::string &name, ByteView bytes, bool replaceTaken)
{
    if (!Charge(bytes.size()))
        return failed(FileWrite::LimitReached, 0);
    return CreateFile(name, replaceTaken, [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()) ? 0 : errno; });
}

FileWrite TOutputFolder::LinkFile(const std::string &written, const std::string &name, bool replaceTaken)
{
    if (!isEntryName(written) || !isEntryName(name))
        return failed(FileWrite::CreateFailed, EINVAL);
    if (!Charge(0))
        return failed(FileWrite::LimitReached, 0);
    const int folder = FFolder.Get();
    const auto linkAs = [&](const std::string &entry) {
        return ::linkat(folder, written.c_str(), folder, entry.c_str(), 0) == 0 ? 0 : errno;
    };
    int error = linkAs(name);
    if (error == 0)
        return {};
    if (error == EEXIST) {
        if (!replaceTaken)
            return failed(FileWrite::Taken, EEXIST);
        // A link under a free name, then moved over the taken one.
        std::string temporary;
        error = withTemporaryName(temporary, linkAs);
        if (error == 0)
            return ReplaceWith(temporary, name);
    }
    // A file system without hard links (FAT), or a file with as many as it
    // can have: the bytes are copied instead.
    if (error != EPERM && error != EMLINK && error != EOPNOTSUPP)
        return failed(FileWrite::CreateFailed, error);
    FileHandle source(::openat(folder, written.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (!source)
        return failed(FileWrite::CreateFailed, errno);
    if (::fstat(source.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return failed(FileWrite::CreateFailed, EINVAL);
    return CreateFile(name, replaceTaken,
                      [&](int fd) { return copyBytes(source.Get(), fd, static_cast<uint64_t>(st.st_size)); });
}

FileWrite TOutputFolder::SymlinkFile(const std::string &target, const std::string &name, bool replaceTaken)
{
    if (!isEntryName(target) || !isEntryName(name))
        return failed(FileWrite::CreateFailed, EINVAL);
    if (!Charge(0))
        return failed(FileWrite::LimitReached, 0);
    const int folder = FFolder.Get();
    const auto linkAs = [&](const std::string &entry) {
        return ::symlinkat(target.c_str(), folder, entry.c_str()) == 0 ? 0 : errno;
    };
    int error = linkAs(name);
    if (error == EEXIST && replaceTaken) {
        std::string temporary;
        error = withTemporaryName(temporary, linkAs);
        if (error == 0)
            return ReplaceWith(temporary, name);
    }
    if (error != 0)
        return failed(error == EEXIST ? FileWrite::Taken : FileWrite::CreateFailed, error);
    return {};
}

} // namespace vexillo
