#include "dialogs/frmunread.h"

#include "catalogue/scanrun.h"
#include "catalogue/failuretext.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vexillo {

namespace {

// The names measured for the width of their column: enough to see what
// they are like, few enough to measure at once.
constexpr qsizetype kMeasuredNames = 500;

} // namespace

TfrmUnread::TfrmUnread(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmUnread");
    setWindowTitle("Files not read");
    lbCount = new QLabel(this);
    lbCount->setObjectName("lbCount");
    lbCount->setWordWrap(true);
    lvUnread = new QTreeWidget(this);
    lvUnread->setObjectName("lvUnread");
    lvUnread->setHeaderLabels({"File", "Reason"});
    lvUnread->setRootIsDecorated(false);
    lvUnread->setUniformRowHeights(true);
    lvUnread->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvUnread->header()->setStretchLastSection(true);
    // A long path keeps its start and its file name.
    lvUnread->setTextElideMode(Qt::ElideMiddle);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName("btnClose");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *column = new QVBoxLayout(this);
    column->addWidget(lbCount);
    column->addWidget(lvUnread, 1);
    column->addWidget(buttons);
    resize(640, 360);
}

void TfrmUnread::Fill(const TScanRun &Run)
{
    const auto &files = Run.UnreadFiles();
    QString heading = QString::fromStdString(UnreadCountText(Run.UnreadCount())) + ".";
    if (files.size() < static_cast<size_t>(Run.UnreadCount()))
        heading += QStringLiteral(" The first %L1 are listed.").arg(static_cast<qulonglong>(files.size()));
    lbCount->setText(heading);
    lvUnread->clear();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(static_cast<qsizetype>(files.size()));
    int widest = 0;
    for (const TUnreadFile &file : files) {
        const QString name = QString::fromStdString(file.FileName);
        auto *row = new QTreeWidgetItem({name, QString::fromStdString(file.Reason)});
        row->setToolTip(0, name);
        row->setToolTip(1, row->text(1));
        if (rows.size() < kMeasuredNames)
            widest = std::max(widest, lvUnread->fontMetrics().horizontalAdvance(name));
        rows.append(row);
    }
    lvUnread->addTopLevelItems(rows);
    // The names take the room they need, up to three fifths of the list;
    // the reasons the rest.
    lvUnread->setColumnWidth(0, std::min(widest + 16, width() * 3 / 5));
}

} // namespace vexillo
