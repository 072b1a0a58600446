// What comparing and narrowing a large search costs, against the search
// itself:
//  - the keys (identity and picture key) of a 20,000-file search, computed
//    by the window's background threads, against the window's search of the
//    same tree (its modules hard links to, or copies of, Wine's);
//  - "Find similar icons" over 200,000 entries;
//  - a filter keystroke, from the key to the repainted page, over 200,000
//    entries of real modules' groups.
// Prints each figure and ratio from one run, and the memory the keys add per
// entry. Usage: bench_narrowing [FILES] (20000 by default).
#include "app/frmmain.h"
#include "app/keyworker.h"
#include "app/shownentries.h"
#include "catalogue/entrysets.h"
#include "catalogue/entryview.h"
#include "settings/settings.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace vexillo;
namespace fs = std::filesystem;

namespace {

const char *const kWineTrees[] = {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                                  "/usr/lib/i386-linux-gnu/wine/i386-windows"};

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// Wine's modules.
std::vector<fs::path> WineModules()
{
    std::vector<fs::path> modules;
    for (const char *tree : kWineTrees) {
        std::error_code error;
        for (const auto &entry : fs::directory_iterator(tree, error))
            if (entry.is_regular_file())
                modules.push_back(entry.path());
    }
    return modules;
}

// A tree of `files` files, 100 to a folder: one in twenty a Wine module (a
// hard link, or a copy where links cannot be made), the others files of
// other types.
fs::path MakeTree(int files, const std::vector<fs::path> &modules)
{
    const fs::path root = fs::temp_directory_path() / ("vexillo-bench-modules-" + std::to_string(files));
    if (fs::exists(root / ".done"))
        return root;
    fs::remove_all(root);
    for (int i = 0; i < files; ++i) {
        const fs::path folder = root / ("d" + std::to_string(i / 1000)) / ("e" + std::to_string(i / 100 % 10));
        if (i % 100 == 0)
            fs::create_directories(folder);
        if (i % 20 != 0) {
            std::ofstream(folder / ("f" + std::to_string(i) + ".txt"));
            continue;
        }
        const fs::path &module = modules[static_cast<size_t>(i / 20) % modules.size()];
        const fs::path to = folder / (std::to_string(i) + "-" + module.filename().string());
        std::error_code error;
        fs::create_hard_link(module, to, error);
        if (error)
            fs::copy_file(module, to);
    }
    std::ofstream(root / ".done");
    return root;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    const std::vector<fs::path> modules = WineModules();
    if (modules.empty()) {
        std::fprintf(stderr, "bench_narrowing: Wine's modules are not installed (libwine)\n");
        return 1;
    }
    SetSettingsFileNameForTesting((fs::temp_directory_path() / "bench-narrowing-Settings.ini").string());
    const fs::path tree = MakeTree(files, modules);

    TfrmMain window;
    window.show();
    QApplication::processEvents();
    TCatalogue &catalogue = window.Catalogue();
    // Once to bring the tree into the page cache, once measured.
    for (int run = 0; run < 2; ++run) {
        catalogue.ResetCatalogue(ftAll);
        catalogue.ScanFolder(tree.string());
        catalogue.EndRun();
    }
    auto start = std::chrono::steady_clock::now();
    catalogue.ResetCatalogue(ftAll);
    catalogue.ScanFolder(tree.string());
    catalogue.EndRun();
    const double search = Seconds(start);

    TKeyWorker worker;
    QEventLoop wait;
    QObject::connect(&worker, &TKeyWorker::Finished, &wait, &QEventLoop::quit);
    start = std::chrono::steady_clock::now();
    worker.Start(catalogue);
    if (!worker.Complete())
        wait.exec();
    const double keys = Seconds(start);
    const auto sets = DuplicateSets(worker.Keys());
    std::printf("%d files, %d icons: search %.3f s, keys %.3f s (%d threads), ratio %.2f; %zu sets of duplicates\n",
                catalogue.FileCount(), catalogue.IconCount(), search, keys,
                TKeyWorker::Threads > 0 ? TKeyWorker::Threads : static_cast<int>(std::thread::hardware_concurrency()),
                keys / search, sets.size());
    std::printf("memory per entry: key %zu bytes, first of its set %zu, shown list %zu: %zu bytes\n", sizeof(TEntryKey),
                sizeof(int), sizeof(int), sizeof(TEntryKey) + 2 * sizeof(int));

    // 200,000 entries: the search's entries again and again.
    constexpr int kEntries = 200000;
    const int found = catalogue.IconCount();
    std::vector<TEntryKey> many(kEntries);
    for (int i = 0; found > 0 && i < kEntries; ++i) {
        many[static_cast<size_t>(i)] = worker.Keys()[static_cast<size_t>(i % found)];
        if (i >= found) { // each copy a picture of its own, so that few are near
            TPictureKey &picture = many[static_cast<size_t>(i)].PictureKey;
            picture.Whole ^= static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull;
            picture.Content ^= static_cast<uint64_t>(i) * 0xC2B2AE3D27D4EB4Full;
        }
    }
    start = std::chrono::steady_clock::now();
    const auto near = NearestPictures(many, many[0].PictureKey);
    std::printf("find similar over %d entries: %.1f ms, %zu near\n", kEntries, Seconds(start) * 1000, near.size());

    worker.Cancel();
    for (int i = found; found > 0 && i < kEntries; ++i)
        catalogue.IconItems.push_back(
            std::make_unique<TIconItem>(*catalogue.IconItems[static_cast<size_t>(i % found)]));
    // As a search of that many entries ends: the window's shown list takes
    // them (the keying it starts is stopped: its keys are the ones above).
    if (auto *shown = window.findChild<TShownEntries *>()) {
        shown->SearchEnded();
        shown->StopKeying();
    }
    {
        // The filtering alone: the shown list built for a one-letter filter,
        // after the list has indexed the catalogue's text (as it does when a
        // search ends).
        TEntryView view;
        TEntryFilter letter;
        start = std::chrono::steady_clock::now();
        view.Build(catalogue, {}, {}, letter, false, nullptr);
        const double indexed = Seconds(start);
        letter.Text = "e";
        start = std::chrono::steady_clock::now();
        view.Build(catalogue, {}, {}, letter, false, nullptr);
        std::printf("filter of one letter over %d entries: %.1f ms, %d shown (the text indexed once: %.1f ms)\n",
                    catalogue.IconCount(), Seconds(start) * 1000, view.Count(catalogue), indexed * 1000);
    }
    QLineEdit *filter = window.findChild<QLineEdit *>("edFilter");
    QListWidget *list = window.findChild<QListWidget *>("lvLst");
    double slowest = 0, total = 0;
    // The name of a module that holds icons, typed letter by letter.
    const std::string first = catalogue.IconItems.empty() ? std::string("x") : catalogue.IconItems[0]->FileName;
    const std::string typed = fs::path(first).stem().string().substr(0, 12);
    for (size_t i = 0; i < typed.size(); ++i) {
        start = std::chrono::steady_clock::now();
        QTest::keyClick(filter, typed[i]);
        list->viewport()->repaint();
        const double took = Seconds(start);
        std::printf("  '%c': %.1f ms\n", typed[i], took * 1000);
        slowest = std::max(slowest, took);
        total += took;
    }
    std::printf("filter keystroke to repainted page over %d entries: %.1f ms on average, %.1f ms at most (%d shown)\n",
                catalogue.IconCount(), total / static_cast<double>(typed.size()) * 1000, slowest * 1000, list->count());
    window.close();
    return 0;
}
