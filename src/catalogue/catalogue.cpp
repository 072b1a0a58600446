#include "catalogue/catalogue.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>

namespace vexillo {

namespace {

std::string lowerAscii(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The extension from the last dot on, dot included; empty without a dot.
std::string extensionOf(const std::string &fileName)
{
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos)
        return {};
    return lowerAscii(fileName.substr(dot));
}

// Closes a directory search on every way out of a folder level.
struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

} // namespace

uint32_t FileTypeOf(const std::string &FileName)
{
    const std::string ext = extensionOf(FileName);
    if (ext == ".exe")
        return ftExe;
    if (ext == ".dll")
        return ftDll;
    if (ext == ".ico")
        return ftIco;
    if (ext == ".cpl")
        return ftCpl;
    if (ext == ".ocx")
        return ftOcx;
    return 0;
}

bool IsIconFile(const std::string &FileName)
{
    return extensionOf(FileName) == ".ico";
}

bool ReadsAsInteger(const std::string &text, int &value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    long long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
        if (result > static_cast<long long>(INT_MAX) + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    value = static_cast<int>(result);
    return true;
}

// ---- Status texts ------------------------------------------------------------

void TCatalogue::setStatus(int panel, const std::string &text)
{
    if (FView)
        FView->SetStatusText(panel, text);
}

void TCatalogue::ProcessMessages()
{
    if (FView)
        FView->ProcessMessages();
}

void TCatalogue::ShowSearchPath(const std::string &Folder)
{
    setStatus(spSearchPath, Folder);
}

void TCatalogue::ShowPageStatus()
{
    if (PageCount() == 0)
        setStatus(spPages, " Pages");
    else
        setStatus(spPages, std::to_string(FCurrentPage) + "/" + std::to_string(PageCount()) + " Pages");
}

void TCatalogue::ShowFileCount(int Count)
{
    setStatus(spFiles, std::to_string(Count) + " Files");
}

void TCatalogue::ShowIconCount(int Count)
{
    setStatus(spIcons, "Icons: " + std::to_string(Count));
}

void TCatalogue::ShowSelectedCount(int Count)
{
    setStatus(spSelected, "Selected: " + std::to_string(Count));
}

// ---- Scanning ----------------------------------------------------------------

void ClearIconItems(TCatalogue &Catalogue)
{
    auto &items = Catalogue.IconItems;
    while (!items.empty())
        items.pop_back();
}

void TCatalogue::requireRun(const char *what) const
{
    if (!FRunning)
        throw std::logic_error(std::string(what) + " outside a run: begin one with ResetCatalogue");
}

void TCatalogue::EndRun()
{
    FStopped = true;
    FRunning = false;
}

void TCatalogue::ResetCatalogue(uint32_t TypeMask, int NamedFiles)
{
    FTypeMask = TypeMask;
    FRunning = true;
    FFileCount = 0;
    FCurrentPage = 1;
    ClearIconItems(*this);
    ShowPageStatus();
    FStopped = false;
    if (FView)
        FView->ClearIconList();
    ShowIconCount(0);
    ShowSelectedCount(0);
    if (FView)
        FView->ClearPreview();
    ShowFileCount(0);
    FFileCount = NamedFiles;
}

void TCatalogue::AddIconItem(const std::string &GroupName)
{
    IconItems.push_back(std::make_unique<TIconItem>(TIconItem{FCurrentFile, GroupName}));
    ShowPageStatus();
    ShowIconCount(IconCount());
}

bool EnumTypesProc(TCatalogue &Catalogue, HMODULE Module, const ResourceId &Type)
{
    const bool stopped = Catalogue.Stopped();
    Catalogue.ProcessMessages();
    if (!Type.IsName && Type.Number == RT_GROUP_ICON) {
        // A broken directory ends only this enumeration; its reason is kept.
        if (!Module->EnumResourceNames(Type, [&](const ResourceId &name) {
                return EnumNamesProc(Catalogue, Module, Type, name);
            }))
            Catalogue.NoteFileError(Module->LastError());
    }
    return !stopped;
}

bool EnumNamesProc(TCatalogue &Catalogue, HMODULE, const ResourceId &, const ResourceId &Name)
{
    const bool stopped = Catalogue.Stopped();
    Catalogue.ProcessMessages();
    Catalogue.AddIconItem(Name.IsName ? Name.Name : std::to_string(Name.Number));
    return !stopped;
}

void TCatalogue::ScanFile(const std::string &FileName)
{
    requireRun("ScanFile");
    FCurrentFile = FileName;
    FLastError = {};
    if (IsIconFile(FileName)) {
        AddIconItem("");
        return;
    }
    std::unique_ptr<TModule> module = TModule::LoadAsDataFile(FileName, &FLastError);
    if (!module)
        return;
    // The file keeps the entries it added before an error.
    if (!module->EnumResourceTypes(
            [&](const ResourceId &type) { return EnumTypesProc(*this, module.get(), type); }))
        NoteFileError(module->LastError());
}

void TCatalogue::NoteFileError(const TReadError &Error)
{
    // A module without resources, or without icon groups, is no fault.
    if (Error && Error.Code != TReadErrorCode::NotFound && !FLastError)
        FLastError = Error;
}

void TCatalogue::ScanFolder(const std::string &Folder)
{
    requireRun("ScanFolder");
    if (Folder.empty())
        return;
    const std::string folder = Folder.back() == '/' ? Folder : Folder + "/";
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    ShowSearchPath(folder);
    if (!dir)
        return;

    while (const dirent *entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + name;

        // Directories are entered only when they are real ones: a symbolic
        // link to a directory can make a cycle. Only regular files (or links
        // to them) are opened; a FIFO or device would block.
        struct stat own {};
        struct stat target {};
        const bool haveOwn = lstat(path.c_str(), &own) == 0;
        const bool isLink = haveOwn && S_ISLNK(own.st_mode);
        const bool haveTarget = haveOwn && (isLink ? stat(path.c_str(), &target) == 0 : (target = own, true));

        if (haveOwn && !isLink && S_ISDIR(own.st_mode)) {
            ScanFolder(path);
        } else if (!(haveTarget && S_ISDIR(target.st_mode))) {
            ++FFileCount;
            ShowFileCount(FFileCount);
            if ((FileTypeOf(name) & FTypeMask) != 0 && haveTarget && S_ISREG(target.st_mode))
                ScanFile(path);
        }

        ProcessMessages();
        if (FStopped)
            throw EAbort();
    }
}

bool TCatalogue::LoadIconGroup(const std::string &FileName, const std::string &GroupName)
{
    CurrentIcon.Images.Clear();
    FLastError = {};
    FGroupLanguage = -1;
    bool loaded = false;
    if (IsIconFile(FileName)) {
        loaded = CurrentIcon.LoadFromFile(FileName);
    } else {
        std::unique_ptr<TModule> opened;
        TModule *module = FKeepModule && FOpenModule && FOpenModuleFile == FileName ? FOpenModule.get() : nullptr;
        if (!module) {
            opened = TModule::LoadAsDataFile(FileName, &FLastError);
            if (!opened)
                return false;
            module = opened.get();
            if (FKeepModule) {
                FOpenModule = std::move(opened);
                FOpenModuleFile = FileName;
            }
        }
        int id = 0;
        const bool numbered = ReadsAsInteger(GroupName, id);
        loaded = numbered ? CurrentIcon.LoadFromResourceID(module, id)
                          : CurrentIcon.LoadFromResourceName(module, GroupName);
        uint16_t language = 0;
        if (loaded && module->ResourceLanguage(ResourceId::FromNumber(RT_GROUP_ICON),
                                               numbered ? ResourceId::FromNumber(static_cast<uint16_t>(id))
                                                        : ResourceId::FromName(GroupName),
                                               language))
            FGroupLanguage = language;
    }
    if (!loaded)
        FLastError = CurrentIcon.LastError();
    return loaded;
}

} // namespace vexillo
