// Small records shared by the catalogue and the save flows.
#pragma once

#include <string>

namespace vexillo {

// A catalogue entry: the file as scanned, and the icon group's number in
// decimal digits, or its resource name, or empty for an .ico file.
struct TIconItem {
    std::string FileName;
    std::string GroupName;
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
