#include "dialogs/folderdialog.h"

#include "ui/screenfit.h"
#include "dialogs/foldertree.h"

#include <QApplication>
#include <QCheckBox>
#include <QStyle>

#include <algorithm>

namespace vexillo {

int CheckBoxWidth(const QCheckBox &box, int designed)
{
    const QStyle *style = box.style();
    QString caption = box.text();
    caption.remove('&');
    const int needed = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &box) +
                       style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &box) +
                       box.fontMetrics().horizontalAdvance(caption);
    return std::max(designed, needed);
}

QString StoredFolderPath(const QString &path)
{
    QString out = path;
    while (out.size() > 1 && out.endsWith('/'))
        out.chop(1);
    return out;
}

TFolderDialog::TFolderDialog(QWidget *owner, TSetting setting) : QDialog(owner), FSetting(setting)
{
    // The desktop's UI font at 8 points, as the main window's (a window does
    // not take its owner's font).
    QFont dialogFont = QApplication::font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    stvPath = new TShellFolderTree(this);
    stvPath->setObjectName("stvPath");
}

QString TFolderDialog::SelectedFolder() const
{
    return StoredFolderPath(stvPath->SelectedPath());
}

void TFolderDialog::SetTabOrder(std::initializer_list<QWidget *> widgets)
{
    QWidget *previous = nullptr;
    for (QWidget *widget : widgets) {
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

void TFolderDialog::SelectRememberedFolder()
{
    stvPath->SelectPath(QString::fromStdString(RememberedFolder(FSetting)));
}

void TFolderDialog::FormClose()
{
    RememberFolder(FSetting, SelectedFolder().toStdString());
}

void TFolderDialog::setVisible(bool visible)
{
    // Centred on the owner's frame at its first showing, at its final size.
    if (visible && !FPlaced && parentWidget()) {
        FPlaced = true;
        CentreOnOwnerFrame(*this, *parentWidget());
    }
    QDialog::setVisible(visible);
}

void TFolderDialog::done(int result)
{
    if (!FClosed) {
        FClosed = true;
        FormClose();
    }
    QDialog::done(result);
}

} // namespace vexillo
