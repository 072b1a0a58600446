// The recently opened files and the ten items of the Reopen menu, without Qt.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace vexillo {

// True when a file (not a folder) exists at the path.
bool FileExists(const std::string &Path);

// The items of the Reopen menu, by position.
inline constexpr int kReopenItemCount = 10;
inline constexpr char kNoRecentFile[] = "< None file >";

struct TReopenItem {
    bool Visible = false;
    bool Enabled = false;
    std::string Caption;
    std::string Hint; // the file's path, exactly as stored
};

class TRecentFiles {
public:
    using ExistsFunction = std::function<bool(const std::string &)>;

    explicit TRecentFiles(ExistsFunction exists = FileExists) : FExists(std::move(exists)) {}

    // Oldest first, newest last.
    const std::vector<std::string> &Items() const { return FItems; }
    void Clear() { FItems.clear(); }

    // Adds a path as the newest entry when a file exists there; an equal
    // entry (paths compare exactly) moves to the newest place.
    void AddRecentFile(const std::string &Path);

    // The ten menu items: item i stands for the (i+1)-th newest entry and is
    // shown when its file exists; shown items are numbered 1, 2, ... in their
    // order. With none shown, item 0 is the disabled placeholder.
    std::array<TReopenItem, kReopenItemCount> ReopenMenu() const;

private:
    ExistsFunction FExists;
    std::vector<std::string> FItems;
};

} // namespace vexillo
