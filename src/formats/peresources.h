// The resources of PE files (PE32 and PE32+ images) read as data: the
// resource directory is walked and single resources are read; nothing is
// executed, mapped or relocated. Only the headers, the section table, the
// resource directory and the resources asked for are read, never the whole
// file, and each part of the directory and each resource is read once.
#pragma once

#include "formats/loadbudget.h"
#include "formats/modulefile.h"
#include "formats/moduleresources.h"
#include "formats/readerror.h"
#include "formats/sharedbytes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexillo {

class PeResources {
public:
    ~PeResources();
    PeResources(const PeResources &) = delete;
    PeResources &operator=(const PeResources &) = delete;

    // Opens a file as a PE image. nullptr when the file can't be opened or
    // read, is not a regular file, or is not a valid PE image; the reason
    // then goes to *error when given.
    static std::unique_ptr<PeResources> Open(const std::string &fileName, TReadError *error = nullptr);
    // The same for a file already opened, which it takes.
    static std::unique_ptr<PeResources> Open(ModuleFile file, TReadError *error = nullptr);

    // Each call below returns its result: no error (Code None) when it
    // succeeded, else why it failed (NotFound for a file without resources
    // or a name that is not there).

    // Calls `callback` for each resource type, in the order the directory
    // stores them (named entries first, then numbered ones); stops when it
    // returns false. Fails when the resource directory is broken (the types
    // reported before stay reported) or the file has no resources.
    [[nodiscard]] TReadError ListTypes(const std::function<bool(const ResourceId &type)> &callback) const;

    // The same for the names (or numbers) of one resource type.
    [[nodiscard]] TReadError ListNames(const ResourceId &type,
                                       const std::function<bool(const ResourceId &name)> &callback) const;

    // The language (a Windows language identifier, 0 for neutral) of the
    // resource ReadShared reads for that type and name: of several languages
    // the neutral one (0), else the first listed. Fails when there is none.
    [[nodiscard]] TReadError Language(const ResourceId &type, const ResourceId &name, uint16_t &language) const;
    // The same, read once per file and shared: every lookup that reaches the
    // same bytes of the file gets the same block. All the distinct bytes
    // handed out this way together may not exceed the file's size (only
    // overlapping resources could), so no file makes the program hold more
    // than the file. With a limit below the resource's size, only its first
    // `limit` bytes are read (a head, as a block of its own); the resource
    // must still lie whole inside the file.
    [[nodiscard]] TReadError ReadShared(const ResourceId &type, const ResourceId &name, SharedBytes &bytes,
                                        uint64_t limit = UINT64_MAX) const;

    // The budget of this file: every read, entry and name above is charged
    // to it, and what is done with the resources (decoding, writing) draws on
    // it too.
    const TLoadBudgetPtr &Budget() const;

    // True for a PE32+ (64-bit) image, false for PE32.
    bool IsPe32Plus() const;

private:
    PeResources() = default;
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vexillo
