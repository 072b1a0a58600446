// The About box. The picture is decoded by the program's own libjpeg decoder,
// not by Qt's image plugins, and shown by a label that fills the window; the
// two text labels lie over it.

#include "dialogs/frmabout.h"

#include "ui/screenfit.h"
#include "formats/jpegdecode.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QUrl>

#include <cstring>
#include <utility>

namespace vexillo {

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 245;
constexpr const char *kPictureResource = ":/about.jpg";

TOpenWebPageHook &OpenWebPageHook()
{
    static TOpenWebPageHook hook;
    return hook;
}

// A label with a fixed text colour and a transparent background, sized to
// its text from its top-left corner.
QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, const QColor &color, int left, int top)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAutoFillBackground(false);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// True for a left-button release inside the widget that had the press.
bool IsClick(QWidget *widget, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    auto *mouse = static_cast<QMouseEvent *>(event);
    return mouse->button() == Qt::LeftButton && widget->rect().contains(mouse->position().toPoint());
}

// The About picture, decoded with the program's own JPEG decoder from the
// compiled-in resource; a null image when it is missing or damaged.
QImage AboutPicture()
{
    QFile file(kPictureResource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    PixelImage bitmap;
    if (!DecodeJpeg(ByteView(reinterpret_cast<const uint8_t *>(bytes.constData()), static_cast<uint64_t>(bytes.size())),
                    bitmap))
        return {};
    // The decoder's 0xFFRRGGBB words are QImage's RGB32 pixels.
    QImage image(bitmap.Width, bitmap.Height, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int y = 0; y < bitmap.Height; ++y)
        std::memcpy(image.scanLine(y), &bitmap.Pixels[PixelIndex(0, y, bitmap.Width)],
                    static_cast<size_t>(bitmap.Width) * sizeof(uint32_t));
    return image;
}

} // namespace

TfrmAbout::TfrmAbout(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName("frmAbout");
    setWindowTitle("About Vexillo");
    setFixedSize(kWidth, kHeight);
    // The desktop's UI font at 12 pixels, not scaled with the desktop.
    QFont font = QApplication::font();
    font.setPixelSize(12);
    setFont(font);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(0, 0, kWidth, kHeight);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QImage picture = AboutPicture();
    if (!picture.isNull()) {
        Image1->setPixmap(QPixmap::fromImage(picture));
        Image1->resize(picture.size());
    }
    Image1->installEventFilter(this);

    lbWeb = MakeLabel(this, "lbWeb", kMakerWebAddress, QColor(0, 0, 255), 22, 218);
    lbWeb->setCursor(Qt::PointingHandCursor);
    lbWeb->setMouseTracking(true); // every move over it, not only drags
    lbWeb->installEventFilter(this);

    lbVer = MakeLabel(this, "lbVer", "Version", Qt::white, 300, 26);
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && IsClick(Image1, event)) {
        Image1Click();
        return true;
    }
    if (watched == lbWeb) {
        if (IsClick(lbWeb, event)) {
            lbWebClick();
            return true;
        }
        if (event->type() == QEvent::MouseMove)
            lbMailMouseMove(lbWeb);
        else if (event->type() == QEvent::Leave)
            lbMailMouseLeave(lbWeb);
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::Image1Click()
{
    close();
}

void TfrmAbout::lbWebClick()
{
    OpenWebPage(kMakerWebAddress);
}

void TfrmAbout::lbMailMouseMove(QLabel *Sender)
{
    QFont font = Sender->font();
    if (!font.underline()) {
        font.setUnderline(true);
        Sender->setFont(font);
    }
}

void TfrmAbout::lbMailMouseLeave(QLabel *Sender)
{
    QFont font = Sender->font();
    if (font.underline()) {
        font.setUnderline(false);
        Sender->setFont(font);
    }
}

void ShowAboutBox(QWidget *owner)
{
    // Guarded: the box is gone already if its parent went while it was open.
    QPointer<TfrmAbout> box = new TfrmAbout(owner);
    box->lbVer->setText("Version [Beta]");
    box->lbVer->adjustSize();
    if (owner)
        CentreOnOwnerFrame(*box, *owner);
    box->exec();
    delete box.data();
}

void OpenWebPage(const QString &Address)
{
    if (const TOpenWebPageHook &hook = OpenWebPageHook()) {
        hook(Address);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromUserInput(Address));
}

void SetOpenWebPageHook(TOpenWebPageHook hook)
{
    OpenWebPageHook() = std::move(hook);
}

} // namespace vexillo
