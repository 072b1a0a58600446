// What the two module readers (PeResources, NeResources) share: the file
// opened once with its first bytes, handed to whichever reader its new
// header names, and the resources read once per file and shared.
#pragma once

#include "formats/fileio.h"
#include "formats/readerror.h"
#include "formats/readnotes.h"
#include "formats/sharedbytes.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vexillo {

// Largest resource that a module reader hands out by default. Icon images
// and groups are far smaller; the limit keeps a hostile size from making the
// program allocate without need.
inline constexpr uint64_t kMaxResourceSize = 64ull << 20;

// How many of a module's first bytes are read when it is opened: the DOS
// header, the new header and, in most files, the tables after it.
inline constexpr uint64_t kModuleHeadSize = 8192;

// A module file as it is opened: its handle, its size and its first
// min(size, kModuleHeadSize) bytes. The bytes are read once and charged by
// the reader that takes them, as if it had read them itself.
struct ModuleFile {
    FileHandle File;
    uint64_t Size = 0;
    std::vector<uint8_t> Head;
    // The two bytes at the DOS header's e_lfanew when the header is whole
    // and a 64-byte new header fits the file there ("NE", "PE"); else none.
    char NewHeader[2] = {};
    // Where the reader says what it worked around; none when nobody asks.
    // It has to outlive the reader.
    ReadNotes *Notes = nullptr;

    // Opens a regular file and reads its head; false, with the reason in
    // *error, when it can't be opened or read.
    static bool Open(const std::string &fileName, ModuleFile &out, TReadError *error);

    // True when the new header is a 16-bit NE module's.
    bool IsNe() const { return NewHeader[0] == 'N' && NewHeader[1] == 'E'; }
};

// The resources of one module read once and shared: every lookup that reaches
// the same bytes of the file gets the same block. All the distinct blocks
// together may not exceed the file's size: resources lie side by side in a
// module, so only overlapping ones could, and no file makes the program hold
// more than the file.
class SharedResources {
public:
    explicit SharedResources(uint64_t fileSize) : FFileSize(fileSize) {}

    // The block of `size` bytes at `offset` of the file: the one handed out
    // before, else what `read(std::vector<uint8_t> &)` reads (charging the
    // reader's budget; it returns its TReadError), kept for the next lookup.
    template <class ReadFn> TReadError Get(uint64_t offset, uint64_t size, SharedBytes &bytes, ReadFn &&read)
    {
        const auto key = std::make_pair(offset, size);
        if (auto it = FBlocks.find(key); it != FBlocks.end()) {
            bytes = it->second;
            return {};
        }
        if (size > kMaxResourceSize)
            return LimitExceeded("resource size", size, kMaxResourceSize, "bytes");
        if (size > FFileSize - FTotal)
            return LimitExceeded("distinct resource bytes", FTotal + size, FFileSize, "bytes");
        std::vector<uint8_t> buf;
        if (TReadError error = read(buf))
            return error;
        FTotal += size;
        bytes = SharedBytes(std::move(buf));
        FBlocks.emplace(key, bytes);
        return {};
    }

private:
    uint64_t FFileSize;
    uint64_t FTotal = 0;
    std::map<std::pair<uint64_t, uint64_t>, SharedBytes> FBlocks;
};

} // namespace vexillo
