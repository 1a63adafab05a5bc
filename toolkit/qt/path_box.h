// SPDX-License-Identifier: GPL-3.0-or-later
// A bordered text control: a one-line display of a path, framed on all four sides.
#pragma once

#include <QLabel>

namespace pictavo {

// A text too long for the box is shown with its middle left out ("/home/…/photos/"), so both
// the start and the folder's own name stay in view; the whole text is then its tool tip.
class PathBox final : public QLabel {
public:
    explicit PathBox(QWidget* parent);

    void set_full_text(const QString& text);
    const QString& full_text() const { return full_text_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void show_text();

    QString full_text_;
};

} // namespace pictavo
