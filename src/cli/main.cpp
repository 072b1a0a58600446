// vexillo-cli: the command-line companion of Vexillo. A thin layer over the
// icon library and the catalogue: it lists the icon groups of modules and
// folders (as text or JSON records), their duplicates and similar pictures,
// and the images of an icon, and writes icons, single images, BMP and PNG
// files and icon and cursor themes from them. The commands are in
// commands.cpp, the reading of the command line in arguments.cpp; here are
// the usage text and main().
#include "cli/arguments.h"
#include "cli/commands.h"
#include "icons/i2bconvert.h"
#include "platform/gdi.h"
#include "platform/streams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

using namespace vexillo;

namespace {

const char kUsage[] =
    "Usage: vexillo-cli COMMAND ARGUMENTS [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  groups FILE...                      list the icons of files, one a line: file\n"
    "                                      and group name (tab-separated)\n"
    "  scan FOLDER [--types LIST]          the same for every file below FOLDER of\n"
    "                                      those types, then 'files N<TAB>icons M'\n"
    "                                      on standard error\n"
    "  dupes FILE-OR-FOLDER... [--types LIST]\n"
    "                                      the sets of icons whose saved files are\n"
    "                                      identical, a set a line: each icon's file\n"
    "                                      and group as 'scan' lists them, all\n"
    "                                      tab-separated; then 'files N<TAB>icons M\n"
    "                                      <TAB>sets S' on standard error\n"
    "  similar FILE FILE-OR-FOLDER... [--group NAME] [--types LIST]\n"
    "                                      the icons whose pictures look like FILE's\n"
    "                                      (at most 10 of 64 bits of their picture\n"
    "                                      or content keys apart), nearest first:\n"
    "                                      distance, file, group; then 'files N\n"
    "                                      <TAB>icons M<TAB>similar K' on standard\n"
    "                                      error\n"
    "  extract FILE-OR-FOLDER... --out DIR [--types LIST] [--png] [--numbered]\n"
    "          [--force]                   save every icon of the files and folders\n"
    "                                      (searched like 'scan') in DIR, named after\n"
    "                                      its source: SOURCE_GROUP.ico (an .ico file\n"
    "                                      keeps its name), or with --png each image\n"
    "                                      as SOURCE_GROUP-K.png; a name met twice\n"
    "                                      gets '~2', '~3' before the extension. Then\n"
    "                                      'files F<TAB>icons I<TAB>written W<TAB>\n"
    "                                      skipped S' on standard error\n"
    "  info FILE                           what a file is and holds, one record a\n"
    "                                      line (tab-separated, its kind first):\n"
    "                                      'kind' PE32|PE32+|NE|ICO|CUR|ANI; 'group'\n"
    "                                      icon|cursor, name, language, images;\n"
    "                                      'image' index, width, height, bit count,\n"
    "                                      png|dib, bytes[, hot spot x, y]; 'frames',\n"
    "                                      'frame', 'step' of an .ani; then a 'note'\n"
    "                                      for each oddity the reading worked around\n"
    "  images FILE.ico                     list the images of an icon, one a line:\n"
    "                                      index, width, height, bit count, colours,\n"
    "                                      planes, bytes (tab-separated)\n"
    "  save FILE.ico OUT.ico               write the icon with all its images\n"
    "  save-image FILE.ico INDEX OUT.ico   write one image as a one-image icon\n"
    "  bmp FILE.ico INDEX OUT.bmp          write one image as a 24-bit BMP drawn over\n"
    "                                      white (or --back RRGGBB)\n"
    "  png FILE.ico INDEX OUT.png          write one image as a PNG at its own size,\n"
    "                                      transparency kept\n"
    "  hicolor FILE.ico --name NAME --out DIR\n"
    "                                      put the icon in an icon theme: each square\n"
    "                                      size up to 512 (its deepest image) as\n"
    "                                      DIR/hicolor/NxN/apps/NAME.png, and 256\n"
    "                                      scaled down from a larger image when it\n"
    "                                      has none; prints each path written\n"
    "  xcursor FILE... --name THEME --out DIR\n"
    "                                      make an X cursor theme, DIR/THEME, of\n"
    "                                      .cur and .ani files and of the cursor\n"
    "                                      groups of modules: every size, hot spot\n"
    "                                      and frame; Windows' standard cursors get\n"
    "                                      the X names (left_ptr, xterm...) and their\n"
    "                                      aliases as links. Prints a line for each\n"
    "                                      cursor: source, name, sizes. A name taken\n"
    "                                      earlier in the run is never replaced: the\n"
    "                                      later cursor gets NAME-2 (-3...), said\n"
    "\n"
    "FILE.ico, and FILE of 'similar', may also be a module (.exe, .dll, .cpl, .ocx,\n"
    ".icl, .mun, .scr) with --group NAME, the group as 'groups' prints it: #N or N\n"
    "(digits) is the group numbered N, \"TEXT\" (in double quotes) the group named\n"
    "TEXT, so that a name of digits is \"01\"; any other text is a name. Without\n"
    "--group a module's first group is taken. It may be a cursor (.cur), or with\n"
    "--cursors a module's cursor group: saved as .cur files with their hot spots.\n"
    "INDEX counts from 0, as 'images' prints it. OUT '-' is standard output\n"
    "(never a terminal). Folders are searched in the order of their names.\n"
    "Options may stand anywhere; '--' ends them.\n"
    "\n"
    "Options:\n"
    "  --group NAME    the icon group of a module: #N or N a number, \"TEXT\" or\n"
    "                  TEXT a name\n"
    "  --types LIST    file types for the folders searched, comma-separated from\n"
    "                  exe,dll,ico,cpl,ocx,icl,mun,scr,cur,ani (by default all\n"
    "                  but the cursors cur and ani)\n"
    "  --cursors       list and read the cursor groups of modules too; a cursor's\n"
    "                  line in 'groups' and 'scan' ends in a third field 'cursor'\n"
    "  --json          'groups' and 'scan' write a JSON record an icon (JSON\n"
    "                  Lines): file, file_base64, kind, group, group_utf16,\n"
    "                  language, images (width, height, bits, png, bytes),\n"
    "                  identity (the SHA-256 of its saved file), picture_key\n"
    "                  and content_key (16 hexadecimal digits each) and error.\n"
    "                  A file name that is not UTF-8 has each stray\n"
    "                  byte as U+FFFD in file and its exact bytes in base64 in\n"
    "                  file_base64 (else null); a group name that UTF-8 cannot\n"
    "                  carry (a lone surrogate, shown as the text \\uD800) as its\n"
    "                  UTF-16 code units, an array of numbers, in group_utf16\n"
    "  --out DIR       the folder 'extract', 'hicolor' and 'xcursor' write to\n"
    "                  (made when missing; not a symbolic link)\n"
    "  --png           'extract' writes every image as a PNG file\n"
    "  --numbered      'extract' names files by catalogue number: N.ico, N-K.png\n"
    "  --force         'extract' replaces files that exist (a symbolic link itself,\n"
    "                  not its target), but never one of the files it reads\n"
    "  --back RRGGBB   background colour for 'bmp' (hexadecimal red, green, blue)\n"
    "  --name NAME     the icon's name in the theme for 'hicolor' (a file name\n"
    "                  without '/', a leading '.' or control characters; with\n"
    "                  or without .png); the theme's name for 'xcursor'\n"
    "  -h, --help      show this text\n"
    "  --version       show the version\n"
    "\n"
    "In the tab-separated lists a tab, newline, carriage return or backslash in a\n"
    "name is written \\t, \\n, \\r or \\\\: one line is one record.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 wrong usage. A named file that cannot\n"
    "be read, or a folder below a named one that cannot, makes the status 1;\n"
    "the others are still read. 'extract' exits 0\n"
    "when it skips icons or files; it stops at the first file it cannot write,\n"
    "naming the file and the reason, and exits 1. One source file makes at most\n"
    "max(16384, its size / 64) files; one that would make more is stopped there\n"
    "and the status is 1.\n";

const char kHint[] = "Try 'vexillo-cli --help'.\n";

} // namespace

int main(int argc, char **argv)
{
    int status = 1;
    try {
        switch (requestOf(argc, argv)) {
        case Request::Help:
            std::fputs(kUsage, stdout);
            status = 0;
            break;
        case Request::Version:
            std::puts("vexillo-cli " VEXILLO_VERSION);
            status = 0;
            break;
        case Request::Command: status = runCommand(parseArguments(argc, argv)); break;
        }
    } catch (const UsageError &e) {
        say(e.message);
        std::fputs(kHint, stderr);
        return 2;
    } catch (const Failure &e) {
        say(e.message);
        status = 1;
    } catch (const EStreamError &e) {
        // The file and the system's reason, as a command line reports them.
        say(e.Detail());
        status = 1;
    } catch (const EInvalidGraphic &e) {
        say(e.what());
        status = 1;
    } catch (const EOutOfResources &e) {
        say(e.what());
        status = 1;
    } catch (const std::bad_alloc &) {
        // The system had less memory than a file's budget allows.
        say("out of memory");
        status = 1;
    }
    // Data that never reached standard output (a full disk, a closed pipe)
    // is a failure a script must see.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "vexillo-cli: standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}
