// Program modules opened as data files, as the module and resource calls of
// kernel32 stand here: LoadLibraryEx with LOAD_LIBRARY_AS_DATAFILE, the
// resource enumerations and FindResource. The work is the module resource
// reader's (PE images and 16-bit NE modules alike); nothing is executed,
// mapped or relocated.
#pragma once

#include "formats/moduleresources.h"
#include "formats/readerror.h"
#include "formats/sharedbytes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexillo {

inline constexpr uint16_t RT_CURSOR = 1;
inline constexpr uint16_t RT_ICON = 3;
inline constexpr uint16_t RT_GROUP_CURSOR = 12;
inline constexpr uint16_t RT_GROUP_ICON = 14;

class TModule;
using HMODULE = TModule *;

class TModule {
public:
    TModule(const TModule &) = delete;
    TModule &operator=(const TModule &) = delete;

    // Opens a file as a data-only module. nullptr when the file can't be
    // opened or read, is not a regular file, or is neither a valid PE image
    // nor an NE module; the reason then goes to *error when given.
    static std::unique_ptr<TModule> LoadAsDataFile(const std::string &fileName, TReadError *error = nullptr);

    // Calls `callback` for each resource type, in the order the directory
    // stores them (named entries first, then numbered ones); stops when it
    // returns false. False when the resource directory is broken (the types
    // reported before stay reported) or the module has no resources.
    bool EnumResourceTypes(const std::function<bool(const ResourceId &type)> &callback) const
    {
        return Note(FResources->ListTypes(callback));
    }

    // The same for the names (or numbers) of one resource type.
    bool EnumResourceNames(const ResourceId &type, const std::function<bool(const ResourceId &name)> &callback) const
    {
        return Note(FResources->ListNames(type, callback));
    }

    // The language of the resource FindResource reads (0 for neutral).
    bool ResourceLanguage(const ResourceId &type, const ResourceId &name, uint16_t &language) const
    {
        return Note(FResources->Language(type, name, language));
    }
    // The bytes of the resource of that type and name (a name matched without
    // regard to ASCII case; with a place, the entry there); of several
    // languages the neutral one (0), else the first listed; read once per
    // module and shared (see PeResources::ReadShared); with a limit, perhaps
    // only the resource's first `limit` bytes. False when there is none, when
    // it lies outside the file, or when reading fails.
    bool FindResource(const ResourceId &type, const ResourceId &name, SharedBytes &bytes,
                      uint64_t limit = UINT64_MAX) const
    {
        return Note(FResources->ReadShared(type, name, bytes, limit));
    }

    // Why the last call above failed (NotFound for a module without
    // resources or a name that is not there); Code None after a success: the
    // platform's last-error value, set from what each call of the reader
    // returns.
    const TReadError &LastError() const { return FLastError; }

    // The budget of the module's file, which everything read from it and done
    // with what was read draws on (see PeResources::Budget).
    const TLoadBudgetPtr &Budget() const { return FResources->Budget(); }

private:
    explicit TModule(std::unique_ptr<ModuleResources> resources) : FResources(std::move(resources)) {}

    // Keeps what a call of the reader returned; true when it succeeded.
    bool Note(TReadError result) const
    {
        FLastError = std::move(result);
        return !FLastError;
    }

    std::unique_ptr<ModuleResources> FResources;
    mutable TReadError FLastError;
};

inline std::unique_ptr<TModule> TModule::LoadAsDataFile(const std::string &fileName, TReadError *error)
{
    std::unique_ptr<ModuleResources> resources = ModuleResources::Open(fileName, error);
    if (!resources)
        return nullptr;
    return std::unique_ptr<TModule>(new TModule(std::move(resources)));
}

} // namespace vexillo
