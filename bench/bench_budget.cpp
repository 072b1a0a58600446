// How the budget's steps compare with the time they stand for: each kind of
// load (a scan, a page, a thumbnail, an extraction to PNG) is run on hostile
// files made for the purpose and on the real files named on the command
// line, and the steps charged, the seconds taken, the nanoseconds a step took
// and the memory held at most are printed, with the reason where the budget
// stopped the load. A step should stay at about a nanosecond or less on a
// desktop core, so that a budget of max(1 s, 1 s per MB) of steps holds
// in seconds too.
//
// Usage: bench_budget [FILE...]
#include "catalogue/catalogue.h"
#include "catalogue/pages.h"
#include "export/pngpictures.h"
#include "export/thumbnail.h"

#include "../tests/crafted.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vexillo;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    TLoadBudgetPtr budget;
    std::string result;
    double seconds = 0; // of the load alone, not of what prepares it
};

// Times what is done from here to the end of the scope.
class Clock {
public:
    explicit Clock(double &seconds) : FSeconds(seconds) {}
    ~Clock() { FSeconds = Seconds(); }
    double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count(); }

private:
    double &FSeconds;
    std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
};

// A catalogue of the file's entries, as a search or Open file makes it.
void Catalogue(TCatalogue &catalogue, const std::string &file)
{
    catalogue.ResetCatalogue();
    catalogue.ScanFile(file);
    catalogue.EndRun();
}

void Report(const std::string &file, const char *load, const std::function<Outcome()> &run)
{
    const Outcome outcome = run();
    const double seconds = outcome.seconds;
    if (!outcome.budget) {
        std::printf("%-28s %-10s %s\n", file.c_str(), load, outcome.result.c_str());
        return;
    }
    const double steps = static_cast<double>(outcome.budget->WorkDone());
    std::printf("%-28s %-10s %9.1f M steps %8.3f s %6.2f ns/step %7.1f MiB  %s\n", file.c_str(), load, steps / 1e6,
                seconds, steps > 0 ? seconds * 1e9 / steps : 0.0,
                static_cast<double>(outcome.budget->MemoryPeak()) / (1 << 20), outcome.result.c_str());
}

std::string Result(const TReadError &error)
{
    return error ? error.Text() : "ok";
}

// The scan of a module's icon groups, as a search does it.
Outcome Scan(const std::string &file)
{
    Outcome outcome;
    TCatalogue catalogue;
    TReadError reason;
    {
        Clock clock(outcome.seconds);
        std::unique_ptr<TModule> module = TModule::LoadAsDataFile(file, &reason);
        if (!module)
            return {nullptr, Result(reason)};
        catalogue.ResetCatalogue();
        if (!module->EnumResourceTypes(
                [&](const ResourceId &type) { return EnumTypesProc(catalogue, module.get(), type); }))
            catalogue.NoteFileError(module->LastError());
        catalogue.EndRun();
        outcome.budget = module->Budget();
    }
    outcome.result = Result(catalogue.FileError()) + ", " + std::to_string(catalogue.IconCount()) + " entries";
    return outcome;
}

// The first page of a module's groups at 32 pixels, the module kept open.
Outcome Page(const std::string &file)
{
    TCatalogue catalogue;
    Catalogue(catalogue, file);
    TPagePictures pictures;
    TLoadBudgetPtr budget;
    int shown = 0;
    double seconds = 0;
    {
        Clock clock(seconds);
        const auto keep = catalogue.KeepModuleOpen();
        for (int i = 0; i < std::min(catalogue.IconCount(), TCatalogue::IconsPerPage); ++i) {
            IconObject picture;
            if (EntryPicture(catalogue, *catalogue.IconItems[static_cast<size_t>(i)], 32, pictures, picture) ==
                TEntryShown::Picture)
                ++shown;
            if (catalogue.CurrentIcon.Budget)
                budget = catalogue.CurrentIcon.Budget;
        }
    }
    return {budget, std::to_string(shown) + " pictures", seconds};
}

Outcome Thumbnail(const std::string &file)
{
    std::vector<uint8_t> png;
    TReadError error;
    Outcome outcome;
    {
        Clock clock(outcome.seconds);
        MakeThumbnail(file, 128, png, error, &outcome.budget);
    }
    outcome.result = Result(error);
    return outcome;
}

// Every image of every group as PNG bytes (nothing written), as extract --png
// makes them: each distinct block once.
Outcome ExtractPng(const std::string &file)
{
    TCatalogue catalogue;
    Catalogue(catalogue, file);
    double seconds = 0;
    TLoadBudgetPtr budget;
    int made = 0;
    std::string reason = "ok";
    Clock clock(seconds);
    const auto keep = catalogue.KeepModuleOpen();
    for (const auto &item : catalogue.IconItems) {
        if (!catalogue.LoadIconGroup(*item))
            reason = catalogue.LastError().Text();
        if (catalogue.CurrentIcon.Budget)
            budget = catalogue.CurrentIcon.Budget;
        std::set<std::pair<const uint8_t *, uint32_t>> done;
        for (uint16_t k = 0; k < catalogue.CurrentIcon.Images.Count; ++k) {
            const TIconImage &image = *catalogue.CurrentIcon.Images.GetItem(k);
            if (!done.emplace(image.Data.data(), image.StoredSize()).second)
                continue;
            std::vector<uint8_t> png;
            std::string why;
            if (ImageAsPng(image, png, why))
                ++made;
            else
                reason = why;
        }
        if (budget && budget->Spent())
            break;
    }
    return {budget, reason + ", " + std::to_string(made) + " pictures", clock.Seconds()};
}

void Write(const fs::path &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char **argv)
{
    using namespace vexillo::test;
    const fs::path dir = fs::temp_directory_path() / ("bench_budget-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::map<std::string, fs::path> files;
    auto make = [&](const std::string &name, const std::vector<uint8_t> &bytes) {
        Write(dir / name, bytes);
        files[name] = dir / name;
    };
    make("names.dll", OverlappingNamesModule(65535));
    make("names4000.dll", OverlappingNamesModule(4000));
    make("badpng.ico", SharedEntryIco(BrokenPng(), 65535));
    make("badpng.dll", SharedEntryModule(BrokenPng(), 60000));
    make("late2048.ico", SharedEntryIco(LatePngFailure(2048, 65536), 2000));
    make("late2048.dll", SharedEntryModule(LatePngFailure(2048, 65536), 2000));
    for (int i = 1; i < argc; ++i)
        files[fs::path(argv[i]).filename().string()] = argv[i];

    for (const auto &[name, path] : files) {
        const std::string file = path.string();
        const std::string shown = name + " (" + std::to_string(fs::file_size(path) / 1024) + " KiB)";
        if (!IsIconFile(file)) {
            Report(shown, "scan", [&] { return Scan(file); });
            Report(shown, "page", [&] { return Page(file); });
        }
        Report(shown, "extract", [&] { return ExtractPng(file); });
        Report(shown, "thumbnail", [&] { return Thumbnail(file); });
    }
    fs::remove_all(dir);
    return 0;
}
