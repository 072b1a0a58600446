// The Search Disk dialog: the user picks a folder and file types, and the
// whole tree below the folder is searched for icons, inside the dialog.
#pragma once

#include "dialogs/folderdialog.h"

#include <QStringList>

#include <cstdint>
#include <functional>

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace vexillo {

class TCatalogue;

class TfrmFolder : public TFolderDialog {
    Q_OBJECT

public:
    // The search fills `catalogue` (the main window's), which must outlive
    // the dialog.
    TfrmFolder(QWidget *owner, TCatalogue &catalogue);

    // Shows the dialog on `owner`, set up by `setup` before it shows, and
    // tells whether a search started; the folder the tree showed selected
    // then goes to `folder`.
    static bool Search(QWidget *owner, TCatalogue &catalogue, const std::function<void(TfrmFolder &)> &setup,
                       QString &folder);

    uint32_t FTypeMask = 0;
    // True from the moment a search starts.
    bool FSearched = false;

    void BuildTypeMask();
    // Searches the folders, and opens the files, with every type as soon as
    // the dialog shows, without waiting for Search: what naming folders on
    // the command line or dropping them on the window does. Cursor files are
    // searched too while the catalogue lists cursors. The tree shows the
    // first folder.
    void SearchAtOnce(const QStringList &folders, const QStringList &files);
    // The folder the tree shows selected, with a trailing "/"; empty when
    // none is.
    QString SelectedPath() const;

    QGroupBox *GroupBox1 = nullptr;
    QCheckBox *chkDLL = nullptr;
    QCheckBox *chkEXE = nullptr;
    QCheckBox *chkICO = nullptr;
    QCheckBox *chkCPL = nullptr;
    QCheckBox *chkOCX = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QCheckBox *chkICL = nullptr;
    QCheckBox *chkMUN = nullptr;
    QCheckBox *chkSCR = nullptr;
    QCheckBox *chkCUR = nullptr;
    QCheckBox *chkANI = nullptr;
    QPushButton *btnSearch = nullptr;
    QPushButton *btnCancel = nullptr;

public slots:
    // Esc acts as Cancel, with its question while a search runs.
    void reject() override;

protected:
    // The close box acts as Cancel; minimising minimises the whole program.
    void closeEvent(QCloseEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void FormCreate();
    void btnSearchClick();
    void btnCancelClick();
    void searchGivenPaths();

    TCatalogue &FCatalogue;
    QStringList FFolders, FFiles;
};

} // namespace vexillo
