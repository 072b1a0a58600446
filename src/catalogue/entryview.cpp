#include "catalogue/entryview.h"

#include "catalogue/pages.h"
#include "formats/ascii.h"

#include <algorithm>

namespace vexillo {

namespace {

// Whether `needle` (already lower-cased) lies in `text`, ASCII letters
// compared without case.
bool ContainsNoCase(const std::string &text, const std::string &needle)
{
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                       [](char a, char b) { return AsciiLower(a) == b; }) != text.end();
}

bool PassesKind(const TIconItem &Entry, const TEntryFilter &Filter)
{
    if (!Filter.Icons && !Filter.Cursors && !Filter.Animated)
        return true;
    switch (Entry.Kind) {
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
    // Where each file's run starts is found once for a catalogue (a search
    // has just ended when the first list is built).
    if (FRunsFor != Catalogue.IconCount()) {
        FRunStarts.clear();
        for (int P = 0; P < Catalogue.IconCount(); ++P)
            if (P == 0 || Catalogue.IconItems[static_cast<size_t>(P)]->FileName !=
                              Catalogue.IconItems[static_cast<size_t>(P - 1)]->FileName)
                FRunStarts.push_back(P);
        FRunsFor = Catalogue.IconCount();
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
                fileMatched = ContainsNoCase(Catalogue.IconItems[static_cast<size_t>(P)]->FileName, needle);
                runMatched = true;
            }
            if (fileMatched || ContainsNoCase(Catalogue.IconItems[static_cast<size_t>(P)]->GroupName, needle))
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
    // Whether the entry at P is shown, its file's path matched or not.
    const auto consider = [&](int P, bool fileMatched) {
        const TIconItem &entry = *Catalogue.IconItems[static_cast<size_t>(P)];
        const TEntryKey *key = static_cast<size_t>(P) < Keys.size() ? &Keys[static_cast<size_t>(P)] : nullptr;
        if (!PassesKind(entry, Filter) || !PassesKey(key, Filter))
            return;
        if (!fileMatched && !ContainsNoCase(entry.GroupName, needle))
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
    const auto fileMatches = [&](int P) {
        return needle.empty() || ContainsNoCase(Catalogue.IconItems[static_cast<size_t>(P)]->FileName, needle);
    };
    if (Similar) {
        for (const int P : *Similar)
            if (P >= 0 && P < Catalogue.IconCount())
                consider(P, fileMatches(P));
        return;
    }
    const int count = Catalogue.IconCount();
    FShown.reserve(static_cast<size_t>(count));
    for (size_t run = 0; run < FRunStarts.size(); ++run) {
        const int first = FRunStarts[run];
        const int end = run + 1 < FRunStarts.size() ? FRunStarts[run + 1] : count;
        const bool matched = fileMatches(first);
        for (int P = first; P < end; ++P)
            consider(P, matched);
    }
}

void TEntryView::Reset()
{
    FActive = false;
    FShown.clear();
    FHidden = 0;
    FRunStarts.clear();
    FRunsFor = -1;
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
