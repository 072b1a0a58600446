#include "dialogs/frmfolder.h"

#include "ui/pictures.h"
#include "ui/public.h"
#include "catalogue/catalogue.h"
#include "dialogs/foldertree.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>

namespace vexillo {

TfrmFolder::TfrmFolder(QWidget *owner, TCatalogue &catalogue)
    : TFolderDialog(owner, TSetting::LastPath), FCatalogue(catalogue)
{
    setObjectName("frmFolder");
    setWindowTitle("Search Disk...");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    // Wider than the save dialog by a second column of file types.
    setFixedSize(649, 341);
    setModal(true);

    stvPath->setGeometry(9, 11, 333, 318);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(353, 11, 137, 203);
    // The further types, in a group of their own beside the first.
    GroupBox2 = new QGroupBox(this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(500, 11, 137, 203);
    auto box = [](QGroupBox *group, const char *name, const char *caption, int top) {
        auto *check = new QCheckBox(caption, group);
        check->setObjectName(name);
        // 73 wide, or wider where the desktop's font needs it for the caption.
        check->setGeometry(26, top, CheckBoxWidth(*check, 73), 17);
        return check;
    };
    chkDLL = box(GroupBox1, "chkDLL", "*.DLL file", 21);
    chkEXE = box(GroupBox1, "chkEXE", "*.EXE file", 57);
    chkICO = box(GroupBox1, "chkICO", "*.ICO file", 94);
    chkCPL = box(GroupBox1, "chkCPL", "*.CPL file", 131);
    chkOCX = box(GroupBox1, "chkOCX", "*.OCX file", 168);
    chkICL = box(GroupBox2, "chkICL", "*.ICL file", 21);
    chkMUN = box(GroupBox2, "chkMUN", "*.MUN file", 57);
    chkSCR = box(GroupBox2, "chkSCR", "*.SCR file", 94);
    chkCUR = box(GroupBox2, "chkCUR", "*.CUR file", 131);
    chkANI = box(GroupBox2, "chkANI", "*.ANI file", 168);

    btnSearch = new QPushButton(QIcon(":/pictures/search.svg"), "&Search", this);
    btnSearch->setObjectName("btnSearch");
    btnSearch->setGeometry(371, 233, 97, 29);
    btnSearch->setDefault(true);
    btnSearch->setAutoDefault(true);
    btnCancel = new QPushButton(QIcon(":/pictures/cancel.svg"), "&Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(371, 276, 97, 29);
    btnCancel->setAutoDefault(false);

    SetTabOrder({stvPath, chkDLL, chkEXE, chkICO, chkCPL, chkOCX, chkICL, chkMUN, chkSCR, chkCUR, chkANI, btnSearch,
                 btnCancel});
    connect(btnSearch, &QPushButton::clicked, this, &TfrmFolder::btnSearchClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmFolder::btnCancelClick);

    FormCreate();
}

bool TfrmFolder::Search(QWidget *owner, TCatalogue &catalogue, const std::function<void(TfrmFolder &)> &setup,
                        QString &folder)
{
    TfrmFolder frmFolder(owner, catalogue);
    setup(frmFolder);
    frmFolder.exec();
    if (frmFolder.FSearched)
        folder = frmFolder.SelectedPath();
    return frmFolder.FSearched;
}

void TfrmFolder::FormCreate()
{
    for (QCheckBox *check : {chkDLL, chkEXE, chkICO, chkCPL, chkOCX})
        check->setChecked(true);
    // Icon libraries and the other modules hold icons: searched by default.
    // Cursors are asked for.
    for (QCheckBox *check : {chkICL, chkMUN, chkSCR})
        check->setChecked(true);
    for (QCheckBox *check : {chkCUR, chkANI})
        check->setChecked(false);
    SelectRememberedFolder();
    FSearched = false;
    stvPath->setFocus();
}

QString TfrmFolder::SelectedPath() const
{
    return stvPath->SelectedPath();
}

void TfrmFolder::BuildTypeMask()
{
    FTypeMask = 0;
    if (chkDLL->isChecked())
        FTypeMask += ftDll;
    if (chkEXE->isChecked())
        FTypeMask += ftExe;
    if (chkICO->isChecked())
        FTypeMask += ftIco;
    if (chkCPL->isChecked())
        FTypeMask += ftCpl;
    if (chkOCX->isChecked())
        FTypeMask += ftOcx;
    for (const auto &[check, type] : {std::pair{chkICL, ftIcl}, std::pair{chkMUN, ftMun}, std::pair{chkSCR, ftScr},
                                      std::pair{chkCUR, ftCur}, std::pair{chkANI, ftAni}})
        if (check->isChecked())
            FTypeMask += type;
}

void TfrmFolder::btnSearchClick()
{
    if (FSearched)
        return;
    BuildTypeMask();
    if (FTypeMask == 0) {
        ShowMsg("Please choose a kind of file type.   ", "Vexillo", MB_ICONINFORMATION);
        return;
    }
    if (stvPath->SelectedLevel() <= 0 || stvPath->SelectedPath().isEmpty()) {
        ShowMsg("Please choose a folder to search.   ", "Vexillo", MB_ICONINFORMATION);
        return;
    }
    FSearched = true;
    btnSearch->setEnabled(false);
    FCatalogue.ResetCatalogue(FTypeMask);
    try {
        FCatalogue.ScanFolder(stvPath->SelectedPath().toStdString());
    } catch (const EAbort &) {
        // Cancelled: the Cancel handler has stopped the scan and closed the
        // dialog already.
        return;
    }
    FCatalogue.EndRun();
    done(QDialog::Accepted);
}

void TfrmFolder::SearchAtOnce(const QStringList &folders, const QStringList &files)
{
    FFolders = folders;
    FFiles = files;
    for (QCheckBox *check : {chkDLL, chkEXE, chkICO, chkCPL, chkOCX})
        check->setChecked(true);
    // Icon libraries and the other modules hold icons: searched by default.
    // Cursor files are searched while cursors are on.
    for (QCheckBox *check : {chkICL, chkMUN, chkSCR})
        check->setChecked(true);
    for (QCheckBox *check : {chkCUR, chkANI})
        check->setChecked(FCatalogue.ListCursors);
    if (!folders.isEmpty())
        stvPath->SelectPath(folders.first());
    // Started from the dialog's own event loop, once it shows, so that its
    // Cancel works during the search.
    QTimer::singleShot(0, this, &TfrmFolder::searchGivenPaths);
}

void TfrmFolder::searchGivenPaths()
{
    if (FSearched)
        return;
    BuildTypeMask();
    FSearched = true;
    btnSearch->setEnabled(false);
    FCatalogue.ResetCatalogue(FTypeMask, static_cast<int>(FFiles.size()));
    try {
        for (const QString &file : FFiles) {
            FCatalogue.ScanFile(file.toStdString());
            if (FCatalogue.Stopped())
                return; // cancelled during the file: the dialog is closed already
        }
        for (const QString &folder : FFolders)
            FCatalogue.ScanFolder(folder.toStdString());
    } catch (const EAbort &) {
        return; // cancelled: the dialog is closed already
    }
    FCatalogue.EndRun();
    done(QDialog::Accepted);
}

void TfrmFolder::btnCancelClick()
{
    if (FCatalogue.Stopped()) {
        done(QDialog::Rejected);
        return;
    }
    if (ShowMsg("Are you sure to cancel?        ", "Confirm", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES) {
        FCatalogue.Stop();
        done(QDialog::Rejected);
    }
}

void TfrmFolder::reject()
{
    btnCancelClick();
}

void TfrmFolder::closeEvent(QCloseEvent *e)
{
    // The close box acts exactly as Cancel.
    e->ignore();
    btnCancelClick();
}

void TfrmFolder::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        // Minimising minimises the whole program; a running search goes on.
        setWindowState(windowState() & ~Qt::WindowMinimized);
        if (parentWidget())
            parentWidget()->window()->showMinimized();
    }
    QDialog::changeEvent(e);
}

} // namespace vexillo
