#include "icons/i2bconvert.h"

#include "platform/iconobject.h"

namespace vexillo {

void IconToBitmap(TIcon &Icon, TColor BackColor, TBitmap &Bitmap)
{
    ICONINFO info;
    if (!GetIconInfo(Icon.GetHandle(), info) || !info.hbmMask)
        throw EInvalidGraphic("Invalid icon image");
    // Only the AND mask is needed; the colour bitmap goes at once.
    const HBITMAP mask = std::move(info.hbmMask);
    info.hbmColor.reset();

    BITMAP description;
    GetObject(mask.get(), description);
    const int W = description.bmWidth;
    const int H = description.bmHeight;
    Bitmap.SetWidth(W);
    Bitmap.SetHeight(H + 1);

    TCanvas &canvas = Bitmap.Canvas();
    canvas.Draw(0, 0, Icon);
    canvas.Pen.Color = BackColor;

    // Each run of transparent (white) mask pixels becomes one line in the
    // background colour; a line stops short of its end point, so the run
    // ends exactly where the next opaque pixel starts.
    for (int y = 0; y < H; ++y) {
        TColor last = 0x0000FF; // a value no mask pixel has
        canvas.MoveTo(0, y);
        for (int x = 0; x < W; ++x) {
            const TColor c = GetPixel(mask.get(), x, y);
            if (c == last)
                continue;
            last = c;
            if (c == clWhite)
                canvas.MoveTo(x, y);
            else
                canvas.LineTo(x, y);
        }
        if (last == clWhite)
            canvas.LineTo(W, y);
    }

    const int bottom = Bitmap.GetHeight() - 1;
    canvas.MoveTo(0, bottom);
    canvas.LineTo(Bitmap.GetWidth(), bottom);
}

} // namespace vexillo
