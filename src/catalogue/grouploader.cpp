#include "catalogue/grouploader.h"

#include "catalogue/filenames.h"
#include "formats/ascii.h"

#include <new>
#include <optional>

namespace vexillo {

namespace {

// A group as a user writes it (see FindIconGroup): true and the number for
// "#N" and for a text that reads as an integer, false and the name otherwise.
bool ParseGroupArgument(const std::string &Group, int &number, std::string &name)
{
    const bool hashed =
        Group.size() > 1 && Group[0] == '#' && Group.find_first_not_of("0123456789", 1) == std::string::npos;
    if (ReadsAsInteger(hashed ? Group.substr(1) : Group, number) && number >= 1 && number <= 0xFFFF)
        return true;
    const bool quoted = Group.size() >= 2 && Group.front() == '"' && Group.back() == '"';
    name = quoted ? Group.substr(1, Group.size() - 2) : Group;
    return false;
}

} // namespace

bool FindIconGroup(const std::string &FileName, const std::string &Group, TIconItem &Entry, TReadError &Error,
                   TEntryKind Kind)
{
    const bool cursor = Kind == TEntryKind::Cursor;
    std::unique_ptr<TModule> module = TModule::LoadAsDataFile(FileName, &Error);
    if (!module)
        return false;
    int number = 0;
    std::string name;
    const bool numbered = !Group.empty() && ParseGroupArgument(Group, number, name);
    std::optional<TIconItem> exact, folded;
    const ResourceId type = ResourceId::FromNumber(cursor ? RT_GROUP_CURSOR : RT_GROUP_ICON);
    const bool listed = module->EnumResourceNames(type, [&](const ResourceId &id) {
        const std::string text = id.IsName ? id.Name : std::to_string(id.Number);
        if (Group.empty() || (numbered ? !id.IsName && id.Number == number : id.IsName && id.Name == name))
            exact = TIconItem{FileName, text, id.Place, Kind, id.IsName, !id.Units.empty()};
        else if (!numbered && !folded && id.IsName && EqualsIgnoringAsciiCase(id.Name, name))
            folded = TIconItem{FileName, text, id.Place, Kind, id.IsName, !id.Units.empty()};
        return !exact;
    });
    if (exact || folded) {
        Entry = exact ? *exact : *folded;
        return true;
    }
    Error = !listed && module->LastError() && module->LastError().Code != TReadErrorCode::NotFound ? module->LastError()
            : Group.empty() ? NotFound(cursor ? "cursors" : "icons")
                            : NotFound((cursor ? "cursor group " : "icon group ") +
                                       (numbered ? std::to_string(number) : "\"" + name + "\""));
    return false;
}

bool TGroupLoader::LoadIconGroup(const std::string &FileName, const std::string &GroupName)
{
    return LoadIconGroup(
        TIconItem{FileName, GroupName, -1, GroupName.empty() ? EntryKindOfFile(FileName) : TEntryKind::Icon});
}

bool TGroupLoader::LoadIconGroup(const TIconItem &Entry)
{
    // Nothing of the last load stays: a file that does not open leaves no
    // budget, cursor flag or reason of the one before.
    CurrentIcon.Clear();
    FLastError = {};
    FGroupLanguage = -1;
    try {
        return loadGroup(Entry);
    } catch (const std::bad_alloc &) {
        CurrentIcon.Images.Clear();
        FLastError = OutOfMemory();
        return false;
    }
}

namespace {

// The group an entry names, at the place the scan found it: a name when the
// entry is marked as one, whatever its characters; otherwise a number written
// in decimal digits, else a name (an entry made from a text alone).
ResourceId GroupId(const TIconItem &Entry)
{
    int id = 0;
    ResourceId group = !Entry.GroupIsName && ReadsAsInteger(Entry.GroupName, id) && id >= 1 && id <= 0xFFFF
                           ? ResourceId::FromNumber(static_cast<uint16_t>(id))
                           : ResourceId::FromName(Entry.GroupName);
    group.Place = Entry.GroupPlace;
    if (Entry.GroupEscaped)
        group.Units = EscapedNameUnits(Entry.GroupName);
    return group;
}

} // namespace

void TGroupLoader::noteLanguage(const TModule &Module, const ResourceId &Group, bool Cursor)
{
    uint16_t language = 0;
    if (Module.ResourceLanguage(ResourceId::FromNumber(Cursor ? RT_GROUP_CURSOR : RT_GROUP_ICON), Group, language))
        FGroupLanguage = language;
}

TModule *TGroupLoader::openModule(const std::string &FileName, std::unique_ptr<TModule> &Opened)
{
    if (FKeepModule && FOpenModule && FOpenModuleFile == FileName)
        return FOpenModule.get();
    Opened = TModule::LoadAsDataFile(FileName, &FLastError);
    if (!Opened || !FKeepModule)
        return Opened.get();
    FOpenModule = std::move(Opened);
    FOpenModuleFile = FileName;
    return FOpenModule.get();
}

TIconImage *TGroupLoader::LoadPictureImage(const TIconItem &Entry, TAdvancedIcon &Icon,
                                           const std::function<int(const TAdvancedIcon &)> &Choose, uint16_t MaxImages)
{
    // The most of an image its fields are read from (a bitmap's header, a
    // PNG's signature and header chunk).
    constexpr uint32_t kImageHead = 64;
    FLastError = {};
    FGroupLanguage = -1;
    try {
        std::unique_ptr<TModule> opened;
        TModule *module = openModule(Entry.FileName, opened);
        if (!module)
            return nullptr;
        const ResourceId group = GroupId(Entry);
        const bool cursor = Entry.Kind == TEntryKind::Cursor;
        // As a whole load, the images read before an entry that fails stay.
        if (!Icon.LoadHeadsFromResource(module, group, cursor, kImageHead, MaxImages))
            FLastError = Icon.LastError();
        else
            noteLanguage(*module, group, cursor);
        const int K = Icon.Images.Count > 0 ? Choose(Icon) : -1;
        TIconImage *image = K >= 0 ? Icon.Images.GetItem(static_cast<uint16_t>(K)) : nullptr;
        // An image that no longer reads whole keeps no bytes: it shows none.
        if (image && !Icon.ReadWholeImage(module, static_cast<uint16_t>(K)))
            image->Data = {};
        return image;
    } catch (const std::bad_alloc &) {
        FLastError = OutOfMemory();
        return nullptr;
    }
}

bool TGroupLoader::loadGroup(const TIconItem &Entry)
{
    const std::string &FileName = Entry.FileName;
    bool loaded = false;
    if (IsIconFile(FileName)) {
        loaded = CurrentIcon.LoadFromFile(FileName);
    } else if (IsCursorFile(FileName) || IsAnimatedCursorFile(FileName)) {
        // Told apart by their bytes: many .cur files are animated.
        loaded = CurrentIcon.LoadAnimatedCursorFromFile(FileName);
    } else {
        std::unique_ptr<TModule> opened;
        TModule *module = openModule(FileName, opened);
        if (!module)
            return false;
        // The group at the place the scan found it, as long as that place
        // still holds the entry's number or name; else the first of them.
        const ResourceId group = GroupId(Entry);
        const bool cursor = Entry.Kind == TEntryKind::Cursor;
        int id = 0;
        if (cursor)
            loaded = CurrentIcon.LoadCursorFromResource(module, group);
        else if (Entry.GroupPlace >= 0 || Entry.GroupIsName)
            loaded = CurrentIcon.LoadFromResource(module, group);
        else if (ReadsAsInteger(Entry.GroupName, id))
            loaded = CurrentIcon.LoadFromResourceID(module, id);
        else
            loaded = CurrentIcon.LoadFromResourceName(module, Entry.GroupName);
        if (loaded)
            noteLanguage(*module, group, cursor);
    }
    if (!loaded)
        FLastError = CurrentIcon.LastError();
    return loaded;
}

} // namespace vexillo
