// The save-folder dialog: the user picks the folder that saved icons and
// images go to; the folder is remembered for the next time.
#pragma once

#include <QDialog>

class QCheckBox;
class QFrame;
class QPushButton;

namespace vexillo {

class TShellFolderTree;

class TfrmSavePath : public QDialog {
    Q_OBJECT

public:
    explicit TfrmSavePath(QWidget *owner);

    // True once the dialog was ended with Save on a usable folder.
    bool FConfirmed = false;
    // The selected folder's path ("/" for the root, "/home/ann/icons"
    // otherwise), or empty when no folder is selected.
    QString SelectedFolder() const;

    TShellFolderTree *stvPath = nullptr;
    QFrame *Bevel1 = nullptr;
    QCheckBox *cbOpen = nullptr;
    // Shown only where icons are saved: each image as a PNG file instead.
    QCheckBox *cbPng = nullptr;
    QPushButton *btnSearch = nullptr;
    QPushButton *btnCancel = nullptr;

public slots:
    // Every way of closing ends here; the selected folder is stored first.
    void done(int result) override;

private:
    void FormCreate();
    void btnSearchClick();
    void btnCancelClick();
    void FormClose();
    bool FClosed = false;
};

// The folder path as the settings store it: no trailing "/" except for the
// root itself.
QString StoredFolderPath(const QString &path);

} // namespace vexillo
