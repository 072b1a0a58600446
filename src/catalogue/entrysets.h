// Entries taken together by their keys (catalogue/entrykey.h): the sets of
// duplicates (the same identity) and the entries whose pictures look like a
// given one (picture keys within a distance), both as catalogue positions
// (from 0, the index into the keys).
#pragma once

#include "catalogue/entrykey.h"

#include <cstdint>
#include <vector>

namespace vexillo {

// For each entry, the position of the first entry of its identity: itself
// for the first of a set, for an entry in no set and for one not keyed.
std::vector<int> FirstOfSameIdentity(const std::vector<TEntryKey> &Keys);

// The sets of two or more keyed entries with one identity, each set in
// catalogue order, the sets in the order of their first entries.
std::vector<std::vector<int>> DuplicateSets(const std::vector<TEntryKey> &Keys);

// The distance within which a picture counts as similar: 10 of the 64 bits
// (the same picture at other depths and sizes, framed, or stored as PNG,
// differs in a few bits; unrelated pictures in about half).
inline constexpr int kSimilarDistance = 10;

struct TNearEntry {
    int Position = 0;
    int Distance = 0;
};
// The entries with a picture key within MaxDistance of Key, nearest first,
// of equal distance in catalogue order.
std::vector<TNearEntry> NearestPictures(const std::vector<TEntryKey> &Keys, const TPictureKey &Key,
                                        int MaxDistance = kSimilarDistance);

} // namespace vexillo
