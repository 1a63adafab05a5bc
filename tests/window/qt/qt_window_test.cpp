// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/main_window.h"
#include "fake_metadata_tool.h"
#include "final_message.h"
#include "test_data.h"
#include "test_folder.h"
#include "toolkit/qt/qt_toolkit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

namespace pictavo {
namespace {

using C = WindowControl;

// Answers every modal box that comes up: message boxes with OK (remembering title and text),
// folder pickers with the next prepared folder.
class ModalAnswerer {
public:
    ModalAnswerer()
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start();
    }
    void pick(const std::string& folder) { folders_.push_back(folder); }

    std::vector<std::pair<std::string, std::string>> messages;

private:
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.emplace_back(box->windowTitle().toStdString(), box->text().toStdString());
            box->button(QMessageBox::Ok) != nullptr ? box->button(QMessageBox::Ok)->click() : box->reject();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (folders_.empty()) {
                dialog->reject();
                return;
            }
            dialog->setDirectory(QString::fromStdString(folders_.front()));
            folders_.erase(folders_.begin());
            QMetaObject::invokeMethod(dialog, "accept");
        }
    }

    QTimer timer_;
    std::vector<std::string> folders_;
};

class QtWindowTest : public testing::Test {
protected:
    TestFolder work;
    TestFolder files;
    QtToolkit tk;
    AppState state;
    std::vector<std::string> opened;
    std::unique_ptr<MainWindow> window;

    void SetUp() override
    {
        WindowServices services = program_window_services("file:///manual.html", "file:///manual.html#support");
        services.start_up_state = [this](AppState& s) { s.start_up({work.root(), ""}); };
        services.open_with_shell = [this](const std::string& target) {
            opened.push_back(target);
            return std::string();
        };
        window = std::make_unique<MainWindow>(tk, state, services);
        ASSERT_TRUE(window->start());
        tk.window_widget()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(tk.window_widget()));
    }

    QWidget* widget(C control) const { return tk.control_widget(window->id(control)); }

    // A run of count photos in in/ to out/, chosen as if picked, whose metadata step takes a
    // while for each image, so that the run lasts long enough to be watched.
    void prepare_slow_run(int count)
    {
        files.make_folder("in");
        files.make_folder("out");
        for (int i = 0; i < count; ++i)
            std::filesystem::copy_file(test::testdata("jpeg/testorig.jpg"),
                                       files.path("in/" + std::to_string(i) + ".jpg"));
        ASSERT_TRUE(test::write_fake_metadata_tool(files.path("exiftool"), "0.15"));
        state.job.input_folder = files.path("in/");
        state.job.output_folder = files.path("out/");
        state.run.image_count = count;
        state.job.exiftool_path = files.path("exiftool");
        state.job.metadata_copy = 1;
    }

    // The event loop for a while, as the program runs it.
    void loop_for(int milliseconds)
    {
        QDeadlineTimer deadline(milliseconds);
        while (!deadline.hasExpired()) {
            tk.pause(10);
            window->handle(tk.next_event());
        }
    }
};

TEST_F(QtWindowTest, BuildsEveryControlAtItsPlaceWithItsCaptionAndWritesAScreenshot)
{
    QWidget* main = tk.window_widget();
    EXPECT_EQ(main->windowTitle(), "Pictavo - PTV - v1.3");
    EXPECT_EQ(main->size(), QSize(910, 495));
    EXPECT_EQ(main->minimumSize(), main->maximumSize());
    EXPECT_FALSE(main->windowIcon().isNull());
    EXPECT_EQ(main->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
    EXPECT_EQ(main->palette().color(QPalette::Window), QColor(240, 240, 240));

    for (const ControlLayout& layout : window_layout()) {
        const ControlSpec& spec = layout.spec;
        QWidget* control = widget(layout.name);
        ASSERT_NE(control, nullptr);
        const auto index = static_cast<int>(layout.name);
        EXPECT_EQ(control->geometry(), QRect(spec.x, spec.y, spec.width, spec.height)) << index;
        if (spec.kind == ControlKind::DropDown) {
            EXPECT_EQ(tk.text(window->id(layout.name)), spec.choices.front()) << index;
        } else if (spec.kind != ControlKind::ProgressBar) {
            EXPECT_EQ(tk.text(window->id(layout.name)), spec.caption) << index;
        }
        bool right_kind = false;
        switch (spec.kind) {
        case ControlKind::Button: right_kind = qobject_cast<QPushButton*>(control) != nullptr; break;
        case ControlKind::Frame: right_kind = qobject_cast<QGroupBox*>(control) != nullptr; break;
        case ControlKind::CheckBox: right_kind = qobject_cast<QCheckBox*>(control) != nullptr; break;
        case ControlKind::Field: right_kind = qobject_cast<QLineEdit*>(control) != nullptr; break;
        case ControlKind::ProgressBar: right_kind = qobject_cast<QProgressBar*>(control) != nullptr; break;
        case ControlKind::DropDown: right_kind = qobject_cast<QComboBox*>(control) != nullptr; break;
        case ControlKind::Text:
        case ControlKind::Link: right_kind = qobject_cast<QLabel*>(control) != nullptr; break;
        }
        EXPECT_TRUE(right_kind) << index;
        EXPECT_EQ(control->font().bold(), layout.title_font) << index;
        EXPECT_EQ(control->isVisible(), spec.kind != ControlKind::ProgressBar) << index;
    }
    const QFont title = widget(C::processButton)->font();
    EXPECT_EQ(title.family(), "Arial");
    EXPECT_EQ(title.pointSize(), 12);
    EXPECT_TRUE(widget(C::manualLink)->font().underline());
    EXPECT_EQ(widget(C::donateLink)->toolTip(), "I am saving for a modern PC,  Help...");
    EXPECT_EQ(widget(C::fillWidthField)->palette().color(QPalette::Base), QColor(255, 255, 255));
    EXPECT_TRUE(static_cast<QCheckBox*>(widget(C::normalResizeBox))->isChecked());
    EXPECT_FALSE(widget(C::uploadOriginalsBox)->isEnabled());

    const std::string shot = std::string(PICTAVO_BINARY_DIR) + "/pictavo-window.png";
    std::filesystem::remove(shot);
    ASSERT_TRUE(main->grab().save(QString::fromStdString(shot)));
    EXPECT_GT(std::filesystem::file_size(shot), 1000u);
}

TEST_F(QtWindowTest, LeavingAFieldRunsItsCheck)
{
    auto* field = static_cast<QLineEdit*>(widget(C::normalSizeField));
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "abc");
    loop_for(50);
    EXPECT_EQ(field->text(), "abc"); // nothing happens while the field has the focus
    QTest::keyClick(field, Qt::Key_Tab);
    loop_for(50);
    EXPECT_EQ(field->text(), "1000");

    auto* quality = static_cast<QLineEdit*>(widget(C::qualityField));
    quality->setFocus();
    quality->selectAll();
    QTest::keyClicks(quality, "9");
    QTest::mouseClick(widget(C::datesBox), Qt::LeftButton, {}, QPoint(8, 10)); // focus moves with the click
    loop_for(50);
    EXPECT_EQ(state.job.jpeg_quality, 9);
    EXPECT_EQ(state.job.date_copy, 1);
}

TEST_F(QtWindowTest, PickersLinksAndCloseGoThroughTheRealWindow)
{
    files.write("in/a.jpg", "x");
    files.make_folder("out");
    ModalAnswerer answerer;
    answerer.pick(files.path("in"));
    QTest::mouseClick(widget(C::inputSelectButton), Qt::LeftButton);
    loop_for(300);
    EXPECT_EQ(state.job.input_folder, files.path("in/"));
    EXPECT_EQ(static_cast<QLabel*>(widget(C::inputPathBox))->text().toStdString(), files.path("in/"));
    EXPECT_TRUE(widget(C::inputOpenButton)->isEnabled());

    QTest::mouseClick(widget(C::outputSelectButton), Qt::LeftButton); // no answer prepared: cancelled
    loop_for(300);
    EXPECT_EQ(state.job.output_folder, "");

    QTest::mouseClick(widget(C::manualLink), Qt::LeftButton);
    loop_for(30);
    EXPECT_EQ(opened, std::vector<std::string>{"file:///manual.html"});

    tk.window_widget()->close();
    loop_for(30);
    EXPECT_TRUE(window->closed());
}

TEST_F(QtWindowTest, ARunThroughTheRealWindowCompletesAndClosesItsBoxes)
{
    for (const char* name : {"in/a.jpg", "in/b.jpg", "in/sub/c.jpg"}) {
        files.make_folder("in/sub");
        std::filesystem::copy_file(test::testdata("jpeg/testorig.jpg"), files.path(name));
    }
    files.make_folder("out");
    ModalAnswerer answerer;
    answerer.pick(files.path("in"));
    answerer.pick(files.path("out"));
    QTest::mouseClick(widget(C::inputSelectButton), Qt::LeftButton);
    loop_for(300);
    QTest::mouseClick(widget(C::outputSelectButton), Qt::LeftButton);
    loop_for(300);
    ASSERT_EQ(state.job.output_folder, files.path("out/"));
    EXPECT_EQ(static_cast<QLabel*>(widget(C::statusLine))->text(), "Found 3 images in 2 folders");

    QTest::mouseClick(widget(C::processButton), Qt::LeftButton);
    loop_for(500);
    ASSERT_FALSE(answerer.messages.empty());
    EXPECT_EQ(answerer.messages.back().first, "PTV Information");
    EXPECT_EQ(test::without_savings_line(answerer.messages.back().second), "3 Images done.");
    EXPECT_EQ(tk.text(window->id(C::processButton)), "PROCESS");
    EXPECT_TRUE(widget(C::processButton)->isEnabled());
    EXPECT_FALSE(widget(C::progressBar)->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(files.exists("out/a.jpg") && files.exists("out/sub/c.jpg"));
}

// Asks a label of the window to repaint every few milliseconds and notes, for each paint it gets
// while the PROCESS button reads "Stop", how many images the progress bar showed as done. A
// window whose thread is held by the run paints only before and after it.
class BusyPaintWatcher : public QObject {
public:
    BusyPaintWatcher(QWidget* label, QPushButton* process, QProgressBar* bar)
        : label_(label), process_(process), bar_(bar)
    {
        QApplication::instance()->installEventFilter(this);
        QObject::connect(&repaint_, &QTimer::timeout, [this] { label_->update(); });
        repaint_.start(15);
    }
    ~BusyPaintWatcher() override { QApplication::instance()->removeEventFilter(this); }

    std::set<int> painted_at; // progress positions at which the busy window was painted

private:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool busy = QString(process_->text()).remove(QLatin1Char('&')) == "Stop";
        if (event->type() == QEvent::Paint && watched == label_ && busy)
            painted_at.insert(bar_->value());
        return false;
    }

    QWidget* label_;
    QPushButton* process_;
    QProgressBar* bar_;
    QTimer repaint_;
};

TEST_F(QtWindowTest, PaintsAndShowsProgressWhileARunGoesOn)
{
    prepare_slow_run(8);

    auto* process = static_cast<QPushButton*>(widget(C::processButton));
    auto* bar = static_cast<QProgressBar*>(widget(C::progressBar));
    BusyPaintWatcher watcher(widget(C::statusLine), process, bar);
    ModalAnswerer answerer;
    QTest::mouseClick(process, Qt::LeftButton);
    loop_for(300);
    ASSERT_FALSE(answerer.messages.empty());
    EXPECT_EQ(test::without_savings_line(answerer.messages.back().second), "8 Images done.");
    const auto between = std::count_if(watcher.painted_at.begin(), watcher.painted_at.end(),
                                       [](int done) { return done >= 1 && done <= 7; });
    EXPECT_GE(between, 2) << "the window was not painted while the images got done";
    EXPECT_EQ(bar->maximum(), 8);
    EXPECT_EQ(tk.text(window->id(C::processButton)), "PROCESS");
}

TEST_F(QtWindowTest, StopFinishesTheImagesInProgressAndStartsNoOther)
{
    prepare_slow_run(8);

    auto* process = static_cast<QPushButton*>(widget(C::processButton));
    auto* bar = static_cast<QProgressBar*>(widget(C::progressBar));
    auto* keep = static_cast<QCheckBox*>(widget(C::keepOriginalBox));
    bool clicked = false;
    bool stopping_seen = false;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (!clicked && bar->isVisible() && bar->value() >= 1) {
            clicked = true;
            // A mnemonic of another control is inert during the run; a real click on Stop is not.
            QTest::keyClick(tk.window_widget(), Qt::Key_K, Qt::AltModifier);
            QTest::mouseClick(process, Qt::LeftButton);
        } else if (clicked && bar->isVisible()) {
            stopping_seen = stopping_seen || (tk.text(window->id(C::processButton)) == "Stopping...." && !process->isEnabled());
        }
    });
    stopper.start(5);
    ModalAnswerer answerer;
    QTest::mouseClick(process, Qt::LeftButton);
    loop_for(300);
    stopper.stop();

    ASSERT_TRUE(clicked);
    EXPECT_TRUE(stopping_seen);
    ASSERT_FALSE(answerer.messages.empty());
    const std::string text = answerer.messages.back().second;
    ASSERT_EQ(text.rfind("Stopped: ", 0), 0u) << text;
    const std::size_t done = std::stoul(text.substr(9));
    EXPECT_EQ(test::without_savings_line(text), "Stopped: " + std::to_string(done) + " of 8 images done.");
    EXPECT_GE(done, 1u);
    EXPECT_LT(done, 8u);
    std::vector<std::string> outputs = files.entries("out");
    EXPECT_EQ(outputs.size(), done);
    EXPECT_TRUE(std::none_of(outputs.begin(), outputs.end(), [](const std::string& name) { return name[0] == '.'; }));
    EXPECT_FALSE(keep->isChecked());
    EXPECT_EQ(tk.text(window->id(C::processButton)), "PROCESS");
    EXPECT_TRUE(process->isEnabled());
}

} // namespace
} // namespace pictavo
