// THiResIcon: an icon graphic that reports and draws its handle's real size,
// so that 16-, 48- and 256-pixel images lay out, draw and convert at their
// own size rather than at the standard 32 by 32.
#pragma once

#include "platform/gdi.h"

#include <cstdint>

namespace vexillo {

class THiResIcon : public TIcon {
public:
    THiResIcon();

    void Draw(TCanvas &Canvas, const TRect &Rect) override;
    int GetWidth() override;
    int GetHeight() override;

protected:
    void Changed(TIcon *Sender) override;
    // Reads the handle's size once after each new handle.
    virtual void UpdateSize();

private:
    int32_t FHeight;
    int32_t FWidth;
    bool FSizeChanged;
};

} // namespace vexillo
