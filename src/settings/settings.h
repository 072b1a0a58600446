// The program's settings: where the settings file lives, the one table of
// every section, key and default the program uses, and colours as text.
// Every read and write opens the file and closes it again at once.
#pragma once

#include "platform/gdi.h"
#include "platform/inifile.h"

#include <array>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vexillo {

// A text is not a colour name or number: "\"xyz\" is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- Where the settings live -----------------------------------------------

// Settings.ini in the executable's folder when one is there already, or when
// the program runs from a build or portable folder it can write; otherwise
// (an installed program, PREFIX/bin beside PREFIX/share/vexillo, or a folder
// it cannot write) $XDG_CONFIG_HOME/vexillo/Settings.ini (when that variable
// is absolute) or ~/.config/vexillo/Settings.ini. The choice is made at the
// first call and kept for the rest of the run. The folder of the chosen file
// is created when it is missing.
std::string SettingsFileName();

// Makes SettingsFileName give this path (tests run the window against a
// settings file of their own); an empty path restores the normal choice.
void SetSettingsFileNameForTesting(const std::string &fileName);

// The choice behind SettingsFileName. `exePath` is the executable's path,
// `xdgConfigHome` and `home` the variables' values (empty when unset), and
// `canWrite` tells whether a folder or file can be written.
std::string ChooseSettingsFileName(const std::string &exePath, const std::string &xdgConfigHome,
                                   const std::string &home, const std::function<bool(const std::string &)> &canWrite);

// The user's home folder: $HOME when it is absolute, else the one the
// password database gives, else "/".
std::string HomeFolder();

// ---- Every setting ---------------------------------------------------------

enum class TSettingType {
    Boolean,  // "1" / "0", read as an integer: non-zero is true
    Color,    // a colour name or "$" and eight hexadecimal digits
    Folder,   // a folder path; the default is the user's home folder
    FileList, // File1 … FileN: file paths, no default
    Integer,  // a number; no default (missing until written)
};

enum class TSetting {
    Toolbar,
    StatusBar,
    BackgroundColor,
    LastPath,
    DefPath,
    ReopenFile,
    Cursors,
    HideDuplicates,
    WindowLeft,
    WindowTop,
    WindowWidth,
    WindowHeight,
};

struct TSettingInfo {
    TSetting Id;
    std::string_view Section;
    std::string_view Key; // FileList: the stem of File1 … FileN
    TSettingType Type;
    std::string_view Default; // as the file holds it; empty for Folder and FileList
};

inline constexpr std::string_view kViewSection = "View";
inline constexpr std::string_view kReopenSection = "Reopen";
inline constexpr std::string_view kWindowSection = "Window";

inline constexpr std::array<TSettingInfo, 12> kSettings{{
    {TSetting::Toolbar, kViewSection, "Toolbar", TSettingType::Boolean, "1"},
    {TSetting::StatusBar, kViewSection, "Status bar", TSettingType::Boolean, "1"},
    {TSetting::BackgroundColor, kViewSection, "Background Color", TSettingType::Color, "clWhite"},
    {TSetting::LastPath, kViewSection, "LastPath", TSettingType::Folder, ""},
    {TSetting::DefPath, kViewSection, "DefPath", TSettingType::Folder, ""},
    {TSetting::ReopenFile, kReopenSection, "File", TSettingType::FileList, ""},
    // Whether searches list the cursors of modules too, and whether the pages
    // show one entry of each set of identical icons; each written only while
    // it is on, so a file of the other settings alone stays as it was.
    {TSetting::Cursors, kViewSection, "Cursors", TSettingType::Boolean, "0"},
    {TSetting::HideDuplicates, kViewSection, "HideDuplicates", TSettingType::Boolean, "0"},
    // The main window's frame as the user last left it (its outer corner and
    // size in pixels); written only once the user has moved or resized it.
    {TSetting::WindowLeft, kWindowSection, "Left", TSettingType::Integer, ""},
    {TSetting::WindowTop, kWindowSection, "Top", TSettingType::Integer, ""},
    {TSetting::WindowWidth, kWindowSection, "Width", TSettingType::Integer, ""},
    {TSetting::WindowHeight, kWindowSection, "Height", TSettingType::Integer, ""},
}};

constexpr bool SettingsTableInOrder()
{
    for (size_t i = 0; i < kSettings.size(); ++i)
        if (static_cast<size_t>(kSettings[i].Id) != i)
            return false;
    return true;
}
static_assert(SettingsTableInOrder(), "every setting sits at the index of its id");

// The setting's value, its table default when it is missing. The type of the
// setting must match the function (std::invalid_argument otherwise).
bool ReadSettingBool(const TIniFile &ini, TSetting id);
void WriteSettingBool(TIniFile &ini, TSetting id, bool value);
// Raises EConvertError when the file holds text that is not a colour.
TColor ReadSettingColor(const TIniFile &ini, TSetting id);
void WriteSettingColor(TIniFile &ini, TSetting id, TColor value);
std::string ReadSettingFolder(const TIniFile &ini, TSetting id);
void WriteSettingFolder(TIniFile &ini, TSetting id, const std::string &folder);

// The key of the n-th entry of a FileList setting: "File1" for n = 1.
std::string SettingListKey(TSetting id, int n);
// The values of a FileList setting: every key of its section in file order
// (the key names are not interpreted), each value read with an empty
// default.
std::vector<std::string> ReadSettingList(const TIniFile &ini, TSetting id);
// Replaces the whole section by File1 … FileN, File1 the first value.
void WriteSettingList(TIniFile &ini, TSetting id, const std::vector<std::string> &values);

// ---- The settings of the main window and its dialogs -----------------------

// The main window's frame on the screen: its outer corner and size.
struct TWindowPlace {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TWindowPlace &) const = default;
};

// The frame the user last left the window in; false when the file holds
// none (a first start), or not all four numbers, or a size that is not
// positive or larger than a screen can be (32767).
bool LoadWindowPlace(TWindowPlace &place);

// The main window's view switches, its lists' background colour and its
// recent files, oldest first.
struct TWindowSettings {
    bool Toolbar = true;
    bool StatusBar = true;
    TColor BackgroundColor = clWhite;
    std::vector<std::string> RecentFiles;
    bool Cursors = false;
    bool HideDuplicates = false;
    // Written when set: the user moved or resized the window.
    bool HasPlace = false;
    TWindowPlace Place;
};

// Reads the window's settings from the settings file. A Background Color
// that is not a colour leaves the default colour, with the error's text in
// `colorError` (empty otherwise); the recent files are read all the same.
TWindowSettings LoadWindowSettings(std::string &colorError);
// Writes them with one write of the file, the Reopen section replaced
// whole. Returns the text of the error that kept them from being written (a
// file that cannot be written, a recent file whose name cannot be stored),
// or an empty text.
std::string SaveWindowSettings(const TWindowSettings &settings);

// The folder a folder dialog opens on, as stored under a Folder setting
// (LastPath, DefPath).
std::string RememberedFolder(TSetting id);
// Stores the folder a folder dialog closed on; a settings file that cannot
// be written is passed over, so that the dialog still closes.
void RememberFolder(TSetting id, const std::string &folder);

// ---- Colours as text -------------------------------------------------------

struct TColorName {
    std::string_view Name;
    TColor Value;
};

inline constexpr TColor clSystemColor = 0xFF000000;

// Writing a colour uses the first name of its value in this order.
inline constexpr std::array<TColorName, 52> kColorNames{{
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", clSystemColor + 0},
    {"clBackground", clSystemColor + 1},
    {"clActiveCaption", clSystemColor + 2},
    {"clInactiveCaption", clSystemColor + 3},
    {"clMenu", clSystemColor + 4},
    {"clWindow", clSystemColor + 5},
    {"clWindowFrame", clSystemColor + 6},
    {"clMenuText", clSystemColor + 7},
    {"clWindowText", clSystemColor + 8},
    {"clCaptionText", clSystemColor + 9},
    {"clActiveBorder", clSystemColor + 10},
    {"clInactiveBorder", clSystemColor + 11},
    {"clAppWorkSpace", clSystemColor + 12},
    {"clHighlight", clSystemColor + 13},
    {"clHighlightText", clSystemColor + 14},
    {"clBtnFace", clSystemColor + 15},
    {"clBtnShadow", clSystemColor + 16},
    {"clGrayText", clSystemColor + 17},
    {"clBtnText", clSystemColor + 18},
    {"clInactiveCaptionText", clSystemColor + 19},
    {"clBtnHighlight", clSystemColor + 20},
    {"cl3DDkShadow", clSystemColor + 21},
    {"cl3DLight", clSystemColor + 22},
    {"clInfoText", clSystemColor + 23},
    {"clInfoBk", clSystemColor + 24},
    {"clHotLight", clSystemColor + 26},
    {"clGradientActiveCaption", clSystemColor + 27},
    {"clGradientInactiveCaption", clSystemColor + 28},
    {"clMenuHighlight", clSystemColor + 29},
    {"clMenuBar", clSystemColor + 30},
}};

// The colour's name, else "$" and eight upper-case hexadecimal digits.
std::string ColorToText(TColor color);
// A colour name (any ASCII case) or a number as TryParseInteger reads it;
// raises EConvertError for anything else.
TColor TextToColor(std::string_view text);

// The colour a key holds, `def` when it is missing; raises EConvertError when
// the key holds text that is not a colour.
TColor ReadColor(const TIniFile &ini, std::string_view section, std::string_view key, TColor def);
void WriteColor(TIniFile &ini, std::string_view section, std::string_view key, TColor value);

} // namespace vexillo
