// The save-folder and Search Disk dialogs: their messages, buttons and
// remembered folders, and a search run, answered and cancelled from the test.
#include "app/frmmain.h"
#include "ui/public.h"
#include "settings/settings.h"
#include "dialogs/foldertree.h"
#include "dialogs/frmfolder.h"
#include "dialogs/frmsavepath.h"
#include "platform/inifile.h"
#include "gui/gui_support.h"
#include "test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QAction>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

// Stands in for the main window during a search: each pump can act.
class PumpView : public TCatalogueView {
public:
    int pumps = 0;
    std::function<void(int)> onPump;
    void SetStatusText(int, const std::string &) override {}
    void ProcessMessages() override
    {
        ++pumps;
        QCoreApplication::processEvents();
        if (onPump)
            onPump(pumps);
    }
    void ClearIconList() override {}
    void ClearPreview() override {}
};

} // namespace

class tst_dialogs : public QObject, private WindowFixture {
    Q_OBJECT

private:
    QString folder(const std::string &name)
    {
        fs::create_directories(dir->path() / name);
        return QString::fromStdString((dir->path() / name).string());
    }

    std::string stored(const char *key) { return TIniFile(settings).ReadString("View", key, "<missing>"); }

    // A tree of 30 icon files (and one module-named file) to search.
    QString searchTree()
    {
        const QString root = folder("tree");
        for (int i = 0; i < 30; ++i)
            WriteBytes(dir->path() / "tree" / ("i" + std::to_string(i) + ".ico"), {0, 0, 1, 0, 0, 0});
        WriteBytes(dir->path() / "tree" / "x.dll", {1});
        return root;
    }

private slots:
    void init()
    {
        Begin();
        answer = IDNO;
    }

    void cleanup() { End(); }

    // ---- The save-folder dialog ------------------------------------------------

    void saveDialogOpensOnTheRememberedFolder()
    {
        const QString icons = folder("icons");
        TIniFile(settings).WriteString("View", "DefPath", icons.toStdString());
        TfrmSavePath dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QString("Save file"));
        QCOMPARE(dialog.size(), QSize(502, 341));
        QCOMPARE(dialog.btnSearch->text(), QString("&Save   "));
        QVERIFY(dialog.btnSearch->isDefault());
        QVERIFY(!dialog.cbOpen->isChecked());
        QCOMPARE(dialog.cbOpen->text(), QString("Open folder after save file"));
        QCOMPARE(dialog.cbOpen->geometry(), QRect(12, 299, 165, 17));
        QCOMPARE(dialog.font().pointSize(), 8);
        QCOMPARE(dialog.SelectedFolder(), icons);
        QVERIFY(!dialog.FConfirmed);
    }

    void saveDialogNeedsAFolderAndRemembersTheChoiceAnyway()
    {
        TIniFile(settings).WriteString("View", "DefPath", (dir->path() / "deleted").string());
        {
            TfrmSavePath dialog(nullptr);
            dialog.show();
            QCOMPARE(dialog.stvPath->SelectedLevel(), 0); // the computer node, no message
            QVERIFY(messages.empty());
            QTest::mouseClick(dialog.btnSearch, Qt::LeftButton);
            QCOMPARE(messages.size(), size_t{1});
            QCOMPARE(messages[0].text, QString("Please choose a folder.   "));
            QCOMPARE(messages[0].caption, QString("Vexillo"));
            QCOMPARE(messages[0].flags, 0x40u);
            QVERIFY(dialog.isVisible());
            QVERIFY(!dialog.FConfirmed);

            // Cancel after choosing a folder: not confirmed, folder remembered.
            const QString icons = folder("icons");
            QVERIFY(dialog.stvPath->SelectPath(icons));
            dialog.cbOpen->setChecked(true);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
            QVERIFY(!dialog.FConfirmed);
            QCOMPARE(QString::fromStdString(stored("DefPath")), icons);
        }
        // The next dialog opens there, its box unticked; Enter presses Save.
        TfrmSavePath again(nullptr);
        again.show();
        QVERIFY(!again.cbOpen->isChecked());
        QCOMPARE(again.SelectedFolder(), QString::fromStdString((dir->path() / "icons").string()));
        again.btnSearch->setFocus();
        QTest::keyClick(again.btnSearch, Qt::Key_Return);
        QVERIFY(again.FConfirmed);
        QVERIFY(!again.isVisible());
    }

    void saveDialogClosesWhenTheSettingsCannotBeWritten()
    {
        SetSettingsFileNameForTesting((dir->path() / "no folder" / "Settings.ini").string());
        TfrmSavePath dialog(nullptr);
        dialog.show();
        QVERIFY(dialog.stvPath->SelectPath(folder("x")));
        QTest::mouseClick(dialog.btnSearch, Qt::LeftButton);
        QVERIFY(dialog.FConfirmed);
        QVERIFY(!dialog.isVisible());
        QVERIFY(messages.empty());
    }

    // ---- The Search Disk dialog ---------------------------------------------------

    void searchDialogChecksItsInput()
    {
        // The remembered folder is gone: the tree starts on the computer node.
        TIniFile(settings).WriteString("View", "LastPath", (dir->path() / "deleted").string());
        TCatalogue catalogue;
        TfrmFolder dialog(nullptr, catalogue);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("Search Disk..."));
        QCOMPARE(dialog.stvPath->SelectedLevel(), 0);
        QCOMPARE(dialog.font().pointSize(), 8);
        for (QCheckBox *box : {dialog.chkDLL, dialog.chkEXE, dialog.chkICO, dialog.chkCPL, dialog.chkOCX}) {
            QVERIFY(box->isChecked());
            QCOMPARE(box->size(), QSize(73, 17));
        }
        QVERIFY(!dialog.chkCUR->isChecked() && !dialog.chkANI->isChecked());
        dialog.BuildTypeMask();
        QCOMPARE(dialog.FTypeMask, 0x11111111u);
        for (QCheckBox *box :
             {dialog.chkDLL, dialog.chkEXE, dialog.chkCPL, dialog.chkOCX, dialog.chkICL, dialog.chkMUN, dialog.chkSCR})
            box->setChecked(false);
        dialog.BuildTypeMask();
        QCOMPARE(dialog.FTypeMask, 0x100u);

        dialog.chkICO->setChecked(false);
        QTest::mouseClick(dialog.btnSearch, Qt::LeftButton);
        QCOMPARE(messages.back().text, QString("Please choose a kind of file type.   "));
        dialog.chkICO->setChecked(true);
        QTest::qWait(QApplication::doubleClickInterval() + 50); // two clicks, not a double click
        dialog.stvPath->setCurrentIndex(dialog.stvPath->FolderModel()->ComputerIndex());
        QTest::mouseClick(dialog.btnSearch, Qt::LeftButton);
        QCOMPARE(messages.back().text, QString("Please choose a folder to search.   "));
        QCOMPARE(messages.size(), size_t{2});
        QVERIFY(!dialog.FSearched);
        QVERIFY(dialog.isVisible());

        // Cancel before a search closes at once, without a question.
        QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(messages.size(), size_t{2});
        QVERIFY(!dialog.FSearched);
    }

    // Both dialogs open with their frame's centre on the owner's.
    void theDialogsAreCentredOnTheOwnersFrame()
    {
        QWidget owner;
        owner.setGeometry(60, 50, 640, 480);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        const auto centre = [](const QRect &r) { return r.topLeft() + QPoint(r.width() / 2, r.height() / 2); };
        TCatalogue catalogue;
        TfrmFolder search(&owner, catalogue);
        TfrmSavePath save(&owner);
        for (QDialog *dialog : std::initializer_list<QDialog *>{&search, &save}) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            QVERIFY2((centre(dialog->frameGeometry()) - centre(owner.frameGeometry())).manhattanLength() <= 1,
                     qPrintable(dialog->objectName()));
            dialog->reject();
        }
    }

    void aSearchRunsInsideTheDialogAndRemembersTheFolder()
    {
        const QString tree = searchTree();
        TIniFile(settings).WriteString("View", "LastPath", tree.toStdString());
        PumpView view;
        TCatalogue catalogue(&view);
        TfrmFolder dialog(nullptr, catalogue);
        dialog.show();
        QCOMPARE(StoredFolderPath(dialog.stvPath->SelectedPath()), tree);
        dialog.chkDLL->setChecked(false);
        // A stop question answered No lets the search go on.
        view.onPump = [&](int pump) {
            if (pump == 5)
                QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
        };
        QTest::mouseClick(dialog.btnSearch, Qt::LeftButton);
        QCOMPARE(messages.size(), size_t{1});
        QCOMPARE(messages[0].text, QString("Are you sure to cancel?        "));
        QCOMPARE(messages[0].caption, QString("Confirm"));
        QCOMPARE(messages[0].flags, 0x124u);
        QVERIFY(dialog.FSearched);
        QVERIFY(catalogue.Stopped());
        QCOMPARE(catalogue.TypeMask(), 0x11111101u);
        QCOMPARE(catalogue.IconCount(), 30);
        QCOMPARE(catalogue.FileCount(), 31);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(QString::fromStdString(stored("LastPath")), tree);
    }

    void aCancelledSearchKeepsWhatItFound()
    {
        const QString tree = searchTree();
        for (bool closeBox : {false, true}) {
            messages.clear();
            answer = IDYES;
            PumpView view;
            TCatalogue catalogue(&view);
            TfrmFolder dialog(nullptr, catalogue);
            dialog.show();
            QVERIFY(dialog.stvPath->SelectPath(tree));
            view.onPump = [&](int pump) {
                if (pump == 10) {
                    if (closeBox)
                        dialog.close();
                    else
                        QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
                }
            };
            QTest::mouseClick(dialog.btnSearch, Qt::LeftButton);
            QCOMPARE(messages.size(), size_t{1});
            QVERIFY(catalogue.Stopped());
            QVERIFY(catalogue.IconCount() <= 10);
            QCOMPARE(catalogue.FileCount(), 10);
            QVERIFY(!dialog.isVisible());
            QVERIFY(dialog.FSearched);
        }
    }

    void openFolderShowsPageOneOfWhatWasFound()
    {
        const QString tree = searchTree();
        TIniFile(settings).WriteString("View", "LastPath", tree.toStdString());
        TfrmMain w;
        w.show();
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<TfrmFolder *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QTest::mouseClick(dialog->btnSearch, Qt::LeftButton);
        });
        w.findChild<QAction *>("actFolder")->trigger();
        QCOMPARE(w.findChild<QListWidget *>("lvLst")->count(), 30);
        QCOMPARE(w.PanelText(2), QString("31 Files"));
        QVERIFY(w.Catalogue().Stopped());
        w.close();
    }

    // A file whose name is not UTF-8 is found, previewed and saved like any
    // other: its name reaches the file system byte for byte.
    void aNameThatIsNotUtf8IsPreviewedAndSaved()
    {
        const QString tree = folder("latin1");
        WriteBytes(dir->path() / "latin1" / "caf\xe9.ico", MakeIco({SolidDib(16)}));
        TIniFile(settings).WriteString("View", "LastPath", tree.toStdString());
        TfrmMain w;
        w.show();
        QTimer::singleShot(0, [&] {
            QTest::mouseClick(qobject_cast<TfrmFolder *>(QApplication::activeModalWidget())->btnSearch, Qt::LeftButton);
        });
        w.findChild<QAction *>("actFolder")->trigger();
        QListWidget *icons = w.findChild<QListWidget *>("lvLst");
        QCOMPARE(icons->count(), 1);
        QVERIFY(!icons->item(0)->icon().isNull());
        icons->item(0)->setSelected(true);
        QCOMPARE(w.findChild<QListWidget *>("gdIconLst")->count(), 1);
        TfrmMain::AskSaveOptionHook = [&](QWidget *) {
            return SaveOption{(dir->path() / "out").string(), true, false};
        };
        fs::create_directories(dir->path() / "out");
        w.actSaveExecute();
        TfrmMain::AskSaveOptionHook = nullptr;
        QVERIFY(fs::exists(dir->path() / "out" / "1.ico"));
        w.close();
    }
};

QTEST_MAIN(tst_dialogs)
#include "tst_dialogs.moc"
