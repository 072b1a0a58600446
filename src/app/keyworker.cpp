#include "app/keyworker.h"

#include "catalogue/pages.h"

#include <algorithm>
#include <exception>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vexillo {

int TKeyWorker::Threads = 0;

namespace {

// A chunk holds at least this many entries, and ends at the end of a file's
// entries unless a file has more than kLongestChunk.
constexpr int kShortestChunk = 32;
constexpr int kLongestChunk = 512;
// The nice value of the keying threads.
constexpr int kBackgroundNice = 10;

} // namespace

TKeyWorker::TKeyWorker(QObject *parent) : QObject(parent)
{
    connect(this, &TKeyWorker::keysReady, this, &TKeyWorker::deliver, Qt::QueuedConnection);
}

TKeyWorker::~TKeyWorker()
{
    Cancel();
}

void TKeyWorker::Clear()
{
    Cancel();
    FKeys = {};
    FDone = FTotal = 0;
    {
        const std::lock_guard lock(FInboxMutex);
        FInbox.clear();
    }
    const std::lock_guard lock(FShelfMutex);
    FShelf.clear();
    FShelfOrder.clear();
}

void TKeyWorker::Shelve(int Position, const IconObject &Picture)
{
    if (!Running() || Position < 0 || static_cast<size_t>(Position) >= FKeys.size() ||
        FKeys[static_cast<size_t>(Position)].Has(TEntryKey::Keyed))
        return;
    const std::lock_guard lock(FShelfMutex);
    if (!FShelf.insert_or_assign(Position, Picture).second)
        return;
    FShelfOrder.push_back(Position);
    if (FShelfOrder.size() > kShelved) {
        FShelf.erase(FShelfOrder.front());
        FShelfOrder.pop_front();
    }
}

bool TKeyWorker::takeShelved(int position, IconObject &picture)
{
    const std::lock_guard lock(FShelfMutex);
    const auto it = FShelf.find(position);
    if (it == FShelf.end())
        return false;
    picture = std::move(it->second);
    FShelf.erase(it); // its place in the order goes when it would have been dropped
    return true;
}

void TKeyWorker::Start(const TCatalogue &Catalogue)
{
    Clear();
    FTotal = Catalogue.IconCount();
    FKeys.assign(static_cast<size_t>(FTotal), TEntryKey{});
    FChunks.clear();
    for (int first = 0; first < FTotal;) {
        int end = first + 1;
        while (end < FTotal && end - first < kLongestChunk &&
               (end - first < kShortestChunk || Catalogue.IconItems[static_cast<size_t>(end)]->FileName ==
                                                    Catalogue.IconItems[static_cast<size_t>(end - 1)]->FileName))
            ++end;
        FChunks.push_back({first, end});
        first = end;
    }
    if (FChunks.empty())
        return;
    FNextChunk = 0;
    FStop = false;
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const size_t threads = std::min<size_t>(Threads > 0 ? static_cast<size_t>(Threads) : processors, FChunks.size());
    for (size_t i = 0; i < threads; ++i)
        FThreads.emplace_back(&TKeyWorker::run, this, &Catalogue);
}

void TKeyWorker::Cancel()
{
    FStop = true;
    for (std::thread &thread : FThreads)
        thread.join();
    FThreads.clear();
}

void TKeyWorker::run(const TCatalogue *catalogue)
{
    // The window comes first: the thread runs at a lower priority (Linux
    // gives each thread its own nice value).
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kBackgroundNice);
    try {
        // The thread's own loader: its loads and open module are its own
        // (the file's memory is shared with every other open of it); only the
        // entries are read from the window's catalogue.
        TGroupLoader own;
        const auto keep = own.KeepModuleOpen();
        TPagePictures pictures;
        for (size_t next = FNextChunk++; next < FChunks.size() && !FStop; next = FNextChunk++) {
            const TChunk chunk = FChunks[next];
            std::vector<TEntryKey> keys(static_cast<size_t>(chunk.End - chunk.First));
            for (int P = chunk.First; P < chunk.End && !FStop; ++P) {
                TEntryKey &key = keys[static_cast<size_t>(P - chunk.First)];
                try {
                    IconObject shelved;
                    const bool made = takeShelved(P, shelved);
                    ComputeEntryKey(own, *catalogue->IconItems[static_cast<size_t>(P)], pictures, key,
                                    made ? &shelved : nullptr);
                } catch (const std::exception &) {
                    // Out of memory (a picture scaled, a file read): the entry
                    // stays unkeyed, as one that does not load; the thread and
                    // the program go on.
                    key = TEntryKey{};
                }
            }
            if (FStop)
                return;
            {
                const std::lock_guard lock(FInboxMutex);
                FInbox.push_back({chunk.First, std::move(keys)});
            }
            emit keysReady(QPrivateSignal());
        }
    } catch (const std::exception &) {
        // No memory for a chunk's keys or their hand-over: the thread ends
        // here, its chunk left unkeyed; the program goes on.
    }
}

void TKeyWorker::deliver()
{
    std::vector<TDelivery> inbox;
    {
        const std::lock_guard lock(FInboxMutex);
        inbox.swap(FInbox);
    }
    if (inbox.empty()) // taken with an earlier signal's
        return;
    for (const TDelivery &delivery : inbox) {
        if (static_cast<size_t>(delivery.First) + delivery.Keys.size() > FKeys.size())
            continue;
        std::copy(delivery.Keys.begin(), delivery.Keys.end(), FKeys.begin() + delivery.First);
        FDone += static_cast<int>(delivery.Keys.size());
    }
    emit Progress(FDone, FTotal);
    if (FDone == FTotal) {
        Cancel(); // the threads have ended: joined here
        emit Finished();
    }
}

} // namespace vexillo
