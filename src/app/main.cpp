// Vexillo: finds, shows and saves the icons kept in Windows program files.
#include "app/frmmain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vexillo");
    QApplication::setDesktopFileName("vexillo");
    vexillo::TfrmMain frmMain;
    frmMain.show();
    return QApplication::exec();
}
