// An icon with all of its images: read from ICO files (and from icon groups
// of program modules), written as ICO files whole or one image at a time.
#pragma once

#include "formats/anicursor.h"
#include "icons/iconimage.h"
#include "platform/pemodule.h"
#include "platform/streams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vexillo {

// The images of an icon, in order. The list owns them. Its counters are
// 16-bit, so it holds at most 65535 images.
class TIconImageList {
public:
    static constexpr uint16_t kMaxCount = 0xFFFF;

    TIconImageList() = default;
    ~TIconImageList() { Clear(); }
    TIconImageList(const TIconImageList &) = delete;
    TIconImageList &operator=(const TIconImageList &) = delete;

    // Appends an image and takes ownership of it. A 65536th image is refused
    // (and destroyed): the result is then false.
    bool Add(std::unique_ptr<TIconImage> Image);
    // Reserves slots, never fewer than Count.
    void SetCapacity(uint16_t N);
    // The image at a zero-based index, or nullptr at or beyond Count.
    TIconImage *GetItem(uint16_t Index) const;
    // Destroys the images from the last to the first and releases the slots.
    void Clear();
    // Exchanges the images of the two lists.
    void Swap(TIconImageList &Other) noexcept
    {
        std::swap(Count, Other.Count);
        std::swap(Capacity, Other.Capacity);
        Items.swap(Other.Items);
    }

    uint16_t Count = 0;
    uint16_t Capacity = 0;

private:
    std::vector<std::unique_ptr<TIconImage>> Items;
};

class TAdvancedIcon {
public:
    TAdvancedIcon() = default;
    virtual ~TAdvancedIcon() = default;
    TAdvancedIcon(const TAdvancedIcon &) = delete;
    TAdvancedIcon &operator=(const TAdvancedIcon &) = delete;

    TIconImageList Images;
    // A cursor: its images carry hot spots, and it is saved as a CUR file.
    bool IsCursor = false;
    // An animated cursor's steps: which frame shows, for how long, in order
    // (then again from the first); empty for anything else.
    std::vector<AniStep> Steps;
    // An animated cursor's file as read: saving the icon writes it
    // unchanged. Empty for anything else.
    SharedBytes AnimatedFile;
    // What the cursor file's reader left out or worked around (a frame that
    // does not decode), one line each; empty for anything else.
    std::vector<std::string> Notes;
    // The extension of the file SaveToFile writes: ".ani", ".cur" or ".ico".
    const char *FileExtension() const { return !AnimatedFile.empty() ? ".ani" : IsCursor ? ".cur" : ".ico"; }
    // The budget of the file the icon was loaded from last, which what is
    // done with its images (decoding, writing) draws on; none for an icon
    // that was never loaded.
    TLoadBudgetPtr Budget;

    // Makes this icon a deep copy of Source.
    virtual void Assign(const TAdvancedIcon &Source);
    // Takes Source's images, steps, file and budget, leaving Source as new:
    // what a group holds is moved rather than kept twice.
    void TakeFrom(TAdvancedIcon &Source);
    // Makes the icon as new: no images, steps, animated file, budget or
    // last error, and not a cursor.
    void Clear();

    // Reads a 6-byte ICO or icon-group header. True for (0, 1, Count), which
    // also reserves Count slots; false for anything else.
    bool ReadHeader(TStream &Stream, uint16_t &Count);

    // Empties the icon, then reads the ICO file. False when the file can't be
    // opened, its header is not an icon's, or an entry fails; the images read
    // before the failure stay, and LastError says why. Never raises.
    bool LoadFromFile(const std::string &FileName);
    // Appends the images of an ICO file read from Stream (header, then the
    // entries in order); false like LoadFromFile.
    bool LoadFromStream(TStream &Stream);

    // Empties the icon, then reads a cursor file with ReadCursorFile as a
    // cursor: every image of every frame it keeps in frame order, each
    // knowing its frame, hot spot and display time, and the steps of the
    // animation. A static CUR or ICO file is read as one frame. False like
    // LoadFromFile: the images of the frames read before a refusal stay.
    bool LoadAnimatedCursorFromFile(const std::string &FileName);

    // Appends the images of an icon group (resource type 14) of a module,
    // each read from its icon-image resource (type 3). False when the group is
    // missing or its header is not an icon group's (nothing added), or when
    // an entry fails (the images appended before it stay). Never raises.
    bool LoadFromResourceID(HMODULE Module, int ID);
    bool LoadFromResourceName(HMODULE Module, const std::string &Name);
    bool LoadFromResource(HMODULE Module, const ResourceId &Identifier);
    // The same for a cursor group (resource type 12) and its cursor images
    // (type 1, each led by its hot spot); makes the icon a cursor.
    bool LoadCursorFromResource(HMODULE Module, const ResourceId &Identifier);
    // The same for a picture of the group: each image's first HeadBytes
    // only, enough for its fields (what picks the image to show), then
    // ReadWholeImage for the image picked. The other images stay heads: the
    // icon is for the picture alone, not to be saved or previewed. At most
    // MaxImages are read (the first); GroupCount tells how many the group
    // names.
    bool LoadHeadsFromResource(HMODULE Module, const ResourceId &Identifier, bool Cursor, uint32_t HeadBytes,
                               uint16_t MaxImages = TIconImageList::kMaxCount);
    // The images the group loaded last names, however many were read.
    uint16_t GroupCount = 0;
    bool ReadWholeImage(HMODULE Module, uint16_t Index);

    // Writes the header, the directory and the images packed in list order
    // (a cursor as a CUR file, hot spots in the directory; an animated
    // cursor as the file it was read from);
    // images that share their stored bytes (entries of one file that named
    // the same bytes) are written once, every entry pointing at them.
    // Writes nothing for an icon without images. Raises EWriteError.
    void SaveToStream(TStream &Stream) const;
    // Writes the icon as an ICO file (an existing one is replaced once the
    // new bytes are complete); no file for an icon without images. Raises
    // EFCreateError or EWriteError.
    void SaveToFile(const std::string &FileName) const;
    // Writes only the image at Index (below Images.Count) as a one-image ICO
    // file. Raises like SaveToFile.
    void SaveImageToFile(const std::string &FileName, int Index) const;
    // The same one-image icon written to a stream. Raises std::out_of_range
    // for an index outside the list, and EWriteError.
    void SaveImageToStream(TStream &Stream, int Index) const;

    // Why the last load that returned false failed.
    const TReadError &LastError() const { return FLastError; }

private:
    bool loadStream(TStream &Stream);
    bool loadGroup(HMODULE Module, const ResourceId &Identifier, bool Cursor, uint32_t HeadBytes = 0,
                   uint16_t MaxImages = TIconImageList::kMaxCount);
    // Appends an image read by a load, or keeps the load's reason when there
    // is none (or the list is full); false then.
    bool AddLoaded(std::unique_ptr<TIconImage> Image, const TIconLoad &Load);

    TReadError FLastError;
};

} // namespace vexillo
