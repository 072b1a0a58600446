// The About box: a borderless window with the program's picture, its version
// and a link to the maker's web page; and the two routines that go with it,
// ShowAboutBox and OpenWebPage.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;

namespace vexillo {

// The maker's web page: shown by lbWeb and opened by a click on it.
inline constexpr const char *kMakerWebAddress = "https://vexillo.example.org";

class TfrmAbout : public QDialog {
    Q_OBJECT

public:
    // A box without owner; `parent` only places it (centred over it) and
    // keeps it above it.
    explicit TfrmAbout(QWidget *parent = nullptr);

    QLabel *Image1 = nullptr;
    QLabel *lbWeb = nullptr;
    QLabel *lbVer = nullptr;

    // A click on the picture closes the box.
    void Image1Click();
    // A click on the link opens the web page; the box stays open.
    void lbWebClick();
    // The mouse over the link underlines it; leaving removes the underline.
    void lbMailMouseMove(QLabel *Sender);
    void lbMailMouseLeave(QLabel *Sender);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Creates the box, sets the version text, shows it modally over `owner`
// (none: centred on the screen) and frees it when it has closed.
void ShowAboutBox(QWidget *owner);

// Opens a web address in the user's default browser. The result is not
// examined: a failure gives no message.
void OpenWebPage(const QString &Address);

// When set, OpenWebPage hands the address to this function instead of
// starting a browser: tests see every address opened.
using TOpenWebPageHook = std::function<void(const QString &Address)>;
void SetOpenWebPageHook(TOpenWebPageHook hook);

} // namespace vexillo
