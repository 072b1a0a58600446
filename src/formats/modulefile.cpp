#include "formats/modulefile.h"

#include "formats/byteview.h"

#include <algorithm>

namespace vexillo {

namespace {

constexpr uint64_t kDosHeaderSize = 0x40;
constexpr uint64_t kNewHeaderField = 0x3C; // e_lfanew
constexpr uint64_t kNewHeaderSize = 0x40;

} // namespace

bool ModuleFile::Open(const std::string &fileName, ModuleFile &out, TReadError *error)
{
    out.File = OpenRegularFile(fileName, error, &out.Size);
    if (!out.File)
        return false;
    out.Head.resize(std::min(out.Size, kModuleHeadSize));
    if (!ReadAt(out.File.Get(), 0, out.Head.data(), out.Head.size(), error))
        return false;
    static constexpr uint8_t kMz[] = {'M', 'Z'};
    const ByteView head(out.Head.data(), out.Head.size());
    uint32_t newAt = 0;
    if (!head.startsWith(kMz, sizeof kMz) || !head.readU32(kNewHeaderField, newAt) || head.size() < kDosHeaderSize ||
        newAt >= out.Size || out.Size - newAt < kNewHeaderSize)
        return true;
    // A new header past the head (rare) costs one small read more.
    uint8_t signature[2] = {};
    if (!head.readU8(newAt, signature[0]) || !head.readU8(newAt + 1, signature[1])) {
        TReadError ignored;
        if (!ReadAt(out.File.Get(), newAt, signature, sizeof signature, &ignored))
            return true;
    }
    out.NewHeader[0] = static_cast<char>(signature[0]);
    out.NewHeader[1] = static_cast<char>(signature[1]);
    return true;
}

} // namespace vexillo
