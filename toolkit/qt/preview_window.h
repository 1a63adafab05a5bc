// SPDX-License-Identifier: GPL-3.0-or-later
// The preview window of the Qt toolkit: a picture before and after, side by side or split by a
// line the user drags, fitted or zoomed, with a button to choose another image.
#pragma once

#include "toolkit/preview_content.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;

namespace pictavo {

class ComparisonView;

class PreviewWindow final : public QWidget {
public:
    PreviewWindow(QWidget* owner, const QString& title, const QString& choose_caption, std::function<void()> on_choose);

    void show_content(const PreviewContent& content);

private:
    ComparisonView* view_ = nullptr;
    QLabel* before_caption_ = nullptr;
    QLabel* after_caption_ = nullptr;
};

} // namespace pictavo
