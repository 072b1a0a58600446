#include "platform/inifile.h"

#include "formats/fileio.h"

#include <cerrno>

namespace vexillo {

namespace {

enum class TLoadResult { Loaded, Missing, Refused };

// Reads the whole file when it is a regular file of at most MaxFileSize bytes.
TLoadResult LoadFile(const std::string &fileName, std::string &text)
{
    text.clear();
    std::vector<uint8_t> bytes;
    TReadError error;
    if (!ReadWholeFile(fileName, TIniFile::MaxFileSize, bytes, &error))
        return error.Errno == ENOENT ? TLoadResult::Missing : TLoadResult::Refused;
    text.assign(bytes.begin(), bytes.end());
    return TLoadResult::Loaded;
}

} // namespace

// ---- Reading ---------------------------------------------------------------

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const
{
    return IniReadValue(TextForRead(), section, key).value_or(std::string(def));
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const
{
    int32_t value;
    return TryParseInteger(ReadString(section, key, ""), value) ? value : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const
{
    return IniReadValue(TextForRead(), section, key).has_value();
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const
{
    return IniReadSection(TextForRead(), section);
}

// ---- Writing ---------------------------------------------------------------

std::string TIniFile::TextForRead() const
{
    if (FUpdating)
        return FText;
    std::string text;
    LoadFile(FFileName, text);
    return text;
}

std::string TIniFile::LoadForChange() const
{
    std::string text;
    if (LoadFile(FFileName, text) == TLoadResult::Refused)
        throw EIniFileException("Unable to write to " + FFileName);
    return text;
}

void TIniFile::Save(const std::string &text) const
{
    if (text.size() > MaxFileSize)
        throw EIniFileException("Unable to write to " + FFileName);
    if (!WriteFileReplacingBytes(FFileName, ByteView(reinterpret_cast<const uint8_t *>(text.data()), text.size())))
        throw EIniFileException("Unable to write to " + FFileName);
}

template <class Edit> void TIniFile::Change(Edit edit)
{
    // An update's text is changed where it is (an edit leaves it alone when
    // it refuses); otherwise the file's text is changed and written back.
    std::string fileText;
    if (!FUpdating)
        fileText = LoadForChange();
    std::string &text = FUpdating ? FText : fileText;
    const IniChange change = edit(text);
    if (change == IniChange::TooLarge)
        throw EIniFileException("Unable to write to " + FFileName);
    if (change == IniChange::Unchanged)
        return;
    if (FUpdating)
        FChanged = true;
    else
        Save(text);
}

void TIniFile::BeginUpdate()
{
    if (FUpdating)
        throw std::logic_error("An update of " + FFileName + " is already running");
    FText = LoadForChange();
    FChanged = false;
    FUpdating = true;
}

void TIniFile::UpdateFile()
{
    if (!FUpdating)
        return;
    const bool changed = FChanged;
    std::string text = std::move(FText);
    CancelUpdate();
    if (changed)
        Save(text);
}

void TIniFile::CancelUpdate()
{
    FUpdating = false;
    FChanged = false;
    FText.clear();
    FText.shrink_to_fit();
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    Change([&](std::string &text) { return IniWriteValue(text, section, key, value, MaxFileSize); });
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key)
{
    Change([&](std::string &text) { return IniDeleteKey(text, section, key); });
}

void TIniFile::EraseSection(std::string_view section)
{
    Change([&](std::string &text) { return IniEraseSection(text, section); });
}

} // namespace vexillo
