// The catalogue's entries: one per icon group of a scanned module and one per
// scanned .ico, .cur or .ani file, in order of discovery, only ever appended
// or all cleared together; and what they hold, kept on the memory of the
// files they came from for as long as they are kept.
#pragma once

#include "formats/loadbudget.h"
#include "icons/icontypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vexillo {

class TCatalogueEntries {
public:
    static constexpr int IconsPerPage = 80;

    TCatalogueEntries() = default;
    TCatalogueEntries(const TCatalogueEntries &) = delete;
    TCatalogueEntries &operator=(const TCatalogueEntries &) = delete;

    // The found icons, in order of discovery.
    std::vector<std::unique_ptr<TIconItem>> IconItems;

    int IconCount() const { return static_cast<int>(IconItems.size()); }
    int PageCount() const { return (IconCount() + IconsPerPage - 1) / IconsPerPage; }

    // Keeps Bytes of an entry being added on the memory of the file that
    // Budget reads, for as long as the entries are kept; false, with the
    // budget's reason, when the file's memory refuses them.
    bool KeepEntryMemory(const TLoadBudgetPtr &Budget, uint64_t Bytes);
    // Gives back what the entries kept (ClearIconItems).
    void ReleaseEntryMemory() { FKeptMemory.clear(); }

private:
    // What the entries hold, kept on the memory of each module they came
    // from, so that the pages and keys read the file within what is left.
    std::vector<TKeptMemory> FKeptMemory;
};

// Frees every entry, last first, and empties the catalogue.
void ClearIconItems(TCatalogueEntries &Entries);

} // namespace vexillo
