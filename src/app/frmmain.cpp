#include "app/frmmain.h"

#include "ui/animatedcursor.h"
#include "ui/contrast.h"
#include "ui/pictures.h"
#include "ui/public.h"
#include "ui/qticons.h"
#include "ui/screenfit.h"
#include "settings/settings.h"
#include "catalogue/failuretext.h"
#include "catalogue/pages.h"
#include "app/previewdelegate.h"
#include "app/statuspanel.h"
#include "dialogs/frmabout.h"
#include "dialogs/foldertree.h"
#include "dialogs/frmfolder.h"
#include "dialogs/frmsavepath.h"
#include "export/saveflows.h"
#include "icons/i2bconvert.h"
#include "icons/icontools.h"
#include "platform/extracticon.h"
#include "platform/iconobject.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCheckBox>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QMimeData>
#include <QTimer>
#include <QColorDialog>
#include <QDesktopServices>
#include <QUrl>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QToolTip>
#include <QToolButton>
#include <QWindow>
#include <QHBoxLayout>

namespace vexillo {

std::function<QStringList(QWidget *)> TfrmMain::OpenDialogHook;
std::function<SaveOption(QWidget *)> TfrmMain::AskSaveOptionHook;
std::function<void(const QString &)> TfrmMain::OpenFolderHook;

namespace {

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

std::string s(const QString &text)
{
    return text.toStdString();
}

// A file-name pattern that matches an extension in any letter case
// ("*.exe" becomes "*.[eE][xX][eE]"), as the open-file dialog must.
QString anyCasePattern(const QString &pattern)
{
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter())
            out += QStringLiteral("[%1%2]").arg(c.toLower()).arg(c.toUpper());
        else
            out += c;
    }
    return out;
}

constexpr const char *kCaption = "Vexillo [Beta]";

// The first window's frame: its place on the screen and its outer size.
constexpr QRect kFirstWindow(244, 129, 711, 482);
// Status panel 0 is the window's outer width less this.
constexpr int kPanel0Less = 380;

// What the title says was opened: the names of files, the paths of folders;
// after three, how many more.
QString openedSubject(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        names << (info.isDir() ? QDir::cleanPath(info.absoluteFilePath()) : info.fileName());
    }
    if (names.size() <= 3)
        return names.join(", ");
    return QStringLiteral("%1, %2 and %3 more").arg(names[0], names[1]).arg(names.size() - 2);
}

// The local files and folders a drag carries.
QStringList droppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (data)
        for (const QUrl &url : data->urls())
            if (url.isLocalFile() && !url.toLocalFile().isEmpty())
                paths << url.toLocalFile();
    return paths;
}

QStringList openFileFilters()
{
    QStringList filters;
    const QStringList exts = {"*.exe", "*.dll", "*.ico", "*.cpl", "*.ocx"};
    QStringList all;
    for (const QString &e : exts)
        all << anyCasePattern(e);
    filters << QStringLiteral("*.exe;*.dll;*.ico;*.cpl;*.ocx (%1)").arg(all.join(' '));
    for (const QString &e : exts)
        filters << QStringLiteral("%1 (%2)").arg(e, anyCasePattern(e));
    return filters;
}

} // namespace

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent), FCatalogue(this)
{
    setObjectName("frmMain");
    // FormCreate
    // The program's own pointer everywhere, or the standard arrow.
    FCursor = new TAnimatedCursorPlayer(this);
    FCursor->Apply(CursorFileName());
    setWindowTitle(kCaption);
    setAcceptDrops(true);
    setWindowIcon(ProgramIcon());
    // The desktop's own UI font, at the window's 8 points.
    QFont windowFont = font();
    windowFont.setPointSize(8);
    setFont(windowFont);

    createActions();
    createMenus();
    createToolBar();
    createLists();
    createStatusBar();

    cdBgColor = new QColorDialog(this);
    cdBgColor->setObjectName("cdBgColor");
    cdBgColor->setCurrentColor(Qt::white);
    for (int i = 0; i < 16; ++i)
        QColorDialog::setCustomColor(i, QColor(255, 255, 255));

    placeFirstWindow();
    ApplyBackgroundColor();
    UpdateReopenMenu();
}

TfrmMain::~TfrmMain() = default;

// ---- Building the window ------------------------------------------------------

void TfrmMain::createActions()
{
    auto make = [this](const char *name, const QString &caption, const QString &hint, const QIcon &picture) {
        auto *action = new QAction(picture, caption, this);
        action->setObjectName(name);
        action->setStatusTip(hint);
        action->setToolTip(hint);
        action->setIconVisibleInMenu(!picture.isNull());
        return action;
    };
    actFile = make("actFile", "&Open file", "Open file to extract icon", Picture(TPicture::OpenFile));
    actFolder = make("actFolder", "O&pen folder", "Open folder to extract icon", Picture(TPicture::OpenFolder));
    actSave = make("actSave", "&Save as", "Save Icon as Icon, Bmp file", Picture(TPicture::Save));
    actColor = make("actColor", "&Background color", "Set &Background color", Picture(TPicture::BackgroundColor));
    actAll = make("actAll", "Select &all", "Select all", QIcon());
    actQuit = make("actQuit", "&Exit", "Exit", Picture(TPicture::Exit));
    actSave->setEnabled(false);
    actFile->setShortcut(QKeySequence::Open);
    actSave->setShortcut(QKeySequence::Save);
    actAll->setShortcut(QKeySequence::SelectAll);
    // The desktop's Quit key; Ctrl+Q where its theme names none.
    const QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    actQuit->setShortcuts(quitKeys.isEmpty() ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Q)} : quitKeys);
    // The action list: the main window's commands, one group.
    auto *actMain = new QActionGroup(this);
    actMain->setObjectName("actMain");
    actMain->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    for (QAction *action : {actFile, actFolder, actSave, actColor, actAll, actQuit})
        actMain->addAction(action);

    connect(actFile, &QAction::triggered, this, &TfrmMain::actFileExecute);
    connect(actFolder, &QAction::triggered, this, &TfrmMain::actFolderExecute);
    connect(actColor, &QAction::triggered, this, &TfrmMain::actColorExecute);
    connect(actAll, &QAction::triggered, this, &TfrmMain::actAllExecute);
    connect(actQuit, &QAction::triggered, this, &QWidget::close);

    oolbar1 = make("oolbar1", "&Toolbar", QString(), QIcon());
    oolbar1->setCheckable(true);
    connect(oolbar1, &QAction::triggered, this, &TfrmMain::oolbar1Click);
    Statusbar1 = make("Statusbar1", "&Status bar", QString(), QIcon());
    Statusbar1->setCheckable(true);
    connect(Statusbar1, &QAction::triggered, this, &TfrmMain::Statusbar1Click);
    About1 = make("About1", "&About", "About", QIcon());
    connect(About1, &QAction::triggered, this, [this] { ShowAboutBox(this); });

    MenuItem1 = make("MenuItem1", "Save As &Icon", "Save Icon as Icon file", QIcon());
    SaveasBMP1 = make("SaveasBMP1", "Save As &Bmp", "Save as BMP file", QIcon());
    connect(MenuItem1, &QAction::triggered, this, [this] { SavePreviewImage(true); });
    connect(SaveasBMP1, &QAction::triggered, this, [this] { SavePreviewImage(false); });
    SaveasPNG1 = make("SaveasPNG1", "Save As &Png", "Save as PNG file", QIcon());
    connect(SaveasPNG1, &QAction::triggered, this, &TfrmMain::SavePreviewImageAsPng);
    // Copy: the previewed image when the preview has the focus, else the
    // selected icon's best image; the preview's pop-up copies its image.
    actCopy = make("actCopy", "&Copy image", "Copy the image to the clipboard", QIcon());
    actCopy->setShortcut(QKeySequence::Copy);
    actCopy->setShortcutContext(Qt::WindowShortcut);
    addAction(actCopy);
    connect(actCopy, &QAction::triggered, this, [this] {
        CopyImage(gdIconLst->hasFocus() && !gdIconLst->selectedItems().isEmpty());
    });
    CopyImage1 = make("CopyImage1", "&Copy image", "Copy the image to the clipboard", QIcon());
    connect(CopyImage1, &QAction::triggered, this, [this] { CopyImage(true); });
    connect(actSave, &QAction::triggered, this, &TfrmMain::actSaveExecute);

    // The menu items that run actSave follow its state.
    auto follower = [this](const char *name) {
        auto *item = new QAction(actSave->icon(), actSave->text(), this);
        item->setObjectName(name);
        item->setStatusTip(actSave->statusTip());
        item->setEnabled(actSave->isEnabled());
        connect(item, &QAction::triggered, actSave, &QAction::trigger);
        connect(actSave, &QAction::changed, item, [this, item] { item->setEnabled(actSave->isEnabled()); });
        return item;
    };
    Saveas1 = follower("Saveas1");
    Saveas2 = follower("Saveas2");
}

void TfrmMain::createMenus()
{
    QMenuBar *mmMain = menuBar();
    mmMain->setObjectName("mmMain");

    QMenu *file = mmMain->addMenu(" &File ");
    file->setObjectName("File1");
    file->addAction(actFile);
    file->addAction(actFolder);
    file->addSeparator();
    nReopen = file->addMenu("&Reopen");
    nReopen->setObjectName("nReopen");
    nReopen->setToolTipsVisible(false);
    const char *names[10] = {"nR1", "nR2", "nR3", "nR4", "nR5", "N8", "N9", "N10", "N11", "N12"};
    for (int i = 0; i < 10; ++i) {
        QAction *item = nReopen->addAction(QString());
        item->setObjectName(names[i]);
        item->setVisible(false);
        connect(item, &QAction::triggered, this, [this, item] { nR5Click(item); });
        ReopenItems[i] = item;
    }
    file->addSeparator();
    file->addAction(Saveas1);
    file->addSeparator();
    file->addAction(actQuit);

    QMenu *view = mmMain->addMenu(" &View ");
    view->setObjectName("View1");
    view->addAction(oolbar1);
    view->addAction(Statusbar1);
    view->addSeparator();
    view->addAction(actColor);
    view->addSeparator();
    view->addAction(actAll);

    QMenu *help = mmMain->addMenu(" &Help");
    help->setObjectName("Help1");
    help->addAction(About1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    PopupMenu1->addAction(Saveas2);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(actAll);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(actCopy);

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName("PopupMenu2");
    PopupMenu2->addAction(MenuItem1);
    PopupMenu2->addAction(SaveasBMP1);
    PopupMenu2->addAction(SaveasPNG1);
    PopupMenu2->addSeparator();
    PopupMenu2->addAction(CopyImage1);
}

void TfrmMain::createToolBar()
{
    ToolBar1 = addToolBar("Toolbar");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->setContentsMargins(3, 0, 0, 0);

    auto button = [this](const char *name, const QString &tooltip) {
        auto *b = new QToolButton(ToolBar1);
        b->setObjectName(name);
        b->setFixedSize(58, 38);
        b->setIconSize(QSize(32, 32));
        b->setAutoRaise(true);
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        ToolBar1->addWidget(b);
        if (!tooltip.isEmpty())
            b->setToolTip(tooltip);
        return b;
    };
    auto bound = [&](const char *name, QAction *action, const QString &tooltip) {
        QToolButton *b = button(name, tooltip);
        b->setDefaultAction(action);
        // The button's own hint, in the tooltip and in the status bar, also
        // after the action changes (the button takes the action's then).
        auto keepHint = [b, tooltip] {
            b->setToolTip(tooltip);
            b->setStatusTip(tooltip);
        };
        keepHint();
        connect(action, &QAction::changed, b, keepHint);
        return b;
    };
    auto page = [&](const char *name, TPicture picture, const QString &hint, void (TfrmMain::*handler)()) {
        QToolButton *b = button(name, hint);
        b->setIcon(Picture(picture));
        b->setStatusTip(hint);
        connect(b, &QToolButton::clicked, this, handler);
    };

    // A separator that leaves `gap` pixels between the buttons beside it.
    auto separator = [this](int gap) {
        QWidget *line = ToolBar1->widgetForAction(ToolBar1->addSeparator());
        line->setFixedWidth(std::max(1, gap - 2 * ToolBar1->layout()->spacing()));
    };

    bound("ToolButton1", actFile, "Open file to extract icon");
    bound("ToolButton2", actFolder, "Open folder to extract icon");
    separator(8);
    page("ToolButton7", TPicture::FirstPage, "First page", &TfrmMain::ToolButton7Click);
    page("ToolButton6", TPicture::PriorPage, "Prior page", &TfrmMain::ToolButton6Click);
    page("ToolButton8", TPicture::NextPage, "Next page", &TfrmMain::ToolButton8Click);
    page("ToolButton9", TPicture::LastPage, "Last page", &TfrmMain::ToolButton9Click);
    // Keys for the page buttons, anywhere in the window.
    auto pageKey = [this](const char *name, const QKeySequence &key, void (TfrmMain::*handler)()) {
        auto *action = new QAction(this);
        action->setObjectName(name);
        action->setShortcut(key);
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    pageKey("actFirstPage", QKeySequence(Qt::CTRL | Qt::Key_Home), &TfrmMain::ToolButton7Click);
    pageKey("actPriorPage", QKeySequence(Qt::CTRL | Qt::Key_PageUp), &TfrmMain::ToolButton6Click);
    pageKey("actNextPage", QKeySequence(Qt::CTRL | Qt::Key_PageDown), &TfrmMain::ToolButton8Click);
    pageKey("actLastPage", QKeySequence(Qt::CTRL | Qt::Key_End), &TfrmMain::ToolButton9Click);
    separator(8);
    ToolButton5 = bound("ToolButton5", actSave, "Save file");
    separator(11);
    QToolButton *exit = button("ToolButton11", QString());
    exit->setIcon(Picture(TPicture::Exit));
    connect(exit, &QToolButton::clicked, this, &QWidget::close);
}

void TfrmMain::createLists()
{
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setChildrenCollapsible(false);

    lvLst = new QListWidget(Splitter1);
    lvLst->setObjectName("lvLst");
    lvLst->setViewMode(QListView::IconMode);
    lvLst->setIconSize(QSize(32, 32));
    lvLst->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvLst->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvLst->setWordWrap(false);
    lvLst->setMovement(QListView::Static);
    lvLst->setResizeMode(QListView::Adjust);
    lvLst->setUniformItemSizes(true);
    lvLst->setGridSize(QSize(72, 64));
    lvLst->setSpacing(4);
    lvLst->setMouseTracking(true);
    lvLst->viewport()->installEventFilter(this);
    lvLst->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvLst, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(lvLst->viewport()->mapToGlobal(pos)); });
    connect(lvLst, &QListWidget::itemSelectionChanged, this, &TfrmMain::lvLstSelectionChanged);

    gdIconLst = new QListWidget(Splitter1);
    gdIconLst->setObjectName("gdIconLst");
    gdIconLst->setSelectionMode(QAbstractItemView::SingleSelection);
    gdIconLst->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gdIconLst->setFrameShape(QFrame::NoFrame);
    gdIconLst->setUniformItemSizes(false);
    gdIconLst->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    gdIconLst->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    gdIconLst->setItemDelegate(new TPreviewDelegate(FPreviewIcon, gdIconLst));
    gdIconLst->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(gdIconLst, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu2->popup(gdIconLst->viewport()->mapToGlobal(pos)); });

    Splitter1->addWidget(lvLst);
    Splitter1->addWidget(gdIconLst);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({711 - 206, 206});
    setCentralWidget(Splitter1);
}

void TfrmMain::createStatusBar()
{
    stbBar = new QStatusBar(this);
    stbBar->setObjectName("stbBar");
    stbBar->setSizeGripEnabled(true);
    setStatusBar(stbBar);
    const int widths[5] = {50, 100, 80, 80, 80};
    const Qt::Alignment alignments[5] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight, Qt::AlignLeft, Qt::AlignLeft};
    for (int i = 0; i < 5; ++i) {
        auto *panel = new TStatusBarPanel(alignments[i], stbBar);
        panel->setObjectName(QStringLiteral("stbBarPanel%1").arg(i));
        panel->setMinimumHeight(panel->fontMetrics().height() + 4);
        Panels[i] = panel;
    }
    // The panels side by side at their widths, 2 pixels apart (the status
    // bar's own layout sets them further apart); panel 0 takes the window's
    // outer width minus 380 on every resize. What does not fit is cut off
    // at the right rather than keeping the window from being narrowed.
    auto *panels = new QWidget(stbBar);
    panels->setObjectName("stbBarPanels");
    panels->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto *row = new QHBoxLayout(panels);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    for (int i = 0; i < 5; ++i) {
        Panels[i]->setFixedWidth(widths[i]);
        row->addWidget(Panels[i]);
    }
    row->addStretch(1);
    stbBar->addWidget(panels, 1);
}

// ---- The catalogue's view -------------------------------------------------------

void TfrmMain::SetStatusText(int Panel, const std::string &Text)
{
    if (Panel < 0 || Panel >= 5 || !Panels[Panel]->setText(q(Text)))
        return;
    FPanelChanged[Panel] = true;
    // A search changes the counters thousands of times a second: the panels
    // that changed are painted at once, but at most once a screen frame.
    if (!FPaintClock.isValid() || FPaintClock.elapsed() >= kFrameMs)
        PaintChangedPanels();
}

void TfrmMain::PaintChangedPanels()
{
    for (int i = 0; i < 5; ++i)
        if (FPanelChanged[i]) {
            Panels[i]->repaint();
            FPanelChanged[i] = false;
        }
    FPaintClock.restart();
}

QString TfrmMain::PanelText(int panel) const
{
    return panel >= 0 && panel < 5 ? Panels[panel]->text() : QString();
}

void TfrmMain::ProcessMessages()
{
    // Pending events are handled at most once a screen frame: often enough
    // for the window to stay responsive and a stop to be seen within a
    // frame, seldom enough that a search runs at the engine's speed.
    if (FPumpClock.isValid() && FPumpClock.elapsed() < kFrameMs)
        return;
    QCoreApplication::processEvents();
    FPumpClock.restart();
}

void TfrmMain::ClearIconList()
{
    lvLst->clear();
    imgIcons.clear();
}

void TfrmMain::ClearPreview()
{
    gdIconLst->clear();
    FPreviewIcon.Images.Clear();
}

// ---- Events -------------------------------------------------------------------------

bool TfrmMain::event(QEvent *e)
{
    // Automatic hints: the hint of whatever is under the mouse goes to the
    // first panel of the status bar.
    if (e->type() == QEvent::StatusTip) {
        Panels[0]->setText(static_cast<QStatusTipEvent *>(e)->tip());
        return true;
    }
    // A new desktop theme: the lists' text colours are chosen again.
    if (e->type() == QEvent::ApplicationPaletteChange && lvLst)
        ApplyBackgroundColor();
    // The frame a window manager put around the first window once it showed.
    if ((e->type() == QEvent::Move || e->type() == QEvent::Resize) && !FFramePlaced && isVisible() &&
        frameGeometry() != geometry())
        QTimer::singleShot(0, this, [this] {
            if (!FFramePlaced)
                placeFirstWindow();
        });
    return QMainWindow::event(e);
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == lvLst->viewport() && e->type() == QEvent::MouseMove)
        lvLstMouseMove(static_cast<QMouseEvent *>(e)->position().toPoint());
    if (watched == lvLst->viewport() && e->type() == QEvent::ToolTip) {
        showEntryToolTip(*static_cast<QHelpEvent *>(e));
        return true;
    }
    // The pointer has left the icons: their file is no longer shown.
    if (watched == lvLst->viewport() && e->type() == QEvent::Leave) {
        lvLst->setStatusTip(QString());
        QStatusTipEvent tip{QString()};
        QCoreApplication::sendEvent(this, &tip);
    }
    return QMainWindow::eventFilter(watched, e);
}

void TfrmMain::showEntryToolTip(const QHelpEvent &e)
{
    const QListWidgetItem *item = lvLst->itemAt(e.pos());
    const int P = item ? item->data(kRolePosition).toInt() : -1;
    if (P < 0 || P >= FCatalogue.IconCount()) {
        QToolTip::hideText();
        return;
    }
    const TIconItem &entry = *FCatalogue.IconItems[static_cast<size_t>(P)];
    // While a scan runs the catalogue's icon and error belong to it: the
    // tooltip then names the file and group without reading them.
    const std::string text = scanRunning() ? "File: " + entry.FileName + "\nGroup: " + entry.GroupName
                                           : EntryDescription(FCatalogue, entry);
    QToolTip::showText(e.globalPos(), q(text), lvLst->viewport(), lvLst->visualItemRect(item));
}

void TfrmMain::placeFirstWindow()
{
    // The frame's margins are known once the platform has made the window;
    // some window managers add the frame only after the window shows.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    FFramePlaced = !frame.isNull();
    setGeometry(FitIntoScreen(kFirstWindow, screen()->availableGeometry()).marginsRemoved(frame));
}

void TfrmMain::showEvent(QShowEvent *e)
{
    if (!FSettingsLoaded)
        placeFirstWindow();
    QMainWindow::showEvent(e);
    if (!FSettingsLoaded) {
        FSettingsLoaded = true;
        LoadSettings();
    }
}

void TfrmMain::closeEvent(QCloseEvent *e)
{
    // A scan of opened files runs to its end first; the window closes then.
    if (scanRunning()) {
        FCloseAfterScan = true;
        e->ignore();
        return;
    }
    // FormClose
    if (FSettingsLoaded)
        SaveSettings();
    e->accept();
}

void TfrmMain::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    FormResize();
}

void TfrmMain::FormResize()
{
    // Panel 0 follows the window's width; the icon list lays its icons out
    // again for the new width.
    Panels[0]->setFixedWidth(std::max(0, frameGeometry().width() - kPanel0Less));
    lvLst->doItemsLayout();
}

// ---- Settings -----------------------------------------------------------------------

void TfrmMain::LoadSettings()
{
    TIniFile ini(SettingsFileName());
    oolbar1->setChecked(ReadSettingBool(ini, TSetting::Toolbar));
    ToolBar1->setVisible(oolbar1->isChecked());
    Statusbar1->setChecked(ReadSettingBool(ini, TSetting::StatusBar));
    stbBar->setVisible(Statusbar1->isChecked());
    try {
        cdBgColor->setCurrentColor(ColorToQColor(ReadSettingColor(ini, TSetting::BackgroundColor)));
    } catch (const EConvertError &error) {
        // The bad value is reported; loading goes on with the default colour
        // so that the recent files are still read (and kept at close).
        cdBgColor->setCurrentColor(Qt::white);
        ShowMsg(error.what(), "Vexillo", MB_ICONERROR);
    }
    const std::string section(kReopenSection);
    for (const std::string &key : ini.ReadSection(section))
        AddRecentFile(q(ini.ReadString(section, key, "")));
    ApplyBackgroundColor();
    UpdateReopenMenu();
}

void TfrmMain::SaveSettings()
{
    try {
        // Every key changes the text in memory; the file is written once.
        TIniFile ini(SettingsFileName());
        TIniUpdate update(ini);
        WriteSettingBool(ini, TSetting::Toolbar, oolbar1->isChecked());
        WriteSettingBool(ini, TSetting::StatusBar, Statusbar1->isChecked());
        WriteSettingColor(ini, TSetting::BackgroundColor, QColorToColor(cdBgColor->currentColor()));
        ini.EraseSection(kReopenSection);
        const auto &items = FRecentFiles.Items();
        for (size_t i = 0; i < items.size(); ++i)
            ini.WriteString(kReopenSection, SettingListKey(TSetting::ReopenFile, static_cast<int>(i) + 1), items[i]);
        update.Commit();
    } catch (const EIniFileException &error) {
        ShowMsg(error.what(), "Vexillo", MB_ICONERROR);
    } catch (const std::invalid_argument &error) {
        // A recent file whose name cannot be stored (a line break in it).
        ShowMsg(error.what(), "Vexillo", MB_ICONERROR);
    }
}

QColor TfrmMain::BackgroundColor() const
{
    return cdBgColor->currentColor();
}

void TfrmMain::ApplyBackgroundColor()
{
    // The lists take the chosen background; the numbers and texts drawn on
    // it take black or white, whichever reads on it, whatever the desktop's
    // theme gives the text; so does the text of a selected item on the
    // theme's selection colour.
    const QColor background = cdBgColor ? cdBgColor->currentColor() : QColor(Qt::white);
    for (QListWidget *list : {lvLst, gdIconLst}) {
        QPalette palette = list->palette();
        palette.setColor(QPalette::Base, background);
        palette.setColor(QPalette::Text, ContrastingText(background));
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            palette.setColor(group, QPalette::HighlightedText, ContrastingText(palette.color(group, QPalette::Highlight)));
        list->setPalette(palette);
    }
}

// ---- Recent files ---------------------------------------------------------------------

void TfrmMain::AddRecentFile(const QString &Path)
{
    FRecentFiles.AddRecentFile(s(Path));
}

void TfrmMain::UpdateReopenMenu()
{
    const auto menu = FRecentFiles.ReopenMenu();
    for (int i = 0; i < kReopenItemCount; ++i) {
        QAction *item = ReopenItems[i];
        // An ampersand in a path is shown as itself, not as an accelerator.
        QString caption = q(menu[i].Caption);
        caption.replace('&', "&&");
        item->setText(caption);
        item->setStatusTip(q(menu[i].Hint));
        item->setData(q(menu[i].Hint));
        item->setEnabled(menu[i].Enabled);
        item->setVisible(menu[i].Visible);
    }
}

void TfrmMain::nR5Click(QAction *Sender)
{
    if (!Sender || scanRunning())
        return;
    const QString path = Sender->data().toString();
    if (!FileExists(s(path))) {
        ShowMsg("file not exists.   ", "Vexillo", MB_ICONINFORMATION);
        return;
    }
    FCatalogue.ResetCatalogue(ftAll, 1);
    AddRecentFile(path);
    try {
        FCatalogue.ScanFile(s(path));
    } catch (const EAbort &) {
    }
    UpdateReopenMenu();
    showOpened({path});
    finishScan();
}

// ---- Commands --------------------------------------------------------------------------

void TfrmMain::actFileExecute()
{
    if (scanRunning())
        return;
    QStringList files;
    if (OpenDialogHook) {
        files = OpenDialogHook(this);
    } else {
        QFileDialog dialog(this, "Open");
        dialog.setObjectName("OpenDialog");
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters(openFileFilters());
        dialog.setOption(QFileDialog::HideNameFilterDetails, true);
        if (dialog.exec() == QDialog::Accepted)
            files = dialog.selectedFiles();
    }
    if (files.isEmpty())
        return;
    OpenFiles(files);
}

void TfrmMain::OpenFiles(const QStringList &files)
{
    if (scanRunning())
        return;
    FCatalogue.ResetCatalogue(ftAll, static_cast<int>(files.size()));
    for (const QString &file : files) {
        try {
            FCatalogue.ScanFile(s(file));
        } catch (const EAbort &) {
        }
        AddRecentFile(file);
    }
    UpdateReopenMenu();
    showOpened(files);
    finishScan();
}

void TfrmMain::OpenPaths(const QStringList &paths)
{
    if (scanRunning())
        return;
    QStringList files, folders, missing;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        const QString absolute = info.absoluteFilePath();
        if (!info.exists())
            missing << path;
        else if (info.isDir())
            folders << absolute;
        else
            files << absolute;
    }
    if (!missing.isEmpty())
        ShowMsg("No such file or folder:\n" + missing.join('\n'), "Vexillo", MB_ICONINFORMATION);
    if (folders.isEmpty()) {
        if (files.isEmpty())
            return;
        OpenFiles(files);
        // Handed over by the desktop, an empty window would say nothing: the
        // user is told that no icon was found, and why for a single file.
        if (FCatalogue.IconCount() == 0) {
            const TReadError &why = FCatalogue.LastError();
            ShowMsg(files.size() == 1 && why ? QStringLiteral("No icon found in %1:\n%2").arg(files[0], q(FileFailureText(s(files[0]), why)))
                                             : QStringLiteral("No icon found in %1.").arg(openedSubject(files)),
                    "Vexillo", MB_ICONINFORMATION);
        }
        return;
    }
    // The named files are remembered as Open file remembers its files.
    for (const QString &file : files)
        AddRecentFile(file);
    UpdateReopenMenu();
    showOpened(folders + files);
    runFolderSearch([&](TfrmFolder &dialog) { dialog.SearchAtOnce(folders, files); });
}

void TfrmMain::showOpened(const QStringList &paths)
{
    const QString subject = openedSubject(paths);
    setWindowTitle(subject.isEmpty() ? QString(kCaption) : QStringLiteral("%1 - %2").arg(kCaption, subject));
}

void TfrmMain::dragEnterEvent(QDragEnterEvent *e)
{
    if (!scanRunning() && !droppedPaths(e->mimeData()).isEmpty())
        e->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent *e)
{
    const QStringList paths = droppedPaths(e->mimeData());
    if (scanRunning() || paths.isEmpty())
        return;
    e->acceptProposedAction();
    // Opened once the drop has returned, so that the program the files came
    // from is not held up by the search.
    QTimer::singleShot(0, this, [this, paths] { OpenPaths(paths); });
}

void TfrmMain::finishScan()
{
    FCatalogue.EndRun();
    FCatalogue.ShowFileCount(FCatalogue.FileCount());
    PaintChangedPanels();
    ShowPage(1);
    if (FCloseAfterScan) {
        FCloseAfterScan = false;
        close();
    }
}

void TfrmMain::actFolderExecute()
{
    if (scanRunning())
        return;
    const QString folder = runFolderSearch([](TfrmFolder &) {});
    if (!folder.isEmpty())
        showOpened({folder});
}

QString TfrmMain::runFolderSearch(const std::function<void(TfrmFolder &)> &setup)
{
    bool searched = false;
    QString folder;
    {
        TfrmFolder frmFolder(this, FCatalogue);
        setup(frmFolder);
        frmFolder.exec();
        searched = frmFolder.FSearched;
        if (searched)
            folder = frmFolder.stvPath->SelectedPath();
    }
    FCatalogue.EndRun();
    PaintChangedPanels();
    ProcessMessages();
    if (searched)
        ShowPage(1);
    if (FCloseAfterScan) {
        FCloseAfterScan = false;
        close();
    }
    return folder;
}

void TfrmMain::actColorExecute()
{
    const QColor before = cdBgColor->currentColor();
    if (cdBgColor->exec() == QDialog::Accepted) {
        cdBgColor->setCurrentColor(cdBgColor->selectedColor());
        ApplyBackgroundColor();
    } else {
        cdBgColor->setCurrentColor(before);
    }
    update();
}

void TfrmMain::actAllExecute()
{
    lvLst->selectAll();
}

void TfrmMain::oolbar1Click()
{
    ToolBar1->setVisible(oolbar1->isChecked());
}

void TfrmMain::Statusbar1Click()
{
    stbBar->setVisible(Statusbar1->isChecked());
}

// ---- Pages -------------------------------------------------------------------------------

void TfrmMain::ShowPage(int Page)
{
    if (FShowingPage || Page > FCatalogue.PageCount() || Page < 1)
        return;
    FShowingPage = true;
    FCatalogue.SetCurrentPage(Page);
    FCatalogue.ShowPageStatus();
    const TPageRange range = PageRange(Page, FCatalogue.IconCount(), TCatalogue::IconsPerPage);
    lvLst->clear();
    imgIcons.clear();

    // Consecutive groups of one module are read from it opened once, and a
    // picture they share is made once.
    const auto keep = FCatalogue.KeepModuleOpen();
    TPagePictures pictures;
    // The pictures are made for this screen's device pixels (32 on a screen
    // of one device pixel to a pixel), so that they are crisp at any scale;
    // an entry without a picture gets an empty one of the same size, so that
    // every item keeps the same cell.
    const double ratio = lvLst->devicePixelRatioF();
    const int pictureSize = static_cast<int>(std::lround(32 * ratio));
    QPixmap blank(pictureSize, pictureSize);
    blank.fill(Qt::transparent);
    blank.setDevicePixelRatio(ratio);
    for (int P = range.First; P < range.End; ++P) {
        const TIconItem &entry = *FCatalogue.IconItems[static_cast<size_t>(P)];
        IconObject shown;
        const TEntryShown what = EntryPicture(FCatalogue, entry, pictureSize, pictures, shown);
        if (what == TEntryShown::Missing)
            continue;
        QImage picture = what == TEntryShown::Picture ? IconToQImage(&shown) : QImage();
        auto *item = new QListWidgetItem(QString::number(P + 1));
        if (!picture.isNull()) {
            picture.setDevicePixelRatio(ratio);
            imgIcons.push_back(QPixmap::fromImage(picture));
        } else {
            imgIcons.push_back(blank);
        }
        item->setIcon(QIcon(imgIcons.back()));
        item->setData(kRolePosition, QString::number(P));
        // The file's name as the file system spells it, byte for byte: a
        // name that is not UTF-8 would not survive a QString.
        item->setData(kRoleFileName, QByteArray::fromStdString(entry.FileName));
        item->setData(kRoleGroupName, q(entry.GroupName));
        lvLst->addItem(item);
        // The page fills in before the eye, at most once a screen frame.
        if (!FPaintClock.isValid() || FPaintClock.elapsed() >= kFrameMs) {
            lvLst->viewport()->repaint();
            FPaintClock.restart();
        }
    }
    // A new page starts at its first row.
    lvLst->scrollToTop();
    lvLst->viewport()->repaint();
    FShowingPage = false;
}

// ---- Preview --------------------------------------------------------------------------------

void TfrmMain::lvLstSelectionChanged()
{
    actSaveUpdate();
    // lvLstChange: the selected count, for every change.
    const QList<QListWidgetItem *> selected = lvLst->selectedItems();
    FCatalogue.ShowSelectedCount(static_cast<int>(selected.size()));
    if (selected.size() == 1)
        lvLstSelectItem(selected.front());
}

void TfrmMain::lvLstSelectItem(QListWidgetItem *Item)
{
    if (!FCatalogue.Stopped() || FShowingPage || !Item || lvLst->selectedItems().size() != 1)
        return;
    bool ok = false;
    const int position = Item->data(kRolePosition).toString().toInt(&ok);
    if (!ok || position < 0 || position >= FCatalogue.IconCount())
        return;
    // The entry the item stands for, loaded from the place its group was
    // found at.
    FCatalogue.LoadIconGroup(*FCatalogue.IconItems[static_cast<size_t>(position)]);
    FPreviewIcon.Assign(FCatalogue.CurrentIcon);
    gdIconLst->clear();
    for (uint16_t i = 0; i < FPreviewIcon.Images.Count; ++i) {
        const TIconImage *image = FPreviewIcon.Images.GetItem(i);
        auto *row = new QListWidgetItem(q(PreviewRowText(*image)));
        // The picture's height (in this screen's pixels) and 25 more.
        row->setData(kRoleRowHeight, TPreviewDelegate::DrawnSize(*image, gdIconLst->devicePixelRatioF()).height() + 25);
        gdIconLst->addItem(row);
    }
}

void TfrmMain::lvLstMouseMove(const QPoint &pos)
{
    QListWidgetItem *item = lvLst->itemAt(pos);
    if (!item)
        return;
    const QString file = QFile::decodeName(item->data(kRoleFileName).toByteArray());
    if (lvLst->statusTip() != file) {
        lvLst->setStatusTip(file);
        QStatusTipEvent tip(file);
        QCoreApplication::sendEvent(this, &tip);
    }
}

} // namespace vexillo

namespace vexillo {

// ---- Saving ---------------------------------------------------------------------------------

void TfrmMain::actSaveUpdate()
{
    // Enabled exactly while icons are selected; the disabled state shows the
    // greyed picture.
    actSave->setEnabled(!lvLst->selectedItems().isEmpty());
}

void TfrmMain::AskSaveOption(SaveOption &Option, bool OfferPng)
{
    if (AskSaveOptionHook) {
        Option = AskSaveOptionHook(this);
    } else {
        TfrmSavePath frmSavePath(this);
        frmSavePath.cbPng->setVisible(OfferPng);
        frmSavePath.exec();
        Option.Path = s(frmSavePath.SelectedFolder());
        Option.Confirmed = frmSavePath.FConfirmed;
        Option.OpenFolder = frmSavePath.cbOpen->isChecked();
        Option.Png = OfferPng && frmSavePath.cbPng->isChecked();
    }
    Option.Png = Option.Png && OfferPng;
    Option.Path = WithTrailingSlash(Option.Path);
}

void TfrmMain::OpenSaveFolder(const QString &Path)
{
    if (OpenFolderHook)
        OpenFolderHook(Path);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(Path));
}

bool TfrmMain::GuardedSave(const std::function<void()> &steps)
{
    // The errors the save flows declare: a file that cannot be created or
    // written, a picture that cannot be converted, an image index out of range.
    auto report = [](const std::exception &error) {
        ShowMsg(QString("Error Message: \n\n") + error.what(), "Vexillo", MB_ICONINFORMATION);
        return false;
    };
    try {
        steps();
        return true;
    } catch (const EStreamError &error) {
        return report(error);
    } catch (const EInvalidGraphic &error) {
        return report(error);
    } catch (const EOutOfResources &error) {
        return report(error);
    } catch (const std::out_of_range &error) {
        return report(error);
    } catch (const std::bad_alloc &) {
        // The system had less memory than the file's budget allows.
        return report(std::runtime_error("out of memory"));
    }
}

void TfrmMain::actSaveExecute()
{
    // The selection is read once, before anything can change the page.
    std::vector<TSaveEntry> entries;
    for (int i = 0; i < lvLst->count(); ++i) {
        const QListWidgetItem *item = lvLst->item(i);
        bool ok = false;
        const int position = item->data(kRolePosition).toString().toInt(&ok);
        if (item->isSelected() && ok && position >= 0 && position < FCatalogue.IconCount())
            entries.push_back({s(item->text()), item->data(kRoleFileName).toByteArray().toStdString(),
                               s(item->data(kRoleGroupName).toString()),
                               FCatalogue.IconItems[static_cast<size_t>(position)]->GroupPlace});
    }
    if (entries.empty())
        return;
    SaveOption option;
    AskSaveOption(option, true);
    if (!option.Confirmed || option.Path.empty())
        return;
    int skipped = 0;
    std::string firstSkipped;
    const bool saved = GuardedSave([&] {
        if (option.Png)
            skipped = SaveIconsAsPng(FCatalogue, entries, option.Path, [this] { ProcessMessages(); }, firstSkipped);
        else
            SaveIcons(FCatalogue, entries, option.Path, [this] { ProcessMessages(); });
    });
    if (saved && skipped > 0)
        ShowMsg(QStringLiteral("%1 image(s) could not be read and were not saved.\n\n%2")
                    .arg(skipped)
                    .arg(q(firstSkipped)),
                "Vexillo", MB_ICONINFORMATION);
    if (saved && option.OpenFolder)
        OpenSaveFolder(q(option.Path));
}

void TfrmMain::SavePreviewImage(bool AsIcon)
{
    savePreviewImage(AsIcon ? TImageFile::Icon : TImageFile::Bitmap);
}

void TfrmMain::SavePreviewImageAsPng()
{
    savePreviewImage(TImageFile::Png);
}

void TfrmMain::savePreviewImage(TImageFile Format)
{
    const QList<QListWidgetItem *> selected = gdIconLst->selectedItems();
    if (selected.isEmpty())
        return;
    SaveOption option;
    AskSaveOption(option);
    if (!option.Confirmed || option.Path.empty())
        return;
    // The previewed icon's own image, whatever the shared icon holds now.
    const int i = gdIconLst->row(selected.front());
    TIconImage *image =
        i >= 0 && i < FPreviewIcon.Images.Count ? FPreviewIcon.Images.GetItem(static_cast<uint16_t>(i)) : nullptr;
    if (!image)
        return;
    const bool saved = GuardedSave([&] {
        if (Format == TImageFile::Icon) {
            FPreviewIcon.SaveImageToFile(SavedFileName(option.Path, "", i + 1, ".ico"), i);
        } else if (Format == TImageFile::Png) {
            SaveImageAsPng(*image, SavedFileName(option.Path, "", i + 1, ".png"));
        } else {
            auto graphic = image->CreateGraphic();
            SaveImageAsBitmap(*graphic, SavedFileName(option.Path, "", i + 1, ".bmp"));
        }
    });
    if (!saved)
        return;
    if (option.OpenFolder)
        OpenSaveFolder(q(option.Path));
}

bool TfrmMain::CopyImage(bool Previewed)
{
    int i = -1;
    if (Previewed) {
        const QList<QListWidgetItem *> selected = gdIconLst->selectedItems();
        i = selected.isEmpty() ? -1 : gdIconLst->row(selected.front());
    } else if (FPreviewIcon.Images.Count > 0) {
        i = ChooseImageForSize(FPreviewIcon, kMaxIconDimension);
    }
    if (i < 0 || i >= FPreviewIcon.Images.Count)
        return false;
    const TIconImage *image = FPreviewIcon.Images.GetItem(static_cast<uint16_t>(i));
    TReadError error;
    const UniqueIcon own(CreateIconFromResourceEx(image->StoredBytes(), true, 0x30000, 0, 0, LR_DEFAULTCOLOR, &error));
    const QImage picture = IconToQImage(own.get());
    if (picture.isNull()) {
        ShowMsg("The image cannot be copied: " + q(error ? error.Text() : "it does not decode"), "Vexillo",
                MB_ICONINFORMATION);
        return false;
    }
    QGuiApplication::clipboard()->setImage(picture);
    return true;
}

} // namespace vexillo
