#include "catalogue/failuretext.h"

#include "catalogue/filenames.h"
#include "formats/filekind.h"

namespace vexillo {

std::string FileFailureText(const std::string &FileName, const TReadError &Error)
{
    if (!Error)
        return "holds no icons";
    // Only a refusal at the first bytes (an empty file is cut short at 0)
    // is told by them.
    const bool atTheStart = Error.Code == TReadErrorCode::NotPeFile || Error.Code == TReadErrorCode::NotIconFile ||
                            (Error.Code == TReadErrorCode::Truncated && Error.Offset == 0);
    std::vector<uint8_t> head;
    if (!atTheStart || !ReadFileHead(FileName, head, nullptr))
        return Error.Text();
    const std::string_view kind = FileKindOf(ByteView(head.data(), head.size()));
    const std::string_view expected = IsIconFile(FileName) ? kKindIconFile : kKindWindowsModule;
    // A file of the expected kind was refused for what lies past its
    // signature: the reader's reason says what.
    if (kind.empty() || kind == expected)
        return Error.Text();
    return std::string(kind) + ", not " + std::string(expected);
}

std::string NoIconFoundText(const std::vector<std::string> &Files, const std::string &Subject, const TReadError &Error)
{
    if (Files.size() == 1 && Error)
        return "No icon found in " + Files[0] + ":\n" + FileFailureText(Files[0], Error);
    return "No icon found in " + Subject + ".";
}

std::string UnreadCountText(int Count)
{
    return std::to_string(Count) + (Count == 1 ? " file" : " files") + " could not be read";
}

} // namespace vexillo
