#include "app/reopenmenu.h"

namespace vexillo {

TReopenMenu::TReopenMenu(QWidget *parent, const std::function<void(QAction *)> &chosen) : QMenu("&Reopen", parent)
{
    setObjectName("nReopen");
    setToolTipsVisible(false);
    const std::array<const char *, kReopenItemCount> names = {"nR1", "nR2", "nR3", "nR4", "nR5",
                                                              "N8",  "N9",  "N10", "N11", "N12"};
    for (size_t i = 0; i < FItems.size(); ++i) {
        QAction *item = addAction(QString());
        item->setObjectName(names[i]);
        item->setVisible(false);
        connect(item, &QAction::triggered, this, [chosen, item] { chosen(item); });
        FItems[i] = item;
    }
}

void TReopenMenu::Update(const TRecentFiles &recent)
{
    const auto menu = recent.ReopenMenu();
    for (size_t i = 0; i < FItems.size(); ++i) {
        QString caption = QString::fromStdString(menu[i].Caption);
        caption.replace('&', "&&");
        FItems[i]->setText(caption);
        FItems[i]->setStatusTip(QString::fromStdString(menu[i].Hint));
        FItems[i]->setData(QString::fromStdString(menu[i].Hint));
        FItems[i]->setEnabled(menu[i].Enabled);
        FItems[i]->setVisible(menu[i].Visible);
    }
}

} // namespace vexillo
