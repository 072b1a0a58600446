// The pictures of the tool bar and menus: the desktop icon theme's standard
// icon where it has one, the project's own drawing otherwise.
#pragma once

#include <QIcon>

namespace vexillo {

enum class TPicture {
    OpenFile,
    OpenFolder,
    Exit,
    FirstPage,
    PriorPage,
    NextPage,
    LastPage,
    Save,
    BackgroundColor,
};

QIcon Picture(TPicture picture);
// The program's own icon.
QIcon ProgramIcon();

} // namespace vexillo
