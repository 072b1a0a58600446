// The loading of an entry's group from its file: the one icon it loads into
// (CurrentIcon), the module kept open across a run of loads of one file, the
// group's language, and why the last load went wrong. The window, each page
// thread and each keying thread have a loader of their own.
#pragma once

#include "icons/advancedicon.h"
#include "icons/icontypes.h"
#include "platform/pemodule.h"

#include <functional>
#include <memory>
#include <string>

namespace vexillo {

class TGroupLoader {
public:
    TGroupLoader() = default;
    TGroupLoader(const TGroupLoader &) = delete;
    TGroupLoader &operator=(const TGroupLoader &) = delete;

    // The loader's one icon: holds the group loaded last.
    TAdvancedIcon CurrentIcon;

    // Loads an entry's icon group into CurrentIcon (emptied first); true when
    // the group was read, else LastError says why. An entry that knows its
    // group's place is loaded from there.
    bool LoadIconGroup(const std::string &FileName, const std::string &GroupName);
    bool LoadIconGroup(const TIconItem &Entry);
    // Loads a module's group (an entry that knows its group's place) into
    // Icon for its picture: each image's head only, then the whole of the
    // image Choose picks (an index into Icon's images), which it returns;
    // nullptr when the group holds no image then. The other images hold
    // their heads only: Icon is for the picture alone. An image that no
    // longer reads whole is returned without bytes. A Choose that picks -1
    // reads the heads alone; MaxImages reads only the first images. GroupLanguage and LastError tell of the group
    // as after LoadIconGroup.
    TIconImage *LoadPictureImage(const TIconItem &Entry, TAdvancedIcon &Icon,
                                 const std::function<int(const TAdvancedIcon &)> &Choose,
                                 uint16_t MaxImages = TIconImageList::kMaxCount);

    // Why the last LoadIconGroup or LoadPictureImage went wrong; Code None
    // when it did not.
    const TReadError &LastError() const { return FLastError; }
    // The language of the group LoadIconGroup loaded last (a Windows
    // language identifier, 0 for neutral); -1 for an .ico file or when it
    // is not known.
    int GroupLanguage() const { return FGroupLanguage; }

    // While the returned guard lives, the loader keeps the module it opened
    // last and reads the next group of the same file from it: a run over
    // consecutive groups (a page, a save) parses the module once and shares
    // its image bytes. The module is closed when the guard goes.
    class TModuleKeeper {
    public:
        explicit TModuleKeeper(TGroupLoader &Loader) : FLoader(Loader) { FLoader.FKeepModule = true; }
        ~TModuleKeeper()
        {
            FLoader.FKeepModule = false;
            FLoader.FOpenModule.reset();
        }
        TModuleKeeper(const TModuleKeeper &) = delete;
        TModuleKeeper &operator=(const TModuleKeeper &) = delete;

    private:
        TGroupLoader &FLoader;
    };
    [[nodiscard]] TModuleKeeper KeepModuleOpen() { return TModuleKeeper(*this); }

private:
    bool loadGroup(const TIconItem &Entry);
    // The module of FileName: the one kept open, else opened (into Opened,
    // or kept open in its place while a TModuleKeeper lives); nullptr, with
    // the reason in LastError, when it does not open.
    TModule *openModule(const std::string &FileName, std::unique_ptr<TModule> &Opened);
    // Keeps the language of the group just loaded, when the module tells it.
    void noteLanguage(const TModule &Module, const ResourceId &Group, bool Cursor);

    TReadError FLastError;
    bool FKeepModule = false;
    std::unique_ptr<TModule> FOpenModule;
    std::string FOpenModuleFile;
    int FGroupLanguage = -1;
};

// The entry of a module's icon group that `Group` names, as a user names it
// from a listing: empty, the first group; "#N" or a text that reads as a
// number from 1 to 65535 ("12", "012"), the group of that number; a text in
// double quotes, the group named by what they enclose ("\"012\"" is the
// group named 012, never the number 12); any other text, a name. A name
// finds the first group of exactly that name, else the first whose name
// matches it without regard to ASCII case, never a numbered group. The
// entry keeps whether its group is named. False, with the reason, when the
// module cannot be read or has no such group. A cursor group likewise when
// Kind is TEntryKind::Cursor.
bool FindIconGroup(const std::string &FileName, const std::string &Group, TIconItem &Entry, TReadError &Error,
                   TEntryKind Kind = TEntryKind::Icon);

} // namespace vexillo
