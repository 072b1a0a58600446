#include "platform/streams.h"

#include "formats/fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
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

EWriteError::EWriteError() : EStreamError("Stream write error")
{
}

EWriteError::EWriteError(const std::string &fileName, int error) : EStreamError("Stream write error", fileName, error)
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

// Moves `position` where a seek asks, unless that is negative or overflows;
// returns the new position, or -1.
int64_t seekInMemory(int64_t offset, TSeekOrigin origin, uint64_t &position, uint64_t size)
{
    const int64_t target = seekTarget(offset, origin, position, size);
    if (target >= 0)
        position = static_cast<uint64_t>(target);
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
    return seekInMemory(offset, origin, FPosition, FBytes.size());
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
    return seekInMemory(offset, origin, FPosition, FBytes.size());
}

// ---- TFileStream ---------------------------------------------------------

TFileStream::~TFileStream()
{
    Close();
}

bool TFileStream::OpenRead(const std::string &fileName)
{
    Close();
    FOpenError = {};
    FHandle = OpenRegularFile(fileName, &FOpenError).Release();
    return FHandle >= 0;
}

void TFileStream::Close()
{
    FileHandle(FHandle).Close();
    FHandle = -1;
    FPosition = 0;
    FBuffer.clear();
    FBufferStart = 0;
}

namespace {

// Reads up to `length` bytes at `offset`, retrying when a signal interrupts;
// how many arrived (fewer at the end of the file or on an error).
uint64_t ReadSome(int fd, uint64_t offset, uint8_t *out, uint64_t length)
{
    uint64_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd, out + done, std::min<uint64_t>(length - done, 1u << 30), static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<uint64_t>(n);
    }
    return done;
}

} // namespace

uint64_t TFileStream::Read(void *buffer, uint64_t count)
{
    if (FHandle < 0)
        return 0;
    auto *out = static_cast<uint8_t *>(buffer);
    const bool buffered = FPosition >= FBufferStart && FPosition - FBufferStart < FBuffer.size();
    if (!buffered && count < kBufferSize) {
        // The bytes from here on, as many as the file still has.
        FBuffer.resize(kBufferSize);
        FBufferStart = FPosition;
        FBuffer.resize(ReadSome(FHandle, FPosition, FBuffer.data(), kBufferSize));
    }
    uint64_t done = 0;
    if (FPosition >= FBufferStart && FPosition - FBufferStart < FBuffer.size()) {
        done = std::min<uint64_t>(count, FBuffer.size() - (FPosition - FBufferStart));
        std::memcpy(out, FBuffer.data() + (FPosition - FBufferStart), done);
    }
    // What the buffer does not hold is read straight from the file.
    done += ReadSome(FHandle, FPosition + done, out + done, count - done);
    FPosition += done;
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    if (FHandle < 0)
        return -1;
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) {
        base = static_cast<int64_t>(FPosition);
    } else if (origin == TSeekOrigin::soEnd) {
        struct stat st {};
        if (::fstat(FHandle, &st) != 0)
            return -1;
        base = static_cast<int64_t>(st.st_size);
    }
    if ((offset < 0 && base < -offset) || (offset > 0 && base > INT64_MAX - offset))
        return -1;
    FPosition = static_cast<uint64_t>(base + offset);
    return static_cast<int64_t>(FPosition);
}

// ---- Writing files ---------------------------------------------------------

namespace {

// Raises the stream error that a failed write stands for, naming the file.
[[noreturn]] void raiseFor(const FileWrite &write, const std::string &shownName)
{
    if (write.Result == FileWrite::WriteFailed)
        throw EWriteError(shownName, write.Error);
    throw EFCreateError(shownName, SystemErrorText(write.Error), write.Error);
}

} // namespace

void WriteFileReplacing(const std::string &fileName, ByteView bytes)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string shownName = fs::absolute(fs::path(fileName), ec).lexically_normal().string();
    if (ec || shownName.empty())
        shownName = fileName;
    if (const FileWrite write = WriteFileReplacingBytes(fileName, bytes); !write)
        raiseFor(write, shownName);
}

bool WriteNewFile(const std::string &fileName, ByteView bytes, TTakenName taken)
{
    const FileWrite write = WriteNewFileBytes(fileName, bytes, taken == TTakenName::Replace);
    if (write.Result == FileWrite::Taken)
        return false;
    if (!write)
        raiseFor(write, fileName);
    return true;
}

} // namespace vexillo
