// The window's own work on files, timed: opening files (the scan and page 1)
// and the preview of the first icon, in the real main window on the
// offscreen platform. Usage: bench_window FILE... (prints milliseconds).
#include "app/frmmain.h"
#include "settings/settings.h"

#include <QApplication>
#include <QListWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

using namespace vexillo;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_window FILE...\n");
        return 2;
    }
    const std::string settings = (std::filesystem::temp_directory_path() / "bench-window-Settings.ini").string();
    SetSettingsFileNameForTesting(settings);
    QStringList files;
    for (int i = 1; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);

    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::time_point from) {
        return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
    };
    TfrmMain window;
    window.show();
    QApplication::processEvents();
    auto start = Clock::now();
    window.OpenFiles(files);
    const double open = ms(start);
    QListWidget *icons = window.findChild<QListWidget *>("lvLst");
    QListWidget *preview = window.findChild<QListWidget *>("gdIconLst");
    start = Clock::now();
    if (icons->count() > 0)
        icons->item(0)->setSelected(true);
    preview->viewport()->grab();
    const double show = ms(start);
    std::printf("open %.1f ms (%d icons on the page)\tpreview %.1f ms (%d images)\n", open, icons->count(), show,
                preview->count());
    // The next page, as the Next page button shows it, the best of five.
    if (window.Catalogue().PageCount() > 1) {
        double next = 1e9;
        for (int round = 0; round < 5; ++round) {
            window.ShowPage(1);
            start = Clock::now();
            window.ShowPage(2);
            next = std::min(next, ms(start));
        }
        std::printf("next page %.1f ms (%d icons)\n", next, icons->count());
    }
    window.close();
    std::filesystem::remove(settings);
    return 0;
}
