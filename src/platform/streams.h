// Streams of bytes: the framework's stream classes as the icon library uses
// them, and the one way files are written (complete or not at all).
#pragma once

#include "formats/byteview.h"
#include "formats/loadbudget.h"
#include "formats/readerror.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexillo {

// Errors that the writers raise; their texts are shown to the user as they are.
// The file and the system's reason travel alongside for a command line.
class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    EStreamError(const std::string &text, const std::string &fileName, int error);

    // The file the error is about; empty when it is not known.
    const std::string &FileName() const { return FFileName; }
    // The errno value behind the error; 0 when there is none.
    int ErrorCode() const { return FError; }
    // "FILE: reason" (the system's text for ErrorCode); what() when the file
    // or the reason is not known.
    std::string Detail() const;

private:
    std::string FFileName;
    int FError = 0;
};

// "Cannot create file "%s". %s": the file could not be created.
class EFCreateError : public EStreamError {
public:
    EFCreateError(const std::string &fileName, const std::string &reason, int error = 0);
};

// "Stream write error": not every byte could be written.
class EWriteError : public EStreamError {
public:
    EWriteError();
    EWriteError(const std::string &fileName, int error);
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many arrived.
    virtual uint64_t Read(void *buffer, uint64_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual uint64_t Write(const void *buffer, uint64_t count) = 0;
    // Moves the position; returns the new one, or -1 when it cannot move there
    // (the position then stays).
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    uint64_t Position();
    uint64_t Size();
    // The budget of a load of what the stream holds, sized from it: for a
    // file, the one that every load of that file shares (see loadbudget.h).
    virtual TLoadBudgetPtr LoadBudget() { return TLoadBudget::ForFile(Size()); }

    // Reads exactly count bytes; false when the stream ends first.
    bool ReadExact(void *buffer, uint64_t count) { return Read(buffer, count) == count; }
    // Writes every byte or raises EWriteError.
    void WriteBuffer(const void *buffer, uint64_t count);
};

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
    uint64_t Read(void *buffer, uint64_t count) override;
    uint64_t Write(const void *buffer, uint64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

    const std::vector<uint8_t> &Bytes() const { return FBytes; }

private:
    std::vector<uint8_t> FBytes;
    uint64_t FPosition = 0;
};

// A read-only stream over bytes owned by someone else (a resource's bytes).
class TByteViewStream : public TStream {
public:
    explicit TByteViewStream(ByteView bytes) : FBytes(bytes) {}
    uint64_t Read(void *buffer, uint64_t count) override;
    uint64_t Write(const void *, uint64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    ByteView FBytes;
    uint64_t FPosition = 0;
};

// A file opened for reading. Only regular files are opened: a FIFO or a
// device could block the program forever. Small reads are served from a
// buffer of the file read ahead, and the position is kept here, so that a
// directory of thousands of entries costs a few system calls, not several
// for each entry.
class TFileStream : public TStream {
public:
    TFileStream() = default;
    ~TFileStream() override;
    TFileStream(const TFileStream &) = delete;
    TFileStream &operator=(const TFileStream &) = delete;

    bool OpenRead(const std::string &fileName);
    bool IsOpen() const { return FHandle >= 0; }
    // Why the last OpenRead failed.
    const TReadError &OpenError() const { return FOpenError; }
    void Close();

    uint64_t Read(void *buffer, uint64_t count) override;
    uint64_t Write(const void *, uint64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    TLoadBudgetPtr LoadBudget() override { return TLoadBudget::ForOpenFile(FHandle, Size()); }

private:
    static constexpr uint64_t kBufferSize = uint64_t{64} * 1024;

    int FHandle = -1;
    TReadError FOpenError;
    uint64_t FPosition = 0;
    std::vector<uint8_t> FBuffer;
    uint64_t FBufferStart = 0;
};

// Writes `bytes` as the file `fileName`, replacing an existing file only once
// every byte has been written: the bytes go to a temporary file in the same
// folder that then takes the file's place. Raises EFCreateError when the file
// cannot be created and EWriteError when the bytes cannot all be written; in
// both cases a file that was there stays as it was.
//
// When the folder takes no new files (no write permission, or a read-only
// mount) but the existing file itself is writable, the file is rewritten in
// place instead: its space is reserved first where the file system allows,
// so that a full disk is found before a byte changes, but a failure after
// that can leave the file damaged.
void WriteFileReplacing(const std::string &fileName, ByteView bytes);
inline void WriteFileReplacing(const std::string &fileName, const std::vector<uint8_t> &bytes)
{
    WriteFileReplacing(fileName, ByteView(bytes.data(), bytes.size()));
}

// What WriteNewFile does with a name that is already taken.
enum class TTakenName {
    Keep,    // leave it alone and write nothing
    Replace, // replace the entry itself: a symbolic link, not its target
};

// Writes `bytes` as the directory entry `fileName`, complete or not at all,
// and never through a symbolic link: the bytes go to a temporary file in the
// same folder, which is then moved to the name. Returns false, having written
// nothing, when the name exists (as anything, a dangling link too) and
// `taken` is Keep. Raises EFCreateError or EWriteError, both naming
// `fileName` as given, with the system's reason.
bool WriteNewFile(const std::string &fileName, ByteView bytes, TTakenName taken);
inline bool WriteNewFile(const std::string &fileName, const std::vector<uint8_t> &bytes, TTakenName taken)
{
    return WriteNewFile(fileName, ByteView(bytes.data(), bytes.size()), taken);
}

// The system's text for an errno value.
std::string SystemErrorText(int error);

} // namespace vexillo
