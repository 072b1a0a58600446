// What the window's pages show of a search: every entry, or the entries a
// filter, "Hide duplicates" or "Find similar icons" leaves, with the keys
// that the last two need computed in the background after each search
// (TKeyWorker). The window asks it for pages and texts and shows them.
#pragma once

#include "app/keyworker.h"
#include "catalogue/entryview.h"

#include <QObject>
#include <QString>

#include <string>
#include <vector>

namespace vexillo {

class TShownEntries : public QObject {
    Q_OBJECT

public:
    TShownEntries(TCatalogue &catalogue, QObject *parent);

    // A search is about to change the catalogue: keying stops, and what the
    // entries' keys and the narrowing to similar icons said is forgotten
    // (the filter and the switch stay).
    void SearchStarting();
    // The search ended: every entry is keyed in the background.
    void SearchEnded();
    TKeyWorker &Keys() { return *FWorker; }

    const TEntryFilter &Filter() const { return FFilter; }
    void SetFilter(const TEntryFilter &filter);
    bool HideDuplicates() const { return FHideDuplicates; }
    void SetHideDuplicates(bool on);

    // Narrows the pages to the icons whose pictures are like the entry's at
    // `position`, it first, the others nearest first; `page` is the page
    // shown, to return to. False when the entry has no picture key.
    bool FindSimilar(int position, int page);
    bool ShowingSimilar() const { return FShowingSimilar; }
    // Back to the full list; returns the page shown before FindSimilar.
    int LeaveSimilar();
    // Stops the comparing; what was compared so far makes the sets.
    void StopKeying();

    int PageCount() const { return FView.PageCount(FCatalogue); }
    bool Narrowed() const { return FView.Active(); }
    std::vector<int> Page(int page) const { return FView.Page(FCatalogue, page); }
    // The extra status panel's text: the keying's progress, or how many
    // entries are shown and how many duplicates are hidden.
    QString StatusText() const;
    // "Also in N other files: …" for an entry whose icon other files hold
    // too; empty otherwise.
    std::string AlsoInText(int position) const;

signals:
    // The shown list changed: the window shows a page of it again.
    void Changed();
    // StatusText changed.
    void StatusChanged();

private:
    void rebuild();
    // Rebuilt after a change the user made, and told.
    void changed();
    void keysFinished();

    TCatalogue &FCatalogue;
    TKeyWorker *FWorker;
    TEntryView FView;
    TEntryFilter FFilter;
    bool FHideDuplicates = false;
    std::vector<int> FFirstOfSame;
    bool FShowingSimilar = false;
    std::vector<int> FSimilar;
    int FPageBeforeSimilar = 1;
};

} // namespace vexillo
