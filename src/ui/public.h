// The one message box of the program, and the way tests answer it.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace vexillo {

// Message-box flags in use, and the answers.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_YESNO = 0x4;
// The question about a file that exists: Replace, Replace all, Skip and
// Cancel (the platform's Yes, Yes to All, No and Cancel buttons).
inline constexpr unsigned MB_REPLACEQUERY = 0x7;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int IDYESTOALL = 10;

// Shows Text framed by line breaks (one before, two after) in a message box
// with the given caption, icon and buttons, and returns the button pressed
// (IDOK, IDYES, IDNO, IDYESTOALL or IDCANCEL; Esc and the close box give
// IDCANCEL where there is a Cancel button).
int ShowMsg(const QString &Text, const QString &Caption, unsigned Flags);

// When set, ShowMsg hands the unframed text, the caption and the flags to
// this function and returns its answer instead of showing a box: tests see
// every message and answer it without a modal loop.
using TShowMsgHook = std::function<int(const QString &Text, const QString &Caption, unsigned Flags)>;
void SetShowMsgHook(TShowMsgHook hook);

} // namespace vexillo
