// Text from files made safe for a terminal and for one-record-a-line output:
// names inside a file (a group's name, a file's own name) may hold anything,
// and printed as they are they could move the cursor, set the window's
// title or cut a record in two.
#pragma once

#include <string>
#include <string_view>

namespace vexillo {

// `text` with every byte that is not printable written as an escape: tab,
// newline and carriage return as \t, \n and \r, a backslash as \\, the other
// C0 controls, NUL and DEL as \xHH, the C1 controls (U+0080 to U+009F) as
// \u0080 to \u009F, and a byte that is not part of well-formed UTF-8 as \xHH.
// Everything else (UTF-8 text) stays as it is, so a name reads as it is
// called, and no two texts escape alike.
std::string Printable(std::string_view text);

} // namespace vexillo
