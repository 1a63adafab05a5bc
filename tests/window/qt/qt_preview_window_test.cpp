// SPDX-License-Identifier: GPL-3.0-or-later
// The preview window on Qt: both pictures and their captions, split and side by side, readable
// under a light and a dark theme.
#include "readable_text.h"
#include "toolkit/qt/qt_toolkit.h"
#include "window/preview_controller.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace pictavo {
namespace {

// A picture of stripes in two colours, so the two halves of a comparison tell apart.
PreviewPicture stripes(int width, int height, std::uint8_t shade)
{
    PreviewPicture picture{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool dark_stripe = (x / 20) % 2 == 0;
            picture.rgba.insert(picture.rgba.end(), {static_cast<std::uint8_t>(dark_stripe ? shade : 230),
                                                     static_cast<std::uint8_t>(dark_stripe ? 60 : 230), 90, 255});
        }
    return picture;
}

struct Taken {
    double caption_contrast = 0;
    // Along the view's middle row: where the dark stripes of the picture before and of the
    // picture after are seen.
    int before_from = -1, before_to = -1, after_from = -1, after_to = -1;
    int divider = -1;
    bool choose_event = false;
};

Taken take_picture(const std::string& path)
{
    QtToolkit tk;
    tk.open_preview(PREVIEW_TITLE, PREVIEW_CHOOSE_CAPTION);
    PreviewContent content;
    content.before = stripes(400, 300, 40);
    content.after = stripes(400, 300, 160);
    content.before_caption = "Original: 4000 \u00d7 3000 px, 4.1 MB";
    content.after_caption = "Output: 400 \u00d7 300 px, 38 KB (99 % smaller), JPEG quality 60";
    tk.show_preview(content);
    QWidget* window = tk.preview_widget();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(tk.preview_open());
    Taken taken;
    const QImage shot = window->grab().toImage();
    shot.save(QString::fromStdString(path));
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->text().startsWith("Output"))
            taken.caption_contrast =
                text_contrast(shot, label->geometry().adjusted(0, 0, 0, 0).intersected(shot.rect()));
    QWidget* view = window->findChild<QWidget*>("comparison");
    EXPECT_NE(view, nullptr);
    const QPoint centre = view->mapTo(window, view->rect().center());
    taken.divider = centre.x();
    for (int x = 0; x < shot.width(); ++x) {
        const QRgb pixel = shot.pixel(x, centre.y() + 20);
        if (pixel == qRgb(40, 60, 90))
            (taken.before_from < 0 ? taken.before_from : taken.before_to) = x;
        if (pixel == qRgb(160, 60, 90))
            (taken.after_from < 0 ? taken.after_from : taken.after_to) = x;
    }
    for (QComboBox* box : window->findChildren<QComboBox*>())
        if (box->itemText(0) == "Split")
            box->setCurrentIndex(1);
    window->grab().toImage().save(QString::fromStdString(path).replace(".png", "-side-by-side.png"));
    QTest::mouseClick(window->findChildren<QPushButton*>().front(), Qt::LeftButton);
    taken.choose_event = tk.next_event().type == EventType::PreviewChoose;
    window->close();
    EXPECT_FALSE(tk.preview_open());
    return taken;
}

TEST(QtPreviewWindow, ShowsBothPicturesSplitOrSideBySideReadablyInALightAndADarkTheme)
{
    const std::string folder = PICTAVO_BINARY_DIR;
    const Taken light = take_picture(folder + "/pictavo-preview-light.png");
    EXPECT_GE(light.caption_contrast, 4.5);
    // Before on the left of the dividing line, after on its right, both over 150 pixels.
    EXPECT_GE(light.before_from, 0);
    EXPECT_LT(light.before_to, light.divider);
    EXPECT_GT(light.after_from, light.divider);
    EXPECT_GT(light.after_to - light.before_from, 300);
    EXPECT_TRUE(light.choose_event);

    const QPalette saved = QApplication::palette();
    use_dark_fusion_theme();
    const Taken dark = take_picture(folder + "/pictavo-preview-dark.png");
    QApplication::setPalette(saved);
    EXPECT_GE(dark.caption_contrast, 4.5);
}

} // namespace
} // namespace pictavo
