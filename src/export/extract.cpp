#include "export/extract.h"

#include "catalogue/failuretext.h"
#include "export/outputnames.h"
#include "export/pngpictures.h"
#include "platform/streams.h"

#include <map>
#include <sys/stat.h>
#include <utility>

namespace vexillo {

void RaiseWriteError(const TOutputFolder &folder, const std::string &name, const FileWrite &write)
{
    if (write.Result == FileWrite::WriteFailed)
        throw EWriteError(folder.PathOf(name), write.Error);
    throw EFCreateError(folder.PathOf(name), SystemErrorText(write.Error), write.Error);
}

namespace {

// The files an extraction reads, by device and inode: each path itself (a
// link, say) and the file it leads to.
class InputFiles {
public:
    void Add(const std::string &path)
    {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0)
            FIds.emplace(st.st_dev, st.st_ino);
        if (::stat(path.c_str(), &st) == 0)
            FIds.emplace(st.st_dev, st.st_ino);
    }

    // True when the entry `name` of the folder (not followed) is one of the inputs.
    bool Holds(const TOutputFolder &folder, const std::string &name) const
    {
        struct stat st {};
        return folder.EntryStatus(name, st) && FIds.count({st.st_dev, st.st_ino}) > 0;
    }

private:
    std::set<std::pair<dev_t, ino_t>> FIds;
};

// The name each entry's files take: its catalogue number when numbered,
// else its source's name made unique within the run.
class ExtractNaming {
public:
    explicit ExtractNaming(bool numbered) : FNumbered(numbered) {}

    TExtractedName Next(const TIconItem &item)
    {
        ++FNumber;
        if (FNumbered)
            return {std::to_string(FNumber), item.Kind == TEntryKind::AnimatedCursor ? ".ani"
                                             : item.Kind == TEntryKind::Cursor       ? ".cur"
                                                                                     : ".ico"};
        TExtractedName name = ExtractedFileName(item);
        name.Base = FNames.Claim(name.Base);
        return name;
    }

private:
    bool FNumbered;
    int FNumber = 0;
    TUniqueNames FNames;
};

// What became of one file of an extraction.
enum class Put { Written, Skipped, LimitReached };

// One run of ExtractIcons: where it writes, what it must not replace, and
// whom it tells.
class Extraction {
public:
    Extraction(TOutputFolder &folder, const TExtractOptions &options, TExtractReport &report)
        : FFolder(folder), FOptions(options), FReport(report)
    {
    }

    void Run(TCatalogue &catalogue);

private:
    Put Skip(const std::string &name, const char *reason);
    Put Outcome(const std::string &name, const FileWrite &write);
    Put Write(const std::string &name, const std::vector<uint8_t> &bytes);
    Put Link(const std::string &written, const std::string &name);
    void Count(Put put) { ++(put == Put::Written ? FReport.Counts.Written : FReport.Counts.Skipped); }
    bool WriteImages(const TAdvancedIcon &icon, const std::string &base);

    TOutputFolder &FFolder;
    const TExtractOptions &FOptions;
    TExtractReport &FReport;
    InputFiles FInputs;
};

Put Extraction::Skip(const std::string &name, const char *reason)
{
    FReport.Skipped(FFolder.PathOf(name), reason);
    return Put::Skipped;
}

// What a write in the output folder comes to; a failure raises EStreamError.
Put Extraction::Outcome(const std::string &name, const FileWrite &write)
{
    switch (write.Result) {
    case FileWrite::Done: FReport.FileMade(FFolder.PathOf(name)); return Put::Written;
    case FileWrite::Taken: return Skip(name, "the file exists (use --force to replace it)");
    case FileWrite::LimitReached: return Put::LimitReached;
    case FileWrite::CreateFailed:
    case FileWrite::WriteFailed: break;
    }
    RaiseWriteError(FFolder, name, write);
}

Put Extraction::Write(const std::string &name, const std::vector<uint8_t> &bytes)
{
    // Icons are read one at a time after the scan, so a file still to be
    // read must not be replaced, whatever Force says.
    if (FOptions.Force && FInputs.Holds(FFolder, name))
        return Skip(name, "it is one of the files being read");
    return Outcome(name, FFolder.WriteFile(name, ByteView(bytes.data(), bytes.size()), FOptions.Force));
}

// Gives `name` the picture already written as `written` (an image whose
// entry names the same bytes as an earlier one): a hard link, so that
// thousands of entries of one picture cost one file's bytes and one encoding.
Put Extraction::Link(const std::string &written, const std::string &name)
{
    if (FOptions.Force && FInputs.Holds(FFolder, name))
        return Skip(name, "it is one of the files being read");
    return Outcome(name, FFolder.LinkFile(written, name, FOptions.Force));
}

// Writes every image of the icon as BASE-K.png; false when the budget of
// the icon's file stopped it (the rest count as skipped).
bool Extraction::WriteImages(const TAdvancedIcon &icon, const std::string &base)
{
    // Entries that name the same bytes give the same picture: it is encoded
    // once and linked under the other names; bytes that do not make a
    // picture are tried once, and said once.
    std::map<std::pair<const uint8_t *, uint32_t>, std::string> pictures;
    std::set<std::pair<const uint8_t *, uint32_t>> failed;
    for (uint16_t k = 0; k < icon.Images.Count; ++k) {
        const TIconImage &image = *icon.Images.GetItem(k);
        const std::string name = SavedFileName("", base, k + 1, ".png");
        const auto key = std::make_pair(image.Data.data(), image.StoredSize());
        const auto same = pictures.find(key);
        Put put = Put::Skipped;
        std::vector<uint8_t> png;
        std::string why;
        if (same != pictures.end()) {
            put = Link(same->second, name);
        } else if (failed.count(key)) {
            // The same bytes failed before: skipped without a second word.
        } else if (ImageAsPng(image, png, why)) {
            put = Write(name, png);
        } else if (icon.Budget && icon.Budget->Spent()) {
            put = Put::LimitReached;
        } else {
            failed.insert(key);
            FReport.Skipped(base + "-" + std::to_string(k + 1), why);
        }
        if (put == Put::LimitReached) {
            FReport.Counts.Skipped += icon.Images.Count - k;
            return false;
        }
        Count(put);
        if (put == Put::Written && same == pictures.end())
            pictures.emplace(key, name);
    }
    return true;
}

void Extraction::Run(TCatalogue &catalogue)
{
    for (const auto &entry : catalogue.IconItems)
        FInputs.Add(entry->FileName);
    for (const std::string &path : FOptions.NamedFiles)
        FInputs.Add(path);
    const auto keep = catalogue.KeepModuleOpen();
    ExtractNaming naming(FOptions.Numbered);
    const std::string *source = nullptr;
    bool sourceStopped = false;
    // A source's first groups that do not load are told one by one, the
    // rest counted: a module of thousands of broken groups says a screenful.
    constexpr int kToldPerSource = 10;
    int unloaded = 0;
    const auto tellMore = [&] {
        if (source && unloaded > kToldPerSource)
            FReport.Skipped(*source, std::to_string(unloaded - kToldPerSource) + " more groups that do not load");
    };
    for (const auto &entry : catalogue.IconItems) {
        const TIconItem &item = *entry;
        const TExtractedName name = naming.Next(item);
        if (!source || *source != item.FileName) {
            tellMore();
            source = &item.FileName;
            sourceStopped = false;
            unloaded = 0;
        }
        if (sourceStopped) {
            ++FReport.Counts.Skipped;
            continue;
        }
        TAdvancedIcon &icon = catalogue.CurrentIcon;
        bool withinLimit = catalogue.LoadIconGroup(item);
        if (!withinLimit && !(icon.Budget && icon.Budget->Spent())) {
            if (!FOptions.Reported.count(item.FileName) && ++unloaded <= kToldPerSource)
                FReport.Skipped(name.Base, item.FileName + (item.GroupName.empty() ? "" : " group " + item.GroupName) +
                                               ": " + FileFailureText(item.FileName, catalogue.LastError()));
            ++FReport.Counts.Skipped;
            continue;
        }
        // Every file made draws on the budget of the file its icon is read from.
        FFolder.SetBudget(icon.Budget);
        if (!withinLimit) {
            ++FReport.Counts.Skipped;
        } else if (FOptions.AsPng) {
            withinLimit = WriteImages(icon, name.Base);
        } else if (icon.Images.Count == 0) {
            ++FReport.Counts.Skipped;
        } else {
            TMemoryStream stream;
            icon.SaveToStream(stream);
            const Put put = Write(SavedFileName("", name.Base, 0, name.Extension), stream.Bytes());
            withinLimit = put != Put::LimitReached;
            Count(put);
        }
        if (!withinLimit) {
            // The file's budget is spent: it is said once, and the rest of
            // its icons are skipped.
            FReport.SourceStopped(item.FileName, icon.Budget->Refusal());
            sourceStopped = true;
            FReport.Counts.Limited = true;
        }
    }
    tellMore();
}

} // namespace

void ExtractIcons(TCatalogue &catalogue, TOutputFolder &folder, const TExtractOptions &options, TExtractReport &report)
{
    Extraction(folder, options, report).Run(catalogue);
}

} // namespace vexillo
