// SPDX-License-Identifier: GPL-3.0-or-later
// The real window as a desktop user meets it: drops, long paths, the keyboard, the session it
// remembers, and readable captions under a dark desktop theme.
#include "window/main_window.h"
#include "sys/files.h"
#include "test_folder.h"
#include "toolkit/qt/qt_toolkit.h"
#include "readable_text.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QStyleFactory>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <unistd.h>

namespace pictavo {
namespace {

using C = WindowControl;

// Sets an environment variable for the life of the object (unset: null).
class EnvironmentOverride {
public:
    EnvironmentOverride(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            saved_ = old;
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvironmentOverride() { saved_.empty() ? ::unsetenv(name_) : ::setenv(name_, saved_.c_str(), 1); }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const char* name_;
    std::string saved_;
};

// The real window with the program's own services and start-up (working folder, configuration
// folder from HOME, exiftool from PATH), except that opening things is only recorded.
struct OpenWindow {
    QtToolkit tk;
    AppState state;
    std::vector<std::string> opened;
    MainWindow window;

    OpenWindow() : window(tk, state, services()) {}
    WindowServices services()
    {
        WindowServices services = program_window_services("file:///manual.html", "file:///manual.html#support");
        services.open_with_shell = [this](const std::string& target) {
            opened.push_back(target);
            return std::string();
        };
        return services;
    }
    bool start()
    {
        if (!window.start())
            return false;
        tk.window_widget()->activateWindow();
        return QTest::qWaitForWindowActive(tk.window_widget());
    }
    QWidget* widget(C control) const { return tk.control_widget(window.id(control)); }
    void loop_for(int milliseconds)
    {
        QDeadlineTimer deadline(milliseconds);
        while (!deadline.hasExpired() && !window.closed()) {
            tk.pause(10);
            window.handle(tk.next_event());
        }
    }
};

struct DragResult {
    bool accepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// Drags a text/uri-list over the window to the middle of a control and drops it there.
DragResult drag_and_drop(OpenWindow& open, C onto, const std::string& uri_list,
                         Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
{
    QMimeData data;
    data.setData("text/uri-list", QByteArray::fromStdString(uri_list));
    const QPoint at = open.widget(onto)->geometry().center();
    QWidget* window = open.tk.window_widget();
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &move);
    if (!move.isAccepted())
        return {};
    QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
    return {drop.isAccepted(), drop.dropAction()};
}

TEST(QtDesktopWindow, DropsLongPathsKeyboardAndTheRememberedSessionWithAnEmptyWorkingFolder)
{
    TestFolder work, home, files;
    const std::string long_name(70, 'n');
    const std::string deep = "in/" + long_name + "/" + long_name;
    files.write(deep + "/a.jpg", "x");
    files.write("in/not-a-folder.txt", "x");
    files.make_folder("out");
    const std::string deep_folder = files.path(deep) + "/";
    const EnvironmentOverride home_variable("HOME", home.root().c_str());
    const EnvironmentOverride config_variable("XDG_CONFIG_HOME", nullptr);
    const std::string saved_folder = current_folder();
    ASSERT_EQ(::chdir(work.root().c_str()), 0);

    auto open = std::make_unique<OpenWindow>();
    ASSERT_TRUE(open->start());
    const auto uri = [&files](const std::string& relative) { return "file://" + files.path(relative); };

    // Anything but one local folder, a drop outside the folder frames, and a drag that could
    // only move the folder away are refused.
    EXPECT_FALSE(drag_and_drop(*open, C::inputFrame, uri("in/not-a-folder.txt")).accepted);
    EXPECT_FALSE(drag_and_drop(*open, C::inputFrame, uri("in") + "\r\n" + uri("out") + "\r\n").accepted);
    EXPECT_FALSE(drag_and_drop(*open, C::optionsFrame, uri(deep)).accepted);
    EXPECT_FALSE(drag_and_drop(*open, C::normalSizeField, uri(deep)).accepted);
    EXPECT_FALSE(drag_and_drop(*open, C::inputFrame, uri(deep), Qt::MoveAction).accepted);
    open->tk.set_busy_pointer(true); // as during a run
    EXPECT_FALSE(drag_and_drop(*open, C::inputFrame, uri(deep)).accepted);
    open->tk.set_busy_pointer(false);
    open->loop_for(30);
    EXPECT_EQ(open->state.job.input_folder, "");
    EXPECT_EQ(static_cast<QLineEdit*>(open->widget(C::normalSizeField))->text(), "1000");

    const DragResult taken = drag_and_drop(*open, C::inputPathBox, uri(deep) + "\r\n");
    EXPECT_TRUE(taken.accepted);
    EXPECT_EQ(taken.action, Qt::CopyAction);
    EXPECT_TRUE(drag_and_drop(*open, C::outputSelectButton, uri("out"), Qt::LinkAction).accepted);
    open->loop_for(50);
    EXPECT_EQ(open->state.job.input_folder, deep_folder);
    EXPECT_EQ(open->state.job.output_folder, files.path("out/"));
    EXPECT_EQ(static_cast<QLabel*>(open->widget(C::statusLine))->text(), "Found 1 images in 1 folders");

    // The long path is shown with its middle left out and is whole in its tool tip.
    auto* input_box = static_cast<QLabel*>(open->widget(C::inputPathBox));
    const QString full = QString::fromStdString(deep_folder);
    const QString shown = input_box->text();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(full.left(8)) && shown.endsWith(full.right(8))) << shown.toStdString();
    EXPECT_LE(input_box->fontMetrics().horizontalAdvance(shown), input_box->contentsRect().width());
    EXPECT_EQ(input_box->toolTip(), full);
    EXPECT_EQ(open->tk.text(open->window.id(C::inputPathBox)), deep_folder);
    auto* output_box = static_cast<QLabel*>(open->widget(C::outputPathBox));
    EXPECT_EQ(output_box->text().toStdString(), files.path("out/"));
    EXPECT_EQ(output_box->toolTip(), "");

    // Framed on all four sides; a label beside a taller field is centred on it.
    const QImage frame = output_box->grab().toImage();
    const QColor border = output_box->palette().color(QPalette::Dark);
    for (const QPoint edge : {QPoint(frame.width() / 2, 0), QPoint(frame.width() / 2, frame.height() - 1),
                              QPoint(0, frame.height() / 2), QPoint(frame.width() - 1, frame.height() / 2)})
        EXPECT_EQ(frame.pixelColor(edge), border) << edge.x() << "," << edge.y();
    auto* key_label = static_cast<QLabel*>(open->widget(C::apiKeyLabel));
    const double label_middle = key_label->y() + key_label->contentsRect().top() + key_label->contentsRect().height() / 2.0;
    EXPECT_NEAR(label_middle, open->widget(C::apiKeyField)->geometry().top() + 12.5, 0.5);

    // Tab walks the enabled controls in layout order, from the first to PROCESS and round again;
    // passing through the empty key field stores nothing.
    std::vector<QWidget*> expected;
    for (const C control : TAB_ORDER)
        if (open->widget(control)->isEnabled())
            expected.push_back(open->widget(control));
    expected.push_back(expected.front());
    ASSERT_EQ(QApplication::focusWidget(), expected.front());
    for (std::size_t i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        open->loop_for(10);
        EXPECT_EQ(QApplication::focusWidget(), expected[i]) << i;
    }

    // Enter presses the focused button; Alt with a marked letter clicks its control.
    open->widget(C::inputOpenButton)->setFocus();
    QTest::keyClick(open->widget(C::inputOpenButton), Qt::Key_Return);
    open->loop_for(30);
    EXPECT_EQ(open->opened, std::vector<std::string>{deep_folder});
    QTest::keyClick(open->tk.window_widget(), Qt::Key_D, Qt::AltModifier);
    open->loop_for(300); // the click is animated
    EXPECT_EQ(open->state.job.date_copy, 1);
    EXPECT_TRUE(static_cast<QCheckBox*>(open->widget(C::datesBox))->isChecked());

    // Ctrl+Q closes; the session is kept in the configuration folder, never in the working one.
    QTest::keyClick(open->tk.window_widget(), Qt::Key_Q, Qt::ControlModifier);
    open->loop_for(30);
    ASSERT_TRUE(open->window.closed());
    open.reset();
    EXPECT_EQ(work.entries(), std::vector<std::string>{});
    EXPECT_EQ(home.entries(".config/pictavo"), std::vector<std::string>{"window.conf"});

    auto again = std::make_unique<OpenWindow>();
    ASSERT_TRUE(again->start());
    EXPECT_EQ(again->tk.text(again->window.id(C::inputPathBox)), deep_folder);
    EXPECT_EQ(static_cast<QLabel*>(again->widget(C::statusLine))->text(), "Found 1 images in 1 folders");
    EXPECT_EQ(again->tk.text(again->window.id(C::outputPathBox)), files.path("out/"));
    EXPECT_TRUE(static_cast<QCheckBox*>(again->widget(C::datesBox))->isChecked());
    again->widget(C::apiKeyField)->setFocus(); // a field does not keep Escape to itself
    QTest::keyClick(again->widget(C::apiKeyField), Qt::Key_Escape);
    again->loop_for(30);
    EXPECT_TRUE(again->window.closed());
    again.reset();
    EXPECT_EQ(work.entries(), std::vector<std::string>{});
    ASSERT_EQ(::chdir(saved_folder.c_str()), 0);
}

// The part of a control where only its text is drawn (not its border, box or bevel).
QRect text_area(const ControlLayout& layout, const QWidget& widget)
{
    const QRect all = widget.rect();
    switch (layout.spec.kind) {
    case ControlKind::Frame:
        return QRect(8, 0, std::min(all.width() - 16, widget.fontMetrics().horizontalAdvance(widget.property("title").toString()) + 4), 14);
    case ControlKind::CheckBox:
        return all.adjusted(20, 2, 0, -2);
    case ControlKind::Button:
    case ControlKind::Field:
    case ControlKind::Text:
        return all.adjusted(4, 4, -4, -4);
    default:
        return all;
    }
}

// Under a dark desktop palette (or, with PICTAVO_DESKTOP_THEME set, the desktop's own theme),
// every caption, label, field and path of the window keeps its contrast.
TEST(QtDesktopWindow, EveryTextStaysReadableUnderADarkDesktopTheme)
{
    const QPalette saved_palette = QApplication::palette();
    const bool own_theme = qEnvironmentVariableIsEmpty("PICTAVO_DESKTOP_THEME");
    if (own_theme)
        use_dark_fusion_theme();
    TestFolder work;
    QtToolkit tk;
    AppState state;
    WindowServices services = program_window_services("", "");
    services.start_up_state = [&work](AppState& s) { s.start_up({work.root(), ""}); };
    MainWindow window(tk, state, services);
    ASSERT_TRUE(window.start());
    tk.set_text(window.id(C::inputPathBox), "/home/someone/Pictures/holiday/");
    tk.set_text(window.id(C::outputPathBox), "/home/someone/Pictures/small/");
    const QImage shot = tk.window_widget()->grab().toImage();
    if (const char* folder = std::getenv("PICTAVO_SCREENSHOT_DIR"))
        shot.save(QString(folder) + "/window-" + qEnvironmentVariable("PICTAVO_DESKTOP_THEME", "fusion-dark") + ".png");

    for (const ControlLayout& layout : window_layout()) {
        QWidget* control = tk.control_widget(window.id(layout.name));
        if (layout.spec.kind == ControlKind::ProgressBar || tk.text(window.id(layout.name)).empty())
            continue;
        const QRect area = text_area(layout, *control).translated(control->pos());
        const double needed = control->isEnabled() ? 4.5 : 3.0;
        EXPECT_GE(text_contrast(shot, area), needed) << layout.spec.caption << " " << static_cast<int>(layout.name);
    }
    if (own_theme)
        QApplication::setPalette(saved_palette);
}

} // namespace
} // namespace pictavo
