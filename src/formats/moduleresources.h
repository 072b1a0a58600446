// The resources of a program module read as data, whatever its format: a
// 32- or 64-bit PE image (PeResources) or a 16-bit NE module or icon library
// (NeResources). Callers ask for types and names as PE numbers them: an NE
// module's integer types answer to the same numbers (RT_GROUP_ICON is 14 in
// both).
#pragma once

#include "formats/loadbudget.h"
#include "formats/peresources.h"
#include "formats/readerror.h"
#include "formats/sharedbytes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexillo {

class ModuleResources {
public:
    virtual ~ModuleResources() = default;

    // Opens a file as a PE image or, failing that, as an NE module. nullptr
    // when it is neither or can't be read; the reason then goes to *error
    // (the PE reader's reason for a file that is no NE module either).
    static std::unique_ptr<ModuleResources> Open(const std::string &fileName, TReadError *error = nullptr);
    // The same for a file already opened (ModuleFile::Open), which it takes.
    static std::unique_ptr<ModuleResources> Open(ModuleFile file, TReadError *error = nullptr);

    // "PE32", "PE32+" or "NE".
    virtual const char *FormatName() const = 0;

    // As PeResources describes them: each returns no error (Code None) when
    // it succeeded, else why it failed (NotFound for what is not there).
    [[nodiscard]] virtual TReadError ListTypes(const std::function<bool(const ResourceId &type)> &callback) const = 0;
    [[nodiscard]] virtual TReadError ListNames(const ResourceId &type,
                                               const std::function<bool(const ResourceId &name)> &callback) const = 0;
    [[nodiscard]] virtual TReadError Language(const ResourceId &type, const ResourceId &name,
                                              uint16_t &language) const = 0;
    // Read once per file and shared; a reader may read only the first
    // `limit` bytes (a head), or the whole resource regardless.
    [[nodiscard]] virtual TReadError ReadShared(const ResourceId &type, const ResourceId &name, SharedBytes &bytes,
                                                uint64_t limit) const = 0;
    virtual const TLoadBudgetPtr &Budget() const = 0;

protected:
    ModuleResources() = default;
    ModuleResources(const ModuleResources &) = delete;
    ModuleResources &operator=(const ModuleResources &) = delete;
};

} // namespace vexillo
