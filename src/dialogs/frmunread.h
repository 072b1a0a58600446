// The list of the files the last search or open could not read, each with
// its reason in the words vexillo-cli gives.
#pragma once

#include <QDialog>

class QLabel;
class QTreeWidget;

namespace vexillo {

class TScanRun;

class TfrmUnread : public QDialog {
    Q_OBJECT

public:
    explicit TfrmUnread(QWidget *owner);

    // Lists the unread files of a run; the heading says how many there
    // are, and how many of them are listed when not all are.
    void Fill(const TScanRun &Run);

    QLabel *lbCount = nullptr;
    QTreeWidget *lvUnread = nullptr;
};

} // namespace vexillo
