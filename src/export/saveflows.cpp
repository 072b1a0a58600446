#include "export/saveflows.h"

#include "icons/i2bconvert.h"
#include "platform/streams.h"

#include <ctime>
#include <sys/stat.h>

namespace vexillo {

namespace {

// Loads each entry's group in turn into the loader's icon, pumping first,
// and hands it to `save`; an entry whose group no longer loads is skipped.
// A cancelled save ends before the next entry.
void ForEachLoadedGroup(TGroupLoader &Loader, const std::vector<TSaveEntry> &Entries, const std::function<void()> &pump,
                        const TSaveTarget &Target, const std::function<void(const TSaveEntry &)> &save)
{
    const auto keep = Loader.KeepModuleOpen();
    for (const TSaveEntry &entry : Entries) {
        if (pump)
            pump();
        if (Target.Cancelled())
            return;
        if (Loader.LoadIconGroup(entry.Item))
            save(entry);
    }
}

// A count with its thousands set apart by commas: "12,689".
std::string Grouped(uint64_t n)
{
    std::string digits = std::to_string(n);
    for (size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, ",");
    return digits;
}

} // namespace

bool TSaveTarget::Write(const std::string &FileName, const std::vector<uint8_t> &Bytes)
{
    if (FCancelled)
        return false;
    const ByteView bytes(Bytes.data(), Bytes.size());
    if (!FReplaceAll) {
        // A free name is claimed and filled in one step; one taken since the
        // look is never written through.
        struct stat taken {};
        const bool exists = ::lstat(FileName.c_str(), &taken) == 0;
        if (!exists && WriteNewFile(FileName, bytes, TTakenName::Keep)) {
            ++FWritten;
            return true;
        }
        // A folder of that name is not offered for replacing: the write
        // below fails on it and says so.
        if (!(exists && S_ISDIR(taken.st_mode))) {
            const TReplaceAnswer answer = FAsk ? FAsk(FileName, Bytes.size()) : TReplaceAnswer::Skip;
            if (answer == TReplaceAnswer::Cancel)
                FCancelled = true;
            if (answer == TReplaceAnswer::Cancel || answer == TReplaceAnswer::Skip) {
                ++FSkipped;
                return false;
            }
            FReplaceAll = answer == TReplaceAnswer::ReplaceAll;
        }
    }
    // The file the name stands for is replaced as every save replaced it: a
    // link followed, the file's permissions kept.
    WriteFileReplacing(FileName, bytes);
    ++FWritten;
    return true;
}

std::string ReplaceQuestionText(const std::string &FileName, uint64_t NewSize)
{
    const size_t slash = FileName.find_last_of('/');
    const std::string name = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : FileName.substr(0, slash);
    std::string text = "A file named \"" + name + "\" already exists in " + folder + ".";
    struct stat taken {};
    if (::lstat(FileName.c_str(), &taken) == 0) {
        char when[32] = "";
        std::tm local{};
        const time_t modified = taken.st_mtime;
        if (localtime_r(&modified, &local))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
        if (S_ISREG(taken.st_mode))
            text += "\n\nExisting file: " + Grouped(static_cast<uint64_t>(taken.st_size)) + " bytes, " + when;
        else
            text += "\n\nIt is not a regular file.";
    }
    return text + "\nNew file: " + Grouped(NewSize) + " bytes\n\nReplace it?";
}

void SaveIcons(TGroupLoader &Loader, const std::vector<TSaveEntry> &Entries, const std::string &Path,
               const std::function<void()> &pump, TSaveTarget &Target)
{
    ForEachLoadedGroup(Loader, Entries, pump, Target, [&](const TSaveEntry &entry) {
        TMemoryStream stream;
        Loader.CurrentIcon.SaveToStream(stream);
        // A group without images writes no file.
        if (!stream.Bytes().empty())
            Target.Write(SavedFileName(Path, entry.Caption, 0, Loader.CurrentIcon.FileExtension()), stream.Bytes());
    });
}

std::vector<uint8_t> ImagePngBytes(const TIconImage &Image)
{
    std::vector<uint8_t> png;
    std::string why;
    if (!ImageAsPng(Image, png, why))
        throw EInvalidGraphic("The image cannot be saved as PNG: " + why);
    return png;
}

int SaveIconsAsPng(TGroupLoader &Loader, const std::vector<TSaveEntry> &Entries, const std::string &Path,
                   const std::function<void()> &pump, TSaveTarget &Target, std::string &firstSkipped)
{
    int skipped = 0;
    ForEachLoadedGroup(Loader, Entries, pump, Target, [&](const TSaveEntry &entry) {
        const TIconImageList &images = Loader.CurrentIcon.Images;
        for (uint16_t k = 0; k < images.Count && !Target.Cancelled(); ++k) {
            std::vector<uint8_t> png;
            std::string why;
            if (!ImageAsPng(*images.GetItem(k), png, why)) {
                if (skipped++ == 0)
                    firstSkipped = SavedFileName("", entry.Caption, k + 1, ".png") + ": " + why;
                continue;
            }
            Target.Write(SavedFileName(Path, entry.Caption, k + 1, ".png"), png);
        }
    });
    return skipped;
}

std::vector<uint8_t> BitmapFileBytes(TIcon &Graphic)
{
    TBitmap bitmap;
    IconToBitmap(Graphic, clWhite, bitmap);
    return bitmap.SaveToBytes();
}

} // namespace vexillo
