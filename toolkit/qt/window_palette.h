// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's own colours.
#pragma once

#include <QPalette>
#include <QString>

namespace pictavo {

// A complete light palette: every colour role in the active, inactive and disabled groups.
// The window's layout gives some colours (a light grey window, white path boxes and fields,
// black links), so the rest cannot come from a desktop theme: a dark theme's light text would
// vanish on them. Enabled text has at least 4.5:1 contrast on its background, disabled text
// at least 3:1.
QPalette window_palette();

// A colour of that palette for a style sheet ("rgb(0, 0, 0)"). A style sheet's own palette()
// names the application's palette, that is the desktop's, whatever the widget's own.
QString css_colour(QPalette::ColorRole role);

} // namespace pictavo
