#include "ui/contrast.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

namespace vexillo {

namespace {

// The relative luminance of an sRGB colour.
double Luminance(const QColor &color)
{
    auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

} // namespace

double ContrastRatio(const QColor &a, const QColor &b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ContrastingText(const QColor &background)
{
    return ContrastRatio(background, Qt::black) >= ContrastRatio(background, Qt::white) ? QColor(Qt::black)
                                                                                        : QColor(Qt::white);
}

void SetListColors(QWidget &list, const QColor &background)
{
    QPalette palette = list.palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Text, ContrastingText(background));
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::HighlightedText, ContrastingText(palette.color(group, QPalette::Highlight)));
    list.setPalette(palette);
}

} // namespace vexillo
