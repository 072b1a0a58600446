// What a file holds, as `vexillo-cli info` shows it: its kind (PE32, PE32+,
// NE, ICO, CUR, ANI), its icon and cursor groups with their images (an .ani:
// its frames and steps), and every oddity the readers met and worked around,
// so that a damaged file can be told from a limit of the program.
#pragma once

#include "formats/anicursor.h"
#include "formats/readerror.h"
#include "formats/readnotes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexillo {

struct ImageInfo {
    // As the image's own header gives them (a bitmap's height halved), else
    // as its directory entry does (0 there meaning 256).
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint16_t BitCount = 0;
    bool Png = false;
    uint64_t Bytes = 0;                  // the stored image, a cursor's hot spot not counted
    uint16_t HotspotX = 0, HotspotY = 0; // cursors only
};

struct GroupInfo {
    bool Cursor = false;
    // A module's group: its number or name as 'groups' lists it, and its
    // language. Empty for an .ico or .cur file, which is one group.
    std::string Name;
    uint16_t Language = 0;
    std::vector<ImageInfo> Images;
};

struct FileInfo {
    std::string Kind;
    std::vector<GroupInfo> Groups;
    CursorFile Animation; // ANI only: its frames and steps
    ReadNotes Notes;
};

// Reads what `info` describes. False, with the reason, when the file is none
// of those kinds or cannot be read, or when its budget runs out: what was
// read before stays in `info`. A group or image that cannot be read is a
// note, not a failure.
bool ReadFileInfo(const std::string &fileName, FileInfo &info, TReadError *error);

} // namespace vexillo
