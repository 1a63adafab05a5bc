// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the text of a window can be read: contrast as the web's accessibility guidelines
// measure it, on pictures of the real widgets, and a dark theme to measure it under.
#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QPalette>
#include <QRect>
#include <QStyleFactory>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <map>
#include <utility>

namespace pictavo {

// WCAG contrast ratio of two colours: 1 (none) to 21 (black on white).
inline double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How far the text drawn in an area stands out: the strongest contrast of any pixel against
// the area's most common colour, its background.
inline double text_contrast(const QImage& image, const QRect& area)
{
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    const QRgb background =
        std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    double strongest = 1;
    for (const auto& [colour, count] : counts)
        strongest = std::max(strongest, contrast(QColor(colour), QColor(background)));
    return strongest;
}

// The Fusion style with a dark palette, as a dark desktop theme gives it.
inline void use_dark_fusion_theme()
{
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette dark;
    for (auto [role, colour] : std::initializer_list<std::pair<QPalette::ColorRole, QColor>>{
             {QPalette::Window, QColor(50, 50, 50)}, {QPalette::WindowText, QColor(240, 240, 240)},
             {QPalette::Base, QColor(36, 36, 36)}, {QPalette::AlternateBase, QColor(44, 44, 44)},
             {QPalette::Text, QColor(240, 240, 240)}, {QPalette::Button, QColor(60, 60, 60)},
             {QPalette::ButtonText, QColor(240, 240, 240)}, {QPalette::Light, QColor(80, 80, 80)},
             {QPalette::Dark, QColor(20, 20, 20)}, {QPalette::Link, QColor(140, 180, 255)}})
        dark.setColor(role, colour);
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
    QApplication::setPalette(dark);
}

} // namespace pictavo
