// The main window: menus, tool bar, status bar, the icon list with its pages
// and the preview list, wired to the catalogue, the recent files and the
// settings file.
#pragma once

#include "settings/recentfiles.h"
#include "app/iconlist.h"
#include "catalogue/catalogue.h"
#include "export/imagesaves.h"
#include "icons/icontypes.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>

class QAction;
class QColorDialog;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QSplitter;
class QToolButton;

namespace vexillo {

class TAnimatedCursorPlayer;
class TFindBar;
class TfrmFolder;
class TfrmUnread;
class TShownEntries;
class TReopenMenu;
class TStatusPanels;
class TToolBar;

class TfrmMain : public QMainWindow, public TCatalogueView {
    Q_OBJECT

public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Replaces the open-file dialog (tests give the files chosen; an empty
    // list is a cancel).
    static std::function<QStringList(QWidget *)> OpenDialogHook;
    // Replaces the save-folder dialog (tests give the option it returns).
    static std::function<SaveOption(QWidget *)> AskSaveOptionHook;
    // Replaces opening a folder in the file manager.
    static std::function<void(const QString &)> OpenFolderHook;

    TCatalogue &Catalogue() { return FCatalogue; }
    TRecentFiles &RecentFiles() { return FRecentFiles; }
    // The images of the icon on preview: a copy of the group when it was
    // selected, so that reloads of the shared icon never change what the
    // preview shows, measures or saves.
    TAdvancedIcon &PreviewIcon() { return FPreviewIcon; }
    QColor BackgroundColor() const;
    QString PanelText(int panel) const;

    void LoadSettings();
    void SaveSettings();
    void ShowPage(int Page);
    void AddRecentFile(const QString &Path);
    void UpdateReopenMenu();
    void ApplyBackgroundColor();
    // Opens the given files as Open file does after its dialog.
    void OpenFiles(const QStringList &files);
    // Opens what the desktop hands the window (the command line's files and
    // folders, a drop): files as Open file does, folders searched with every
    // type in the Search Disk dialog. Paths that do not exist are reported
    // in one message; nothing happens while a scan runs.
    void OpenPaths(const QStringList &paths);

    void actSaveExecute();
    void actSaveUpdate();
    void SavePreviewImage(bool AsIcon) { savePreviewImage(AsIcon ? TImageFile::Icon : TImageFile::Bitmap); }
    // Saves the previewed image as a one-image PNG file, transparency kept.
    void SavePreviewImageAsPng() { savePreviewImage(TImageFile::Png); }
    // Puts an image on the clipboard with its transparency: the previewed
    // one, or else the best image of the icon on preview (the largest, the
    // deepest of that size). False when there is none or it does not decode.
    bool CopyImage(bool Previewed);
    // OfferPng shows the choice of PNG images (Option.Png) in the dialog.
    void AskSaveOption(SaveOption &Option, bool OfferPng = false);
    void OpenSaveFolder(const QString &Path);
    // Runs the steps of a save; the first error ends them and is shown in
    // one message box. False after an error.
    bool GuardedSave(const std::function<void()> &steps);
    // Asks whether a save replaces the file that exists: Replace, Replace
    // all, Skip or Cancel.
    static TReplaceAnswer AskReplace(const std::string &FileName, uint64_t NewSize);

    // TCatalogueView
    void SetStatusText(int Panel, const std::string &Text) override;
    void ProcessMessages() override;
    void ClearIconList() override;
    void ClearPreview() override;

    // Lists the files the last search or open could not read, and why.
    void ShowUnreadFiles();
    // Turns cursors on and searches again what the last search or open
    // searched: what a search that found only cursors offers.
    void ShowCursors();

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createLists();

    void actFileExecute();
    void actFolderExecute();
    void actColorExecute();
    void actAllExecute();
    void oolbar1Click();
    void Statusbar1Click();
    void nR5Click(QAction *Sender);
    void ToolButton7Click() { ShowPage(1); }
    void ToolButton6Click() { ShowPage(FCatalogue.CurrentPage() - 1); }
    void ToolButton8Click() { ShowPage(FCatalogue.CurrentPage() + 1); }
    void ToolButton9Click();
    void lvLstSelectionChanged();
    void lvLstSelectItem(QListWidgetItem *Item);
    void FormResize();
    // Places the window before it shows: its frame where the user last left
    // it, else at 244,129 and 711x482 outside; moved and shrunk into the
    // screen's free area where that has no room for it.
    void placeFirstWindow();
    // Once the window manager's frame is known: the window's outer size made
    // the placed one, unless the user has resized it already. Runs once.
    void fitFrame();
    // Asks for the folder and runs `save` into it within GuardedSave, its
    // files written through one target that asks before replacing one; a
    // save that wrote (returned true) without an error or a cancel opens
    // the folder when the user asked for that.
    void saveInto(bool OfferPng, const std::function<bool(const SaveOption &, TSaveTarget &)> &save);
    // Saves the preview's selected image; nothing happens without one.
    void savePreviewImage(TImageFile Format);

    bool scanRunning() const { return !FCatalogue.Stopped(); }
    // The one way the window scans: `scan` begins a run of the catalogue
    // and fills it (the files named, or the Search Disk dialog), and tells
    // whether it searched; a cancel (EAbort) ends it quietly. The run then
    // ends, the counters are painted, page 1 shows after a search, and a
    // close asked for during the scan closes the window.
    void runScan(const std::function<bool()> &scan);
    // Scans the files as Open file does, each remembered as a recent file
    // before its scan (Reopen) or after it (Open file).
    void scanFiles(const QStringList &files, TRememberFile When);
    // Runs the Search Disk dialog, set up by `setup` before it shows, and
    // shows page 1 of what it found; returns the folder searched, or an
    // empty text when the dialog closed without a search.
    QString runFolderSearch(const std::function<void(TfrmFolder &)> &setup);
    // Searches the folders, and opens the files, with every type at once
    // (cursor files too while cursors are on), as the desktop hands them.
    void searchAtOnce(const QStringList &folders, const QStringList &files);
    // The window title: the program's caption, then what was opened.
    void showOpened(const QStringList &paths);
    // Shows a page of what the pages show now, the nearest one to Page that
    // there is; an empty list when nothing is shown.
    void showShownPage(int Page);
    // "Find similar icons" on the selected item, and its way back (Esc also
    // clears the filter, then stops the comparing).
    void findSimilar();
    void showAll();
    // The panel beside the status panels: what is shown (the comparing of
    // icons, the filter's count) and what the last search could not read,
    // or that it found only cursors.
    void showShownStatus();
    // The search that found only cursors offers to show them.
    bool offersCursors() const;

    TCatalogue FCatalogue;
    TRecentFiles FRecentFiles;
    TAdvancedIcon FPreviewIcon;
    bool FShowingPage = false;
    bool FSettingsLoaded = false;
    // The frame the window was placed at, and whether its size was fitted
    // to the window manager's frame.
    QRect FPlacedFrame;
    bool FFrameFitted = false;
    bool FCloseAfterScan = false;
    TAnimatedCursorPlayer *FCursor = nullptr;
    // What the pages show of the catalogue, and the filter that narrows it.
    TShownEntries *FShown = nullptr;
    TFindBar *FFindBar = nullptr;
    // The catalogue was emptied by the scan that runs.
    bool FCatalogueReset = false;
    // Runs the last search or open again (with cursors, once they are on).
    std::function<void()> FSearchAgain;
    QPointer<TfrmUnread> FUnreadList;

    // The widgets and actions; each carries its name as its object name.
    QAction *actFile = nullptr;
    QAction *actFolder = nullptr;
    QAction *actSave = nullptr;
    QAction *actColor = nullptr;
    QAction *actAll = nullptr;
    QAction *actQuit = nullptr;
    QAction *oolbar1 = nullptr;
    QAction *Statusbar1 = nullptr;
    QAction *actCursors = nullptr;
    QAction *actHideDuplicates = nullptr;
    QAction *actFindSimilar = nullptr;
    QAction *actShowAll = nullptr;
    QAction *actUnread = nullptr;
    QAction *About1 = nullptr;
    QAction *Saveas1 = nullptr;
    QAction *Saveas2 = nullptr;
    QAction *MenuItem1 = nullptr;
    QAction *SaveasBMP1 = nullptr;
    QAction *SaveasPNG1 = nullptr;
    QAction *actCopy = nullptr;
    QAction *CopyImage1 = nullptr;
    TReopenMenu *nReopen = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QMenu *PopupMenu2 = nullptr;
    TToolBar *ToolBar1 = nullptr;
    QToolButton *ToolButton5 = nullptr;
    QStatusBar *stbBar = nullptr;
    TStatusPanels *Panels = nullptr;
    // The clocks of the last paint (of the panels, or of the page as it
    // fills in) and of the last pump of events.
    QElapsedTimer FPaintClock;
    QElapsedTimer FPumpClock;
    QSplitter *Splitter1 = nullptr;
    QListWidget *lvLst = nullptr;
    TIconList *FIconList = nullptr;
    QListWidget *gdIconLst = nullptr;
    QColorDialog *cdBgColor = nullptr;
};

} // namespace vexillo
