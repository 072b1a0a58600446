#include "app/findbar.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

namespace vexillo {

TFindBar::TFindBar(QToolBar *bar, QWidget *window) : QObject(bar)
{
    edFilter = new QLineEdit(bar);
    edFilter->setObjectName("edFilter");
    edFilter->setPlaceholderText("Filter (Ctrl+F)");
    edFilter->setClearButtonEnabled(true);
    edFilter->setStatusTip("Shows the icons whose file or group holds the text");
    edFilter->setMaximumWidth(220);
    bar->addWidget(edFilter);

    mnFilter = new QMenu(bar);
    mnFilter->setObjectName("mnFilter");
    const auto choice = [this](const char *name, const QString &caption) {
        QAction *action = mnFilter->addAction(caption);
        action->setObjectName(name);
        action->setCheckable(true);
        connect(action, &QAction::toggled, this, &TFindBar::changed);
        return action;
    };
    actMin48 = choice("actMin48", "An image of at least &48 pixels");
    actMin256 = choice("actMin256", "An image of at least &256 pixels");
    actPng = choice("actPng", "A &PNG image");
    actBits32 = choice("actBits32", "A &32-bit image");
    mnFilter->addSeparator();
    actIcons = choice("actIcons", "&Icons");
    actCursors = choice("actCursors", "&Cursors");
    actAnimated = choice("actAnimated", "&Animated cursors");
    // One least size at a time.
    auto *sizes = new QActionGroup(this);
    sizes->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    sizes->addAction(actMin48);
    sizes->addAction(actMin256);

    btnFilter = new QToolButton(bar);
    btnFilter->setObjectName("btnFilter");
    btnFilter->setText("Show only");
    btnFilter->setToolButtonStyle(Qt::ToolButtonTextOnly);
    btnFilter->setPopupMode(QToolButton::InstantPopup);
    btnFilter->setMenu(mnFilter);
    btnFilter->setStatusTip("Shows only the icons that hold what is checked");
    bar->addWidget(btnFilter);

    auto *find = new QAction(window);
    find->setObjectName("actFind");
    find->setShortcut(QKeySequence::Find);
    window->addAction(find);
    connect(find, &QAction::triggered, edFilter, [this] {
        edFilter->setFocus(Qt::ShortcutFocusReason);
        edFilter->selectAll();
    });
    connect(edFilter, &QLineEdit::textChanged, this, &TFindBar::changed);
}

TEntryFilter TFindBar::Filter() const
{
    TEntryFilter filter;
    filter.Text = edFilter->text().toStdString();
    filter.MinSize = actMin256->isChecked() ? 256 : actMin48->isChecked() ? 48 : 0;
    filter.Png = actPng->isChecked();
    filter.Bits32 = actBits32->isChecked();
    filter.Icons = actIcons->isChecked();
    filter.Cursors = actCursors->isChecked();
    filter.Animated = actAnimated->isChecked();
    return filter;
}

void TFindBar::changed()
{
    if (!FClearing)
        emit Changed(Filter());
}

void TFindBar::Clear()
{
    // One change for the whole clearing.
    FClearing = true;
    edFilter->clear();
    for (QAction *action : mnFilter->actions())
        action->setChecked(false);
    FClearing = false;
    changed();
}

} // namespace vexillo
