// Vexillo: finds, shows and saves the icons kept in Windows program files.
// Usage: vexillo [FILE-OR-FOLDER...]: files are opened as Open file opens
// them, folders searched for every type (what a file manager's Open With
// and the desktop entry's %F hand over).
#include "app/frmmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>
#include <unistd.h>

namespace {

void describeProgram(QCommandLineParser &parser)
{
    QCoreApplication::setApplicationName("Vexillo");
    QCoreApplication::setApplicationVersion(VEXILLO_VERSION);
    parser.setApplicationDescription("Finds, shows and saves the icons kept in Windows program files.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("paths", "Files to open and folders to search.", "[FILE-OR-FOLDER...]");
}

enum class Request { Window, Help, Version };

// What the command line asks for: the first of the usage and the version
// before a "--" that ends the options, else the window. --help-all, which
// adds the options of every Qt program with a window, is the window
// application's to answer.
Request requestOf(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const char *word = argv[i];
        if (std::strcmp(word, "--") == 0)
            break;
        for (const char *option : {"-h", "--help", "-?"})
            if (std::strcmp(word, option) == 0)
                return Request::Help;
        if (std::strcmp(word, "-v") == 0 || std::strcmp(word, "--version") == 0)
            return Request::Version;
    }
    return Request::Window;
}

// While the window application starts, Qt ends the process with an abort
// when no display can be opened (no DISPLAY, a server that refuses, a
// platform plugin that does not load). That is a user's error, not a crash:
// it is said in one line, with the display that was tried, and the program
// exits with status 1. Qt's own warnings of that moment go with it.
std::vector<std::pair<QtMsgType, QString>> startupWarnings;

void reportStartupFault(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg) {
        startupWarnings.emplace_back(type, message);
        return;
    }
    const QByteArray x11 = qgetenv("DISPLAY"), wayland = qgetenv("WAYLAND_DISPLAY"), qpa = qgetenv("QT_QPA_PLATFORM");
    QString tried = !qpa.isEmpty() ? QStringLiteral("platform \"%1\"").arg(QString::fromLocal8Bit(qpa)) : QString();
    if (!x11.isEmpty())
        tried += (tried.isEmpty() ? "" : ", ") + QStringLiteral("DISPLAY=%1").arg(QString::fromLocal8Bit(x11));
    if (!wayland.isEmpty())
        tried +=
            (tried.isEmpty() ? "" : ", ") + QStringLiteral("WAYLAND_DISPLAY=%1").arg(QString::fromLocal8Bit(wayland));
    if (tried.isEmpty())
        tried = QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
    std::fprintf(stderr, "vexillo: cannot open display (%s)\n", tried.toLocal8Bit().constData());
    for (const auto &warning : startupWarnings)
        std::fprintf(stderr, "  %s\n", warning.second.toLocal8Bit().constData());
    std::fflush(stderr);
    ::_exit(1);
}

} // namespace

int main(int argc, char **argv)
{
    // The usage and the version need no display: they are answered by a
    // core application, which opens none (a window's application ends the
    // process where there is no display to open), whatever else the command
    // line holds.
    if (const Request request = requestOf(argc, argv); request != Request::Window) {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        describeProgram(parser);
        if (request == Request::Help)
            parser.showHelp(0); // prints and exits
        parser.showVersion();
    }

    const QtMessageHandler qtHandler = qInstallMessageHandler(reportStartupFault);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);
    // The display opened: what Qt said meanwhile is said as it would have been.
    for (const auto &[type, message] : startupWarnings) {
        if (qtHandler)
            qtHandler(type, QMessageLogContext(), message);
        else
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
    startupWarnings.clear();
    QApplication::setDesktopFileName("vexillo");
    QCommandLineParser parser;
    describeProgram(parser);
    parser.process(app);

    vexillo::TfrmMain frmMain;
    frmMain.show();
    const QStringList paths = parser.positionalArguments();
    if (!paths.isEmpty())
        QTimer::singleShot(0, &frmMain, [&frmMain, paths] { frmMain.OpenPaths(paths); });
    try {
        return QApplication::exec();
    } catch (const std::bad_alloc &) {
        // The loads end with "out of memory" themselves; an allocation that
        // fails anywhere else ends the program with the same words, never
        // an abort.
        std::fputs("vexillo: out of memory\n", stderr);
        return 1;
    }
}
