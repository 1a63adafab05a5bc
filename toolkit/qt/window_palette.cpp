// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/qt/window_palette.h"

#include <initializer_list>
#include <utility>

namespace pictavo {

QPalette window_palette()
{
    using P = QPalette;
    const QColor black(0, 0, 0);
    const QColor white(255, 255, 255);
    const QColor face(240, 240, 240);
    const std::initializer_list<std::pair<P::ColorRole, QColor>> enabled = {
        {P::Window, face},
        {P::WindowText, black},
        {P::Base, white},
        {P::AlternateBase, QColor(247, 247, 247)},
        {P::Text, black},
        {P::PlaceholderText, QColor(110, 110, 110)},
        {P::Button, face},
        {P::ButtonText, black},
        {P::BrightText, white},
        {P::Light, white},
        {P::Midlight, QColor(227, 227, 227)},
        {P::Mid, QColor(160, 160, 160)},
        {P::Dark, QColor(122, 122, 122)},
        {P::Shadow, QColor(105, 105, 105)},
        {P::Highlight, QColor(0, 90, 180)},
        {P::HighlightedText, white},
        {P::Link, QColor(0, 0, 200)},
        {P::LinkVisited, QColor(110, 0, 150)},
        {P::ToolTipBase, QColor(255, 255, 225)},
        {P::ToolTipText, black},
    };
    QPalette palette;
    for (const P::ColorGroup group : {P::Active, P::Inactive, P::Disabled})
        for (const auto& [role, colour] : enabled)
            palette.setColor(group, role, colour);

    // Greyed, still readable on the window and on white.
    const QColor greyed(120, 120, 120);
    for (const P::ColorRole role : {P::WindowText, P::Text, P::ButtonText, P::PlaceholderText})
        palette.setColor(P::Disabled, role, greyed);
    palette.setColor(P::Disabled, P::Base, face);
    palette.setColor(P::Disabled, P::Highlight, QColor(160, 160, 160));
    palette.setColor(P::Disabled, P::Link, greyed);
    palette.setColor(P::Disabled, P::LinkVisited, greyed);
    return palette;
}

QString css_colour(QPalette::ColorRole role)
{
    const QColor colour = window_palette().color(QPalette::Active, role);
    return QStringLiteral("rgb(%1, %2, %3)").arg(colour.red()).arg(colour.green()).arg(colour.blue());
}

} // namespace pictavo
