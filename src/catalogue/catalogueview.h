// What a scan needs of the window that shows it: the status panels it writes,
// the message pump it calls between files, the lists it empties, and the
// silent abort that ends a cancelled search.
#pragma once

#include <exception>
#include <string>

namespace vexillo {

// The silent abort: ends a cancelled folder scan. The main window catches
// it where a command handler returns to the event loop and shows nothing.
class EAbort : public std::exception {
public:
    const char *what() const noexcept override { return "Operation aborted"; }
};

// The status bar panels the catalogue writes to.
enum TStatusPanel { spSearchPath = 0, spPages = 1, spFiles = 2, spIcons = 3, spSelected = 4 };

// What the catalogue needs of the main window.
class TCatalogueView {
public:
    virtual ~TCatalogueView() = default;
    // Sets a status bar panel's text and repaints the status bar at once.
    virtual void SetStatusText(int Panel, const std::string &Text) = 0;
    // Handles pending window messages (painting, the Search Disk dialog's
    // Cancel, the window's own commands).
    virtual void ProcessMessages() = 0;
    // Empties the icon list and its picture list.
    virtual void ClearIconList() = 0;
    // Empties the preview list.
    virtual void ClearPreview() = 0;
};

} // namespace vexillo
