#include "dialogs/frmsavepath.h"

#include "ui/pictures.h"
#include "ui/public.h"
#include "dialogs/foldertree.h"

#include <QCheckBox>
#include <QFrame>
#include <QPushButton>

namespace vexillo {

TfrmSavePath::TfrmSavePath(QWidget *owner) : TFolderDialog(owner, TSetting::DefPath)
{
    setObjectName("frmSavePath");
    setWindowTitle("Save file");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setFixedSize(502, 341);
    setModal(true);

    stvPath->setGeometry(7, 7, 488, 265);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(0, 278, 502, 2);

    cbOpen = new QCheckBox("Open folder after save file", this);
    cbOpen->setObjectName("cbOpen");
    // 165 wide, or wider where the desktop's font needs it for the caption.
    cbOpen->setGeometry(12, 299, CheckBoxWidth(*cbOpen, 165), 17);

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

    SetTabOrder({stvPath, cbOpen, cbPng, btnSearch, btnCancel});
    connect(btnSearch, &QPushButton::clicked, this, &TfrmSavePath::btnSearchClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmSavePath::btnCancelClick);

    FormCreate();
}

SaveOption TfrmSavePath::Ask(QWidget *owner, bool offerPng)
{
    TfrmSavePath frmSavePath(owner);
    frmSavePath.cbPng->setVisible(offerPng);
    frmSavePath.exec();
    return {frmSavePath.SelectedFolder().toStdString(), frmSavePath.FConfirmed, frmSavePath.cbOpen->isChecked(),
            offerPng && frmSavePath.cbPng->isChecked()};
}

void TfrmSavePath::FormCreate()
{
    FConfirmed = false;
    SelectRememberedFolder();
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

} // namespace vexillo
