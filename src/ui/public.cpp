#include "ui/public.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace vexillo {

namespace {

TShowMsgHook &hook()
{
    static TShowMsgHook instance;
    return instance;
}

} // namespace

void SetShowMsgHook(TShowMsgHook newHook)
{
    hook() = std::move(newHook);
}

int ShowMsg(const QString &Text, const QString &Caption, unsigned Flags)
{
    if (hook())
        return hook()(Text, Caption, Flags);

    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(Caption);
    box.setText("\n" + Text + "\n\n");
    switch (Flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    if ((Flags & 0xF) == MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((Flags & 0xF00) == MB_DEFBUTTON2 ? QMessageBox::No : QMessageBox::Yes);
    } else if ((Flags & 0xF) == MB_REPLACEQUERY) {
        // The platform's buttons, in its order, named for what they do here;
        // Enter keeps the file.
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel);
        box.button(QMessageBox::Yes)->setText("&Replace");
        box.button(QMessageBox::YesToAll)->setText("Replace &all");
        box.button(QMessageBox::No)->setText("&Skip");
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    // The box stays above the program's other windows while it is open.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const int answer = box.exec();
    if (answer == QMessageBox::Yes)
        return IDYES;
    if (answer == QMessageBox::No)
        return IDNO;
    if (answer == QMessageBox::YesToAll)
        return IDYESTOALL;
    if (answer == QMessageBox::Cancel)
        return IDCANCEL;
    return IDOK;
}

} // namespace vexillo
