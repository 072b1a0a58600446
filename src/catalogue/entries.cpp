#include "catalogue/entries.h"

namespace vexillo {

void ClearIconItems(TCatalogueEntries &Entries)
{
    auto &items = Entries.IconItems;
    while (!items.empty())
        items.pop_back();
    Entries.ReleaseEntryMemory();
}

bool TCatalogueEntries::KeepEntryMemory(const TLoadBudgetPtr &Budget, uint64_t Bytes)
{
    // One record for each file: a module's entries are added one after the
    // other, each kept on the file's memory for as long as the catalogue.
    if (FKeptMemory.empty() || FKeptMemory.back().Account() != Budget->Account().get())
        FKeptMemory.emplace_back();
    return Budget->Keep(Bytes, "catalogue entries", FKeptMemory.back());
}

} // namespace vexillo
