#include "dialogs/frmsavepath.h"

#include "ui/pictures.h"
#include "ui/public.h"
#include "settings/settings.h"
#include "dialogs/foldertree.h"

#include <QCheckBox>
#include <QFrame>
#include <QPushButton>

namespace vexillo {

QString StoredFolderPath(const QString &path)
{
    QString out = path;
    while (out.size() > 1 && out.endsWith('/'))
        out.chop(1);
    return out;
}

TfrmSavePath::TfrmSavePath(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmSavePath");
    setWindowTitle("Save file");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setFixedSize(502, 341);
    setModal(true);

    stvPath = new TShellFolderTree(this);
    stvPath->setObjectName("stvPath");
    stvPath->setGeometry(7, 7, 488, 265);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(0, 278, 502, 2);

    cbOpen = new QCheckBox("Open folder after save file", this);
    cbOpen->setObjectName("cbOpen");
    cbOpen->setGeometry(12, 299, 200, 17);

    cbPng = new QCheckBox("Save each image as a &PNG file", this);
    cbPng->setObjectName("cbPng");
    cbPng->setGeometry(12, 319, 260, 17);
    cbPng->setVisible(false);

    btnSearch = new QPushButton(Picture(TPicture::Save), "&Save   ", this);
    btnSearch->setObjectName("btnSearch");
    btnSearch->setGeometry(283, 293, 88, 29);
    btnSearch->setIconSize(QSize(16, 16));
    btnSearch->setDefault(true);
    btnSearch->setAutoDefault(true);

    btnCancel = new QPushButton(QIcon(":/pictures/cancel.svg"), "&Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(392, 293, 88, 29);
    btnCancel->setIconSize(QSize(16, 16));
    btnCancel->setAutoDefault(false);

    setTabOrder(stvPath, cbOpen);
    setTabOrder(cbOpen, cbPng);
    setTabOrder(cbPng, btnSearch);
    setTabOrder(btnSearch, btnCancel);
    connect(btnSearch, &QPushButton::clicked, this, &TfrmSavePath::btnSearchClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmSavePath::btnCancelClick);

    FormCreate();
}

QString TfrmSavePath::SelectedFolder() const
{
    return StoredFolderPath(stvPath->SelectedPath());
}

void TfrmSavePath::FormCreate()
{
    FConfirmed = false;
    try {
        TIniFile ini(SettingsFileName());
        stvPath->SelectPath(QString::fromStdString(ReadSettingFolder(ini, TSetting::DefPath)));
    } catch (const std::invalid_argument &) {
        // Raised only for a setting of another type; the tree stays as it is.
        // A remembered folder that cannot be selected leaves it as it is too.
    }
    stvPath->setFocus();
}

void TfrmSavePath::btnSearchClick()
{
    if (stvPath->SelectedLevel() <= 0 || stvPath->SelectedPath().isEmpty()) {
        ShowMsg("Please choose a folder.   ", "Vexillo", MB_ICONINFORMATION);
        return;
    }
    FConfirmed = true;
    accept();
}

void TfrmSavePath::btnCancelClick()
{
    reject();
}

void TfrmSavePath::FormClose()
{
    // The dialog closes and hands back its result even when the folder
    // cannot be remembered.
    try {
        TIniFile ini(SettingsFileName());
        WriteSettingFolder(ini, TSetting::DefPath, SelectedFolder().toStdString());
    } catch (const EIniFileException &) {
        // Settings that cannot be written are passed over.
    } catch (const std::invalid_argument &) {
        // Raised only for a setting of another type.
    }
}

void TfrmSavePath::done(int result)
{
    if (!FClosed) {
        FClosed = true;
        FormClose();
    }
    QDialog::done(result);
}

} // namespace vexillo
