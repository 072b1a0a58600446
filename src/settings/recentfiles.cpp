#include "settings/recentfiles.h"

#include <algorithm>
#include <sys/stat.h>

namespace vexillo {

bool FileExists(const std::string &Path)
{
    struct stat st {};
    return !Path.empty() && stat(Path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void TRecentFiles::AddRecentFile(const std::string &Path)
{
    if (!FExists(Path))
        return;
    const auto found = std::find(FItems.begin(), FItems.end(), Path);
    const bool had = found != FItems.end();
    const size_t position = static_cast<size_t>(found - FItems.begin());
    FItems.push_back(Path);
    if (had)
        FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(position));
}

std::array<TReopenItem, kReopenItemCount> TRecentFiles::ReopenMenu() const
{
    std::array<TReopenItem, kReopenItemCount> menu;
    int number = 1;
    const int count = static_cast<int>(FItems.size());
    for (int i = 0; i < kReopenItemCount; ++i) {
        const int k = count - 1 - i;
        if (k >= 0 && k < count && FExists(FItems[static_cast<size_t>(k)])) {
            const std::string &path = FItems[static_cast<size_t>(k)];
            TReopenItem &item = menu[static_cast<size_t>(i)];
            item.Hint = path;
            item.Caption = std::to_string(number) + ". " + path;
            item.Enabled = true;
            item.Visible = true;
            ++number;
        }
    }
    if (number == 1) {
        menu[0].Visible = true;
        menu[0].Enabled = false;
        menu[0].Caption = kNoRecentFile;
    }
    return menu;
}

} // namespace vexillo
