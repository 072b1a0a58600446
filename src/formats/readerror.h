// Why a reader gave up on a file: a code that programs can test and a text
// that tells a person what was wrong and where. The readers keep their plain
// results (false, nullptr, an empty list) and report this beside them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexillo {

enum class TReadErrorCode {
    None,
    Io,            // the system refused to open or read the file
    NotPeFile,     // not a PE image: no MZ or PE signature, unknown header
    NotIconFile,   // the header is not an icon file's or an icon group's
    Truncated,     // the data ends before what the file names
    Corrupt,       // a structure that cannot be right (an offset outside its area)
    ResourceLoop,  // a resource directory that points back up
    LimitExceeded, // a named limit of the program
    NotFound,      // the resource, group or image named is not there
    BadImage,      // image bytes that do not decode
    OutOfMemory,   // the system refused memory the load needed
};

struct TReadError {
    TReadErrorCode Code = TReadErrorCode::None;
    // The particulars: the system's reason, what was cut short, the limit's
    // name and value.
    std::string Detail;
    // Where in the file, for Truncated, Corrupt and ResourceLoop.
    uint64_t Offset = 0;
    // The system's error number, for Io.
    int Errno = 0;

    explicit operator bool() const { return Code != TReadErrorCode::None; }
    // The text for a person: "truncated at offset 1234 (image 2)".
    std::string Text() const;
};

// "cannot open the file: No such file or directory".
TReadError IoError(std::string_view action, int error);
// A folder, FIFO, device or socket where a file was expected.
TReadError NotRegularFile(unsigned mode);
TReadError NotPeFile(std::string detail);
TReadError NotIconFile(std::string detail);
TReadError Truncated(uint64_t offset, std::string what);
TReadError Corrupt(uint64_t offset, std::string what);
TReadError ResourceLoop(uint64_t offset);
// "limit exceeded: resource size (70000000 bytes, at most 67108864)".
TReadError LimitExceeded(std::string_view limit, uint64_t value, uint64_t maximum, std::string_view unit);
TReadError NotFound(std::string what);
TReadError BadImage(std::string why);
// A failed allocation: the system had less memory than the load's budget.
TReadError OutOfMemory();

// Sets *to (when given) and returns false, so a reader can write
// `return Fail(error, Truncated(...));`.
inline bool Fail(TReadError *to, TReadError error)
{
    if (to)
        *to = std::move(error);
    return false;
}

} // namespace vexillo
