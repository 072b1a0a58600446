#include "catalogue/scanrun.h"

#include "catalogue/failuretext.h"

#include <stdexcept>

namespace vexillo {

void TScanRun::setStatus(int panel, const std::string &text)
{
    if (FView)
        FView->SetStatusText(panel, text);
}

void TScanRun::ProcessMessages()
{
    if (FView)
        FView->ProcessMessages();
}

void TScanRun::ShowSearchPath(const std::string &Folder)
{
    setStatus(spSearchPath, Folder);
}

void TScanRun::ShowPageStatus(int Pages)
{
    if (Pages == 0)
        setStatus(spPages, " Pages");
    else
        setStatus(spPages, std::to_string(FCurrentPage) + "/" + std::to_string(Pages) + " Pages");
}

void TScanRun::ShowFileCount(int Count)
{
    setStatus(spFiles, std::to_string(Count) + " Files");
}

void TScanRun::ShowIconCount(int Count)
{
    setStatus(spIcons, "Icons: " + std::to_string(Count));
}

void TScanRun::ShowSelectedCount(int Count)
{
    setStatus(spSelected, "Selected: " + std::to_string(Count));
}

void TScanRun::beginRun(uint32_t TypeMask, int NamedFiles)
{
    FTypeMask = TypeMask;
    FRunning = true;
    FCurrentPage = 1;
    FStopped = false;
    FFileCount = NamedFiles;
    FFileError = {};
    FUnreadCount = 0;
    FUnreadFiles.clear();
    FPassedCursors = 0;
}

void TScanRun::EndRun()
{
    FStopped = true;
    FRunning = false;
}

void TScanRun::requireRun(const char *what) const
{
    if (!FRunning)
        throw std::logic_error(std::string(what) + " outside a run: begin one with ResetCatalogue");
}

void TScanRun::beginFile(const std::string &FileName)
{
    FCurrentFile = FileName;
    FFileError = {};
}

void TScanRun::NoteFileError(const TReadError &Error)
{
    // A module without resources, or without icon groups, is no fault.
    if (Error && Error.Code != TReadErrorCode::NotFound && !FFileError)
        FFileError = Error;
}

void TScanRun::noteUnread(const std::string &FileName, const TReadError &Error)
{
    ++FUnreadCount;
    if (FUnreadFiles.size() < kMaxUnreadListed)
        FUnreadFiles.push_back({FileName, FileFailureText(FileName, Error)});
}

void TScanRun::noteUnreadFolder(const std::string &Folder, const TReadError &Error)
{
    noteUnread(Folder, Error);
    if (OnUnreadFolder)
        OnUnreadFolder(Folder, Error);
}

} // namespace vexillo
