#include "dialogs/foldertree.h"

#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStorageInfo>

#include <algorithm>
#include <set>

#include <dirent.h>
#include <sys/stat.h>

namespace vexillo {

namespace {

// Shows the wait cursor for as long as it lives.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

struct FolderName {
    QByteArray name; // the bytes on disk
    QString text;    // as shown (bytes that are not UTF-8 show as U+FFFD)
};

// The visible subfolders of a folder, sorted by name without regard to case.
// One pass of readdir; only links and entries of unknown type are stat'ed.
// A folder that cannot be opened (gone, no access) has none.
std::vector<FolderName> ListFolderNames(const QByteArray &folder)
{
    std::vector<FolderName> found;
    DIR *dir = opendir(folder.constData());
    if (!dir)
        return found;
    const int fd = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        // Hidden folders, "." and ".." all start with a dot.
        if (entry->d_name[0] == '.')
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            isFolder = fstatat(fd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (isFolder) {
            QByteArray name(entry->d_name);
            QString text = QFile::decodeName(name);
            found.push_back({std::move(name), std::move(text)});
        }
    }
    closedir(dir);
    std::sort(found.begin(), found.end(), [](const FolderName &a, const FolderName &b) {
        const int byText = QString::compare(a.text, b.text, Qt::CaseInsensitive);
        return byText != 0 ? byText < 0 : a.name < b.name;
    });
    return found;
}

bool IsUnder(const QString &path, const QString &folder)
{
    return folder == QLatin1String("/") || path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

bool IsUserVolume(const QString &rootPath, const QByteArray &fileSystemType)
{
    static const std::set<QByteArray> systemTypes = {
        "autofs",     "binfmt_misc",   "bpf",      "cgroup",  "cgroup2",   "configfs",        "debugfs",
        "devpts",     "devtmpfs",      "efivarfs", "fusectl", "hugetlbfs", "mqueue",          "nsfs",
        "overlay",    "proc",          "pstore",   "ramfs",   "rootfs",    "rpc_pipefs",      "securityfs",
        "selinuxfs",  "squashfs",      "sysfs",    "tmpfs",   "tracefs",   "fuse.gvfsd-fuse", "fuse.portal",
        "fuse.lxcfs", "fuse.snapfuse", "nfsd",     "none"};
    if (systemTypes.count(fileSystemType))
        return false;
    if (!rootPath.startsWith(QLatin1Char('/')))
        return false;
    // Removable media mount here on some desktops, under the system's /run.
    if (IsUnder(rootPath, QStringLiteral("/run/media")) && rootPath != QLatin1String("/run/media"))
        return true;
    // Mount points of the system's own file systems (kernel, boot, packages, containers).
    for (const char *system :
         {"/proc", "/sys", "/dev", "/run", "/boot", "/efi", "/snap", "/var/lib", "/var/snap", "/var/run", "/var/lock"})
        if (IsUnder(rootPath, QLatin1String(system)))
            return false;
    return true;
}

struct TShellFolderModel::Node {
    Node *parent = nullptr;
    int row = 0;
    int level = -1;
    QByteArray name;   // a folder's own name on disk (level 2 and below)
    QByteArray native; // the full path on disk of a level-1 node
    QString text;
    QIcon icon; // "Computer" and level-1 nodes; folders share one
    bool listed = false;
    std::vector<std::unique_ptr<Node>> children;

    Node *AddChild()
    {
        auto child = std::make_unique<Node>();
        child->parent = this;
        child->row = static_cast<int>(children.size());
        child->level = level + 1;
        children.push_back(std::move(child));
        return children.back().get();
    }

    // The path on disk: the level-1 node's path and the names below it.
    QByteArray NativePath() const
    {
        std::vector<const Node *> chain;
        const Node *node = this;
        for (; node && node->level > 1; node = node->parent)
            chain.push_back(node);
        if (!node || node->level < 1)
            return {};
        QByteArray path = node->native;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (!path.endsWith('/'))
                path += '/';
            path += (*it)->name;
        }
        return path;
    }
};

TShellFolderModel::TShellFolderModel(QObject *parent) : QAbstractItemModel(parent), FRoot(std::make_unique<Node>())
{
    QFileIconProvider icons;
    FFolderIcon = icons.icon(QAbstractFileIconProvider::Folder);
    FRoot->listed = true;
    Node *computer = FRoot->AddChild();
    computer->text = tr("Computer");
    computer->icon = icons.icon(QAbstractFileIconProvider::Computer);
    computer->listed = true;

    const QIcon drive = icons.icon(QAbstractFileIconProvider::Drive);
    std::set<QString> shown = {QStringLiteral("/")};
    AddTopNode(tr("File system (/)"), QStringLiteral("/"), drive);
    const QString home = QDir::cleanPath(QDir::homePath());
    if (home.startsWith(QLatin1Char('/')) && home != QLatin1String("/") && QFileInfo(home).isDir()) {
        AddTopNode(tr("Home (%1)").arg(home), home, QIcon::fromTheme(QStringLiteral("user-home"), FFolderIcon));
        shown.insert(home);
    }
    std::vector<QStorageInfo> volumes;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (volume.isValid() && volume.isReady() && IsUserVolume(root, volume.fileSystemType()) &&
            QFileInfo(root).isDir() && shown.insert(root).second)
            volumes.push_back(volume);
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const QStorageInfo &a, const QStorageInfo &b) { return a.rootPath() < b.rootPath(); });
    for (const QStorageInfo &volume : volumes) {
        const QString root = volume.rootPath();
        QString name = volume.name();
        if (name.isEmpty())
            name = QFileInfo(root).fileName();
        AddTopNode(QStringLiteral("%1 (%2)").arg(name, root), root, drive);
    }
}

TShellFolderModel::~TShellFolderModel() = default;

void TShellFolderModel::AddTopNode(const QString &text, const QString &path, const QIcon &icon)
{
    Node *node = FRoot->children.front()->AddChild();
    node->text = text;
    node->native = QFile::encodeName(path);
    node->icon = icon;
}

TShellFolderModel::Node *TShellFolderModel::NodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : FRoot.get();
}

QModelIndex TShellFolderModel::IndexOf(const Node *node) const
{
    return node == FRoot.get() ? QModelIndex() : createIndex(node->row, 0, const_cast<Node *>(node));
}

QModelIndex TShellFolderModel::index(int row, int column, const QModelIndex &parent) const
{
    const Node *node = NodeOf(parent);
    if (column != 0 || row < 0 || static_cast<size_t>(row) >= node->children.size())
        return {};
    return IndexOf(node->children[static_cast<size_t>(row)].get());
}

QModelIndex TShellFolderModel::parent(const QModelIndex &child) const
{
    return child.isValid() ? IndexOf(NodeOf(child)->parent) : QModelIndex();
}

int TShellFolderModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(NodeOf(parent)->children.size());
}

int TShellFolderModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant TShellFolderModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const Node *node = NodeOf(index);
    switch (role) {
    case Qt::DisplayRole: return node->level > 1 ? QFile::decodeName(node->name) : node->text;
    case Qt::DecorationRole: return node->level > 1 ? FFolderIcon : node->icon;
    case Qt::ToolTipRole: return FolderPath(index);
    default: return {};
    }
}

Qt::ItemFlags TShellFolderModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool TShellFolderModel::hasChildren(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return false;
    const Node *node = NodeOf(parent);
    // Unread folders show the expand sign until reading finds them empty.
    return !node->listed || !node->children.empty();
}

bool TShellFolderModel::canFetchMore(const QModelIndex &parent) const
{
    return parent.column() <= 0 && !NodeOf(parent)->listed;
}

void TShellFolderModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent))
        ListChildren(NodeOf(parent));
}

void TShellFolderModel::ListChildren(Node *node)
{
    WaitCursor wait;
    std::vector<FolderName> names = ListFolderNames(node->NativePath());
    node->listed = true;
    const QModelIndex index = IndexOf(node);
    if (names.empty()) {
        // The view rereads hasChildren() on this and drops the expand sign.
        emit dataChanged(index, index);
        return;
    }
    beginInsertRows(index, 0, static_cast<int>(names.size()) - 1);
    node->children.reserve(names.size());
    for (FolderName &entry : names)
        node->AddChild()->name = std::move(entry.name);
    endInsertRows();
}

QModelIndex TShellFolderModel::ComputerIndex() const
{
    return IndexOf(FRoot->children.front().get());
}

QString TShellFolderModel::FolderPath(const QModelIndex &index) const
{
    return index.isValid() ? QFile::decodeName(NodeOf(index)->NativePath()) : QString();
}

int TShellFolderModel::Level(const QModelIndex &index) const
{
    return index.isValid() ? NodeOf(index)->level : -1;
}

QModelIndex TShellFolderModel::FindFolder(const QString &absolutePath)
{
    if (!absolutePath.startsWith(QLatin1Char('/')))
        return {};
    const QString path = QDir::cleanPath(absolutePath);
    // The deepest top node that holds the path: a volume or the home folder
    // rather than "/" when the path lies inside them.
    Node *node = nullptr;
    qsizetype depth = -1;
    for (const auto &top : FRoot->children.front()->children) {
        const QString topPath = QFile::decodeName(top->native);
        if (IsUnder(path, topPath) && topPath.size() > depth) {
            node = top.get();
            depth = topPath.size();
        }
    }
    if (!node)
        return {};
    const QString rest = depth == 1 ? path.mid(1) : path.mid(depth);
    for (const QString &part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!node->listed)
            ListChildren(node);
        const QByteArray name = QFile::encodeName(part);
        const auto found = std::find_if(node->children.begin(), node->children.end(),
                                        [&name](const std::unique_ptr<Node> &child) { return child->name == name; });
        if (found == node->children.end())
            return {};
        node = found->get();
    }
    return IndexOf(node);
}

TShellFolderTree::TShellFolderTree(QWidget *parent) : QTreeView(parent), FModel(new TShellFolderModel(this))
{
    setModel(FModel);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(19);
    setUniformRowHeights(true);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setAnimated(false);
    const QModelIndex computer = FModel->ComputerIndex();
    expand(computer);
    selectionModel()->setCurrentIndex(computer, QItemSelectionModel::ClearAndSelect);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit selectedPathChanged(SelectedPath()); });
}

QModelIndex TShellFolderTree::SelectedIndex() const
{
    return selectionModel()->selectedIndexes().value(0);
}

QString TShellFolderTree::SelectedPath() const
{
    QString path = FModel->FolderPath(SelectedIndex());
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

int TShellFolderTree::SelectedLevel() const
{
    return FModel->Level(SelectedIndex());
}

bool TShellFolderTree::SelectPath(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')) || !QFileInfo(QDir::cleanPath(path)).isDir())
        return false;
    const QModelIndex target = FModel->FindFolder(path);
    if (!target.isValid())
        return false;
    for (QModelIndex up = target.parent(); up.isValid(); up = up.parent())
        expand(up);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    scrollTo(target);
    return true;
}

} // namespace vexillo
