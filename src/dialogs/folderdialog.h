// What the two folder dialogs share: a folder tree whose folder is
// remembered under a setting. The tree opens on the remembered folder, and
// the folder the dialog closes on is stored once, however it closes (a
// button, Esc, the close box), before the dialog hands back its result.
#pragma once

#include "settings/settings.h"

#include <QDialog>

#include <initializer_list>

class QCheckBox;

namespace vexillo {

class TShellFolderTree;

class TFolderDialog : public QDialog {
    Q_OBJECT

public:
    // `setting` is the Folder setting the dialog remembers its folder under.
    TFolderDialog(QWidget *owner, TSetting setting);

    // The selected folder's path ("/" for the root, "/home/ann/icons"
    // otherwise), or empty when no folder is selected.
    QString SelectedFolder() const;

    TShellFolderTree *stvPath = nullptr;

    void setVisible(bool visible) override;

public slots:
    // Every way of closing ends here; the selected folder is stored first.
    void done(int result) override;

protected:
    // Selects the remembered folder; one that cannot be selected leaves the
    // tree as it is.
    void SelectRememberedFolder();
    // Stores the selected folder (empty when none is) under the setting.
    void FormClose();
    // Tab moves through the widgets in the order given.
    void SetTabOrder(std::initializer_list<QWidget *> widgets);

private:
    TSetting FSetting;
    bool FClosed = false;
    bool FPlaced = false;
};

// A check box's designed width, or the width its box and caption need in
// the dialog's font where that is more (no caption is cut short).
int CheckBoxWidth(const QCheckBox &box, int designed);

// The folder path as the settings store it: no trailing "/" except for the
// root itself.
QString StoredFolderPath(const QString &path);

} // namespace vexillo
