#include "catalogue/entrysets.h"

#include <algorithm>
#include <numeric>

namespace vexillo {

namespace {

// The keyed positions ordered by identity, of one identity in catalogue
// order.
std::vector<int> ByIdentity(const std::vector<TEntryKey> &Keys)
{
    std::vector<int> order;
    order.reserve(Keys.size());
    for (size_t i = 0; i < Keys.size(); ++i)
        if (Keys[i].Has(TEntryKey::Keyed))
            order.push_back(static_cast<int>(i));
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return Keys[static_cast<size_t>(a)].Identity < Keys[static_cast<size_t>(b)].Identity;
    });
    return order;
}

// Calls run(first, end) for each run of one identity in `order`.
template <typename Run> void ForEachRun(const std::vector<TEntryKey> &Keys, const std::vector<int> &order, Run run)
{
    for (size_t first = 0; first < order.size();) {
        size_t end = first + 1;
        while (end < order.size() &&
               Keys[static_cast<size_t>(order[end])].Identity == Keys[static_cast<size_t>(order[first])].Identity)
            ++end;
        run(first, end);
        first = end;
    }
}

} // namespace

std::vector<int> FirstOfSameIdentity(const std::vector<TEntryKey> &Keys)
{
    std::vector<int> first(Keys.size());
    std::iota(first.begin(), first.end(), 0);
    const std::vector<int> order = ByIdentity(Keys);
    ForEachRun(Keys, order, [&](size_t begin, size_t end) {
        for (size_t i = begin + 1; i < end; ++i)
            first[static_cast<size_t>(order[i])] = order[begin];
    });
    return first;
}

std::vector<std::vector<int>> DuplicateSets(const std::vector<TEntryKey> &Keys)
{
    std::vector<std::vector<int>> sets;
    const std::vector<int> order = ByIdentity(Keys);
    ForEachRun(Keys, order, [&](size_t begin, size_t end) {
        if (end - begin > 1)
            sets.emplace_back(order.begin() + static_cast<std::ptrdiff_t>(begin),
                              order.begin() + static_cast<std::ptrdiff_t>(end));
    });
    std::sort(sets.begin(), sets.end(), [](const auto &a, const auto &b) { return a.front() < b.front(); });
    return sets;
}

std::vector<TNearEntry> NearestPictures(const std::vector<TEntryKey> &Keys, const TPictureKey &Key, int MaxDistance)
{
    std::vector<TNearEntry> near;
    for (size_t i = 0; i < Keys.size(); ++i) {
        if (!Keys[i].Has(TEntryKey::HasPicture))
            continue;
        const int distance = PictureDistance(Keys[i].PictureKey, Key);
        if (distance <= MaxDistance)
            near.push_back({static_cast<int>(i), distance});
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const TNearEntry &a, const TNearEntry &b) { return a.Distance < b.Distance; });
    return near;
}

} // namespace vexillo
