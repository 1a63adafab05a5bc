// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/qt/qt_toolkit.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <optional>
#include <vector>

namespace pictavo {
namespace {

QColor to_qcolor(Rgb colour) { return QColor(colour.red, colour.green, colour.blue); }

QString to_qstring(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string to_utf8(const QString& text) { return text.toUtf8().toStdString(); }

int clamp_to_int(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

// The font of every control that is not given one. The layout's sizes are made for a small
// sans-serif face, 11 to 12 pixels high at 96 dots per inch; a desktop's own, often larger,
// default would cut captions such as "Online PTV Manual" short.
QFont message_font()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.5);
    return font;
}

struct ControlRecord {
    ControlKind kind = ControlKind::Text;
    QWidget* widget = nullptr; // owned by the window
    std::optional<Rgb> front;
    std::optional<Rgb> back;
    Rgb hover{};
};

// Close requests of the window go into the toolkit's queue; the window itself stays open until
// the toolkit is destroyed.
class MainWidget final : public QWidget {
public:
    explicit MainWidget(std::deque<Event>& events) : events_(events) {}

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        events_.push_back({EventType::Close, 0});
    }

private:
    std::deque<Event>& events_;
};

} // namespace

struct QtToolkit::Impl final : public QObject {
    std::unique_ptr<MainWidget> window;
    std::vector<ControlRecord> controls;
    std::vector<QFont> fonts;
    std::deque<Event> events;
    bool busy = false;

    ControlRecord* record(ControlId id)
    {
        if (id < 1 || static_cast<std::size_t>(id) > controls.size())
            return nullptr;
        return &controls[static_cast<std::size_t>(id) - 1];
    }

    ControlId id_of(const QObject* widget) const
    {
        for (std::size_t i = 0; i < controls.size(); ++i) {
            if (controls[i].widget == widget)
                return static_cast<ControlId>(i + 1);
        }
        return 0;
    }

    // Only the main window itself: boxes it owns are windows of their own and stay usable.
    bool inside_window(const QObject* object) const
    {
        const auto* widget = qobject_cast<const QWidget*>(object);
        return widget != nullptr && widget->window() == window.get();
    }

    // Fields report losing the focus, links report clicks, and while busy the window takes no
    // mouse or keyboard input, so nothing the user does during a run changes a control behind
    // the window logic's back.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
            if (busy && inside_window(watched))
                return true;
            break;
        default:
            break;
        }
        if (event->type() == QEvent::FocusOut) {
            const auto* focus = static_cast<QFocusEvent*>(event);
            const ControlId id = id_of(watched);
            if (id != 0 && record(id)->kind == ControlKind::Field &&
                focus->reason() != Qt::PopupFocusReason)
                events.push_back({EventType::LostFocus, id});
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const ControlId id = id_of(watched);
            if (id != 0 && record(id)->kind == ControlKind::Link && mouse->button() == Qt::LeftButton &&
                record(id)->widget->isEnabled() &&
                record(id)->widget->rect().contains(mouse->position().toPoint()))
                events.push_back({EventType::Click, id});
        }
        return false;
    }

    QWidget* make_widget(const ControlSpec& spec, ControlId id);
    void apply_link_style(ControlRecord& record);
    void apply_colours(ControlRecord& record);
    QWidget* dialog_owner() const
    {
        return window != nullptr && window->isVisible() ? window.get() : nullptr;
    }
};

QWidget* QtToolkit::Impl::make_widget(const ControlSpec& spec, ControlId id)
{
    QWidget* parent = window.get();
    const QString caption = to_qstring(spec.caption);
    switch (spec.kind) {
    case ControlKind::Button: {
        auto* button = new QPushButton(caption, parent);
        QObject::connect(button, &QPushButton::clicked, this,
                         [this, id] { events.push_back({EventType::Click, id}); });
        return button;
    }
    case ControlKind::Frame: {
        auto* frame = new QGroupBox(caption, parent);
        // A thin rectangle with the caption on its top edge, whatever the widget style.
        frame->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 0.6em; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
            " left: 7px; padding: 0 2px; }"));
        // A frame is passive and lies under the controls it groups.
        frame->setAttribute(Qt::WA_TransparentForMouseEvents);
        frame->lower();
        return frame;
    }
    case ControlKind::CheckBox: {
        auto* box = new QCheckBox(caption, parent);
        QObject::connect(box, &QCheckBox::clicked, this,
                         [this, id] { events.push_back({EventType::Click, id}); });
        return box;
    }
    case ControlKind::Field: {
        return new QLineEdit(caption, parent);
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        bar->setRange(clamp_to_int(spec.minimum), clamp_to_int(spec.maximum));
        return bar;
    }
    case ControlKind::Text:
    case ControlKind::Link: {
        auto* label = new QLabel(caption, parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (spec.bordered)
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (spec.kind == ControlKind::Link)
            label->setCursor(Qt::PointingHandCursor);
        return label;
    }
    }
    return nullptr;
}

void QtToolkit::Impl::apply_link_style(ControlRecord& record)
{
    const auto css = [](Rgb c) { return QStringLiteral("rgb(%1, %2, %3)").arg(c.red).arg(c.green).arg(c.blue); };
    const QString normal = record.front ? css(*record.front) : QStringLiteral("palette(window-text)");
    record.widget->setStyleSheet(QStringLiteral("QLabel { color: %1; } QLabel:hover { color: %2; }")
                                     .arg(normal, css(record.hover)));
}

void QtToolkit::Impl::apply_colours(ControlRecord& record)
{
    if (record.kind == ControlKind::Link) {
        apply_link_style(record);
        return;
    }
    QPalette palette = record.widget->palette();
    if (record.front) {
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(role, to_qcolor(*record.front));
    }
    if (record.back) {
        palette.setColor(QPalette::Base, to_qcolor(*record.back));
        palette.setColor(QPalette::Window, to_qcolor(*record.back));
        if (record.kind == ControlKind::Text)
            record.widget->setAutoFillBackground(true);
    }
    record.widget->setPalette(palette);
}

// The filter sits on the application, so it sees the fields' focus changes, the links' clicks
// and all input to the window.
QtToolkit::QtToolkit() : impl_(std::make_unique<Impl>())
{
    if (auto* app = QCoreApplication::instance())
        app->installEventFilter(impl_.get());
}

QtToolkit::~QtToolkit()
{
    if (impl_->busy)
        QApplication::restoreOverrideCursor();
    if (auto* app = QCoreApplication::instance())
        app->removeEventFilter(impl_.get());
}

bool QtToolkit::open_window(int width, int height, const std::string& caption)
{
    if (impl_->window != nullptr)
        return false;
    impl_->window = std::make_unique<MainWidget>(impl_->events);
    QWidget* window = impl_->window.get();
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->setWindowTitle(to_qstring(caption));
    window->setWindowIcon(QIcon(QStringLiteral(":/pictavo/pictavo.png")));
    window->setFont(message_font());
    window->setFixedSize(width, height);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - QPoint(width / 2, height / 2));
    }
    window->show();
    return true;
}

void QtToolkit::set_window_colour(Rgb colour)
{
    if (impl_->window == nullptr)
        return;
    QPalette palette = impl_->window->palette();
    palette.setColor(QPalette::Window, to_qcolor(colour));
    impl_->window->setPalette(palette);
    impl_->window->setAutoFillBackground(true);
}

void QtToolkit::set_busy_pointer(bool busy)
{
    if (busy == impl_->busy)
        return;
    impl_->busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

ControlId QtToolkit::create_control(const ControlSpec& spec)
{
    if (impl_->window == nullptr)
        return 0;
    const auto id = static_cast<ControlId>(impl_->controls.size() + 1);
    QWidget* widget = impl_->make_widget(spec, id);
    widget->setGeometry(spec.x, spec.y, spec.width, spec.height);
    ControlRecord record;
    record.kind = spec.kind;
    record.widget = widget;
    record.hover = spec.hover_colour;
    impl_->controls.push_back(record);
    if (spec.kind == ControlKind::Link) {
        QFont font = widget->font();
        font.setUnderline(spec.underlined);
        widget->setFont(font);
        impl_->apply_link_style(impl_->controls.back());
    }
    widget->show();
    return id;
}

FontId QtToolkit::load_font(const std::string& face, int points, bool bold)
{
    QFont font(to_qstring(face));
    font.setPointSize(points);
    font.setBold(bold);
    impl_->fonts.push_back(font);
    return static_cast<FontId>(impl_->fonts.size());
}

void QtToolkit::set_font(ControlId control, FontId font_id)
{
    ControlRecord* record = impl_->record(control);
    if (record == nullptr)
        return;
    QFont font = message_font();
    if (font_id >= 1 && static_cast<std::size_t>(font_id) <= impl_->fonts.size())
        font = impl_->fonts[static_cast<std::size_t>(font_id) - 1];
    if (record->kind == ControlKind::Link)
        font.setUnderline(record->widget->font().underline());
    record->widget->setFont(font);
}

void QtToolkit::set_colour(ControlId control, ColourRole role, Rgb colour)
{
    ControlRecord* record = impl_->record(control);
    if (record == nullptr)
        return;
    (role == ColourRole::Front ? record->front : record->back) = colour;
    impl_->apply_colours(*record);
}

void QtToolkit::set_enabled(ControlId control, bool enabled)
{
    if (ControlRecord* record = impl_->record(control))
        record->widget->setEnabled(enabled);
}

void QtToolkit::set_state(ControlId control, std::int64_t value)
{
    ControlRecord* record = impl_->record(control);
    if (record == nullptr)
        return;
    if (auto* box = qobject_cast<QCheckBox*>(record->widget))
        box->setChecked(value != 0);
    else if (auto* bar = qobject_cast<QProgressBar*>(record->widget))
        bar->setValue(clamp_to_int(value));
}

void QtToolkit::set_text(ControlId control, const std::string& text)
{
    ControlRecord* record = impl_->record(control);
    if (record == nullptr)
        return;
    const QString value = to_qstring(text);
    if (auto* button = qobject_cast<QAbstractButton*>(record->widget))
        button->setText(value);
    else if (auto* frame = qobject_cast<QGroupBox*>(record->widget))
        frame->setTitle(value);
    else if (auto* label = qobject_cast<QLabel*>(record->widget))
        label->setText(value);
    else if (auto* field = qobject_cast<QLineEdit*>(record->widget))
        field->setText(value);
}

std::string QtToolkit::text(ControlId control)
{
    ControlRecord* record = impl_->record(control);
    if (record == nullptr)
        return {};
    if (auto* button = qobject_cast<QAbstractButton*>(record->widget))
        return to_utf8(button->text());
    if (auto* frame = qobject_cast<QGroupBox*>(record->widget))
        return to_utf8(frame->title());
    if (auto* label = qobject_cast<QLabel*>(record->widget))
        return to_utf8(label->text());
    if (auto* field = qobject_cast<QLineEdit*>(record->widget))
        return to_utf8(field->text());
    return {};
}

void QtToolkit::set_hover_hint(ControlId control, const std::string& hint)
{
    if (ControlRecord* record = impl_->record(control))
        record->widget->setToolTip(to_qstring(hint));
}

void QtToolkit::set_hidden(ControlId control, bool hidden)
{
    if (ControlRecord* record = impl_->record(control))
        record->widget->setVisible(!hidden);
}

void QtToolkit::set_range(ControlId control, std::int64_t minimum, std::int64_t maximum)
{
    ControlRecord* record = impl_->record(control);
    if (record == nullptr)
        return;
    if (auto* bar = qobject_cast<QProgressBar*>(record->widget))
        bar->setRange(clamp_to_int(minimum), clamp_to_int(maximum));
}

Event QtToolkit::next_event()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (impl_->events.empty())
        return {};
    const Event event = impl_->events.front();
    impl_->events.pop_front();
    return event;
}

void QtToolkit::pause(int milliseconds)
{
    // Wakes for window-system events, so the window stays responsive and an idle loop sleeps
    // in the event dispatcher; the timer bounds the wait.
    QDeadlineTimer deadline(std::max(milliseconds, 0));
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(std::max(milliseconds, 0));
    while (!deadline.hasExpired() && impl_->events.empty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtToolkit::message_box(const std::string& title, const std::string& text, BoxIcon icon)
{
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    if (icon == BoxIcon::Error)
        qicon = QMessageBox::Critical;
    else if (icon == BoxIcon::Information)
        qicon = QMessageBox::Information;
    QMessageBox box(qicon, to_qstring(title), to_qstring(text), QMessageBox::Ok, impl_->dialog_owner());
    box.exec();
}

bool QtToolkit::ask_yes_no(const std::string& title, const std::string& text)
{
    QMessageBox box(QMessageBox::Question, to_qstring(title), to_qstring(text),
                    QMessageBox::Yes | QMessageBox::No, impl_->dialog_owner());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string QtToolkit::pick_folder(const std::string& title, const std::string& start_folder)
{
    QString start = to_qstring(start_folder);
    if (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);
    const QString chosen = QFileDialog::getExistingDirectory(impl_->dialog_owner(), to_qstring(title), start,
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return {};
    std::string path = to_utf8(chosen);
    if (path.back() != '/')
        path += '/';
    return path;
}

QWidget* QtToolkit::window_widget() const { return impl_->window.get(); }

QWidget* QtToolkit::control_widget(ControlId control) const
{
    const ControlRecord* record = impl_->record(control);
    return record != nullptr ? record->widget : nullptr;
}

bool qt_display_available()
{
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

} // namespace pictavo
