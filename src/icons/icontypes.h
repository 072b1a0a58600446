// Small records shared by the catalogue and the save flows.
#pragma once

#include <cstdint>
#include <string>

namespace vexillo {

// What a catalogue entry is: an icon (an .ico file or a module's icon
// group), a cursor (a .cur file or a module's cursor group) or an animated
// cursor (an .ani file).
enum class TEntryKind : uint8_t { Icon, Cursor, AnimatedCursor };

// A catalogue entry: the file as scanned, and the group's number in decimal
// digits, or its resource name, or empty for an .ico, .cur or .ani file.
struct TIconItem {
    std::string FileName;
    std::string GroupName;
    // Where the scan found the group: its place among the entries of the
    // module's icon-group directory, so that the entry is loaded again from
    // that very place even where another group answers to the same name. -1
    // for an .ico file or when not known (the group is then looked up by
    // its name).
    int32_t GroupPlace = -1;
    TEntryKind Kind = TEntryKind::Icon;
    // The group is known by a name, not a number: a name may be written in
    // digits too, so GroupName alone does not tell.
    bool GroupIsName = false;
    // The name holds an unpaired surrogate, which UTF-8 cannot carry:
    // GroupName shows it escaped as \uD800 (and a backslash as \\), from
    // which its exact UTF-16 units are read back (EscapedNameUnits).
    bool GroupEscaped = false;
};

// What the save-folder dialog hands to the save flows.
struct SaveOption {
    std::string Path;
    bool Confirmed = false;
    bool OpenFolder = false;
    // Icons are saved as PNG images, one file an image (where offered).
    bool Png = false;
};

} // namespace vexillo
