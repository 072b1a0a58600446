#include "catalogue/entryview.h"

#include "catalogue/pages.h"
#include "formats/ascii.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace vexillo {

namespace {

// A group name longer than this is matched where its entry holds it.
constexpr size_t kGroupTextIndexed = 32;

// Whether `needle` (already lower-cased) lies in `text`, ASCII letters
// compared without case.
bool ContainsNoCase(const std::string &text, const std::string &needle)
{
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                       [](char a, char b) { return AsciiLower(a) == b; }) != text.end();
}

// Which pieces of `Text` hold `Needle` (piece K lies at [At[K], At[K + 1])),
// from one search of the whole block: most pieces hold none, and those are
// not looked at one by one.
template <class Offset>
std::vector<bool> PiecesHolding(const std::string &Text, const std::vector<Offset> &At, const std::string &Needle)
{
    std::vector<bool> held(At.size() - 1);
    const std::string_view block(Text);
    size_t piece = 0;
    for (size_t found = block.find(Needle); found != std::string_view::npos; found = block.find(Needle, found)) {
        while (At[piece + 1] <= found)
            ++piece;
        if (found + Needle.size() <= At[piece + 1]) {
            held[piece] = true;
            found = At[piece + 1];
        } else {
            ++found; // across two pieces: looked for again further on
        }
    }
    return held;
}

bool PassesKind(TEntryKind Kind, const TEntryFilter &Filter)
{
    if (!Filter.Icons && !Filter.Cursors && !Filter.Animated)
        return true;
    switch (Kind) {
    case TEntryKind::Icon: return Filter.Icons;
    case TEntryKind::Cursor: return Filter.Cursors;
    case TEntryKind::AnimatedCursor: return Filter.Animated;
    }
    return false;
}

bool PassesKey(const TEntryKey *Key, const TEntryFilter &Filter)
{
    if (!Filter.AsksKeys())
        return true;
    if (!Key || !Key->Has(TEntryKey::Keyed))
        return false;
    return Key->LargestImage >= Filter.MinSize && (!Filter.Png || Key->Has(TEntryKey::HasPng)) &&
           (!Filter.Bits32 || Key->Has(TEntryKey::Has32Bit));
}

} // namespace

void TEntryView::Build(const TCatalogue &Catalogue, const std::vector<TEntryKey> &Keys,
                       const std::vector<int> &FirstOfSame, const TEntryFilter &Filter, bool HideDuplicates,
                       const std::vector<int> *Similar)
{
    // A file's entries lie together: its path is matched once for them all.
    // Where each file's run starts, and the text the filter reads, are found
    // once for a catalogue (a search has just ended when the first list is
    // built).
    if (FRunsFor != Catalogue.IconCount()) {
        index(Catalogue);
        FTextOnlyValid = false;
    }
    // A text that only grows (the user types on) keeps a subset of what the
    // last text kept, when nothing else decides: only that is looked at.
    TEntryFilter before = FTextOnly;
    before.Text = Filter.Text;
    const bool narrowing = FActive && FTextOnlyValid && !Similar && !HideDuplicates && before == Filter &&
                           Filter.Text.find(FTextOnly.Text) != std::string::npos;
    FTextOnlyValid = !Similar && !HideDuplicates && !Filter.AsksKeys();
    FTextOnly = Filter;
    if (narrowing && !Filter.Text.empty()) {
        std::vector<int> kept = std::move(FShown);
        FShown.clear();
        const std::string needle = LowerAscii(Filter.Text);
        // The kept entries are in catalogue order: the run of each is found
        // by walking the runs along.
        size_t run = 0;
        bool fileMatched = false, runMatched = false;
        for (const int P : kept) {
            const size_t runBefore = run;
            while (run + 1 < FRunStarts.size() && FRunStarts[run + 1] <= P)
                ++run;
            if (!runMatched || run != runBefore) {
                fileMatched = runMatches(run, needle);
                runMatched = true;
            }
            if (fileMatched || groupMatches(Catalogue, P, needle))
                FShown.push_back(P);
        }
        return;
    }
    FShown.clear();
    FHidden = 0;
    FActive = Similar || !Filter.Empty() || HideDuplicates;
    if (!FActive)
        return;
    const std::string needle = LowerAscii(Filter.Text);
    std::vector<bool> seen(HideDuplicates ? Catalogue.IconItems.size() : 0);
    // Over every entry, the text is searched block by block; a few entries
    // (Similar) are looked at one by one.
    std::vector<bool> runHit, groupHit;
    if (!Similar && !needle.empty()) {
        runHit = PiecesHolding(FPathText, FPathAt, needle);
        groupHit = PiecesHolding(FGroupText, FGroupAt, needle);
    }
    const auto groupHolds = [&](int P) {
        const auto at = static_cast<size_t>(P);
        return groupHit.empty() ? groupMatches(Catalogue, P, needle)
                                : groupHit[at] || (FLongGroup[at] && groupMatches(Catalogue, P, needle));
    };
    // Whether the entry at P is shown, its file's path matched or not.
    const auto consider = [&](int P, bool fileMatched) {
        const TEntryKey *key = static_cast<size_t>(P) < Keys.size() ? &Keys[static_cast<size_t>(P)] : nullptr;
        if (!PassesKind(FKinds[static_cast<size_t>(P)], Filter) || !PassesKey(key, Filter))
            return;
        if (!fileMatched && !groupHolds(P))
            return;
        if (HideDuplicates && static_cast<size_t>(P) < FirstOfSame.size()) {
            const auto first = static_cast<size_t>(FirstOfSame[static_cast<size_t>(P)]);
            if (first < seen.size() && seen[first]) {
                ++FHidden;
                return;
            }
            if (first < seen.size())
                seen[first] = true;
        }
        FShown.push_back(P);
    };
    if (Similar) {
        for (const int P : *Similar)
            if (P >= 0 && P < Catalogue.IconCount()) {
                const auto run = std::upper_bound(FRunStarts.begin(), FRunStarts.end(), P) - FRunStarts.begin() - 1;
                consider(P, needle.empty() || runMatches(static_cast<size_t>(run), needle));
            }
        return;
    }
    const int count = Catalogue.IconCount();
    FShown.reserve(static_cast<size_t>(count));
    for (size_t run = 0; run < FRunStarts.size(); ++run) {
        const int first = FRunStarts[run];
        const int end = run + 1 < FRunStarts.size() ? FRunStarts[run + 1] : count;
        const bool matched = needle.empty() || runHit[run];
        for (int P = first; P < end; ++P)
            consider(P, matched);
    }
}

void TEntryView::index(const TCatalogue &Catalogue)
{
    const size_t count = Catalogue.IconItems.size();
    FRunStarts.clear();
    FPathText.clear();
    FGroupText.clear();
    FPathAt.clear();
    FGroupAt.assign(1, 0);
    FKinds.resize(count);
    FLongGroup.assign(count, false);
    for (size_t P = 0; P < count; ++P) {
        const TIconItem &entry = *Catalogue.IconItems[P];
        if (P == 0 || entry.FileName != Catalogue.IconItems[P - 1]->FileName) {
            FRunStarts.push_back(static_cast<int>(P));
            FPathAt.push_back(FPathText.size());
            FPathText += LowerAscii(entry.FileName);
        }
        // (The offsets are 32-bit: past 4 GiB of names, each is read from
        // its entry too.)
        const bool copied =
            entry.GroupName.size() <= kGroupTextIndexed && FGroupText.size() + entry.GroupName.size() <= UINT32_MAX;
        if (copied)
            for (const char c : entry.GroupName)
                FGroupText.push_back(AsciiLower(c));
        FGroupAt.push_back(static_cast<uint32_t>(FGroupText.size()));
        FLongGroup[P] = !copied;
        FKinds[P] = entry.Kind;
    }
    FPathAt.push_back(FPathText.size());
    FRunsFor = static_cast<int>(count);
}

bool TEntryView::runMatches(size_t Run, const std::string &Needle) const
{
    return std::string_view(FPathText).substr(FPathAt[Run], FPathAt[Run + 1] - FPathAt[Run]).find(Needle) !=
           std::string_view::npos;
}

bool TEntryView::groupMatches(const TCatalogue &Catalogue, int P, const std::string &Needle) const
{
    const auto at = static_cast<size_t>(P);
    if (FLongGroup[at])
        return ContainsNoCase(Catalogue.IconItems[at]->GroupName, Needle);
    return std::string_view(FGroupText).substr(FGroupAt[at], FGroupAt[at + 1] - FGroupAt[at]).find(Needle) !=
           std::string_view::npos;
}

void TEntryView::Reset()
{
    FActive = false;
    FShown.clear();
    FHidden = 0;
    FRunStarts.clear();
    FRunsFor = -1;
    FPathText = FGroupText = {};
    FPathAt = {};
    FGroupAt = {};
    FKinds = {};
    FLongGroup = {};
    FTextOnlyValid = false;
}

std::vector<int> TEntryView::Page(const TCatalogue &Catalogue, int Page) const
{
    std::vector<int> positions;
    const TPageRange range = PageRange(Page, Count(Catalogue), TCatalogue::IconsPerPage);
    for (int i = std::max(range.First, 0); i < range.End; ++i)
        positions.push_back(At(i));
    return positions;
}

} // namespace vexillo
