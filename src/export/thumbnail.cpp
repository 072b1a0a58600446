#include "export/thumbnail.h"

#include "catalogue/filenames.h"
#include "catalogue/pages.h"
#include "formats/fileio.h"
#include "formats/filekind.h"
#include "formats/icofile.h"
#include "formats/pngwriter.h"
#include "icons/advancedicon.h"
#include "platform/iconobject.h"
#include "platform/pemodule.h"

#include <algorithm>
#include <set>
#include <utility>

namespace vexillo {

namespace {

// The icon the file shows: an ICO or CUR file's or an animated cursor's (by
// its header, whatever its name), or the first icon group of a module. Any
// other file is refused at its first bytes: file managers ask for every
// shared library they show.
bool LoadShownIcon(const std::string &fileName, TAdvancedIcon &icon, TReadError &error)
{
    std::vector<uint8_t> head;
    if (!ReadFileHead(fileName, head, &error))
        return false;
    const std::string_view kind = FileKindOf(ByteView(head.data(), head.size()));
    if (kind == kKindIconFile || kind == kKindCursorFile || kind == kKindAnimatedCursor) {
        const bool loaded =
            kind == kKindIconFile ? icon.LoadFromFile(fileName) : icon.LoadAnimatedCursorFromFile(fileName);
        error = icon.LastError();
        return loaded || icon.Images.Count > 0; // the images read before a fault still serve
    }
    if (kind != kKindWindowsModule) {
        // The reason that the reader of what the name promises gives.
        uint16_t count = 0;
        if (IsIconFile(fileName))
            ParseIcoHeader(ByteView(head.data(), head.size()), count, &error);
        else
            error = NotPeFile("no MZ signature");
        return false;
    }
    std::unique_ptr<TModule> module = TModule::LoadAsDataFile(fileName, &error);
    if (!module)
        return false;
    ResourceId first;
    bool found = false;
    module->EnumResourceNames(ResourceId::FromNumber(RT_GROUP_ICON), [&](const ResourceId &name) {
        first = name;
        found = true;
        return false;
    });
    if (!found) {
        // A module without resources or icon groups holds no icons; only a
        // fault of its directory is a reason of its own.
        error = module->LastError().Code == TReadErrorCode::NotFound ? TReadError{} : module->LastError();
        return false;
    }
    const bool loaded = icon.LoadFromResource(module.get(), first);
    error = icon.LastError();
    return loaded || icon.Images.Count > 0;
}

// The frame of an animated cursor that shows first: its first step's, else
// (no image of it was read) the first frame that has one; -1 for any other
// icon.
int ShownFrame(const TAdvancedIcon &icon)
{
    const TIconImage *first = icon.Images.GetItem(0);
    if (!first || first->Frame < 0)
        return -1;
    if (!icon.Steps.empty())
        for (uint16_t i = 0; i < icon.Images.Count; ++i)
            if (icon.Images.GetItem(i)->Frame == icon.Steps.front().Frame)
                return icon.Steps.front().Frame;
    return first->Frame;
}

} // namespace

bool MakeThumbnail(const std::string &FileName, int Size, std::vector<uint8_t> &Png, TReadError &Error,
                   TLoadBudgetPtr *Budget)
{
    TAdvancedIcon icon;
    Error = {};
    const bool loaded = LoadShownIcon(FileName, icon, Error);
    if (Budget)
        *Budget = icon.Budget;
    if (!loaded || icon.Images.Count == 0)
        return false;
    // The image chosen for the size (of an animated cursor, among the images
    // of the frame that shows first), else the first of the others that
    // decodes: one broken image should not cost a file its thumbnail.
    const int chosen = ChooseImageForSize(icon, Size, ShownFrame(icon));
    TDecodedPicture own;
    TReadError chosenError;
    std::set<std::pair<const uint8_t *, uint32_t>> tried;
    for (int k = -1; k < icon.Images.Count && !own; ++k) {
        const int index = k < 0 ? chosen : k;
        if (k == chosen)
            continue;
        const TIconImage *image = icon.Images.GetItem(static_cast<uint16_t>(index));
        if (!tried.emplace(image->Data.data(), image->StoredSize()).second)
            continue;
        TReadError error;
        own = image->DecodeOwnSize(&error);
        if (k < 0 || (!own && icon.Budget->Spent()))
            chosenError = error;
        if (!own && icon.Budget->Spent())
            break;
    }
    if (!own) {
        Error = chosenError;
        return false;
    }

    // Scaled down so that its larger side is Size, never up.
    const int larger = std::max(own.Icon->Width, own.Icon->Height);
    DecodedImage picture = *own.Icon;
    if (larger > Size) {
        const int width = std::max(1, static_cast<int>(int64_t{own.Icon->Width} * Size / larger));
        const int height = std::max(1, static_cast<int>(int64_t{own.Icon->Height} * Size / larger));
        if (!ChargeScale(icon.Budget, static_cast<uint64_t>(own.Icon->Width) * static_cast<uint64_t>(own.Icon->Height),
                         static_cast<uint64_t>(width) * static_cast<uint64_t>(height), &Error))
            return false;
        picture = ScaleIcon(*own.Icon, width, height);
    }
    PixelImage pixels;
    if (!ChargeEncode(icon.Budget, static_cast<uint64_t>(picture.Width) * static_cast<uint64_t>(picture.Height),
                      &Error))
        return false;
    if (!IconToArgb(&picture, pixels) || !EncodePngArgb(pixels, Png, true)) {
        Error = BadImage("the picture cannot be encoded");
        return false;
    }
    if (!icon.Budget->Output(Png.size() + kOutputBytesPerFile, "the thumbnail")) {
        Error = icon.Budget->Refusal();
        return false;
    }
    return true;
}

} // namespace vexillo
