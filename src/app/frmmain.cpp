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
#include "app/findbar.h"
#include "app/iconlist.h"
#include "app/openedpaths.h"
#include "app/previewdelegate.h"
#include "app/reopenmenu.h"
#include "app/shownentries.h"
#include "app/statuspanel.h"
#include "app/toolbar.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmfolder.h"
#include "dialogs/frmsavepath.h"
#include "dialogs/frmunread.h"
#include "export/saveflows.h"

#include <malloc.h>

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeySequence>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

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

std::vector<std::string> s(const QStringList &texts)
{
    std::vector<std::string> out;
    for (const QString &text : texts)
        out.push_back(s(text));
    return out;
}

constexpr const char *kCaption = "Vexillo [Beta]";

// The first window's frame: its place on the screen and its outer size.
constexpr QRect kFirstWindow(244, 129, 711, 482);
// Status panel 0 is the window's outer width less this.
constexpr int kPanel0Less = 380;
} // namespace

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent), FCatalogue(this)
{
    setObjectName("frmMain");
    // The page and keying threads allocate and free pictures of up to a
    // file's budget: in one arena, what one thread frees serves the next,
    // rather than each thread's arena keeping its own peak resident. Set
    // before any of them starts.
    mallopt(M_ARENA_MAX, 1);
    FShown = new TShownEntries(FCatalogue, this);
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

TfrmMain::~TfrmMain()
{
    // The keying threads read the catalogue, which goes before the children.
    FShown->Keys().Cancel();
}

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
    actCursors = make("actCursors", "&Cursors in Programs",
                      "Lists the cursors of programs and libraries too, from the next search on", QIcon());
    actCursors->setCheckable(true);
    connect(actCursors, &QAction::toggled, this, [this](bool on) { FCatalogue.ListCursors = on; });
    actHideDuplicates =
        make("actHideDuplicates", "&Hide duplicates", "Shows one icon of each set of identical icons", QIcon());
    actHideDuplicates->setCheckable(true);
    connect(actHideDuplicates, &QAction::toggled, FShown, &TShownEntries::SetHideDuplicates);
    actFindSimilar = make("actFindSimilar", "Find si&milar icons", "Shows the icons that look like this one", QIcon());
    connect(actFindSimilar, &QAction::triggered, this, &TfrmMain::findSimilar);
    actUnread = make("actUnread", "Files &not read...",
                     "Lists the files the last search or open could not read, and why", QIcon());
    actUnread->setEnabled(false);
    connect(actUnread, &QAction::triggered, this, &TfrmMain::ShowUnreadFiles);
    actShowAll = make("actShowAll", "Show a&ll", "Shows every icon again", QIcon());
    actShowAll->setShortcut(Qt::Key_Escape);
    actShowAll->setShortcutContext(Qt::WindowShortcut);
    actShowAll->setEnabled(false);
    actFindSimilar->setEnabled(false);
    addAction(actShowAll);
    connect(actShowAll, &QAction::triggered, this, &TfrmMain::showAll);
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
    connect(actCopy, &QAction::triggered, this,
            [this] { CopyImage(gdIconLst->hasFocus() && !gdIconLst->selectedItems().isEmpty()); });
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
    // A menu named `name` holding the items in order; null is a separator.
    auto fill = [](QMenu *menu, const char *name, std::initializer_list<QAction *> items) {
        menu->setObjectName(name);
        for (QAction *item : items)
            if (item)
                menu->addAction(item);
            else
                menu->addSeparator();
        return menu;
    };
    QMenu *file = mmMain->addMenu(" &File ");
    nReopen = new TReopenMenu(file, [this](QAction *item) { nR5Click(item); });
    fill(file, "File1", {actFile, actFolder, nullptr, nReopen->menuAction(), nullptr, Saveas1, nullptr, actQuit});
    fill(mmMain->addMenu(" &View "), "View1",
         {oolbar1, Statusbar1, nullptr, actColor, nullptr, actAll, nullptr, actCursors, actHideDuplicates, nullptr,
          actUnread});
    fill(mmMain->addMenu(" &Help"), "Help1", {About1});
    PopupMenu1 = fill(new QMenu(this), "PopupMenu1",
                      {Saveas2, nullptr, actAll, nullptr, actCopy, nullptr, actFindSimilar, actShowAll});
    PopupMenu2 = fill(new QMenu(this), "PopupMenu2", {MenuItem1, SaveasBMP1, SaveasPNG1, nullptr, CopyImage1});
}

void TfrmMain::createToolBar()
{
    ToolBar1 = new TToolBar(this);
    addToolBar(ToolBar1);
    // A page button, and its key (with Ctrl) anywhere in the window.
    auto page = [this](const char *name, TPicture picture, const QString &hint, const char *keyName, Qt::Key key,
                       void (TfrmMain::*handler)()) {
        QToolButton *b = ToolBar1->AddButton(name, hint);
        b->setIcon(Picture(picture));
        b->setStatusTip(hint);
        connect(b, &QToolButton::clicked, this, handler);
        auto *action = new QAction(this);
        action->setObjectName(keyName);
        action->setShortcut(QKeySequence(Qt::CTRL | key));
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    ToolBar1->AddActionButton("ToolButton1", actFile, "Open file to extract icon");
    ToolBar1->AddActionButton("ToolButton2", actFolder, "Open folder to extract icon");
    ToolBar1->AddGap(8);
    page("ToolButton7", TPicture::FirstPage, "First page", "actFirstPage", Qt::Key_Home, &TfrmMain::ToolButton7Click);
    page("ToolButton6", TPicture::PriorPage, "Prior page", "actPriorPage", Qt::Key_PageUp, &TfrmMain::ToolButton6Click);
    page("ToolButton8", TPicture::NextPage, "Next page", "actNextPage", Qt::Key_PageDown, &TfrmMain::ToolButton8Click);
    page("ToolButton9", TPicture::LastPage, "Last page", "actLastPage", Qt::Key_End, &TfrmMain::ToolButton9Click);
    ToolBar1->AddGap(8);
    ToolButton5 = ToolBar1->AddActionButton("ToolButton5", actSave, "Save file");
    ToolBar1->AddGap(11);
    QToolButton *exit = ToolBar1->AddButton("ToolButton11", QString());
    exit->setIcon(Picture(TPicture::Exit));
    connect(exit, &QToolButton::clicked, this, &QWidget::close);
    ToolBar1->AddGap(11);
    FFindBar = new TFindBar(ToolBar1, this);
    connect(FFindBar, &TFindBar::Changed, this, [this](const TEntryFilter &filter) {
        FCatalogue.SetCurrentPage(1);
        FShown->SetFilter(filter);
    });
}

void TfrmMain::createLists()
{
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setChildrenCollapsible(false);

    lvLst = new QListWidget(Splitter1);
    lvLst->setObjectName("lvLst");
    FIconList = new TIconList(lvLst, FCatalogue, FPaintClock);
    FIconList->ExtraToolTip = [this](int position) { return FShown->AlsoInText(position); };
    // What a page decodes while the icons are compared is not decoded again.
    FIconList->PictureMade = [this](int position, const IconObject &picture) {
        FShown->Keys().Shelve(position, picture);
    };
    FIconList->PictureMadeSize = kPictureKeySize;
    lvLst->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvLst, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(lvLst->viewport()->mapToGlobal(pos)); });
    connect(lvLst, &QListWidget::itemSelectionChanged, this, &TfrmMain::lvLstSelectionChanged);

    gdIconLst = new QListWidget(Splitter1);
    gdIconLst->setObjectName("gdIconLst");
    SetUpPreviewList(*gdIconLst, FPreviewIcon);
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
    // Panel 0 takes the window's outer width minus 380 on every resize.
    Panels = new TStatusPanels(FPaintClock, stbBar);
    stbBar->addWidget(Panels, 1);
    // The comparing of icons, what is shown and hidden, and the files not
    // read: panel 0's note, at the panel's right end beside the hint or
    // search path. A click on the panel lists the files not read, or shows
    // the cursors found.
    Panels->Panel(0)->installEventFilter(this);
    connect(FShown, &TShownEntries::StatusChanged, this, &TfrmMain::showShownStatus);
    connect(FShown, &TShownEntries::Changed, this, [this] { showShownPage(FCatalogue.CurrentPage()); });
}

void TfrmMain::showShownStatus()
{
    QStringList parts;
    if (const QString shown = FShown->StatusText(); !shown.isEmpty())
        parts << shown;
    const bool cursors = offersCursors();
    // Said once the search has ended: the counts are final then.
    if (cursors)
        parts << "Only cursors found: click to show them";
    else if (!scanRunning() && FCatalogue.UnreadCount() > 0)
        parts << q(UnreadCountText(FCatalogue.UnreadCount()));
    TStatusBarPanel *panel = Panels->Panel(0);
    panel->setNote(parts.join("; "));
    panel->setToolTip(cursors                                          ? "Turns cursors on and searches again"
                      : !scanRunning() && FCatalogue.UnreadCount() > 0 ? "Lists the files not read, and why"
                                                                       : QString());
    panel->setCursor(panel->toolTip().isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
    actUnread->setEnabled(!scanRunning() && FCatalogue.UnreadCount() > 0);
    actShowAll->setEnabled(FShown->ShowingSimilar() || !FFindBar->Empty() || FShown->Keys().Running());
}

bool TfrmMain::offersCursors() const
{
    return !scanRunning() && !FCatalogue.ListCursors && FCatalogue.IconCount() == 0 && FCatalogue.PassedCursors() > 0 &&
           FSearchAgain;
}

void TfrmMain::ShowUnreadFiles()
{
    if (scanRunning() || FCatalogue.UnreadCount() == 0)
        return;
    if (!FUnreadList) {
        FUnreadList = new TfrmUnread(this);
        FUnreadList->setAttribute(Qt::WA_DeleteOnClose);
    }
    FUnreadList->Fill(FCatalogue);
    FUnreadList->show();
    FUnreadList->raise();
    FUnreadList->activateWindow();
}

void TfrmMain::ShowCursors()
{
    if (scanRunning() || !FSearchAgain)
        return;
    actCursors->setChecked(true);
    // A copy: the search sets the next one.
    const std::function<void()> again = FSearchAgain;
    again();
}

// ---- The catalogue's view -------------------------------------------------------

void TfrmMain::SetStatusText(int Panel, const std::string &Text)
{
    Panels->SetText(Panel, q(Text));
}

QString TfrmMain::PanelText(int panel) const
{
    return Panels->Text(panel);
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
    // The catalogue has just been emptied for a new run.
    FShown->SearchStarting();
    FCatalogueReset = true;
    FIconList->Clear();
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
        Panels->Panel(0)->setText(static_cast<QStatusTipEvent *>(e)->tip());
        return true;
    }
    // A new desktop theme: the lists' text colours are chosen again.
    if (e->type() == QEvent::ApplicationPaletteChange && lvLst)
        ApplyBackgroundColor();
    // The window manager's frame, once known, sets the window's outer size.
    if ((e->type() == QEvent::Move || e->type() == QEvent::Resize) && !FFrameFitted && isVisible())
        fitFrame();
    return QMainWindow::event(e);
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *e)
{
    // The first window of a window manager shows framed: the frame's margins
    // are known when it is first exposed.
    if (watched == windowHandle() && e->type() == QEvent::Expose && !FFrameFitted)
        fitFrame();
    if (watched == Panels->Panel(0) && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton && !Panels->Panel(0)->toolTip().isEmpty()) {
        if (offersCursors())
            ShowCursors();
        else
            ShowUnreadFiles();
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void TfrmMain::placeFirstWindow()
{
    TWindowPlace stored;
    const QRect wanted =
        LoadWindowPlace(stored) ? QRect(stored.Left, stored.Top, stored.Width, stored.Height) : kFirstWindow;
    FPlacedFrame = FitIntoScreen(wanted, screen()->availableGeometry());
    // Moved before the platform window exists, the window asks the window
    // manager for its frame's corner there (not its client area's). Its
    // outer size is known only with the frame (fitFrame).
    resize(FPlacedFrame.size());
    move(FPlacedFrame.topLeft());
}

void TfrmMain::fitFrame()
{
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (frame.isNull())
        return;
    FFrameFitted = true;
    windowHandle()->removeEventFilter(this);
    // Only the size: the window manager keeps the frame's corner where it
    // was asked for. A size the user has chosen meanwhile stays.
    if (size() == FPlacedFrame.size())
        resize(FPlacedFrame.size().shrunkBy(frame));
}

void TfrmMain::showEvent(QShowEvent *e)
{
    // Platforms that frame the window themselves know the frame now; a
    // window manager's frame is known once the window is exposed.
    if (!FFrameFitted && windowHandle()) {
        windowHandle()->installEventFilter(this);
        fitFrame();
    }
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
    // Panel 0 follows the window's outer width; the icon list lays its icons
    // out again for the new width.
    Panels->Panel(0)->setFixedWidth(std::max(0, frameGeometry().width() - kPanel0Less));
    lvLst->doItemsLayout();
}

// ---- Settings -----------------------------------------------------------------------

void TfrmMain::LoadSettings()
{
    std::string colorError;
    const TWindowSettings settings = LoadWindowSettings(colorError);
    oolbar1->setChecked(settings.Toolbar);
    ToolBar1->setVisible(oolbar1->isChecked());
    Statusbar1->setChecked(settings.StatusBar);
    stbBar->setVisible(Statusbar1->isChecked());
    cdBgColor->setCurrentColor(ColorToQColor(settings.BackgroundColor));
    actCursors->setChecked(settings.Cursors);
    actHideDuplicates->setChecked(settings.HideDuplicates);
    // A bad colour is reported; the window goes on with the default colour
    // and the recent files (kept at close).
    if (!colorError.empty())
        ShowMsg(q(colorError), "Vexillo", MB_ICONERROR);
    for (const std::string &path : settings.RecentFiles)
        AddRecentFile(q(path));
    ApplyBackgroundColor();
    UpdateReopenMenu();
}

void TfrmMain::SaveSettings()
{
    TWindowSettings settings{oolbar1->isChecked(), Statusbar1->isChecked(), QColorToColor(cdBgColor->currentColor()),
                             FRecentFiles.Items(), actCursors->isChecked(), actHideDuplicates->isChecked()};
    // The frame is kept once the user has moved or resized it (not while it
    // is maximised or minimised), so that a first start's file holds only the
    // view switches.
    const QRect frame = frameGeometry();
    if (windowState() == Qt::WindowNoState && frame != FPlacedFrame) {
        settings.HasPlace = true;
        settings.Place = {frame.left(), frame.top(), frame.width(), frame.height()};
    }
    const std::string error = SaveWindowSettings(settings);
    if (!error.empty())
        ShowMsg(q(error), "Vexillo", MB_ICONERROR);
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
    for (QListWidget *list : {lvLst, gdIconLst})
        SetListColors(*list, background);
}

// ---- Recent files ---------------------------------------------------------------------

void TfrmMain::AddRecentFile(const QString &Path)
{
    FRecentFiles.AddRecentFile(s(Path));
}

void TfrmMain::UpdateReopenMenu()
{
    nReopen->Update(FRecentFiles);
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
    scanFiles({path}, TRememberFile::BeforeScan);
}

// ---- Commands --------------------------------------------------------------------------

void TfrmMain::actFileExecute()
{
    if (scanRunning())
        return;
    const QStringList files = OpenDialogHook ? OpenDialogHook(this) : AskFilesToOpen(this);
    if (!files.isEmpty())
        OpenFiles(files);
}

void TfrmMain::OpenFiles(const QStringList &files)
{
    if (!scanRunning())
        scanFiles(files, TRememberFile::AfterScan);
}

void TfrmMain::OpenPaths(const QStringList &paths)
{
    if (scanRunning())
        return;
    const TOpenedPaths opened = SortOpenedPaths(paths);
    if (!opened.Missing.isEmpty())
        ShowMsg("No such file or folder:\n" + opened.Missing.join('\n'), "Vexillo", MB_ICONINFORMATION);
    if (opened.Folders.isEmpty()) {
        if (opened.Files.isEmpty())
            return;
        OpenFiles(opened.Files);
        // Handed over by the desktop, an empty window would say nothing: the
        // user is told that no icon was found, and why for a single file.
        if (FCatalogue.IconCount() == 0)
            ShowMsg(q(NoIconFoundText(s(opened.Files), s(OpenedSubject(opened.Files)), FCatalogue.FileError())),
                    "Vexillo", MB_ICONINFORMATION);
        return;
    }
    // The named files are remembered as Open file remembers its files.
    for (const QString &file : opened.Files)
        AddRecentFile(file);
    UpdateReopenMenu();
    searchAtOnce(opened.Folders, opened.Files);
}

void TfrmMain::searchAtOnce(const QStringList &folders, const QStringList &files)
{
    showOpened(folders + files);
    FSearchAgain = [this, folders, files] { searchAtOnce(folders, files); };
    runFolderSearch([&](TfrmFolder &dialog) { dialog.SearchAtOnce(folders, files); });
}

void TfrmMain::showOpened(const QStringList &paths)
{
    const QString subject = OpenedSubject(paths);
    setWindowTitle(subject.isEmpty() ? QString(kCaption) : QStringLiteral("%1 - %2").arg(kCaption, subject));
}

void TfrmMain::dragEnterEvent(QDragEnterEvent *e)
{
    if (!scanRunning() && !DroppedPaths(e->mimeData()).isEmpty())
        e->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent *e)
{
    const QStringList paths = DroppedPaths(e->mimeData());
    if (scanRunning() || paths.isEmpty())
        return;
    e->acceptProposedAction();
    // Opened once the drop has returned, so that the program the files came
    // from is not held up by the search.
    QTimer::singleShot(0, this, [this, paths] { OpenPaths(paths); });
}

void TfrmMain::runScan(const std::function<bool()> &scan)
{
    // The keying threads read the entries that the scan may empty.
    FShown->Keys().Cancel();
    FCatalogueReset = false;
    const bool searched = RunScan(FCatalogue, scan);
    // Keyed afresh after a new run; a dialog closed without one carries on.
    if (FCatalogueReset || !FShown->Keys().Complete())
        FShown->SearchEnded();
    Panels->PaintChanged();
    if (searched)
        ShowPage(1);
    showShownStatus();
    // An open list of the files not read follows the new search.
    if (FUnreadList && FCatalogue.UnreadCount() > 0)
        FUnreadList->Fill(FCatalogue);
    else if (FUnreadList)
        FUnreadList->close();
    if (FCloseAfterScan) {
        FCloseAfterScan = false;
        close();
    }
}

void TfrmMain::scanFiles(const QStringList &files, TRememberFile When)
{
    FSearchAgain = [this, files, When] { scanFiles(files, When); };
    runScan([&] {
        ScanNamedFiles(FCatalogue, s(files), When, [this](const std::string &file) { AddRecentFile(q(file)); });
        UpdateReopenMenu();
        showOpened(files);
        return true;
    });
}

void TfrmMain::actFolderExecute()
{
    if (scanRunning())
        return;
    const QString folder = runFolderSearch([](TfrmFolder &) {});
    if (!folder.isEmpty()) {
        showOpened({folder});
        FSearchAgain = [this, folder] { searchAtOnce({folder}, {}); };
    }
}

QString TfrmMain::runFolderSearch(const std::function<void(TfrmFolder &)> &setup)
{
    QString folder;
    runScan([&] {
        const bool searched = TfrmFolder::Search(this, FCatalogue, setup, folder);
        // What the dialog's closing left pending is handled once it is gone.
        ProcessMessages();
        return searched;
    });
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
    const int pages = FShown->PageCount();
    if (FShowingPage || Page > pages || Page < 1)
        return;
    FShowingPage = true;
    FCatalogue.SetCurrentPage(Page);
    FCatalogue.ShowPageStatus(pages);
    FIconList->ShowEntries(FShown->Page(Page));
    FShowingPage = false;
}

void TfrmMain::ToolButton9Click()
{
    ShowPage(FShown->PageCount());
}

void TfrmMain::showShownPage(int Page)
{
    if (scanRunning())
        return;
    const int pages = FShown->PageCount();
    if (pages > 0) {
        ShowPage(std::clamp(Page, 1, pages));
        return;
    }
    FCatalogue.SetCurrentPage(0);
    FCatalogue.ShowPageStatus(0);
    FIconList->Clear();
    lvLstSelectionChanged();
}

void TfrmMain::findSimilar()
{
    const QList<QListWidgetItem *> selected = lvLst->selectedItems();
    const int position = selected.size() == 1 ? FIconList->Position(selected.front()) : -1;
    if (position < 0 || scanRunning())
        return;
    const int page = FCatalogue.CurrentPage();
    FCatalogue.SetCurrentPage(1);
    if (!FShown->FindSimilar(position, page)) {
        FCatalogue.SetCurrentPage(page);
        ShowMsg("This icon has no picture to compare.   ", "Vexillo", MB_ICONINFORMATION);
    }
}

void TfrmMain::showAll()
{
    if (FShown->ShowingSimilar())
        showShownPage(FShown->LeaveSimilar());
    else if (!FFindBar->Empty())
        FFindBar->Clear();
    else
        FShown->StopKeying();
}

// ---- Preview --------------------------------------------------------------------------------

void TfrmMain::lvLstSelectionChanged()
{
    actSaveUpdate();
    actFindSimilar->setEnabled(lvLst->selectedItems().size() == 1);
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
    const int position = FIconList->Position(Item);
    if (position < 0)
        return;
    // The entry the item stands for, loaded from the place its group was
    // found at.
    FCatalogue.LoadIconGroup(*FCatalogue.IconItems[static_cast<size_t>(position)]);
    // The preview takes the group: reloads of the catalogue's icon never
    // change what it shows, and the group is not kept twice.
    FPreviewIcon.TakeFrom(FCatalogue.CurrentIcon);
    ShowPreviewRows(*gdIconLst, FPreviewIcon);
}

// ---- Saving ---------------------------------------------------------------------------------

void TfrmMain::actSaveUpdate()
{
    // Enabled exactly while icons are selected; the disabled state shows the
    // greyed picture.
    actSave->setEnabled(!lvLst->selectedItems().isEmpty());
}

void TfrmMain::AskSaveOption(SaveOption &Option, bool OfferPng)
{
    Option = AskSaveOptionHook ? AskSaveOptionHook(this) : TfrmSavePath::Ask(this, OfferPng);
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
    std::string message;
    if (RunSaveSteps(steps, message))
        return true;
    ShowMsg(q(message), "Vexillo", MB_ICONINFORMATION);
    return false;
}

TReplaceAnswer TfrmMain::AskReplace(const std::string &FileName, uint64_t NewSize)
{
    switch (ShowMsg(q(ReplaceQuestionText(FileName, NewSize)), "Vexillo", MB_REPLACEQUERY | MB_ICONQUESTION)) {
    case IDYES: return TReplaceAnswer::Replace;
    case IDYESTOALL: return TReplaceAnswer::ReplaceAll;
    case IDNO: return TReplaceAnswer::Skip;
    default: return TReplaceAnswer::Cancel;
    }
}

void TfrmMain::saveInto(bool OfferPng, const std::function<bool(const SaveOption &, TSaveTarget &)> &save)
{
    SaveOption option;
    AskSaveOption(option, OfferPng);
    if (!option.Confirmed || option.Path.empty())
        return;
    bool written = false;
    TSaveTarget target(&TfrmMain::AskReplace);
    if (GuardedSave([&] { written = save(option, target); }) && written && !target.Cancelled() && option.OpenFolder)
        OpenSaveFolder(q(option.Path));
}

void TfrmMain::actSaveExecute()
{
    // The selection is read once, before anything can change the page.
    const std::vector<TSaveEntry> entries = FIconList->SelectedEntries();
    if (entries.empty())
        return;
    saveInto(true, [&](const SaveOption &option, TSaveTarget &target) {
        const auto pump = [this] { ProcessMessages(); };
        std::string firstSkipped;
        if (!option.Png)
            SaveIcons(FCatalogue, entries, option.Path, pump, target);
        else if (const int skipped = SaveIconsAsPng(FCatalogue, entries, option.Path, pump, target, firstSkipped))
            ShowMsg(q(SkippedImagesText(skipped, firstSkipped)), "Vexillo", MB_ICONINFORMATION);
        return true;
    });
}

void TfrmMain::savePreviewImage(TImageFile Format)
{
    // The previewed icon's own image, whatever the shared icon holds now.
    const int i = SelectedPreviewRow(*gdIconLst);
    if (i < 0)
        return;
    saveInto(false, [&](const SaveOption &option, TSaveTarget &target) {
        return SaveOneImage(FPreviewIcon, i, Format, option.Path, target);
    });
}

bool TfrmMain::CopyImage(bool Previewed)
{
    const TIconImage *image = ImageToCopy(FPreviewIcon, Previewed, SelectedPreviewRow(*gdIconLst));
    if (!image)
        return false;
    std::string why;
    const TDecodedPicture own = image->DecodeOwnSize(why);
    const QImage picture = IconToQImage(own.Icon.get());
    if (picture.isNull()) {
        ShowMsg("The image cannot be copied: " + q(why), "Vexillo", MB_ICONINFORMATION);
        return false;
    }
    QGuiApplication::clipboard()->setImage(picture);
    return true;
}

} // namespace vexillo
