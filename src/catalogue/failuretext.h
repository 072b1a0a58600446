// Why a file gave no icon, in the words that the window, vexillo-cli and
// vexillo-thumbnailer all use.
#pragma once

#include "formats/readerror.h"

#include <string>
#include <vector>

namespace vexillo {

// The reason for a person: "holds no icons" when the file was read without
// a fault; what the file is instead when it was refused at its first bytes
// and they say ("a PNG image, not an icon file"); else the reader's reason.
// A file is expected to be an icon file when its name says so (IsIconFile),
// else a Windows program or library.
std::string FileFailureText(const std::string &FileName, const TReadError &Error);

// What the window says when the files it was handed hold no icon: for one
// file that gave a fault, "No icon found in FILE:\n" and the reason; else
// "No icon found in " and `Subject` (the files as the title names them).
std::string NoIconFoundText(const std::vector<std::string> &Files, const std::string &Subject, const TReadError &Error);

// How many files a search or open could not read: "1 file could not be
// read", "3 files could not be read".
std::string UnreadCountText(int Count);

} // namespace vexillo
