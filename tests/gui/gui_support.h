// Helpers of the GUI tests: widgets and actions found by their object names,
// and the fixture that every window test starts from and ends with.
#pragma once

#include "app/frmmain.h"
#include "settings/settings.h"
#include "test_support.h"
#include "ui/public.h"

#include <QApplication>
#include <QMenu>
#include <QObject>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

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

// The captions of the Reopen menu's shown items, first to last.
inline QStringList ReopenCaptions(QObject &window)
{
    QStringList out;
    for (QAction *item : Named<QMenu>(window, "nReopen")->actions())
        if (item->isVisible())
            out << item->text();
    return out;
}

// Fails the current test when a test left a window shown or a pointer set
// over the program: the next test would start with it.
inline void VerifyNothingLeftOpen()
{
    QStringList open;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible())
            open << (w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName());
    QVERIFY2(open.isEmpty(), qPrintable("a window was left open: " + open.join(", ")));
    QVERIFY2(!QApplication::overrideCursor(), "an override cursor was left set");
}

// A message box the program would have shown.
struct Message {
    QString text, caption;
    unsigned flags;
};

// What a window test sets up around each test function: a fresh folder
// holding the settings file, and the program's message boxes recorded and
// answered with `answer` instead of shown. A test class derives from it
// (after QObject) and calls Begin() from init() and End() from cleanup().
class WindowFixture {
protected:
    std::unique_ptr<TempDir> dir;
    std::string settings; // the settings file's path
    std::vector<Message> messages;
    int answer = IDOK;

    // An .ico file of `images` written in the folder; its path.
    QString ico(const std::string &name, const std::vector<std::vector<uint8_t>> &images)
    {
        WriteBytes(dir->path() / name, MakeIco(images));
        return QString::fromStdString((dir->path() / name).string());
    }

    void Begin()
    {
        dir = std::make_unique<TempDir>();
        settings = (dir->path() / "Settings.ini").string();
        SetSettingsFileNameForTesting(settings);
        messages.clear();
        answer = IDOK;
        SetShowMsgHook([this](const QString &text, const QString &caption, unsigned flags) {
            messages.push_back({text, caption, flags});
            return answer;
        });
    }

    // Puts the program's hooks back, checks that nothing was left open and
    // removes the folder.
    void End()
    {
        SetShowMsgHook(nullptr);
        SetSettingsFileNameForTesting("");
        TfrmMain::OpenDialogHook = nullptr;
        TfrmMain::AskSaveOptionHook = nullptr;
        TfrmMain::OpenFolderHook = nullptr;
        VerifyNothingLeftOpen();
        dir.reset();
    }
};

} // namespace vexillo::test
