// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/qt/qt_toolkit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace pictavo {
namespace {

ControlSpec spec_of(ControlKind kind, int x, int y, int w, int h, const std::string& caption)
{
    ControlSpec spec;
    spec.kind = kind;
    spec.x = x;
    spec.y = y;
    spec.width = w;
    spec.height = h;
    spec.caption = caption;
    return spec;
}

// Presses the default button of the next modal box as soon as it is up.
void accept_next_box(bool answer_yes = false)
{
    QTimer::singleShot(0, [answer_yes] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            accept_next_box(answer_yes);
            return;
        }
        if (answer_yes)
            box->button(QMessageBox::Yes)->click();
        else
            box->defaultButton() != nullptr ? box->defaultButton()->click() : box->accept();
    });
}

Event wait_for_event(QtToolkit& tk)
{
    for (int i = 0; i < 50; ++i) {
        const Event event = tk.next_event();
        if (event.type != EventType::None)
            return event;
        tk.pause(10);
    }
    return {};
}

TEST(QtToolkit, ControlsKeepGeometryTextStateAndReportClicksAndFocusLoss)
{
    QtToolkit tk;
    ASSERT_TRUE(tk.open_window(300, 200, "Toolkit test"));
    EXPECT_EQ(tk.window_widget()->windowTitle(), "Toolkit test");
    EXPECT_EQ(tk.window_widget()->size(), QSize(300, 200));
    const ControlId field = tk.create_control(spec_of(ControlKind::Field, 10, 10, 60, 20, "1000"));
    const ControlId box = tk.create_control(spec_of(ControlKind::CheckBox, 10, 40, 120, 25, "Tick"));
    const ControlId bar = tk.create_control(spec_of(ControlKind::ProgressBar, 10, 170, 200, 20, ""));
    EXPECT_EQ(tk.control_widget(box)->geometry(), QRect(10, 40, 120, 25));
    EXPECT_EQ(tk.text(field), "1000");
    tk.set_text(box, "Ticked");
    EXPECT_EQ(tk.text(box), "Ticked");

    tk.set_range(bar, 1, 12);
    tk.set_state(bar, 5);
    EXPECT_EQ(static_cast<QProgressBar*>(tk.control_widget(bar))->value(), 5);

    tk.window_widget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(tk.window_widget()));
    tk.control_widget(field)->setFocus();
    QCoreApplication::processEvents();
    QTest::mouseClick(tk.control_widget(box), Qt::LeftButton, {}, QPoint(8, 12)); // on the square
    const Event lost = wait_for_event(tk);
    EXPECT_EQ(lost.type, EventType::LostFocus);
    EXPECT_EQ(lost.control, field);
    const Event click = wait_for_event(tk);
    EXPECT_EQ(click.type, EventType::Click);
    EXPECT_EQ(click.control, box);
    EXPECT_TRUE(static_cast<QCheckBox*>(tk.control_widget(box))->isChecked());

    // Busy: input to the window is swallowed.
    tk.set_busy_pointer(true);
    QTest::mouseClick(tk.control_widget(box), Qt::LeftButton, {}, QPoint(8, 12)); // on the square
    EXPECT_EQ(tk.next_event().type, EventType::None);
    EXPECT_TRUE(static_cast<QCheckBox*>(tk.control_widget(box))->isChecked());
    tk.set_busy_pointer(false);

    tk.set_enabled(box, false);
    QTest::mouseClick(tk.control_widget(box), Qt::LeftButton, {}, QPoint(8, 12)); // on the square
    EXPECT_EQ(tk.next_event().type, EventType::None);

    // A drop-down: set quietly, chosen by the user with an event.
    ControlSpec list_spec = spec_of(ControlKind::DropDown, 150, 10, 90, 24, "");
    list_spec.choices = {"One", "Two", "Three"};
    const ControlId list = tk.create_control(list_spec);
    EXPECT_EQ(tk.control_widget(list)->geometry(), QRect(150, 10, 90, 24));
    EXPECT_EQ(tk.text(list), "One");
    tk.set_state(list, 2);
    tk.set_state(list, 7); // no such choice
    EXPECT_EQ(tk.text(list), "Three");
    EXPECT_EQ(tk.next_event().type, EventType::None);
    tk.control_widget(list)->setFocus();
    while (tk.next_event().type != EventType::None) { // the field's focus loss
    }
    QTest::keyClick(tk.control_widget(list), Qt::Key_Up);
    const Event chosen = wait_for_event(tk);
    EXPECT_EQ(chosen.type, EventType::Click);
    EXPECT_EQ(chosen.control, list);
    EXPECT_EQ(tk.text(list), "Two");
}

TEST(QtToolkit, LinksClickAndCloseRequestsBecomeEventsAndBoxesAnswer)
{
    QtToolkit tk;
    ASSERT_TRUE(tk.open_window(300, 200, "Toolkit test"));
    ControlSpec link_spec = spec_of(ControlKind::Link, 10, 10, 100, 20, "Link");
    link_spec.hover_colour = {0, 0, 0};
    const ControlId link = tk.create_control(link_spec);
    EXPECT_TRUE(tk.control_widget(link)->font().underline());
    EXPECT_EQ(tk.control_widget(link)->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(tk.control_widget(link), Qt::LeftButton);
    const Event click = wait_for_event(tk);
    EXPECT_EQ(click.type, EventType::Click);
    EXPECT_EQ(click.control, link);

    tk.window_widget()->close();
    EXPECT_EQ(wait_for_event(tk).type, EventType::Close);
    EXPECT_TRUE(tk.window_widget()->isVisible()); // the program decides when it goes

    // A box shown while busy still takes the user's click.
    tk.set_busy_pointer(true);
    QTimer::singleShot(50, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr)
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    QTimer::singleShot(2000, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->done(-1); // the click was swallowed
    });
    QMessageBox busy_box(QMessageBox::Critical, "Busy", "Click me", QMessageBox::Ok, tk.window_widget());
    EXPECT_EQ(busy_box.exec(), QMessageBox::Ok);
    tk.set_busy_pointer(false);

    accept_next_box();
    tk.message_box("Title", "Text", BoxIcon::Information);
    accept_next_box();
    EXPECT_FALSE(tk.ask_yes_no("Question", "Default is No?"));
    accept_next_box(true);
    EXPECT_TRUE(tk.ask_yes_no("Question", "Yes?"));
}

struct ShownBox {
    QSize size;
    QSize label_size;
    QSize label_needs; // the narrowest the label's text can be, and its height at the label's width
    int line_height = 0;
};

// Shows a message box and measures it once it is on the screen.
ShownBox show_box(QtToolkit& tk, const std::string& title, const std::string& text)
{
    ShownBox shown;
    QTimer::singleShot(50, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !QTest::qWaitForWindowExposed(box))
            return;
        shown.size = box->size();
        if (const auto* label = box->findChild<QLabel*>("qt_msgbox_label")) {
            shown.label_size = label->size();
            shown.label_needs = {label->minimumSizeHint().width(), label->heightForWidth(label->width())};
            shown.line_height = label->fontMetrics().lineSpacing();
        }
        box->button(QMessageBox::Ok)->click();
    });
    tk.message_box(title, text, BoxIcon::Information);
    return shown;
}

TEST(QtToolkit, BoxesAreAsWideAsTheirTitleButNeverWiderThanTheScreen)
{
    QtToolkit tk;
    ASSERT_TRUE(tk.open_window(300, 200, "Toolkit test"));
    const std::string title = "A title much longer than the one line of text below it";
    const ShownBox short_text = show_box(tk, title, "3 Images done.");
    QFont title_font = QApplication::font();
    title_font.setBold(true);
    EXPECT_GE(short_text.size.width(), QFontMetrics(title_font).horizontalAdvance(QString::fromStdString(title)) + 80);

    // Twelve paths without blanks, each far wider than any screen: the lines wrap, and the
    // whole text is inside the label however often the box is laid out.
    std::string failures = "12 Images done.\n12 images could not be read or written:";
    for (int i = 0; i < 12; ++i)
        failures += "\n/photos/" + std::string(400, static_cast<char>('a' + i)) + ".jpg";
    const ShownBox long_text = show_box(tk, "PTV Information", failures);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(long_text.size.width(), screen.width());
    EXPECT_LE(long_text.label_needs.width(), long_text.label_size.width());
    EXPECT_LE(long_text.label_needs.height(), long_text.label_size.height());
    EXPECT_GT(long_text.label_size.height(), 2 * 14 * long_text.line_height);
}

TEST(QtToolkit, MnemonicsMarkALetterWithoutChangingTheCaption)
{
    QtToolkit tk;
    ASSERT_TRUE(tk.open_window(300, 200, "Toolkit test"));
    ControlSpec spec = spec_of(ControlKind::Button, 10, 10, 100, 25, "Save & Go");
    spec.mnemonic = 'g';
    const ControlId button = tk.create_control(spec);
    EXPECT_EQ(static_cast<QPushButton*>(tk.control_widget(button))->text(), "Save && &Go");
    EXPECT_EQ(tk.text(button), "Save & Go");
    tk.set_text(button, "Busy....");  // no 'g': no mnemonic
    EXPECT_EQ(tk.text(button), "Busy....");
    tk.set_text(button, "Go again");
    EXPECT_EQ(static_cast<QPushButton*>(tk.control_widget(button))->text(), "&Go again");
}

} // namespace
} // namespace pictavo
