#include "export/saveflows.h"

#include "icons/i2bconvert.h"
#include "platform/streams.h"

namespace vexillo {

namespace {

// Loads each entry's group in turn into the catalogue's icon, pumping first,
// and hands it to `save`; an entry whose group no longer loads is skipped.
void ForEachLoadedGroup(TCatalogue &Catalogue, const std::vector<TSaveEntry> &Entries,
                        const std::function<void()> &pump, const std::function<void(const TSaveEntry &)> &save)
{
    const auto keep = Catalogue.KeepModuleOpen();
    for (const TSaveEntry &entry : Entries) {
        if (pump)
            pump();
        if (Catalogue.LoadIconGroup(TIconItem{entry.FileName, entry.GroupName, entry.GroupPlace, entry.Kind}))
            save(entry);
    }
}

} // namespace

void SaveIcons(TCatalogue &Catalogue, const std::vector<TSaveEntry> &Entries, const std::string &Path,
               const std::function<void()> &pump)
{
    ForEachLoadedGroup(Catalogue, Entries, pump, [&](const TSaveEntry &entry) {
        Catalogue.CurrentIcon.SaveToFile(SavedFileName(Path, entry.Caption, 0, Catalogue.CurrentIcon.FileExtension()));
    });
}

void SaveImageAsPng(const TIconImage &Image, const std::string &FileName)
{
    std::vector<uint8_t> png;
    std::string why;
    if (!ImageAsPng(Image, png, why))
        throw EInvalidGraphic("The image cannot be saved as PNG: " + why);
    WriteFileReplacing(FileName, png);
}

int SaveIconsAsPng(TCatalogue &Catalogue, const std::vector<TSaveEntry> &Entries, const std::string &Path,
                   const std::function<void()> &pump, std::string &firstSkipped)
{
    int skipped = 0;
    ForEachLoadedGroup(Catalogue, Entries, pump, [&](const TSaveEntry &entry) {
        const TIconImageList &images = Catalogue.CurrentIcon.Images;
        for (uint16_t k = 0; k < images.Count; ++k) {
            std::vector<uint8_t> png;
            std::string why;
            if (!ImageAsPng(*images.GetItem(k), png, why)) {
                if (skipped++ == 0)
                    firstSkipped = SavedFileName("", entry.Caption, k + 1, ".png") + ": " + why;
                continue;
            }
            WriteFileReplacing(SavedFileName(Path, entry.Caption, k + 1, ".png"), png);
        }
    });
    return skipped;
}

void SaveImageAsBitmap(TIcon &Graphic, const std::string &FileName)
{
    TBitmap bitmap;
    IconToBitmap(Graphic, clWhite, bitmap);
    bitmap.SaveToFile(FileName);
}

} // namespace vexillo
