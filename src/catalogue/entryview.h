// Which catalogue entries the pages show, and in what order: all of them,
// in order of discovery, unless the user narrows the list — icons like a
// chosen one (nearest first), a filter on file path and group name and on
// what the icon holds, and one entry of each set of identical icons. Pages,
// page count and page commands then follow the shown list.
#pragma once

#include "catalogue/catalogue.h"
#include "catalogue/entrykey.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexillo {

// What the filter asks of an entry; the default asks nothing.
struct TEntryFilter {
    // Found in the entry's file path or group name, ASCII letters in either
    // case; empty matches every entry.
    std::string Text;
    // The entry has an image at least this many pixels wide or high.
    int MinSize = 0;
    bool Png = false;    // an image is stored as PNG
    bool Bits32 = false; // an image has 32 bits per pixel
    // Of these kinds only; none set means every kind.
    bool Icons = false, Cursors = false, Animated = false;

    bool AsksKeys() const { return MinSize > 0 || Png || Bits32; }
    bool Empty() const { return Text.empty() && !AsksKeys() && !Icons && !Cursors && !Animated; }
    bool operator==(const TEntryFilter &) const = default;
};

// The shown list: catalogue positions (from 0) in the order the pages show
// them. Inactive (nothing narrows the list) it shows every entry in order
// and holds no list.
class TEntryView {
public:
    // Builds the list from every entry of the catalogue, or from `Similar`
    // (positions, nearest first) when given; then the filter, then, with
    // HideDuplicates, every entry whose identity an entry shown before it
    // has. `Keys` and `FirstOfSame` are the entries' keys and
    // FirstOfSameIdentity of them; entries beyond them count as not keyed
    // (they pass no facet and are no duplicate).
    void Build(const TCatalogue &Catalogue, const std::vector<TEntryKey> &Keys, const std::vector<int> &FirstOfSame,
               const TEntryFilter &Filter, bool HideDuplicates, const std::vector<int> *Similar);
    // Back to every entry, for a catalogue that may have changed.
    void Reset();

    bool Active() const { return FActive; }
    // How many entries the pages show.
    int Count(const TCatalogue &Catalogue) const
    {
        return FActive ? static_cast<int>(FShown.size()) : Catalogue.IconCount();
    }
    int PageCount(const TCatalogue &Catalogue) const
    {
        return (Count(Catalogue) + TCatalogue::IconsPerPage - 1) / TCatalogue::IconsPerPage;
    }
    // The catalogue position of the I-th shown entry.
    int At(int I) const { return FActive ? FShown[static_cast<size_t>(I)] : I; }
    // The catalogue positions of a page (1-based).
    std::vector<int> Page(const TCatalogue &Catalogue, int Page) const;
    // How many entries the last Build left out as duplicates.
    int HiddenDuplicates() const { return FHidden; }

private:
    bool FActive = false;
    std::vector<int> FShown;
    int FHidden = 0;
    // Where each file's run of entries starts, for a catalogue of FRunsFor
    // entries.
    std::vector<int> FRunStarts;
    int FRunsFor = -1;
    // The text the filter reads, lowered, in two blocks that a filter over
    // many entries reads in order instead of reaching every entry: each
    // run's file path and each entry's group name, at the offsets given,
    // with each entry's kind. A long group name (kGroupTextIndexed) is not
    // copied: it is read from its entry.
    void index(const TCatalogue &Catalogue);
    bool runMatches(size_t Run, const std::string &Needle) const;
    bool groupMatches(const TCatalogue &Catalogue, int P, const std::string &Needle) const;
    std::string FPathText, FGroupText;
    std::vector<size_t> FPathAt;    // runs + 1
    std::vector<uint32_t> FGroupAt; // entries + 1
    std::vector<TEntryKind> FKinds;
    std::vector<bool> FLongGroup;
    // The filter of the last Build, when it decided by kind and text alone
    // (nothing that keys found out can change what it keeps).
    TEntryFilter FTextOnly;
    bool FTextOnlyValid = false;
};

} // namespace vexillo
