// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/qt/qt_toolkit.h"

#include "toolkit/folder_drop.h"
#include "toolkit/qt/message_box_fit.h"
#include "toolkit/qt/path_box.h"
#include "toolkit/qt/preview_window.h"
#include "toolkit/qt/table_window.h"
#include "toolkit/qt/window_palette.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
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
    char mnemonic = 0;
};

// A caption with its mnemonic letter marked for Qt ("&PROCESS"); a '&' of its own is doubled.
QString marked_caption(const QString& caption, char mnemonic)
{
    QString marked = caption;
    marked.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (mnemonic == 0)
        return marked;
    const auto letter = marked.indexOf(QLatin1Char(mnemonic), 0, Qt::CaseInsensitive);
    if (letter >= 0)
        marked.insert(letter, QLatin1Char('&'));
    return marked;
}

// The caption as the window logic gave it.
QString plain_caption(const QString& marked)
{
    QString caption;
    for (qsizetype i = 0; i < marked.size(); ++i) {
        if (marked[i] == QLatin1Char('&') && i + 1 < marked.size())
            ++i;
        caption += marked[i];
    }
    return caption;
}

// A drop that copies or links; a move would let the source remove the dragged folder.
std::optional<Qt::DropAction> harmless_action(Qt::DropActions possible)
{
    if (possible & Qt::CopyAction)
        return Qt::CopyAction;
    if (possible & Qt::LinkAction)
        return Qt::LinkAction;
    return std::nullopt;
}

struct DropTarget {
    QWidget* widget = nullptr;
    ControlId control = 0;
};

// Close requests and folder drops go into the toolkit's queue; the window itself stays open
// until the toolkit is destroyed. Controls take no drops of their own, so every drag over the
// window comes here, and only the drop targets' areas take it.
class MainWidget final : public QWidget {
public:
    MainWidget(std::deque<Event>& events, const std::vector<DropTarget>& drop_targets, const bool& busy)
        : events_(events), drop_targets_(drop_targets), busy_(busy)
    {
        setAcceptDrops(true);
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        events_.push_back({EventType::Close, 0});
    }
    void dragEnterEvent(QDragEnterEvent* event) override { take_drag(*event); }
    void dragMoveEvent(QDragMoveEvent* event) override { take_drag(*event); }
    void dropEvent(QDropEvent* event) override
    {
        if (const auto [control, folder] = take_drag(*event); control != 0)
            events_.push_back({EventType::Drop, control, folder});
    }

private:
    // Accepts the drag (with a copy or link action) when it carries one folder and is over a
    // drop target; ignores it otherwise, which shows the no-drop pointer.
    std::pair<ControlId, std::string> take_drag(QDropEvent& event)
    {
        const std::optional<Qt::DropAction> action = harmless_action(event.possibleActions());
        const QMimeData* dragged = event.mimeData();
        const ControlId control = target_at(event.position().toPoint());
        if (busy_ || !action || dragged == nullptr || control == 0 || !dragged->hasFormat(URI_LIST_TYPE)) {
            event.ignore();
            return {0, {}};
        }
        const QByteArray uri_list = dragged->data(URI_LIST_TYPE);
        std::string folder = folder_of_uri_list(uri_list.toStdString());
        if (folder.empty()) {
            event.ignore();
            return {0, {}};
        }
        event.setDropAction(*action);
        event.accept();
        return {control, std::move(folder)};
    }

    ControlId target_at(QPoint position) const
    {
        for (const DropTarget& target : drop_targets_)
            if (target.widget->isVisible() && target.widget->isEnabled() && target.widget->geometry().contains(position))
                return target.control;
        return 0;
    }

    std::deque<Event>& events_;
    const std::vector<DropTarget>& drop_targets_;
    const bool& busy_;
};

} // namespace

struct QtToolkit::Impl final : public QObject {
    std::unique_ptr<MainWidget> window;
    std::vector<ControlRecord> controls;
    std::vector<QFont> fonts;
    std::deque<Event> events;
    std::vector<DropTarget> drop_targets;
    bool busy = false;
    ControlId live_control = 0;

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

    QWidget* live_widget()
    {
        const ControlRecord* live = record(live_control);
        return live != nullptr ? live->widget : nullptr;
    }

    // While busy: the arrow over the live control, which takes clicks, the wait pointer elsewhere.
    void show_busy_pointer()
    {
        const QWidget* live = live_widget();
        QApplication::changeOverrideCursor(live != nullptr && live->underMouse() ? Qt::ArrowCursor : Qt::WaitCursor);
    }

    // Fields report losing the focus, links report clicks, and while busy the window takes no
    // mouse or keyboard input (mnemonics included) except on the live control, so nothing the
    // user does during a run changes a control behind the window logic's back.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
            if (busy && inside_window(watched) && watched != live_widget())
                return true;
            break;
        case QEvent::Enter:
        case QEvent::Leave:
            if (busy && watched == live_widget())
                QApplication::changeOverrideCursor(event->type() == QEvent::Enter ? Qt::ArrowCursor : Qt::WaitCursor);
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
    void add_shortcuts();
    void apply_link_style(ControlRecord& record);
    void apply_colours(ControlRecord& record);
    std::unique_ptr<PreviewWindow> preview;

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
        auto* button = new QPushButton(marked_caption(caption, spec.mnemonic), parent);
        // Enter on the focused button presses it, as Space does.
        button->setAutoDefault(true);
        QObject::connect(button, &QPushButton::clicked, this,
                         [this, id] { events.push_back({EventType::Click, id}); });
        return button;
    }
    case ControlKind::Frame: {
        auto* frame = new QGroupBox(caption, parent);
        // A thin rectangle with the caption on its top edge, whatever the widget style. Colours
        // in a style sheet are named outright: its palette() would be the desktop's.
        frame->setStyleSheet(QStringLiteral(
            "QGroupBox { color: %1; border: 1px solid %2; border-radius: 3px; margin-top: 0.6em; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
            " left: 7px; padding: 0 2px; }")
                                 .arg(css_colour(QPalette::WindowText), css_colour(QPalette::Mid)));
        // A frame is passive and lies under the controls it groups.
        frame->setAttribute(Qt::WA_TransparentForMouseEvents);
        frame->lower();
        return frame;
    }
    case ControlKind::CheckBox: {
        auto* box = new QCheckBox(marked_caption(caption, spec.mnemonic), parent);
        QObject::connect(box, &QCheckBox::clicked, this,
                         [this, id] { events.push_back({EventType::Click, id}); });
        return box;
    }
    case ControlKind::Field: {
        auto* field = new QLineEdit(caption, parent);
        // A path dragged over a field is not typed into it; only folder drop targets take drags.
        field->setAcceptDrops(false);
        return field;
    }
    case ControlKind::DropDown: {
        auto* list = new QComboBox(parent);
        for (const std::string& choice : spec.choices)
            list->addItem(to_qstring(choice));
        // Only the user's choices are events; set_state changes the choice quietly.
        QObject::connect(list, &QComboBox::activated, this, [this, id] { events.push_back({EventType::Click, id}); });
        return list;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        bar->setRange(clamp_to_int(spec.minimum), clamp_to_int(spec.maximum));
        return bar;
    }
    case ControlKind::Text:
    case ControlKind::Link: {
        if (spec.bordered) {
            auto* box = new PathBox(parent);
            box->set_full_text(caption);
            return box;
        }
        auto* label = new QLabel(caption, parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
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
    const QString normal = record.front ? css(*record.front) : css_colour(QPalette::WindowText);
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
    impl_->window = std::make_unique<MainWidget>(impl_->events, impl_->drop_targets, impl_->busy);
    QWidget* window = impl_->window.get();
    window->setPalette(window_palette());
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
    impl_->add_shortcuts();
    window->show();
    return true;
}

// Ctrl+Q asks to close, as the close button does; Escape is reported for the window logic to
// decide (close when idle). Both work while busy, when the window takes no other input.
void QtToolkit::Impl::add_shortcuts()
{
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), window.get());
    QObject::connect(quit, &QShortcut::activated, this, [this] { events.push_back({EventType::Close, 0}); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window.get());
    QObject::connect(escape, &QShortcut::activated, this, [this] { events.push_back({EventType::Escape, 0}); });
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
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        impl_->show_busy_pointer();
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void QtToolkit::set_live_while_busy(ControlId control) { impl_->live_control = control; }

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
    record.mnemonic = spec.mnemonic;
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

void QtToolkit::set_tab_order(const std::vector<ControlId>& order)
{
    std::vector<QWidget*> chain;
    for (const ControlId control : order)
        if (const ControlRecord* record = impl_->record(control))
            chain.push_back(record->widget);
    for (const ControlRecord& record : impl_->controls) {
        const bool named = std::find(chain.begin(), chain.end(), record.widget) != chain.end();
        if (!named && (record.widget->focusPolicy() & Qt::TabFocus))
            record.widget->setFocusPolicy(Qt::ClickFocus);
    }
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    if (!chain.empty())
        chain.front()->setFocus(Qt::OtherFocusReason);
}

void QtToolkit::align_text_with(ControlId text, ControlId neighbour)
{
    const ControlRecord* record = impl_->record(text);
    const ControlRecord* other = impl_->record(neighbour);
    auto* label = record != nullptr ? qobject_cast<QLabel*>(record->widget) : nullptr;
    if (label == nullptr || other == nullptr)
        return;
    // Twice the distance from the label's middle down to the neighbour's: a margin of that
    // size on one side moves the middle of what is left by the distance.
    const QRect own = label->geometry();
    const QRect beside = other->widget->geometry();
    const int shift = (2 * beside.top() + beside.height()) - (2 * own.top() + own.height());
    label->setAlignment((label->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
    label->setContentsMargins(0, std::max(shift, 0), 0, std::max(-shift, 0));
}

void QtToolkit::accept_folder_drops(ControlId control)
{
    if (const ControlRecord* record = impl_->record(control))
        impl_->drop_targets.push_back({record->widget, control});
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
    else if (auto* list = qobject_cast<QComboBox*>(record->widget)) {
        if (value >= 0 && value < list->count())
            list->setCurrentIndex(static_cast<int>(value));
    } else if (auto* bar = qobject_cast<QProgressBar*>(record->widget))
        bar->setValue(clamp_to_int(value));
}

void QtToolkit::set_text(ControlId control, const std::string& text)
{
    ControlRecord* record = impl_->record(control);
    if (record == nullptr)
        return;
    const QString value = to_qstring(text);
    if (auto* button = qobject_cast<QAbstractButton*>(record->widget))
        button->setText(marked_caption(value, record->mnemonic));
    else if (auto* path_box = dynamic_cast<PathBox*>(record->widget))
        path_box->set_full_text(value);
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
        return to_utf8(plain_caption(button->text()));
    if (auto* path_box = dynamic_cast<PathBox*>(record->widget))
        return to_utf8(path_box->full_text());
    if (auto* frame = qobject_cast<QGroupBox*>(record->widget))
        return to_utf8(frame->title());
    if (auto* label = qobject_cast<QLabel*>(record->widget))
        return to_utf8(label->text());
    if (auto* field = qobject_cast<QLineEdit*>(record->widget))
        return to_utf8(field->text());
    if (auto* list = qobject_cast<QComboBox*>(record->widget))
        return to_utf8(list->currentText());
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

namespace {

QMessageBox::Icon box_icon(BoxIcon icon)
{
    if (icon == BoxIcon::Error)
        return QMessageBox::Critical;
    if (icon == BoxIcon::Information)
        return QMessageBox::Information;
    return QMessageBox::NoIcon;
}

} // namespace

void QtToolkit::message_box(const std::string& title, const std::string& text, BoxIcon icon)
{
    QMessageBox box(box_icon(icon), to_qstring(title), to_qstring(text), QMessageBox::Ok, impl_->dialog_owner());
    fit_message_box(box);
    box.exec();
}

bool QtToolkit::message_box_offering(const std::string& title, const std::string& text, BoxIcon icon,
                                     const std::string& action)
{
    QMessageBox box(box_icon(icon), to_qstring(title), to_qstring(text), QMessageBox::Ok, impl_->dialog_owner());
    QPushButton* offered = box.addButton(to_qstring(action), QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    fit_message_box(box);
    box.exec();
    return box.clickedButton() == offered;
}

std::string QtToolkit::pick_save_file(const std::string& title, const std::string& suggested,
                                      const std::string& filter)
{
    return to_utf8(QFileDialog::getSaveFileName(impl_->dialog_owner(), to_qstring(title), to_qstring(suggested),
                                                to_qstring(filter)));
}

void QtToolkit::show_table(const TableWindowSpec& spec, TableSource& source, const TableActionHandler& act)
{
    run_table_window(impl_->dialog_owner(), spec, source, act, on_table_shown);
}

bool QtToolkit::ask_yes_no(const std::string& title, const std::string& text)
{
    QMessageBox box(QMessageBox::Question, to_qstring(title), to_qstring(text),
                    QMessageBox::Yes | QMessageBox::No, impl_->dialog_owner());
    fit_message_box(box);
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

std::string QtToolkit::pick_file(const std::string& title, const std::string& start_folder,
                                 const std::string& filter)
{
    return to_utf8(QFileDialog::getOpenFileName(impl_->dialog_owner(), to_qstring(title), to_qstring(start_folder),
                                                to_qstring(filter)));
}

void QtToolkit::open_preview(const std::string& title, const std::string& choose_caption)
{
    if (!impl_->preview)
        impl_->preview = std::make_unique<PreviewWindow>(impl_->window.get(), to_qstring(title),
                                                         to_qstring(choose_caption),
                                                         [this] { impl_->events.push_back({EventType::PreviewChoose}); });
    impl_->preview->show();
    impl_->preview->raise();
}

void QtToolkit::show_preview(const PreviewContent& content)
{
    if (impl_->preview)
        impl_->preview->show_content(content);
}

bool QtToolkit::preview_open() { return impl_->preview && impl_->preview->isVisible(); }

QWidget* QtToolkit::preview_widget() const { return impl_->preview.get(); }

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
