#include "export/saveflows.h"

#include "icons/i2bconvert.h"

namespace vexillo {

std::string WithTrailingSlash(const std::string &folder)
{
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + "/";
}

std::string SavedFileName(const std::string &Folder, const std::string &Icon, int Image, const std::string &Extension)
{
    std::string name = Icon;
    if (Image > 0)
        name += (name.empty() ? "" : "-") + std::to_string(Image);
    return Folder + name + Extension;
}

void SaveIcons(TCatalogue &Catalogue, const std::vector<TSaveEntry> &Entries, const std::string &Path,
               const std::function<void()> &pump)
{
    const auto keep = Catalogue.KeepModuleOpen();
    for (const TSaveEntry &entry : Entries) {
        if (pump)
            pump();
        if (!Catalogue.LoadIconGroup(entry.FileName, entry.GroupName))
            continue;
        Catalogue.CurrentIcon.SaveToFile(SavedFileName(Path, entry.Caption, 0, ".ico"));
    }
}

void SaveImageAsBitmap(TIcon &Graphic, const std::string &FileName)
{
    TBitmap bitmap;
    IconToBitmap(Graphic, clWhite, bitmap);
    bitmap.SaveToFile(FileName);
}

} // namespace vexillo
