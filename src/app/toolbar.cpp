#include "app/toolbar.h"

#include <QAction>
#include <QEvent>
#include <QLayout>
#include <QStyle>
#include <QStyleOptionToolBar>
#include <QToolButton>

#include <algorithm>

namespace vexillo {

TToolBar::TToolBar(QWidget *parent) : QToolBar("Toolbar", parent)
{
    setObjectName("ToolBar1");
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(32, 32));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setIndent();
}

void TToolBar::setIndent()
{
    // The style's margin around the items, but 3 pixels before the first.
    // The bar's layout takes the margin along the bar from the left or from
    // the top margin (Qt 6.4 takes the top one), so both are 3.
    QMargins margins = layout()->contentsMargins();
    margins.setLeft(3);
    margins.setTop(3);
    layout()->setContentsMargins(margins);
}

void TToolBar::changeEvent(QEvent *e)
{
    QToolBar::changeEvent(e);
    if (e->type() == QEvent::StyleChange)
        setIndent();
}

QToolButton *TToolBar::AddButton(const char *name, const QString &tooltip)
{
    auto *b = new QToolButton(this);
    b->setObjectName(name);
    b->setFixedSize(58, 38);
    b->setIconSize(QSize(32, 32));
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addWidget(b);
    if (!tooltip.isEmpty())
        b->setToolTip(tooltip);
    return b;
}

QToolButton *TToolBar::AddActionButton(const char *name, QAction *action, const QString &tooltip)
{
    QToolButton *b = AddButton(name, tooltip);
    b->setDefaultAction(action);
    auto keepHint = [b, tooltip] {
        b->setToolTip(tooltip);
        b->setStatusTip(tooltip);
    };
    keepHint();
    connect(action, &QAction::changed, b, keepHint);
    return b;
}

void TToolBar::AddGap(int gap)
{
    QWidget *line = widgetForAction(addSeparator());
    line->setFixedWidth(std::max(1, gap - 2 * layout()->spacing()));
}

} // namespace vexillo
