// The Search Disk dialog: the user picks a folder and file types, and the
// whole tree below the folder is searched for icons, inside the dialog.
#pragma once

#include <QDialog>
#include <QStringList>

#include <cstdint>

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace vexillo {

class TCatalogue;
class TShellFolderTree;

class TfrmFolder : public QDialog {
    Q_OBJECT

public:
    // The search fills `catalogue` (the main window's), which must outlive
    // the dialog.
    TfrmFolder(QWidget *owner, TCatalogue &catalogue);

    uint32_t FTypeMask = 0;
    // True from the moment a search starts.
    bool FSearched = false;

    void BuildTypeMask();
    // Searches the folders, and opens the files, with every type as soon as
    // the dialog shows, without waiting for Search: what naming folders on
    // the command line or dropping them on the window does. The tree shows
    // the first folder.
    void SearchAtOnce(const QStringList &folders, const QStringList &files);

    TShellFolderTree *stvPath = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QCheckBox *chkDLL = nullptr;
    QCheckBox *chkEXE = nullptr;
    QCheckBox *chkICO = nullptr;
    QCheckBox *chkCPL = nullptr;
    QCheckBox *chkOCX = nullptr;
    QPushButton *btnSearch = nullptr;
    QPushButton *btnCancel = nullptr;

public slots:
    void done(int result) override;
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
    void FormClose();
    void searchGivenPaths();

    TCatalogue &FCatalogue;
    QStringList FFolders, FFiles;
    bool FClosed = false;
};

} // namespace vexillo
