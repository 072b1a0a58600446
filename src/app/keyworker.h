// The keys of a search's entries (identity, picture key, the facts filters
// ask: catalogue/entrykey.h), computed after the search in the background,
// so that the window never waits for them. One thread per processor takes
// chunks of consecutive entries, a chunk ending where a file's entries end,
// and reads them with a catalogue of its own, keeping each module open for
// its groups and decoding a picture that several groups name once (the page
// picture cache), or taking the picture a page made of it (Shelve).
// Finished chunks are handed to the window's thread through an inbox under
// a lock, and a queued signal tells that thread to empty it; that thread
// alone reads the keys.
#pragma once

#include "catalogue/catalogue.h"
#include "catalogue/entrykey.h"

#include <QObject>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vexillo {

class TKeyWorker : public QObject {
    Q_OBJECT

public:
    explicit TKeyWorker(QObject *parent = nullptr);
    ~TKeyWorker() override;

    // Forgets the keys and starts keying every entry of `Catalogue`. Its
    // entries must stay as they are until Cancel has returned or Finished
    // was sent: the threads read them.
    void Start(const TCatalogue &Catalogue);
    // Stops the threads and waits for them; the keys handed over so far
    // stay. Safe to call at any time.
    void Cancel();
    // Forgets the keys (a new search).
    void Clear();

    bool Running() const { return !FThreads.empty() && FDone < FTotal; }
    bool Complete() const { return FTotal > 0 && FDone == FTotal; }
    int Done() const { return FDone; }
    int Total() const { return FTotal; }
    // The keys by catalogue position; an entry not keyed yet has no flags.
    const std::vector<TEntryKey> &Keys() const { return FKeys; }

    // How many threads key; 0 means one per processor.
    static int Threads;

    // A picture a page made of the entry at Position at the picture key's
    // size: the thread that keys the entry takes it instead of decoding
    // the entry's image again. The last kShelved are kept, until the next
    // Start or Clear.
    void Shelve(int Position, const IconObject &Picture);
    static constexpr size_t kShelved = size_t{4} * static_cast<size_t>(TCatalogue::IconsPerPage);

signals:
    // Some entries were keyed: Done of Total.
    void Progress(int done, int total);
    // Every entry is keyed.
    void Finished();
    // A thread put keys in the inbox (sent from that thread).
    void keysReady(QPrivateSignal);

private:
    struct TChunk {
        int First, End;
    };
    // A chunk's keys, on their way to the window's thread.
    struct TDelivery {
        int First;
        std::vector<TEntryKey> Keys;
    };
    void run(const TCatalogue *catalogue);
    bool takeShelved(int position, IconObject &picture);
    void deliver();

    std::vector<std::thread> FThreads;
    std::vector<TChunk> FChunks;
    std::atomic<size_t> FNextChunk{0};
    std::atomic<bool> FStop{false};
    // Under a lock of its own rather than inside the queued call, so that
    // ThreadSanitizer sees the hand-over (Qt's queue it cannot). Emptied by
    // Clear once the threads have ended, so that what a search left
    // undelivered never reaches the next one.
    std::mutex FInboxMutex;
    std::vector<TDelivery> FInbox;
    std::vector<TEntryKey> FKeys;
    std::mutex FShelfMutex;
    std::unordered_map<int, IconObject> FShelf;
    std::deque<int> FShelfOrder;
    int FDone = 0;
    int FTotal = 0;
};

} // namespace vexillo
