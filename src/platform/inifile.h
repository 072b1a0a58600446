// Settings files: the platform's private-profile functions as one small
// class over the INI text module. Every operation opens the file, does its
// work and closes it again; nothing is kept open or cached between calls,
// except during an update (BeginUpdate … UpdateFile), which gathers many
// changes in memory and writes the file once.
#pragma once

#include "formats/initext.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vexillo {

// "Unable to write to <file>": a change could not be saved. The file that was
// there before stays as it was.
class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TIniFile {
public:
    // A file larger than this is treated as empty when read and is never
    // rewritten; a change that would make the file larger is refused.
    static constexpr size_t MaxFileSize = size_t{4} << 20;
    // ReadString gives at most this many characters (the platform's buffer).
    static constexpr size_t MaxValueLength = kIniMaxValueLength;
    // ReadSection lists names while they fit this buffer, one terminator each.
    static constexpr size_t MaxSectionListSize = kIniMaxSectionListSize;

    explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

    const std::string &FileName() const { return FFileName; }

    // The value of the key with blanks (spaces, tabs) around it trimmed and one
    // pair of matching quotes (' or ") around it removed, cut to
    // MaxValueLength characters; `def` when the file, the section or the key
    // is missing or the file cannot be read.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    // The value as a number (see TryParseInteger); `def` when it is missing,
    // empty or not a number.
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
    // ReadInteger's number: non-zero is true, zero false.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    // True when the section holds the key.
    bool ValueExists(std::string_view section, std::string_view key) const;
    // The names of the keys of a section in file order, each name once (as
    // first spelled), as many as fit MaxSectionListSize.
    std::vector<std::string> ReadSection(std::string_view section) const;

    // The writers raise EIniFileException when the file cannot be written, or
    // when it exists but cannot be read as a settings file (not a regular
    // file, unreadable, too large); std::invalid_argument for a name that
    // cannot be stored (empty, a line break, '=' in a key, ']' in a section,
    // a key starting with ';' or '[').

    // Sets the value of a key. An existing key keeps its line, its spelling and
    // its layout up to the value; a new key goes after the last line of its
    // section that is not blank and not a comment; a new section goes at the
    // end of the file. Every other line stays byte for byte. The value is
    // stored up to its first line break or NUL; one that would not read back
    // as written (blanks at its ends, or a quote at both ends) is stored in
    // double quotes.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    // Writes "1" or "0".
    void WriteBool(std::string_view section, std::string_view key, bool value);
    // Removes every line of the key from the section that reading uses.
    void DeleteKey(std::string_view section, std::string_view key);
    // Removes every section of that name whole: its header and its lines up to
    // the next section.
    void EraseSection(std::string_view section);

    // An update: BeginUpdate reads the file once (raising EIniFileException as
    // the writers do when it cannot be read as a settings file). Until the
    // update ends, the writers change that text in memory, each change
    // checked and refused as it would be on its own (a change that would
    // make the file too large raises EIniFileException and is not made), and
    // the readers read it. UpdateFile then writes the text with one replace
    // of the file (nothing when no change was made) and ends the update,
    // raising EIniFileException when the file cannot be written; the file
    // stays as it was then. CancelUpdate ends it without writing. Starting an
    // update during one raises std::logic_error.
    void BeginUpdate();
    void UpdateFile();
    void CancelUpdate();
    bool Updating() const { return FUpdating; }

private:
    std::string FFileName;
    bool FUpdating = false;
    bool FChanged = false; // a change was made during the update
    std::string FText;     // the text an update changes

    // The text for reading: the update's, else the file's (empty when the
    // file is missing or cannot be read).
    std::string TextForRead() const;
    // The file's bytes for a change: empty when it does not exist; raises
    // EIniFileException when it cannot be read.
    std::string LoadForChange() const;
    // Runs `edit` on the update's text, or on the file's text and writes the
    // result back; a change that would make the file too large raises
    // EIniFileException and is not made.
    template <class Edit> void Change(Edit edit);
    void Save(const std::string &text) const;
};

// Holds a file in an update for a scope: Commit writes the changes once;
// leaving the scope without it drops them.
class TIniUpdate {
public:
    explicit TIniUpdate(TIniFile &ini) : FIni(ini) { FIni.BeginUpdate(); }
    ~TIniUpdate()
    {
        if (FIni.Updating())
            FIni.CancelUpdate();
    }
    TIniUpdate(const TIniUpdate &) = delete;
    TIniUpdate &operator=(const TIniUpdate &) = delete;

    void Commit() { FIni.UpdateFile(); }

private:
    TIniFile &FIni;
};

} // namespace vexillo
