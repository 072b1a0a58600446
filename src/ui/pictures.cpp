#include "ui/pictures.h"

#include <QPixmap>

namespace vexillo {

namespace {

struct PictureSource {
    const char *themeName;
    const char *file;
};

PictureSource sourceOf(TPicture picture)
{
    switch (picture) {
    case TPicture::OpenFile: return {"document-open", "open-file"};
    case TPicture::OpenFolder: return {"folder-open", "open-folder"};
    case TPicture::Exit: return {"application-exit", "exit"};
    case TPicture::FirstPage: return {"go-first", "first-page"};
    case TPicture::PriorPage: return {"go-previous", "prior-page"};
    case TPicture::NextPage: return {"go-next", "next-page"};
    case TPicture::LastPage: return {"go-last", "last-page"};
    case TPicture::Save: return {"document-save-as", "save"};
    case TPicture::BackgroundColor: return {"preferences-desktop-color", "background-color"};
    }
    return {"", ""};
}

} // namespace

QIcon Picture(TPicture picture)
{
    const PictureSource source = sourceOf(picture);
    QIcon own(QStringLiteral(":/pictures/%1.svg").arg(source.file));
    if (picture == TPicture::Save) {
        // The disabled save button shows the greyed drawing.
        const QIcon grey(QStringLiteral(":/pictures/save-disabled.svg"));
        for (int size : {16, 22, 32, 48})
            own.addPixmap(grey.pixmap(size, size), QIcon::Disabled);
    }
    return QIcon::fromTheme(source.themeName, own);
}

QIcon ProgramIcon()
{
    QIcon icon(QStringLiteral(":/vexillo.svg"));
    icon.addFile(QStringLiteral(":/vexillo.png"));
    return icon;
}

} // namespace vexillo
