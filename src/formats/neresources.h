// The resources of 16-bit NE modules (Windows 3.x programs, drivers, fonts
// and .icl icon libraries) read as data. The resource table is read once when
// the file is opened and indexed; single resources are read as they are
// asked for. NE resources have no language: every one is neutral (0).
//
// Integer types and names carry bit 15 in the file; here they are the
// number without it, so RT_GROUP_ICON (0x800E in the file) is 14 and an icon
// group's image number names RT_ICON (0x8003) entry `id & 0x7FFF`, as in a PE
// image. Names are 8-bit strings in the Windows code page 1252, handed out as
// UTF-8; its five bytes without a character (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// become the C1 controls of their values, so that a name is kept exactly.
#pragma once

#include "formats/moduleresources.h"

namespace vexillo {

class NeResources final : public ModuleResources {
public:
    ~NeResources() override;

    // Opens a file as an NE module: the DOS header, the NE header at
    // e_lfanew and the resource table. nullptr when the file can't be read
    // or has no NE header (NotPeFile); a broken resource table is no reason
    // to refuse the file: its lookups give that reason.
    static std::unique_ptr<NeResources> Open(const std::string &fileName, TReadError *error = nullptr);
    // The same for a file already opened, which it takes.
    static std::unique_ptr<NeResources> Open(ModuleFile file, TReadError *error = nullptr);

    // Types in the order the table first names them (records of the same
    // type listed as one), and the names of a type in table order; entries
    // whose name cannot be read, and the number 0, are left out.
    TReadError ListTypes(const std::function<bool(const ResourceId &type)> &callback) const override;
    TReadError ListNames(const ResourceId &type,
                         const std::function<bool(const ResourceId &name)> &callback) const override;
    // Always 0 for a resource that is there.
    TReadError Language(const ResourceId &type, const ResourceId &name, uint16_t &language) const override;
    // A resource's bytes, read once per file and shared, as
    // PeResources::ReadShared; always whole (the limit is not used: 16-bit
    // modules are small). Its length is in alignment units: exact where the
    // shift is 0; otherwise rounded up to the unit, and an icon image is as
    // long as the byte count its first icon group gives where that lies
    // within the rounded length (some icon editors wrote lengths in bytes
    // whatever the shift: the count then decides), else as its own header
    // says where that ends in the last unit; never shorter than its header
    // says it takes. An icon image or group running past the file is cut at
    // its end.
    TReadError ReadShared(const ResourceId &type, const ResourceId &name, SharedBytes &bytes,
                          uint64_t limit) const override;
    const TLoadBudgetPtr &Budget() const override;
    const char *FormatName() const override { return "NE"; }

private:
    NeResources();
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vexillo
