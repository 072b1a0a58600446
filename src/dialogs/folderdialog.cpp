#include "dialogs/folderdialog.h"

#include "dialogs/foldertree.h"

namespace vexillo {

QString StoredFolderPath(const QString &path)
{
    QString out = path;
    while (out.size() > 1 && out.endsWith('/'))
        out.chop(1);
    return out;
}

TFolderDialog::TFolderDialog(QWidget *owner, TSetting setting) : QDialog(owner), FSetting(setting)
{
    stvPath = new TShellFolderTree(this);
    stvPath->setObjectName("stvPath");
}

QString TFolderDialog::SelectedFolder() const
{
    return StoredFolderPath(stvPath->SelectedPath());
}

void TFolderDialog::SetTabOrder(std::initializer_list<QWidget *> widgets)
{
    QWidget *previous = nullptr;
    for (QWidget *widget : widgets) {
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

void TFolderDialog::SelectRememberedFolder()
{
    stvPath->SelectPath(QString::fromStdString(RememberedFolder(FSetting)));
}

void TFolderDialog::FormClose()
{
    RememberFolder(FSetting, SelectedFolder().toStdString());
}

void TFolderDialog::done(int result)
{
    if (!FClosed) {
        FClosed = true;
        FormClose();
    }
    QDialog::done(result);
}

} // namespace vexillo
