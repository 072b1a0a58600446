// Fuzz target: a settings file read as the program reads Settings.ini (every
// section's keys listed and read, as text, number and flag), then changed
// and written back as the program writes it.
#include "platform/inifile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

using namespace vexillo;

namespace {

// The file lives in a folder of the fuzzer's own: the writer replaces it
// through a temporary file beside it. The folder goes when the run ends (its
// name is kept in plain characters, which outlive every other static).
char gIniFolder[] = "/tmp/vexillo-fuzz-ini-XXXXXX";

const std::string &IniFolder()
{
    static const std::string folder = [] {
        if (!mkdtemp(gIniFolder))
            std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(gIniFolder, ignored);
        });
        return std::string(gIniFolder);
    }();
    return folder;
}

const std::string &IniPath()
{
    static const std::string path = IniFolder() + "/Settings.ini";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = std::fopen(IniPath().c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    TIniFile ini(IniPath());
    for (const char *section : {"View", "Reopen", "view", ""}) {
        for (const std::string &key : ini.ReadSection(section)) {
            ini.ReadString(section, key, "default");
            ini.ReadInteger(section, key, 7);
            ini.ReadBool(section, key, true);
            ini.ValueExists(section, key);
        }
    }
    // The writers refuse a file they cannot keep (too large, unreadable) and
    // names that cannot be stored; both are documented.
    try {
        ini.WriteString("View", "Status bar", " a value with blanks ");
        ini.WriteString("Reopen", "File1", "/home/user/a=b.exe");
        ini.EraseSection("Reopen");
        ini.DeleteKey("View", "Toolbar");
        ini.ReadString("View", "Status bar", "");
    } catch (const EIniFileException &) {
    } catch (const std::invalid_argument &) {
    }
    return 0;
}
