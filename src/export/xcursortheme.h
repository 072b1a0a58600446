// X cursor themes made of Windows cursors: the pictures of a cursor (a .cur
// or .ani file, or a module's cursor group) read at every size it holds,
// written as an Xcursor file with libXcursor, under the X names a desktop
// asks for, with the other names it knows the same cursor by as symbolic
// links, and the theme's index.theme beside them.
//
//   DIR/THEME/index.theme
//   DIR/THEME/cursors/left_ptr, default -> left_ptr, ...
#pragma once

#include "formats/anicursor.h"
#include "formats/byteview.h"
#include "formats/loadbudget.h"
#include "formats/outputfolder.h"
#include "formats/moduleresources.h"
#include "formats/readerror.h"
#include "icons/advancedicon.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace vexillo {

// One picture of a cursor at one size: premultiplied 0xAARRGGBB pixels, top
// row first (what an Xcursor file holds), and its hot spot, inside it.
struct CursorPicture {
    int Width = 0;
    int Height = 0;
    int HotspotX = 0;
    int HotspotY = 0;
    std::vector<uint32_t> Pixels;
    // The size a desktop asks for it by: its larger side.
    int Size() const { return Width > Height ? Width : Height; }
};

// A cursor at all its sizes: its frames, each with one picture per size
// (sizes distinct, smallest first), and the steps that show them (one step of
// duration 0 for a cursor that does not move).
struct CursorPictures {
    std::vector<std::vector<CursorPicture>> Frames;
    std::vector<AniStep> Steps;
    // The memory the pictures hold of their source's budget.
    std::vector<THeldMemory> Held;
};

// The picture of a decoded image as an X cursor shows it: pixels drawn by
// the AND mask and XOR rule become opaque or transparent, and those that
// invert the screen (no X cursor can) opaque black.
CursorPicture CursorPictureOf(const DecodedImage &image, int hotspotX, int hotspotY);

// The pictures of a cursor file as ReadCursorFile read it (an .ico too, its
// hot spots then the centre): every frame it kept, of each size the deepest
// image that decodes; the decoded pictures are taken over from `file`.
bool ReadCursorPictures(CursorFile &file, CursorPictures &out, TReadError *error);

// The same from a cursor loaded from a module's cursor group or a .cur file
// (its images' hot spots kept; an icon's are its centre), each decode
// drawing on the icon's budget.
bool ReadCursorPictures(const TAdvancedIcon &cursor, CursorPictures &out, TReadError *error);

// The sizes of the cursor's pictures, smallest first.
std::vector<int> CursorSizes(const CursorPictures &cursor);

// The Xcursor file of a cursor: for every size any frame has, every step's
// frame at that size (or its nearest size) with the step's delay. The file
// is held in memory charged to `budget`; false with the reason when it
// refuses or libXcursor fails.
bool EncodeXcursor(const CursorPictures &cursor, const TLoadBudgetPtr &budget, std::vector<uint8_t> &bytes,
                   TReadError *error);

// The names a cursor is written under: the file's name and the names made
// symbolic links to it.
struct CursorNames {
    std::string Name;
    std::vector<std::string> Aliases;
};

// The X names of a Windows standard cursor (IDC_ARROW is 32512); an empty
// Name for a number that is none.
CursorNames StandardCursorNames(uint32_t id);
// The names of a cursor file: those of the standard cursor its stem names
// as a cursor set's install file does ("Arrow", "IBeam", "SizeNWSE", in any
// case), or else the stem made safe.
CursorNames CursorFileNames(const std::string &path);
// The names of a module's cursor group: a standard one's, or its number or
// name made safe.
CursorNames CursorGroupNames(const ResourceId &group);
// A name as a file name of the theme: lower-cased, every byte but letters,
// digits, '-', '_', '+' and '.' made '_', a leading '.' too, cut to 200
// bytes; "cursor" when nothing is left.
std::string SafeCursorName(const std::string &name);

// Why a theme's name cannot be a folder of DIR, as what it must be ("must
// not start with '.'"); empty when it can: it is a plain file name, without
// '/', a leading '.' or control characters.
std::string ThemeNameProblem(const std::string &theme);

// A theme being written: DIR/THEME and its cursors folder, every file made
// through their handles (a symbolic link among them is refused).
class TXcursorTheme {
public:
    // Opens (making them when missing) DIR, DIR/THEME and DIR/THEME/cursors.
    bool Open(const std::string &dir, const std::string &theme, TReadError *error);

    // From now on the files made draw on `budget` (their source's).
    void SetBudget(TLoadBudgetPtr budget) { FTheme.SetBudget(std::move(budget)); }

    // The names a cursor can be written under without replacing a cursor
    // or link this theme wrote before: its aliases that are taken left out
    // (they stay with the cursor written first), and when its name is
    // taken, that name followed by "-2", "-3"... (the first that is free),
    // without aliases.
    CursorNames FreeNames(const CursorNames &names) const;

    // Writes a cursor file under its name, replacing what has the name, and
    // its aliases as symbolic links to it; the names are taken from then on.
    // The first failure stops there; `failed` then names the entry.
    FileWrite WriteCursor(const CursorNames &names, ByteView bytes, std::string &failed);

    // Writes index.theme: the theme's name and the comment, whose control
    // characters become spaces. Drawn on no source's budget.
    FileWrite WriteIndex(const std::string &comment);

    const TOutputFolder &ThemeFolder() const { return FTheme; }
    const TOutputFolder &CursorsFolder() const { return FCursors; }

private:
    TOutputFolder FDir, FTheme, FCursors;
    std::string FName;
    // The names of the cursors and links written so far.
    std::set<std::string> FTaken;
};

} // namespace vexillo
