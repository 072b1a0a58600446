#include "formats/readerror.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace vexillo {

std::string TReadError::Text() const
{
    auto withDetail = [this](const std::string &text) { return Detail.empty() ? text : text + " (" + Detail + ")"; };
    switch (Code) {
    case TReadErrorCode::None: return "no error";
    case TReadErrorCode::Io: return Detail;
    case TReadErrorCode::NotPeFile: return withDetail("not a Windows program or library");
    case TReadErrorCode::NotIconFile: return withDetail("not an icon file");
    case TReadErrorCode::Truncated: return withDetail("truncated at offset " + std::to_string(Offset));
    case TReadErrorCode::Corrupt: return withDetail("corrupt at offset " + std::to_string(Offset));
    case TReadErrorCode::ResourceLoop: return "resource loop at offset " + std::to_string(Offset);
    case TReadErrorCode::LimitExceeded: return "limit exceeded: " + Detail;
    case TReadErrorCode::NotFound: return "no " + Detail;
    case TReadErrorCode::BadImage: return withDetail("the image does not decode");
    case TReadErrorCode::OutOfMemory: return "out of memory";
    }
    return Detail;
}

TReadError IoError(std::string_view action, int error)
{
    return {TReadErrorCode::Io, std::string(action) + ": " + std::strerror(error), 0, error};
}

TReadError NotRegularFile(unsigned mode)
{
    return {TReadErrorCode::Io, S_ISDIR(mode) ? "a folder, not a file" : "not a regular file", 0,
            S_ISDIR(mode) ? EISDIR : EINVAL};
}

TReadError NotPeFile(std::string detail)
{
    return {TReadErrorCode::NotPeFile, std::move(detail), 0};
}

TReadError NotIconFile(std::string detail)
{
    return {TReadErrorCode::NotIconFile, std::move(detail), 0};
}

TReadError Truncated(uint64_t offset, std::string what)
{
    return {TReadErrorCode::Truncated, std::move(what), offset};
}

TReadError Corrupt(uint64_t offset, std::string what)
{
    return {TReadErrorCode::Corrupt, std::move(what), offset};
}

TReadError ResourceLoop(uint64_t offset)
{
    return {TReadErrorCode::ResourceLoop, {}, offset};
}

TReadError LimitExceeded(std::string_view limit, uint64_t value, uint64_t maximum, std::string_view unit)
{
    return {TReadErrorCode::LimitExceeded,
            std::string(limit) + " (" + std::to_string(value) + " " + std::string(unit) + ", at most " +
                std::to_string(maximum) + ")",
            0};
}

TReadError NotFound(std::string what)
{
    return {TReadErrorCode::NotFound, std::move(what), 0};
}

TReadError BadImage(std::string why)
{
    return {TReadErrorCode::BadImage, std::move(why), 0};
}

TReadError OutOfMemory()
{
    return {TReadErrorCode::OutOfMemory, {}, 0};
}

} // namespace vexillo
