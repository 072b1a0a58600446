#include "app/shownentries.h"

#include "catalogue/entrysets.h"

#include <malloc.h>

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace vexillo {

namespace {

// The other files named in "Also in …".
constexpr size_t kFilesNamed = 3;

} // namespace

TShownEntries::TShownEntries(TCatalogue &catalogue, QObject *parent)
    : QObject(parent), FCatalogue(catalogue), FWorker(new TKeyWorker(this))
{
    connect(FWorker, &TKeyWorker::Progress, this, &TShownEntries::StatusChanged);
    connect(FWorker, &TKeyWorker::Finished, this, &TShownEntries::keysFinished);
}

void TShownEntries::SearchStarting()
{
    FWorker->Clear();
    FFirstOfSame.clear();
    FShowingSimilar = false;
    FSimilar.clear();
    FView.Reset();
    emit StatusChanged();
}

void TShownEntries::SearchEnded()
{
    rebuild();
    if (FCatalogue.IconCount() > 0)
        FWorker->Start(FCatalogue);
    emit StatusChanged();
}

void TShownEntries::keysFinished()
{
    // What the keying threads read and decoded is freed: give the pages the
    // allocator kept back to the system, so that a search of large files
    // does not leave the window holding its peak.
    malloc_trim(0);
    FFirstOfSame = FirstOfSameIdentity(FWorker->Keys());
    // Only what the keys decide changes the pages.
    if (FHideDuplicates || FFilter.AsksKeys()) {
        rebuild();
        emit Changed();
    }
    emit StatusChanged();
}

void TShownEntries::SetFilter(const TEntryFilter &filter)
{
    if (filter == FFilter)
        return;
    FFilter = filter;
    changed();
}

void TShownEntries::SetHideDuplicates(bool on)
{
    if (on == FHideDuplicates)
        return;
    FHideDuplicates = on;
    changed();
}

void TShownEntries::changed()
{
    rebuild();
    emit Changed();
    emit StatusChanged();
}

bool TShownEntries::FindSimilar(int position, int page)
{
    const std::vector<TEntryKey> &keys = FWorker->Keys();
    TEntryKey key;
    if (position >= 0 && static_cast<size_t>(position) < keys.size() &&
        keys[static_cast<size_t>(position)].Has(TEntryKey::HasPicture)) {
        key = keys[static_cast<size_t>(position)];
    } else {
        // Not keyed yet: its key is made now.
        TPagePictures pictures;
        if (position < 0 || position >= FCatalogue.IconCount() ||
            !ComputeEntryKey(FCatalogue, *FCatalogue.IconItems[static_cast<size_t>(position)], pictures, key) ||
            !key.Has(TEntryKey::HasPicture))
            return false;
    }
    FSimilar = {position};
    for (const TNearEntry &near : NearestPictures(keys, key.PictureKey))
        if (near.Position != position)
            FSimilar.push_back(near.Position);
    if (!FShowingSimilar)
        FPageBeforeSimilar = page;
    FShowingSimilar = true;
    changed();
    return true;
}

int TShownEntries::LeaveSimilar()
{
    FShowingSimilar = false;
    FSimilar.clear();
    rebuild();
    emit StatusChanged();
    return FPageBeforeSimilar;
}

void TShownEntries::StopKeying()
{
    if (!FWorker->Running())
        return;
    FWorker->Cancel();
    keysFinished();
}

void TShownEntries::rebuild()
{
    FView.Build(FCatalogue, FWorker->Keys(), FFirstOfSame, FFilter, FHideDuplicates,
                FShowingSimilar ? &FSimilar : nullptr);
}

QString TShownEntries::StatusText() const
{
    if (FWorker->Running())
        return QStringLiteral("Comparing icons: %1% (Esc stops)")
            .arg(FWorker->Done() * 100LL / std::max(1, FWorker->Total()));
    if (FWorker->Total() > 0 && !FWorker->Complete() && !FView.Active())
        return QStringLiteral("Compared %1 of %2 icons").arg(FWorker->Done()).arg(FWorker->Total());
    if (!FView.Active())
        return QString();
    QString text = QStringLiteral("Shown: %1").arg(FView.Count(FCatalogue));
    if (FView.HiddenDuplicates() > 0)
        text += QStringLiteral(", %1 duplicates hidden").arg(FView.HiddenDuplicates());
    return text;
}

std::string TShownEntries::AlsoInText(int position) const
{
    const std::vector<TEntryKey> &keys = FWorker->Keys();
    if (!FWorker->Complete() || position < 0 || static_cast<size_t>(position) >= keys.size() ||
        !keys[static_cast<size_t>(position)].Has(TEntryKey::Keyed))
        return {};
    const TEntryKey &key = keys[static_cast<size_t>(position)];
    const std::string &file = FCatalogue.IconItems[static_cast<size_t>(position)]->FileName;
    std::vector<std::string_view> others;
    std::unordered_set<std::string_view> met{file};
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!keys[i].Has(TEntryKey::Keyed) || keys[i].Identity != key.Identity)
            continue;
        const std::string &other = FCatalogue.IconItems[i]->FileName;
        if (met.insert(other).second)
            others.push_back(other);
    }
    if (others.empty())
        return {};
    std::string text =
        "Also in " + std::to_string(others.size()) + (others.size() == 1 ? " other file:" : " other files:");
    for (size_t i = 0; i < others.size() && i < kFilesNamed; ++i)
        text += "\n  " + std::string(others[i]);
    if (others.size() > kFilesNamed)
        text += "\n  …";
    return text;
}

} // namespace vexillo
