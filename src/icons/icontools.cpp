#include "icons/icontools.h"

#include "platform/iconobject.h"

namespace vexillo {

THiResIcon::THiResIcon()
    : FHeight(GetSystemMetrics(SM_CYICON)), FWidth(GetSystemMetrics(SM_CXICON)), FSizeChanged(false)
{
}

void THiResIcon::Changed(TIcon *Sender)
{
    TIcon::Changed(Sender);
    FSizeChanged = true;
}

void THiResIcon::UpdateSize()
{
    if (!FSizeChanged)
        return;
    FSizeChanged = false;
    ICONINFO info;
    if (!GetIconInfo(GetHandle(), info))
        return;
    BITMAP description;
    if (GetObject(info.hbmColor.get(), description)) {
        FWidth = description.bmWidth;
        FHeight = description.bmHeight;
    } else if (GetObject(info.hbmMask.get(), description)) {
        // A monochrome icon's mask is twice as high as the icon.
        FWidth = description.bmWidth;
        FHeight = description.bmHeight / 2;
    }
}

int THiResIcon::GetWidth()
{
    UpdateSize();
    return FWidth;
}

int THiResIcon::GetHeight()
{
    UpdateSize();
    return FHeight;
}

void THiResIcon::Draw(TCanvas &Canvas, const TRect &Rect)
{
    UpdateSize();
    if (Canvas.Handle())
        DrawIconEx(Canvas.Handle(), Rect.Left, Rect.Top, GetHandle(), GetWidth(), GetHeight(), 0, nullptr, DI_NORMAL);
}

} // namespace vexillo
