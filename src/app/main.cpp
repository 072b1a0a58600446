// Vexillo: finds, shows and saves the icons kept in Windows program files.
// Usage: vexillo [FILE-OR-FOLDER...]: files are opened as Open file opens
// them, folders searched for every type (what a file manager's Open With
// and the desktop entry's %F hand over).
#include "app/frmmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vexillo");
    QApplication::setApplicationVersion(VEXILLO_VERSION);
    QApplication::setDesktopFileName("vexillo");

    QCommandLineParser parser;
    parser.setApplicationDescription("Finds, shows and saves the icons kept in Windows program files.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("paths", "Files to open and folders to search.", "[FILE-OR-FOLDER...]");
    parser.process(app);

    vexillo::TfrmMain frmMain;
    frmMain.show();
    const QStringList paths = parser.positionalArguments();
    if (!paths.isEmpty())
        QTimer::singleShot(0, &frmMain, [&frmMain, paths] { frmMain.OpenPaths(paths); });
    return QApplication::exec();
}
