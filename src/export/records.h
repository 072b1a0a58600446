// Catalogue entries for other programs: each entry keyed (its identity and
// picture key, catalogue/entrykey.h) in catalogue order, and written as one
// JSON record a line (JSON Lines) that jq, DuckDB or a script reads:
//
//   {"file":"/dir/app.exe","file_base64":null,"kind":"icon","group":1,
//    "group_utf16":null,"language":1033,"images":[{"width":32,"height":32,"bits":32,
//    "png":false,"bytes":4264}],"identity":"9f86…","picture_key":"3c3c…",
//    "content_key":"1c3c…","error":null}
//
// kind: "icon", "cursor" or "animated"; group: a number, a name (a string,
// digits too when the group is named so), or null for an .ico, .cur or .ani
// file; language: the group's Windows language identifier, null for a file;
// images: every image as loaded, its size as it is drawn, bits per pixel,
// whether it is stored as PNG and its stored bytes; identity: the SHA-256 of
// the file saving the entry writes; picture_key and content_key: the 64-bit
// dHashes of its picture at 32 pixels and of that picture's content box
// (TPictureKey), as 16 hexadecimal digits each, null without a picture;
// error: why the entry did not load, or null.
//
// JSON text is UTF-8. A file name that is not well-formed UTF-8 is written
// in "file" with each stray byte as U+FFFD, readable but no longer the
// name, and whole in "file_base64" (its exact bytes in base64), which is
// null for every other name. Likewise a group name that UTF-8 cannot carry
// (an unpaired surrogate, shown escaped in "group" as the text \uD800) is
// whole in
// "group_utf16", an array of its UTF-16 code units as the module holds them
// (numbers from 0 to 65535), which is null for every other group.
#pragma once

#include "catalogue/entrykey.h"

#include <functional>
#include <string>
#include <string_view>

namespace vexillo {

// Keys every entry of the catalogue in catalogue order (ComputeEntryKey),
// consecutive groups of one module read from it opened once, and hands each
// to `each` with its position (from 0) and key while Catalogue.CurrentIcon
// holds the group as it loaded. A key without Keyed is an entry that did
// not load: EntryFailure says why.
void ForEachEntryKey(TCatalogue &Catalogue,
                     const std::function<void(int Position, const TIconItem &Entry, const TEntryKey &Key)> &each);

// Why the entry ForEachEntryKey just handed on did not load, in the words
// the programs use.
std::string EntryFailure(const TGroupLoader &Loader, const TIconItem &Entry);

// The JSON record of the entry ForEachEntryKey just handed on, one line
// without its line end.
std::string EntryRecord(const TGroupLoader &Loader, const TIconItem &Entry, const TEntryKey &Key);

// `text` as a JSON string, quotes included: '"', '\', the C0 controls, DEL
// and the C1 controls escaped, a byte that is not part of well-formed UTF-8
// written as U+FFFD.
std::string JsonString(std::string_view text);

// The bytes in base64 (RFC 4648, padded with '=').
std::string Base64(std::string_view bytes);

} // namespace vexillo
