// What the window is given to open: the files chosen in the open-file
// dialog, the paths the desktop hands over (the command line, a drop)
// sorted into files, folders and paths that do not exist, and the title's
// words for what was opened. The paths are Qt's file names: QFileInfo makes
// them absolute and tells files from folders, as for every file the
// desktop's Qt programs are handed.
#pragma once

#include <QStringList>

class QMimeData;
class QWidget;

namespace vexillo {

// Shows the open-file dialog ("OpenDialog"): several existing files, with
// the five types together first and then each on its own, matched in any
// letter case. Empty when it was cancelled.
QStringList AskFilesToOpen(QWidget *owner);

// The local files and folders a drag carries.
QStringList DroppedPaths(const QMimeData *data);

struct TOpenedPaths {
    QStringList Files;   // absolute
    QStringList Folders; // absolute
    QStringList Missing; // as they were given
};
TOpenedPaths SortOpenedPaths(const QStringList &paths);

// What the title says was opened: the names of files, the paths of folders;
// after three, how many more.
QString OpenedSubject(const QStringList &paths);

} // namespace vexillo
