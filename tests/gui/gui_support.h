// Helpers of the GUI tests: widgets and actions found by their object names.
#pragma once

#include <QMenu>
#include <QObject>

namespace vexillo::test {

// A widget or action of a window, found by its object name; fails the test
// run when there is none.
template <class T> T *Named(QObject &window, const char *name)
{
    T *found = window.findChild<T *>(name);
    if (!found)
        qFatal("no child named %s", name);
    return found;
}

// The Reopen menu's items, first to last.
inline QAction *ReopenItem(QObject &window, int index)
{
    return Named<QMenu>(window, "nReopen")->actions().at(index);
}

} // namespace vexillo::test
