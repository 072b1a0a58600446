// The shell folder tree over folders of the test's own, with HOME pointing
// into them so that the home node is known.
#include "dialogs/foldertree.h"
#include "gui/gui_support.h"
#include "test_support.h"

#include <QApplication>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QStyleOption>
#include <QTest>

#include <filesystem>
#include <memory>

using namespace vexillo;
using namespace vexillo::test;
namespace fs = std::filesystem;

namespace {

QString Q(const fs::path &path)
{
    return QString::fromStdString(path.string());
}

// Makes entries below a folder from lines "d name" (folder), "f name" (file)
// and "l name target" (symbolic link).
void MakeEntries(const fs::path &folder, const QStringList &entries)
{
    fs::create_directories(folder);
    for (const QString &entry : entries) {
        const QStringList parts = entry.split(QLatin1Char(' '));
        const fs::path path = folder / parts[1].toStdString();
        if (parts[0] == QLatin1String("d"))
            fs::create_directories(path);
        else if (parts[0] == QLatin1String("f"))
            WriteText(path, "x");
        else
            fs::create_symlink(parts[2].toStdString(), path);
    }
}

// The texts of a node's children, after expanding it.
QStringList Children(TShellFolderTree &tree, const QModelIndex &index)
{
    tree.expand(index);
    QStringList texts;
    for (int row = 0; row < tree.model()->rowCount(index); ++row)
        texts << tree.model()->index(row, 0, index).data().toString();
    return texts;
}

QModelIndex Child(const QAbstractItemModel *model, const QModelIndex &parent, const QString &text)
{
    const QModelIndexList found = model->match(model->index(0, 0, parent), Qt::DisplayRole, text, 1, Qt::MatchExactly);
    return found.value(0);
}

QModelIndex Select(TShellFolderTree &tree, const fs::path &folder)
{
    return tree.SelectPath(Q(folder)) ? tree.selectionModel()->selectedIndexes().value(0) : QModelIndex();
}

// Notes the rows whose branch is drawn with the expand sign.
class BranchStyle : public QProxyStyle {
public:
    QTreeView *view = nullptr;
    mutable QStringList withSign;

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element == PE_IndicatorBranch && (option->state & State_Children))
            withSign
                << view->indexAt(QPoint(view->viewport()->width() - 1, option->rect.center().y())).data().toString();
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

} // namespace

class tst_foldertree : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> dir;
    fs::path home;
    QByteArray savedHome;

private slots:
    void initTestCase() { savedHome = qgetenv("HOME"); }

    void init()
    {
        dir = std::make_unique<TempDir>();
        home = dir->path() / "home";
        fs::create_directories(home);
        qputenv("HOME", QFile::encodeName(Q(home)));
    }

    void cleanup()
    {
        VerifyNothingLeftOpen();
        qputenv("HOME", savedHome);
        dir.reset();
    }

    void opensOnComputerWithRootAndHomeBelowIt()
    {
        TShellFolderTree tree;
        tree.show();
        const QModelIndex computer = tree.model()->index(0, 0);
        QCOMPARE(tree.model()->rowCount(), 1);
        QCOMPARE(computer.data().toString(), QStringLiteral("Computer"));
        QVERIFY(tree.isExpanded(computer));
        QCOMPARE(tree.SelectedLevel(), 0);
        QCOMPARE(tree.SelectedPath(), QString());

        QStringList paths;
        for (int row = 0; row < tree.model()->rowCount(computer); ++row) {
            const QModelIndex top = tree.model()->index(row, 0, computer);
            paths << tree.FolderModel()->FolderPath(top);
            QCOMPARE(tree.FolderModel()->Level(top), 1);
            QVERIFY2(QFileInfo(paths.last()).isDir(), qPrintable(paths.last()));
        }
        QCOMPARE(paths.mid(0, 2), (QStringList{"/", Q(home)}));
        QCOMPARE(paths.removeDuplicates(), 0);
    }

    void listsVisibleFoldersSortedByName_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("case is ignored in the order")
            << QStringList{"d beta", "d Alpha", "d gamma", "d Delta", "d 10", "d _x"}
            << QStringList{"10", "_x", "Alpha", "beta", "Delta", "gamma"};
        QTest::newRow("names differing only in case all show")
            << QStringList{"d icons", "d Icons", "d ICONS"} << QStringList{"ICONS", "Icons", "icons"};
        QTest::newRow("files and hidden folders are left out")
            << QStringList{"d shown", "f file.ico", "f .hiddenfile", "d .hidden"} << QStringList{"shown"};
        QTest::newRow("links to folders show, other links do not")
            << QStringList{"d real", "f file", "l tofolder real", "l tofile file", "l dangling nowhere", "l self self"}
            << QStringList{"real", "tofolder"};
        QTest::newRow("no folders") << QStringList{"f a.exe", "d .git"} << QStringList{};
    }

    void listsVisibleFoldersSortedByName()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, expected);
        MakeEntries(home / "t", entries);
        TShellFolderTree tree;
        const QModelIndex folder = Select(tree, home / "t");
        QVERIFY(tree.model()->hasChildren(folder));
        QCOMPARE(tree.model()->rowCount(folder), 0);
        QCOMPARE(Children(tree, folder), expected);
        QCOMPARE(tree.model()->hasChildren(folder), !expected.isEmpty());
    }

    // A folder is read when it is first expanded and not again afterwards.
    void readsAFolderOnceWhenItIsExpanded()
    {
        MakeEntries(home, {"d a/inner"});
        TShellFolderTree tree;
        const QModelIndex homeNode = Select(tree, home);
        QCOMPARE(Children(tree, homeNode), QStringList{"a"});
        MakeEntries(home, {"d a/later", "d late"});
        QCOMPARE(Children(tree, Child(tree.model(), homeNode, "a")), (QStringList{"inner", "later"}));
        QCOMPARE(Children(tree, homeNode), QStringList{"a"});
    }

    void emptyFolderLosesItsExpandSign()
    {
        MakeEntries(home, {"d full/x", "d empty"});
        BranchStyle style;
        TShellFolderTree tree;
        style.view = &tree;
        tree.setStyle(&style);
        tree.resize(400, 300);
        tree.show();
        const QModelIndex homeNode = Select(tree, home);
        tree.expand(homeNode);
        tree.grab();
        QVERIFY(style.withSign.contains("empty"));

        tree.expand(Child(tree.model(), homeNode, "empty"));
        style.withSign.clear();
        tree.grab();
        QVERIFY(style.withSign.contains("full"));
        QVERIFY(!style.withSign.contains("empty"));
    }

    void showsTheWaitCursorWhileReading_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("folder with subfolders") << QStringList{"d x", "d y"};
        QTest::newRow("empty folder") << QStringList{};
    }

    void showsTheWaitCursorWhileReading()
    {
        QFETCH(QStringList, entries);
        MakeEntries(home / "t", entries);
        TShellFolderTree tree;
        const QModelIndex folder = Select(tree, home / "t");

        QList<Qt::CursorShape> during;
        auto record = [&during] {
            const QCursor *cursor = QApplication::overrideCursor();
            during << (cursor ? cursor->shape() : Qt::ArrowCursor);
        };
        connect(tree.model(), &QAbstractItemModel::rowsAboutToBeInserted, &tree, record);
        connect(tree.model(), &QAbstractItemModel::dataChanged, &tree, record);
        QApplication::setOverrideCursor(Qt::CrossCursor);
        tree.expand(folder);
        QCOMPARE(during, QList<Qt::CursorShape>{Qt::WaitCursor});
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
        QApplication::restoreOverrideCursor();
    }

    void selectPathExpandsDownToTheFolder_data()
    {
        QTest::addColumn<QString>("path");     // "~" stands for the temporary folder
        QTest::addColumn<QString>("expected"); // SelectedPath
        QTest::addColumn<int>("level");        // -1: any level from 3 on
        QTest::newRow("file system root") << "/"
                                          << "/" << 1;
        QTest::newRow("home itself") << "~/home"
                                     << "~/home/" << 1;
        QTest::newRow("home with a trailing slash") << "~/home/"
                                                    << "~/home/" << 1;
        QTest::newRow("deep folder in home") << "~/home/a/b/c/d"
                                             << "~/home/a/b/c/d/" << 5;
        QTest::newRow("deep folder, trailing slash") << "~/home/a/b/c/d/"
                                                     << "~/home/a/b/c/d/" << 5;
        QTest::newRow("dots and doubled slashes") << "~/home/a/b/../b//c/./"
                                                  << "~/home/a/b/c/" << 4;
        QTest::newRow("through a link to a folder") << "~/home/link/c"
                                                    << "~/home/link/c/" << 3;
        QTest::newRow("outside home, from /") << "~/out/x"
                                              << "~/out/x/" << -1;
    }

    void selectPathExpandsDownToTheFolder()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QFETCH(int, level);
        path.replace("~", Q(dir->path()));
        expected.replace("~", Q(dir->path()));
        MakeEntries(dir->path(), {"d home/a/b/c/d", "d out/x", "l home/link a/b"});
        TShellFolderTree tree;
        tree.show();
        QSignalSpy changed(&tree, &TShellFolderTree::selectedPathChanged);

        QVERIFY(tree.SelectPath(path));
        QCOMPARE(tree.SelectedPath(), expected);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), expected);
        QVERIFY(level < 0 ? tree.SelectedLevel() >= 3 : tree.SelectedLevel() == level);
        const QModelIndex selected = tree.selectionModel()->selectedIndexes().value(0);
        QCOMPARE(tree.currentIndex(), selected);
        for (QModelIndex up = selected.parent(); up.isValid(); up = up.parent())
            QVERIFY2(tree.isExpanded(up), qPrintable(up.data().toString()));
    }

    void selectPathFailsAndKeepsTheSelection_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing folder") << "~/home/a/missing";
        QTest::newRow("missing parent") << "~/home/gone/a";
        QTest::newRow("a file") << "~/home/a/file.ico";
        QTest::newRow("a hidden folder") << "~/home/a/.hidden";
        QTest::newRow("inside a hidden folder") << "~/home/.cache/sub";
        QTest::newRow("relative path") << "home/a";
        QTest::newRow("empty text") << "";
        QTest::newRow("a Windows path") << "c:\\";
    }

    void selectPathFailsAndKeepsTheSelection()
    {
        QFETCH(QString, path);
        path.replace("~", Q(dir->path()));
        MakeEntries(home, {"d a/b", "f a/file.ico", "d a/.hidden", "d .cache/sub"});
        TShellFolderTree tree;
        QVERIFY(tree.SelectPath(Q(home / "a" / "b")));
        QSignalSpy changed(&tree, &TShellFolderTree::selectedPathChanged);
        QVERIFY(!tree.SelectPath(path));
        QCOMPARE(tree.SelectedPath(), Q(home / "a" / "b") + "/");
        QCOMPARE(changed.size(), 0);
    }

    void folderRemovedAfterItsParentWasRead()
    {
        MakeEntries(home, {"d gone/sub", "d stays"});
        TShellFolderTree tree;
        tree.show();
        const QModelIndex homeNode = Select(tree, home);
        QCOMPARE(Children(tree, homeNode), (QStringList{"gone", "stays"}));
        fs::remove_all(home / "gone");

        const QModelIndex gone = Child(tree.model(), homeNode, "gone");
        QCOMPARE(Children(tree, gone), QStringList());
        QVERIFY(!tree.model()->hasChildren(gone));
        QVERIFY(!tree.SelectPath(Q(home / "gone")));
        QVERIFY(tree.SelectPath(Q(home / "stays")));
    }

    void linkLoopOpensOneLevelAtATime()
    {
        MakeEntries(home, {"d a", "l loop ."});
        TShellFolderTree tree;
        tree.show();
        QModelIndex node = Select(tree, home);
        fs::path expected = home;
        for (int depth = 0; depth < 6; ++depth) {
            QCOMPARE(Children(tree, node), (QStringList{"a", "loop"}));
            node = Child(tree.model(), node, "loop");
            expected /= "loop";
            QCOMPARE(tree.FolderModel()->FolderPath(node), Q(expected));
        }
        QVERIFY(tree.SelectPath(Q(home / "loop/loop/loop/a")));
        QCOMPARE(tree.SelectedLevel(), 5);
    }

    void nameThatIsNotUtf8IsShownAndOpened()
    {
        fs::create_directories(home / std::string("bad\xff\xfename") / "inner");
        TShellFolderTree tree;
        const QModelIndex homeNode = Select(tree, home);
        const QStringList names = Children(tree, homeNode);
        QCOMPARE(names.size(), 1);
        QVERIFY(names[0].startsWith("bad") && names[0].endsWith("name"));
        QVERIFY(names[0].contains(QChar::ReplacementCharacter));
        QCOMPARE(Children(tree, tree.model()->index(0, 0, homeNode)), QStringList{"inner"});
    }

    void listsALargeFolderCompletely()
    {
        for (int i = 0; i < 2000; ++i)
            fs::create_directories(home / "many" / ("f" + std::to_string(i)));
        TShellFolderTree tree;
        tree.resize(400, 300);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        const QModelIndex many = Select(tree, home / "many");
        tree.expand(many);
        tree.scrollTo(tree.model()->index(1999, 0, many));
        QCoreApplication::processEvents();
        QCOMPARE(tree.model()->rowCount(many), 2000);
        QCOMPARE(tree.model()->index(1999, 0, many).data().toString(), QStringLiteral("f999"));
    }

    void userVolumes_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("shown");
        QTest::newRow("disk mounted by the desktop") << "/media/ann/USB" << QByteArray("vfat") << true;
        QTest::newRow("removable media under /run/media") << "/run/media/ann/DATA" << QByteArray("exfat") << true;
        QTest::newRow("second disk") << "/data" << QByteArray("ext4") << true;
        QTest::newRow("network share") << "/mnt/share" << QByteArray("cifs") << true;
        QTest::newRow("kernel process list") << "/proc" << QByteArray("proc") << false;
        QTest::newRow("kernel objects") << "/sys/fs/cgroup" << QByteArray("cgroup2") << false;
        QTest::newRow("memory file system") << "/tmp" << QByteArray("tmpfs") << false;
        QTest::newRow("container layers") << "/" << QByteArray("overlay") << false;
        QTest::newRow("snap package") << "/snap/core/1" << QByteArray("squashfs") << false;
        QTest::newRow("boot partition") << "/boot/efi" << QByteArray("vfat") << false;
        QTest::newRow("runtime folder") << "/run/user/1000" << QByteArray("ext4") << false;
        QTest::newRow("the /run/media folder itself") << "/run/media" << QByteArray("ext4") << false;
        QTest::newRow("container volume") << "/var/lib/docker/volumes/x" << QByteArray("ext4") << false;
        QTest::newRow("not a path") << "none" << QByteArray("ext4") << false;
    }

    void userVolumes()
    {
        QFETCH(QString, root);
        QFETCH(QByteArray, type);
        QFETCH(bool, shown);
        QCOMPARE(IsUserVolume(root, type), shown);
    }
};

QTEST_MAIN(tst_foldertree)
#include "tst_foldertree.moc"
