#include "platform/streams.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexillo {

std::string SystemErrorText(int error)
{
    return std::strerror(error);
}

EStreamError::EStreamError(const std::string &text, const std::string &fileName, int error)
    : std::runtime_error(text), FFileName(fileName), FError(error)
{
}

std::string EStreamError::Detail() const
{
    if (FFileName.empty() || FError == 0)
        return what();
    return FFileName + ": " + SystemErrorText(FError);
}

EFCreateError::EFCreateError(const std::string &fileName, const std::string &reason, int error)
    : EStreamError("Cannot create file \"" + fileName + "\". " + reason, fileName, error)
{
}

EWriteError::EWriteError() : EStreamError("Stream write error") {}

EWriteError::EWriteError(const std::string &fileName, int error)
    : EStreamError("Stream write error", fileName, error)
{
}

uint64_t TStream::Position()
{
    const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

uint64_t TStream::Size()
{
    const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    const int64_t end = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return end < 0 ? 0 : static_cast<uint64_t>(end);
}

void TStream::WriteBuffer(const void *buffer, uint64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError();
}

namespace {

// The position that a seek asks for, or -1 when it is negative or overflows.
int64_t seekTarget(int64_t offset, TSeekOrigin origin, uint64_t position, uint64_t size)
{
    int64_t base = 0;
    switch (origin) {
    case TSeekOrigin::soBeginning: base = 0; break;
    case TSeekOrigin::soCurrent: base = static_cast<int64_t>(position); break;
    case TSeekOrigin::soEnd: base = static_cast<int64_t>(size); break;
    }
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0)
        return -1;
    return target;
}

} // namespace

// ---- TMemoryStream -------------------------------------------------------

uint64_t TMemoryStream::Read(void *buffer, uint64_t count)
{
    if (FPosition >= FBytes.size())
        return 0;
    const uint64_t n = std::min<uint64_t>(count, FBytes.size() - FPosition);
    std::memcpy(buffer, FBytes.data() + FPosition, n);
    FPosition += n;
    return n;
}

uint64_t TMemoryStream::Write(const void *buffer, uint64_t count)
{
    if (count == 0)
        return 0;
    if (FPosition > FBytes.max_size() || count > FBytes.max_size() - FPosition)
        return 0;
    const uint64_t end = FPosition + count;
    if (end > FBytes.size())
        FBytes.resize(end);
    std::memcpy(FBytes.data() + FPosition, buffer, count);
    FPosition = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int64_t target = seekTarget(offset, origin, FPosition, FBytes.size());
    if (target >= 0)
        FPosition = static_cast<uint64_t>(target);
    return target < 0 ? -1 : target;
}

// ---- TByteViewStream -----------------------------------------------------

uint64_t TByteViewStream::Read(void *buffer, uint64_t count)
{
    if (FPosition >= FBytes.size())
        return 0;
    const uint64_t n = std::min<uint64_t>(count, FBytes.size() - FPosition);
    FBytes.copyTo(FPosition, buffer, n);
    FPosition += n;
    return n;
}

int64_t TByteViewStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int64_t target = seekTarget(offset, origin, FPosition, FBytes.size());
    if (target >= 0)
        FPosition = static_cast<uint64_t>(target);
    return target < 0 ? -1 : target;
}

// ---- TFileStream ---------------------------------------------------------

TFileStream::~TFileStream()
{
    Close();
}

bool TFileStream::OpenRead(const std::string &fileName)
{
    Close();
    // O_NONBLOCK keeps the open itself from waiting on a FIFO; anything that
    // is not a regular file is then refused.
    FOpenError = {};
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        FOpenError = IoError("cannot open the file", errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        FOpenError = NotRegularFile(st.st_mode);
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FHandle = fd;
    return true;
}

void TFileStream::Close()
{
    if (FHandle >= 0)
        ::close(FHandle);
    FHandle = -1;
}

uint64_t TFileStream::Read(void *buffer, uint64_t count)
{
    if (FHandle < 0)
        return 0;
    uint64_t total = 0;
    auto *out = static_cast<uint8_t *>(buffer);
    while (total < count) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - total, 1u << 30));
        const ssize_t n = ::read(FHandle, out + total, chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += static_cast<uint64_t>(n);
    }
    return total;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (FHandle < 0)
        return -1;
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    const off_t pos = ::lseek(FHandle, static_cast<off_t>(offset), whence);
    return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

// ---- Writing files ---------------------------------------------------------

namespace {

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Writes every byte; false with errno set when that fails.
bool writeAll(int fd, const uint8_t *data, uint64_t size)
{
    uint64_t done = 0;
    while (done < size) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(size - done, 1u << 30));
        const ssize_t n = ::write(fd, data + done, chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<uint64_t>(n);
    }
    return true;
}

// Writes the bytes, flushes them to the disk and closes the file; 0 when all
// went well, else the errno value of the first step that failed. The file is
// closed in either case.
int writeAndClose(int fd, ByteView bytes)
{
    int error = 0;
    if (!writeAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

// A temporary file beside `target` holding the bytes, with the given mode.
// Raises EFCreateError or EWriteError naming `shownName` and removes the
// temporary file when it fails. `createError` receives the errno value when
// the temporary file cannot be created at all (nothing is raised then).
std::string writeTemporary(const std::string &target, ByteView bytes, mode_t mode, const std::string &shownName,
                           int *createError = nullptr)
{
    namespace fs = std::filesystem;
    fs::path folder = fs::path(target).parent_path();
    if (folder.empty())
        folder = ".";
    std::string tempName = (folder / ("." + fs::path(target).filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0) {
        const int error = errno;
        if (createError) {
            *createError = error;
            return {};
        }
        throw EFCreateError(shownName, SystemErrorText(error), error);
    }
    int error = ::fchmod(fd, mode) != 0 ? errno : 0;
    if (error != 0)
        ::close(fd);
    else
        error = writeAndClose(fd, bytes);
    if (error != 0) {
        ::unlink(tempName.c_str());
        throw EWriteError(shownName, error);
    }
    return tempName;
}

// Rewrites an existing regular file's bytes where it is, for a folder that
// takes no new files.
void overwriteInPlace(const std::string &target, ByteView bytes, const std::string &shownName)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        throw EFCreateError(shownName, SystemErrorText(error), error);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EFCreateError(shownName, SystemErrorText(EACCES), EACCES);
    }
    // Room for the new bytes is claimed before the old ones are touched; a
    // file system without fallocate is written without that guard.
    if (bytes.size() > static_cast<uint64_t>(st.st_size) &&
        ::fallocate(fd, 0, 0, static_cast<off_t>(bytes.size())) != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
        const int error = errno;
        ::close(fd);
        throw EWriteError(shownName, error);
    }
    int error = 0;
    if (!writeAll(fd, bytes.data(), bytes.size()) || ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 ||
        ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw EWriteError(shownName, error);
}

} // namespace

void WriteFileReplacing(const std::string &fileName, ByteView bytes)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string shownName = fs::absolute(fs::path(fileName), ec).lexically_normal().string();
    if (ec || shownName.empty())
        shownName = fileName;

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
            throw EFCreateError(shownName, SystemErrorText(EISDIR), EISDIR);
        if (!S_ISREG(existing.st_mode))
            throw EFCreateError(shownName, SystemErrorText(EACCES), EACCES);
        if (::access(target.c_str(), W_OK) != 0) {
            const int error = errno;
            throw EFCreateError(shownName, SystemErrorText(error), error);
        }
    }

    const mode_t mode = exists ? (existing.st_mode & 07777) : (0666 & ~currentUmask());
    int createError = 0;
    const std::string tempName = writeTemporary(target, bytes, mode, shownName, &createError);
    if (tempName.empty()) {
        if (exists && (createError == EACCES || createError == EPERM || createError == EROFS)) {
            overwriteInPlace(target, bytes, shownName);
            return;
        }
        throw EFCreateError(shownName, SystemErrorText(createError), createError);
    }
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempName.c_str());
        throw EFCreateError(shownName, SystemErrorText(error), error);
    }
}

bool WriteNewFile(const std::string &fileName, ByteView bytes, TTakenName taken)
{
    // A taken name is found without following a link at it.
    struct stat existing {};
    const bool exists = ::lstat(fileName.c_str(), &existing) == 0;
    if (exists && taken == TTakenName::Keep)
        return false;
    // A replaced regular file keeps its permissions; anything else gets the
    // ones a new file gets.
    const mode_t mode = exists && S_ISREG(existing.st_mode) ? (existing.st_mode & 07777) : (0666 & ~currentUmask());
    const std::string tempName = writeTemporary(fileName, bytes, mode, fileName);

    if (taken == TTakenName::Replace) {
        // rename() puts the new file in the entry's place, a link included.
        if (::rename(tempName.c_str(), fileName.c_str()) != 0) {
            const int error = errno;
            ::unlink(tempName.c_str());
            throw EFCreateError(fileName, SystemErrorText(error), error);
        }
        return true;
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
        return false;
    if (error != 0)
        throw EFCreateError(fileName, SystemErrorText(error), error);
    return true;
}

} // namespace vexillo
