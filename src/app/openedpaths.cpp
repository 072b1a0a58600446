#include "app/openedpaths.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace vexillo {

namespace {

// A file-name pattern that matches an extension in any letter case
// ("*.exe" becomes "*.[eE][xX][eE]"), as the open-file dialog must.
QString anyCasePattern(const QString &pattern)
{
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter())
            out += QStringLiteral("[%1%2]").arg(c.toLower()).arg(c.toUpper());
        else
            out += c;
    }
    return out;
}

QStringList openFileFilters()
{
    QStringList filters;
    const QStringList exts = {"*.exe", "*.dll", "*.ico", "*.cpl", "*.ocx"};
    QStringList all;
    for (const QString &e : exts)
        all << anyCasePattern(e);
    filters << QStringLiteral("*.exe;*.dll;*.ico;*.cpl;*.ocx (%1)").arg(all.join(' '));
    for (const QString &e : exts)
        filters << QStringLiteral("%1 (%2)").arg(e, anyCasePattern(e));
    // Then every type read beside those five: all of them, and each alone.
    const QStringList more = {"*.icl", "*.mun", "*.scr", "*.cur", "*.ani"};
    for (const QString &e : more)
        all << anyCasePattern(e);
    filters << QStringLiteral("All icon and cursor files (%1)").arg(all.join(' '));
    for (const QString &e : more)
        filters << QStringLiteral("%1 (%2)").arg(e, anyCasePattern(e));
    return filters;
}

} // namespace

QStringList AskFilesToOpen(QWidget *owner)
{
    QFileDialog dialog(owner, "Open");
    dialog.setObjectName("OpenDialog");
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(openFileFilters());
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

QStringList DroppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (data)
        for (const QUrl &url : data->urls())
            if (url.isLocalFile() && !url.toLocalFile().isEmpty())
                paths << url.toLocalFile();
    return paths;
}

TOpenedPaths SortOpenedPaths(const QStringList &paths)
{
    TOpenedPaths sorted;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.exists())
            sorted.Missing << path;
        else if (info.isDir())
            sorted.Folders << info.absoluteFilePath();
        else
            sorted.Files << info.absoluteFilePath();
    }
    return sorted;
}

QString OpenedSubject(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        names << (info.isDir() ? QDir::cleanPath(info.absoluteFilePath()) : info.fileName());
    }
    if (names.size() <= 3)
        return names.join(", ");
    return QStringLiteral("%1, %2 and %3 more").arg(names[0], names[1]).arg(names.size() - 2);
}

} // namespace vexillo
