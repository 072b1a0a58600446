#include "settings/settings.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace vexillo {

namespace {

// The executable's path from /proc/self/exe, empty when it cannot be read.
std::string ExecutablePath()
{
    std::vector<char> buffer(4096);
    while (buffer.size() <= (size_t{1} << 16)) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

bool CanWrite(const std::string &path)
{
    return ::access(path.c_str(), W_OK) == 0;
}

bool IsAbsolute(const std::string &path)
{
    return !path.empty() && path.front() == '/';
}

const TSettingInfo &CheckedSetting(TSetting id, TSettingType type)
{
    const size_t index = static_cast<size_t>(id);
    if (index >= kSettings.size() || kSettings[index].Type != type)
        throw std::invalid_argument("Setting of another type");
    return kSettings[index];
}

} // namespace

// ---- Where the settings live -----------------------------------------------

std::string ChooseSettingsFileName(const std::string &exePath, const std::string &xdgConfigHome,
                                   const std::string &home, const std::function<bool(const std::string &)> &canWrite)
{
    std::string besideExe;
    if (IsAbsolute(exePath)) {
        const fs::path folder = fs::path(exePath).parent_path();
        besideExe = (folder / "Settings.ini").string();
        // A Settings.ini beside the program always wins: a portable copy
        // keeps its settings with it, and one put there on purpose is meant.
        struct stat st {};
        if (::lstat(besideExe.c_str(), &st) == 0)
            return besideExe;
        // A program installed under a prefix (PREFIX/bin beside
        // PREFIX/share/vexillo) keeps the user's settings where the user's
        // configuration lives, even when it could write its bin folder; a
        // program run from its build or portable folder keeps them beside it.
        std::error_code ec;
        const bool installed =
            folder.filename() == "bin" && fs::is_directory(folder.parent_path() / "share" / "vexillo", ec);
        if (!installed && canWrite(folder.string()))
            return besideExe;
    }
    fs::path base;
    if (IsAbsolute(xdgConfigHome))
        base = xdgConfigHome;
    else if (IsAbsolute(home))
        base = fs::path(home) / ".config";
    else
        return besideExe.empty() ? std::string("Settings.ini") : besideExe;
    return (base / "vexillo" / "Settings.ini").string();
}

std::string HomeFolder()
{
    const char *home = std::getenv("HOME");
    if (home && IsAbsolute(home))
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 && size < (1 << 20) ? static_cast<size_t>(size) : 16384);
    struct passwd pw {};
    struct passwd *result = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_dir &&
        IsAbsolute(result->pw_dir))
        return result->pw_dir;
    return "/";
}

namespace {

std::string &settingsFileOverride()
{
    static std::string name;
    return name;
}

} // namespace

void SetSettingsFileNameForTesting(const std::string &fileName)
{
    settingsFileOverride() = fileName;
}

std::string SettingsFileName()
{
    if (!settingsFileOverride().empty())
        return settingsFileOverride();
    // The place is chosen once per run: were the choice made again, a
    // folder that stops being writable during the run would move the
    // settings elsewhere without a word.
    static const std::string chosen = [] {
        const char *xdg = std::getenv("XDG_CONFIG_HOME");
        return ChooseSettingsFileName(ExecutablePath(), xdg ? xdg : "", HomeFolder(), CanWrite);
    }();
    // A missing per-user folder is made now; when that fails, writing the
    // settings raises EIniFileException later.
    std::error_code ec;
    fs::create_directories(fs::path(chosen).parent_path(), ec);
    return chosen;
}

// ---- Every setting ---------------------------------------------------------

bool ReadSettingBool(const TIniFile &ini, TSetting id)
{
    const TSettingInfo &s = CheckedSetting(id, TSettingType::Boolean);
    int32_t def = 0;
    TryParseInteger(s.Default, def);
    return ini.ReadBool(s.Section, s.Key, def != 0);
}

void WriteSettingBool(TIniFile &ini, TSetting id, bool value)
{
    const TSettingInfo &s = CheckedSetting(id, TSettingType::Boolean);
    ini.WriteBool(s.Section, s.Key, value);
}

TColor ReadSettingColor(const TIniFile &ini, TSetting id)
{
    const TSettingInfo &s = CheckedSetting(id, TSettingType::Color);
    return TextToColor(ini.ReadString(s.Section, s.Key, s.Default));
}

void WriteSettingColor(TIniFile &ini, TSetting id, TColor value)
{
    const TSettingInfo &s = CheckedSetting(id, TSettingType::Color);
    WriteColor(ini, s.Section, s.Key, value);
}

std::string ReadSettingFolder(const TIniFile &ini, TSetting id)
{
    const TSettingInfo &s = CheckedSetting(id, TSettingType::Folder);
    return ini.ReadString(s.Section, s.Key, HomeFolder());
}

void WriteSettingFolder(TIniFile &ini, TSetting id, const std::string &folder)
{
    const TSettingInfo &s = CheckedSetting(id, TSettingType::Folder);
    ini.WriteString(s.Section, s.Key, folder);
}

std::string SettingListKey(TSetting id, int n)
{
    const TSettingInfo &s = CheckedSetting(id, TSettingType::FileList);
    return std::string(s.Key) + std::to_string(n);
}

std::vector<std::string> ReadSettingList(const TIniFile &ini, TSetting id)
{
    const TSettingInfo &s = CheckedSetting(id, TSettingType::FileList);
    std::vector<std::string> values;
    for (const std::string &key : ini.ReadSection(s.Section))
        values.push_back(ini.ReadString(s.Section, key, ""));
    return values;
}

void WriteSettingList(TIniFile &ini, TSetting id, const std::vector<std::string> &values)
{
    const TSettingInfo &s = CheckedSetting(id, TSettingType::FileList);
    ini.EraseSection(s.Section);
    for (size_t i = 0; i < values.size(); ++i)
        ini.WriteString(s.Section, SettingListKey(id, static_cast<int>(i) + 1), values[i]);
}

// ---- The settings of the main window and its dialogs -----------------------

TWindowSettings LoadWindowSettings(std::string &colorError)
{
    const TIniFile ini(SettingsFileName());
    TWindowSettings settings;
    settings.Toolbar = ReadSettingBool(ini, TSetting::Toolbar);
    settings.StatusBar = ReadSettingBool(ini, TSetting::StatusBar);
    colorError.clear();
    try {
        settings.BackgroundColor = ReadSettingColor(ini, TSetting::BackgroundColor);
    } catch (const EConvertError &error) {
        // Reported by the window, which goes on with the default colour, so
        // that the recent files are still read (and kept at close).
        colorError = error.what();
    }
    settings.RecentFiles = ReadSettingList(ini, TSetting::ReopenFile);
    settings.Cursors = ReadSettingBool(ini, TSetting::Cursors);
    settings.HideDuplicates = ReadSettingBool(ini, TSetting::HideDuplicates);
    return settings;
}

bool LoadWindowPlace(TWindowPlace &place)
{
    const TIniFile ini(SettingsFileName());
    std::array<int32_t, 4> values{};
    const std::array<TSetting, 4> ids{TSetting::WindowLeft, TSetting::WindowTop, TSetting::WindowWidth,
                                      TSetting::WindowHeight};
    for (size_t i = 0; i < ids.size(); ++i) {
        const TSettingInfo &s = CheckedSetting(ids[i], TSettingType::Integer);
        if (!TryParseInteger(ini.ReadString(s.Section, s.Key, ""), values[i]))
            return false;
    }
    // X11 keeps window coordinates and sizes in 16 bits.
    constexpr int32_t kLargest = 32767;
    for (const int32_t value : values)
        if (value < -kLargest || value > kLargest)
            return false;
    if (values[2] <= 0 || values[3] <= 0)
        return false;
    place = {values[0], values[1], values[2], values[3]};
    return true;
}

std::string SaveWindowSettings(const TWindowSettings &settings)
{
    try {
        // Every key changes the text in memory; the file is written once.
        TIniFile ini(SettingsFileName());
        TIniUpdate update(ini);
        WriteSettingBool(ini, TSetting::Toolbar, settings.Toolbar);
        WriteSettingBool(ini, TSetting::StatusBar, settings.StatusBar);
        WriteSettingColor(ini, TSetting::BackgroundColor, settings.BackgroundColor);
        WriteSettingList(ini, TSetting::ReopenFile, settings.RecentFiles);
        for (const auto &[id, on] : {std::pair(TSetting::Cursors, settings.Cursors),
                                     std::pair(TSetting::HideDuplicates, settings.HideDuplicates)}) {
            const TSettingInfo &info = kSettings[static_cast<size_t>(id)];
            if (on)
                WriteSettingBool(ini, id, true);
            else if (ini.ValueExists(info.Section, info.Key))
                ini.DeleteKey(info.Section, info.Key);
        }
        if (settings.HasPlace) {
            const TWindowPlace &p = settings.Place;
            for (const auto &[id, value] :
                 {std::pair(TSetting::WindowLeft, p.Left), std::pair(TSetting::WindowTop, p.Top),
                  std::pair(TSetting::WindowWidth, p.Width), std::pair(TSetting::WindowHeight, p.Height)}) {
                const TSettingInfo &info = CheckedSetting(id, TSettingType::Integer);
                ini.WriteInteger(info.Section, info.Key, value);
            }
        }
        update.Commit();
    } catch (const EIniFileException &error) {
        return error.what();
    } catch (const std::invalid_argument &error) {
        // A recent file whose name cannot be stored (a line break in it).
        return error.what();
    }
    return {};
}

std::string RememberedFolder(TSetting id)
{
    return ReadSettingFolder(TIniFile(SettingsFileName()), id);
}

void RememberFolder(TSetting id, const std::string &folder)
{
    try {
        TIniFile ini(SettingsFileName());
        WriteSettingFolder(ini, id, folder);
    } catch (const EIniFileException &) {
        // Settings that cannot be written are passed over.
    }
}

// ---- Colours as text -------------------------------------------------------

std::string ColorToText(TColor color)
{
    for (const TColorName &c : kColorNames)
        if (c.Value == color)
            return std::string(c.Name);
    char text[10];
    std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(color));
    return text;
}

TColor TextToColor(std::string_view text)
{
    for (const TColorName &c : kColorNames)
        if (SameText(c.Name, text))
            return c.Value;
    int32_t value = 0;
    if (!TryParseInteger(text, value))
        throw EConvertError("\"" + std::string(text) + "\" is not a valid integer value");
    return static_cast<TColor>(value);
}

TColor ReadColor(const TIniFile &ini, std::string_view section, std::string_view key, TColor def)
{
    return TextToColor(ini.ReadString(section, key, ColorToText(def)));
}

void WriteColor(TIniFile &ini, std::string_view section, std::string_view key, TColor value)
{
    ini.WriteString(section, key, ColorToText(value));
}

} // namespace vexillo
