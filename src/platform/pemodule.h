// Program modules (PE32 and PE32+ images) opened as data files: the resource
// directory is walked and single resources are read, nothing is executed,
// mapped or relocated. Only the headers, the section table, the resource
// directory and the resources asked for are read, never the whole file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexillo {

// A resource type or name: a number (1 to 65535) or a name, never a probed
// pointer. Names are UTF-8 here (UTF-16 in the file).
struct ResourceId {
    bool IsName = false;
    uint16_t Number = 0;
    std::string Name;

    static ResourceId FromNumber(uint16_t number) { return {false, number, {}}; }
    static ResourceId FromName(std::string name) { return {true, 0, std::move(name)}; }
};

inline constexpr uint16_t RT_ICON = 3;
inline constexpr uint16_t RT_GROUP_ICON = 14;

// Largest resource that FindResource hands out by default. Icon images and
// groups are far smaller; the limit keeps a hostile size from making the
// program allocate without need.
inline constexpr uint64_t kMaxResourceSize = 64ull << 20;

class TModule;
using HMODULE = TModule *;

class TModule {
public:
    ~TModule();
    TModule(const TModule &) = delete;
    TModule &operator=(const TModule &) = delete;

    // Opens a file as a data-only module. nullptr when the file can't be
    // opened or read, is not a regular file, or is not a valid PE image.
    static std::unique_ptr<TModule> LoadAsDataFile(const std::string &fileName);

    // Calls `callback` for each resource type, in the order the directory
    // stores them (named entries first, then numbered ones); stops when it
    // returns false. False when the resource directory is broken (the types
    // reported before stay reported) or the module has no resources.
    bool EnumResourceTypes(const std::function<bool(const ResourceId &type)> &callback) const;

    // The same for the names (or numbers) of one resource type.
    bool EnumResourceNames(const ResourceId &type,
                           const std::function<bool(const ResourceId &name)> &callback) const;

    // The bytes of the resource of that type and name (a name matched without
    // regard to ASCII case); of several languages the neutral one (0), else
    // the first listed. False when there is none, when it lies outside the
    // file, when it is larger than maxSize, or when reading fails.
    bool FindResource(const ResourceId &type, const ResourceId &name, std::vector<uint8_t> &bytes,
                      uint64_t maxSize = kMaxResourceSize) const;

private:
    TModule() = default;
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vexillo
