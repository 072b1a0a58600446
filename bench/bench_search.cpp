// The window's folder search against the same scan without a window, over a
// generated tree: the catalogue scans the tree once with no view and once
// with the main window (offscreen) as its view, so that every counter goes
// to the status bar and events are pumped as in Search Disk. Prints both
// times and their ratio. Usage: bench_search [ENTRIES] (20000 by default).
#include "app/frmmain.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace vexillo;
namespace fs = std::filesystem;

namespace {

// A tree of `entries` files, 100 to a folder, one in twenty of the types a
// search opens (empty, so each is opened and refused).
fs::path MakeTree(int entries)
{
    const fs::path root = fs::temp_directory_path() / ("vexillo-bench-tree-" + std::to_string(entries));
    if (fs::exists(root / ".done"))
        return root;
    fs::remove_all(root);
    const char *kinds[] = {".txt", ".png", ".html", ".so", ".exe", ".dll", ".ico", ".ocx"};
    for (int i = 0; i < entries; ++i) {
        const fs::path folder = root / ("d" + std::to_string(i / 1000)) / ("e" + std::to_string(i / 100 % 10));
        if (i % 100 == 0)
            fs::create_directories(folder);
        const char *ext = i % 20 == 0 ? kinds[4 + (i / 20) % 4] : kinds[i % 4];
        std::ofstream(folder / ("f" + std::to_string(i) + ext));
    }
    std::ofstream(root / ".done");
    return root;
}

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

double Scan(TCatalogue &catalogue, const fs::path &tree)
{
    const auto start = std::chrono::steady_clock::now();
    catalogue.ResetCatalogue(ftAll);
    catalogue.ScanFolder(tree.string());
    catalogue.EndRun();
    return Seconds(start);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int entries = argc > 1 ? std::atoi(argv[1]) : 20000;
    const fs::path tree = MakeTree(entries);
    SetSettingsFileNameForTesting((fs::temp_directory_path() / "bench-search-Settings.ini").string());

    TCatalogue bare;
    Scan(bare, tree); // the directory entries are in the page cache for both runs
    const double alone = Scan(bare, tree);

    TfrmMain window;
    window.show();
    QApplication::processEvents();
    const double inWindow = Scan(window.Catalogue(), tree);
    std::printf("%d entries, %d files, %d icons: scan %.3f s, in the window %.3f s, ratio %.1f\n", entries,
                bare.FileCount(), bare.IconCount(), alone, inWindow, inWindow / alone);
    window.close();
    return 0;
}
