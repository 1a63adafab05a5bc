// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/qt/path_box.h"

#include <QEvent>
#include <QPainter>

namespace pictavo {
namespace {

// Room between the border and the text, in logical units.
constexpr int TEXT_INSET = 4;
constexpr int BORDER_WIDTH = 1;

} // namespace

PathBox::PathBox(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setContentsMargins(TEXT_INSET, BORDER_WIDTH, TEXT_INSET, BORDER_WIDTH);
}

void PathBox::set_full_text(const QString& text)
{
    full_text_ = text;
    show_text();
}

void PathBox::show_text()
{
    const QString shown = fontMetrics().elidedText(full_text_, Qt::ElideMiddle, contentsRect().width());
    setText(shown);
    setToolTip(shown == full_text_ ? QString() : full_text_);
}

void PathBox::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Dark), BORDER_WIDTH));
    painter.drawRect(rect().adjusted(0, 0, -BORDER_WIDTH, -BORDER_WIDTH));
}

void PathBox::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    show_text();
}

void PathBox::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        show_text();
}

} // namespace pictavo
