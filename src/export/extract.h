// Extraction: every icon of a catalogue written to one folder, as an .ico
// file or as a PNG file for each image, named after its source or by its
// catalogue number. What is made and what is passed over is told to a
// report as it happens; nothing is printed here.
#pragma once

#include "catalogue/catalogue.h"
#include "formats/fileio.h"
#include "formats/outputfolder.h"
#include "formats/readerror.h"

#include <set>
#include <string>
#include <vector>

namespace vexillo {

struct TExtractOptions {
    // Every image as SOURCE_GROUP-K.png instead of the icon as one file.
    bool AsPng = false;
    // Files named by catalogue number (N.ico, N-K.png) instead of after their
    // source (ExtractedFileName, made unique with TUniqueNames).
    bool Numbered = false;
    // A taken name is replaced (the entry itself, never a link's target),
    // unless it is one of the files being read.
    bool Force = false;
    // Files the run reads besides the catalogue's sources (the files a user
    // named): never replaced either.
    std::vector<std::string> NamedFiles;
    // Files whose failure has been said already: their entries are skipped
    // without a word.
    std::set<std::string> Reported;
};

struct TExtractCounts {
    // Files made, written or linked.
    int Written = 0;
    // Icons and images not written, said or not.
    int Skipped = 0;
    // A source was stopped by its budget.
    bool Limited = false;
};

// What an extraction does, told as it happens; ExtractIcons keeps the counts.
class TExtractReport {
public:
    virtual ~TExtractReport() = default;
    // A file made: its path as the user names the folder.
    virtual void FileMade(const std::string & /*path*/) {}
    // An icon or image passed over: the file it would have made (its path,
    // or its name without extension when no file was tried) and why. Each
    // reason is told once: the same bytes failing again, an icon without
    // images and the entries of a file in Reported are only counted.
    virtual void Skipped(const std::string & /*what*/, const std::string & /*reason*/) {}
    // A source whose budget is spent: the rest of its icons are skipped.
    virtual void SourceStopped(const std::string & /*fileName*/, const TReadError & /*refusal*/) {}

    TExtractCounts Counts;
};

// Writes every icon of the catalogue, in catalogue order, to `folder`, each
// file complete or not at all. Every entry takes its name, loaded or not, so
// that one broken group does not change the names of the others. What is done
// with a source file (its icons read, decoded and written) draws on its
// budget. Entries that name the same image bytes give one PNG picture,
// encoded once and hard-linked under the other names. The first file that
// cannot be made raises its stream error (EFCreateError, EWriteError) and
// ends the run; the report holds what came before.
void ExtractIcons(TCatalogue &catalogue, TOutputFolder &folder, const TExtractOptions &options, TExtractReport &report);

// Raises the stream error that a write in an output folder which failed
// to create or to write the file stands for, naming the file by its path.
[[noreturn]] void RaiseWriteError(const TOutputFolder &folder, const std::string &name, const FileWrite &write);

} // namespace vexillo
