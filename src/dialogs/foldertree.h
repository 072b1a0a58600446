// The shell folder tree of the two folder dialogs: a "Computer" node above
// the file system root, the home folder and the mounted volumes, with the
// folders below them listed when a node is first expanded.
#pragma once

#include <QAbstractItemModel>
#include <QByteArray>
#include <QIcon>
#include <QTreeView>

#include <memory>
#include <vector>

namespace vexillo {

// Whether a mounted volume is one the user keeps files on (a disk, a stick,
// a network share), as opposed to a kernel or container file system.
bool IsUserVolume(const QString &rootPath, const QByteArray &fileSystemType);

// The folders of the tree. Row 0 at the top is "Computer" (level 0); its
// children (level 1) are "/", the home folder and the user's volumes; below
// them each folder's visible subfolders (no files, no names starting with a
// dot), sorted by name without regard to case. Links to folders are shown
// and listed like folders. A folder is read once, when the view first asks
// for its children; there is no refresh afterwards.
class TShellFolderModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit TShellFolderModel(QObject *parent = nullptr);
    ~TShellFolderModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    QModelIndex ComputerIndex() const;
    // The folder's path without a trailing "/" ("/" for the root); empty for
    // "Computer" and for an invalid index.
    QString FolderPath(const QModelIndex &index) const;
    // 0 for "Computer", 1 for its children, and so on; -1 for an invalid index.
    int Level(const QModelIndex &index) const;
    // The node of a folder given by an absolute path, reached from the
    // deepest level-1 node that holds it and listing folders on the way;
    // invalid when a step of the path is not a node of the tree.
    QModelIndex FindFolder(const QString &absolutePath);

private:
    struct Node;
    Node *NodeOf(const QModelIndex &index) const;
    QModelIndex IndexOf(const Node *node) const;
    void AddTopNode(const QString &text, const QString &path, const QIcon &icon);
    void ListChildren(Node *node);

    std::unique_ptr<Node> FRoot; // invisible; its only child is "Computer"
    QIcon FFolderIcon;
};

// The tree view over TShellFolderModel: no header, no lines at the root,
// indent 19, single selection; a right click selects the node under the
// mouse. It opens with "Computer" expanded and selected.
class TShellFolderTree : public QTreeView {
    Q_OBJECT

public:
    explicit TShellFolderTree(QWidget *parent = nullptr);

    TShellFolderModel *FolderModel() const { return FModel; }
    // The selected folder's path with a trailing "/" ("/" for the root);
    // empty when "Computer" or nothing is selected.
    QString SelectedPath() const;
    // The selected node's level (0 for "Computer"); -1 when none is selected.
    int SelectedLevel() const;
    // Expands the tree down to an existing folder and selects it. A trailing
    // "/" is optional. Returns false, leaving the selection as it is, when
    // the path is not an absolute path of a folder that the tree shows.
    bool SelectPath(const QString &path);

signals:
    void selectedPathChanged(const QString &path);

private:
    QModelIndex SelectedIndex() const;

    TShellFolderModel *FModel;
};

} // namespace vexillo
