#include "export/saveflows.h"

#include "icons/i2bconvert.h"

namespace vexillo {

std::string WithTrailingSlash(const std::string &folder)
{
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + "/";
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
        Catalogue.CurrentIcon.SaveToFile(Path + entry.Caption + ".ico");
    }
}

void SaveImageAsBitmap(TIcon &Graphic, const std::string &FileName)
{
    TBitmap bitmap;
    IconToBitmap(Graphic, clWhite, bitmap);
    bitmap.SaveToFile(FileName);
}

} // namespace vexillo
