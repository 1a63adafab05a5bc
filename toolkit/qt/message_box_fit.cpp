// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/qt/message_box_fit.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>
#include <QSpacerItem>

#include <algorithm>

namespace pictavo {
namespace {

// Room a title bar needs beside the title (the close button and the desktop's padding), and
// the title font's size against the box's own font, in logical units; desktops draw titles
// larger and bold.
constexpr int TITLE_BAR_ROOM = 140;
constexpr double TITLE_FONT_SCALE = 1.25;
// A box keeps this far from the screen's edges.
constexpr int SCREEN_MARGIN = 40;
// The widest piece of text without a blank, in logical units, and at most half the screen:
// with the icon beside it, such a piece fits the width the box allows itself.
constexpr int UNBROKEN_WIDTH_MAXIMUM = 400;

// A message box sizes itself by its text alone: a short text under a long title gives a box
// whose title bar cuts the title. Its layout gets a row as wide as the title needs, never wider
// than the screen; long lines still wrap within the screen.
void make_room_for_title(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr)
        return;
    QFont title_font = box.font();
    title_font.setBold(true);
    title_font.setPointSizeF(title_font.pointSizeF() * TITLE_FONT_SCALE);
    int width = QFontMetrics(title_font).horizontalAdvance(box.windowTitle()) + TITLE_BAR_ROOM;
    if (const QScreen* screen = box.screen())
        width = std::min(width, screen->availableGeometry().width() - 2 * SCREEN_MARGIN);
    // The layout owns the item.
    grid->addItem(new QSpacerItem(std::max(width, 0), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// text with a line break wherever a run without blanks would grow wider than widest, never
// inside a character (a surrogate pair) or before a mark that belongs to the one before it. A
// break of our own: a zero-width space would do in plain runs, but the shaper joins it into
// ligatures ("ff"), where the label then finds no place to wrap.
QString with_long_runs_broken(const QString& text, const QFontMetricsF& metrics, qreal widest)
{
    QString result;
    result.reserve(text.size() + text.size() / 32);
    qreal run_width = 0;
    for (const QChar c : text) {
        if (c.isSpace()) {
            run_width = 0;
        } else {
            const bool joined = c.isLowSurrogate() || c.isMark();
            const qreal advance = c.isSurrogate() ? 0 : metrics.horizontalAdvance(c);
            if (!joined && run_width > 0 && run_width + advance > widest) {
                result += QLatin1Char('\n');
                run_width = 0;
            }
            run_width += advance;
        }
        result += c;
    }
    return result;
}

// The box wraps its text at blanks and, for a run wider than the screen, anywhere; but the
// latter does not survive a relayout of the shown box, after which such a run (a path in the
// failure list) went past the box's edge, cut off. Broken into lines beforehand, no run is
// wider than the box.
void break_long_runs(QMessageBox& box)
{
    const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    int widest = UNBROKEN_WIDTH_MAXIMUM;
    if (const QScreen* screen = box.screen())
        widest = std::min(widest, screen->availableGeometry().width() / 2);
    box.setText(with_long_runs_broken(box.text(), QFontMetricsF(label ? label->font() : box.font()), widest));
}

} // namespace

void fit_message_box(QMessageBox& box)
{
    break_long_runs(box);
    make_room_for_title(box);
}

} // namespace pictavo
