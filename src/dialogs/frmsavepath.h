// The save-folder dialog: the user picks the folder that saved icons and
// images go to; the folder is remembered for the next time.
#pragma once

#include "dialogs/folderdialog.h"
#include "icons/icontypes.h"

class QCheckBox;
class QFrame;
class QPushButton;

namespace vexillo {

class TfrmSavePath : public TFolderDialog {
    Q_OBJECT

public:
    explicit TfrmSavePath(QWidget *owner);

    // Shows the dialog on `owner` and hands back what it closed with: the
    // selected folder, whether Save confirmed it, and its check boxes (PNG
    // images only where `offerPng` shows that box).
    static SaveOption Ask(QWidget *owner, bool offerPng);

    // True once the dialog was ended with Save on a usable folder.
    bool FConfirmed = false;

    QFrame *Bevel1 = nullptr;
    QCheckBox *cbOpen = nullptr;
    // Shown only where icons are saved: each image as a PNG file instead.
    QCheckBox *cbPng = nullptr;
    QPushButton *btnSearch = nullptr;
    QPushButton *btnCancel = nullptr;

private:
    void FormCreate();
    void btnSearchClick();
    void btnCancelClick();
};

} // namespace vexillo
