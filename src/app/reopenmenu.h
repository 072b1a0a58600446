// The Reopen menu: ten items (nR1 … nR5, N8 … N12) that stand for the newest
// recent files, captioned, shown and enabled as TRecentFiles::ReopenMenu
// says.
#pragma once

#include "settings/recentfiles.h"

#include <QMenu>

#include <array>
#include <functional>

namespace vexillo {

class TReopenMenu : public QMenu {
    Q_OBJECT

public:
    // `chosen` runs with the item the user chose; its data is the file's path.
    TReopenMenu(QWidget *parent, const std::function<void(QAction *)> &chosen);

    // The items as the recent files are now; an ampersand in a path is shown
    // as itself, not as an accelerator.
    void Update(const TRecentFiles &recent);

private:
    std::array<QAction *, kReopenItemCount> FItems{};
};

} // namespace vexillo
