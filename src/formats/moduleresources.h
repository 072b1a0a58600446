// The resources of a program module read as data, whatever its format: a
// 32- or 64-bit PE image (PeResources) or a 16-bit NE module or icon library
// (NeResources). Callers ask for types and names as PE numbers them: an NE
// module's integer types answer to the same numbers (RT_GROUP_ICON is 14 in
// both).
#pragma once

#include "formats/loadbudget.h"
#include "formats/modulefile.h"
#include "formats/readerror.h"
#include "formats/sharedbytes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vexillo {

// A resource type or name: a number (1 to 65535) or a name, never a probed
// pointer. Names are UTF-8 here (UTF-16 in the file), at most
// kMaxNameUnits units of it.
struct ResourceId {
    bool IsName = false;
    uint16_t Number = 0;
    std::string Name;
    // Where a listing found it: its place among the entries of its
    // directory, so that a lookup finds that very entry again even where
    // another one answers to the same name (a name "1" beside the number 1,
    // names that differ only in case). -1 when not known.
    int32_t Place = -1;
    // A name that UTF-8 cannot carry (an unpaired surrogate, which Name shows
    // escaped as \uD800, a backslash then as \\): its UTF-16 units as the
    // module keeps them, which a lookup matches exactly. Empty for every other
    // name.
    std::u16string Units;

    static ResourceId FromNumber(uint16_t number) { return {false, number, {}, -1, {}}; }
    static ResourceId FromName(std::string name) { return {true, 0, std::move(name), -1, {}}; }
};

// The UTF-16 units of a name as a listing shows one with an unpaired
// surrogate: \uXXXX a unit, \\ a backslash, any other character its UTF-16
// form. (Such a name's Units.)
std::u16string EscapedNameUnits(std::string_view shown);

// The longest name kept, in UTF-16 units. A longer name is kept as its first
// kMaxNameUnits units (a surrogate pair is not split) followed by
// kNameCutMark, and is found again by that text.
inline constexpr uint16_t kMaxNameUnits = 256;
inline constexpr char kNameCutMark[] = "\u2026";

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
