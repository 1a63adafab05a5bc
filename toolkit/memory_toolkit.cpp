// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/memory_toolkit.h"

#include "toolkit/folder_drop.h"

namespace pictavo {

bool MemoryToolkit::open_window(int width, int height, const std::string& caption)
{
    window_open = true;
    window_width = width;
    window_height = height;
    window_caption = caption;
    return true;
}

void MemoryToolkit::set_window_colour(Rgb colour) { window_colour = colour; }

void MemoryToolkit::set_busy_pointer(bool busy) { busy_pointer = busy; }

void MemoryToolkit::set_live_while_busy(ControlId control) { live_while_busy = control; }

ControlId MemoryToolkit::create_control(const ControlSpec& spec)
{
    MemoryControl control;
    control.spec = spec;
    control.text = spec.kind == ControlKind::DropDown && !spec.choices.empty() ? spec.choices.front() : spec.caption;
    control.minimum = spec.minimum;
    control.maximum = spec.maximum;
    controls_.push_back(control);
    return static_cast<ControlId>(controls_.size());
}

void MemoryToolkit::set_tab_order(const std::vector<ControlId>& order) { tab_order = order; }

void MemoryToolkit::align_text_with(ControlId text, ControlId neighbour)
{
    if (auto* c = find_control(text))
        c->aligned_with = neighbour;
}

void MemoryToolkit::accept_folder_drops(ControlId control)
{
    if (auto* c = find_control(control))
        c->takes_folder_drops = true;
}

FontId MemoryToolkit::load_font(const std::string& face, int points, bool bold)
{
    fonts.push_back({face, points, bold});
    return static_cast<FontId>(fonts.size());
}

MemoryControl* MemoryToolkit::find_control(ControlId id)
{
    if (id < 1 || static_cast<std::size_t>(id) > controls_.size())
        return nullptr;
    return &controls_[static_cast<std::size_t>(id) - 1];
}

const MemoryControl& MemoryToolkit::control(ControlId id) const
{
    static const MemoryControl blank;
    if (id < 1 || static_cast<std::size_t>(id) > controls_.size())
        return blank;
    return controls_[static_cast<std::size_t>(id) - 1];
}

void MemoryToolkit::set_font(ControlId id, FontId font)
{
    if (auto* c = find_control(id))
        c->font = font;
}

void MemoryToolkit::set_colour(ControlId id, ColourRole role, Rgb colour)
{
    if (auto* c = find_control(id))
        (role == ColourRole::Front ? c->front_colour : c->back_colour) = colour;
}

void MemoryToolkit::set_enabled(ControlId id, bool enabled)
{
    if (auto* c = find_control(id))
        c->enabled = enabled;
}

void MemoryToolkit::set_state(ControlId id, std::int64_t value)
{
    auto* c = find_control(id);
    if (c == nullptr)
        return;
    if (c->spec.kind == ControlKind::DropDown) {
        if (value < 0 || static_cast<std::size_t>(value) >= c->spec.choices.size())
            return;
        c->text = c->spec.choices[static_cast<std::size_t>(value)];
    }
    c->state = value;
}

void MemoryToolkit::set_text(ControlId id, const std::string& text)
{
    if (auto* c = find_control(id))
        c->text = text;
}

std::string MemoryToolkit::text(ControlId id) { return control(id).text; }

void MemoryToolkit::set_hover_hint(ControlId id, const std::string& hint)
{
    if (auto* c = find_control(id))
        c->hover_hint = hint;
}

void MemoryToolkit::set_hidden(ControlId id, bool hidden)
{
    if (auto* c = find_control(id))
        c->hidden = hidden;
}

void MemoryToolkit::set_range(ControlId id, std::int64_t minimum, std::int64_t maximum)
{
    if (auto* c = find_control(id)) {
        c->minimum = minimum;
        c->maximum = maximum;
    }
}

Event MemoryToolkit::next_event()
{
    ++events_taken;
    if (on_next_event)
        on_next_event();
    if (events_.empty())
        return {};
    Event event = events_.front();
    events_.pop_front();
    return event;
}

void MemoryToolkit::pause(int milliseconds) { paused_milliseconds += milliseconds; }

void MemoryToolkit::message_box(const std::string& title, const std::string& text, BoxIcon icon)
{
    boxes.push_back({BoxKind::Message, title, text, icon, {}});
    if (on_box)
        on_box(boxes.back());
}

bool MemoryToolkit::ask_yes_no(const std::string& title, const std::string& text)
{
    bool yes = false;
    if (!question_answers_.empty()) {
        yes = question_answers_.front();
        question_answers_.pop_front();
    }
    boxes.push_back({BoxKind::Question, title, text, BoxIcon::None, yes ? "yes" : "no"});
    if (on_box)
        on_box(boxes.back());
    return yes;
}

std::string MemoryToolkit::picker_answer(BoxKind kind, const std::string& title, const std::string& start)
{
    std::string answer;
    if (!picker_answers_.empty()) {
        answer = picker_answers_.front();
        picker_answers_.pop_front();
    }
    boxes.push_back({kind, title, start, BoxIcon::None, answer});
    if (on_box)
        on_box(boxes.back());
    return answer;
}

std::string MemoryToolkit::pick_folder(const std::string& title, const std::string& start_folder)
{
    return picker_answer(BoxKind::FolderPicker, title, start_folder);
}

bool MemoryToolkit::message_box_offering(const std::string& title, const std::string& text, BoxIcon icon,
                                         const std::string& action)
{
    bool take = false;
    if (!offer_answers_.empty()) {
        take = offer_answers_.front();
        offer_answers_.pop_front();
    }
    boxes.push_back({BoxKind::Message, title, text, icon, take ? action : "OK"});
    if (on_box)
        on_box(boxes.back());
    return take;
}

std::string MemoryToolkit::pick_save_file(const std::string& title, const std::string& suggested, const std::string&)
{
    return picker_answer(BoxKind::SavePicker, title, suggested);
}

void MemoryToolkit::show_table(const TableWindowSpec& spec, TableSource& source, const TableActionHandler& act)
{
    tables.push_back(spec);
    if (on_table)
        on_table(source, act);
}

std::string MemoryToolkit::pick_file(const std::string& title, const std::string& start_folder, const std::string&)
{
    return picker_answer(BoxKind::FilePicker, title, start_folder);
}

void MemoryToolkit::open_preview(const std::string& title, const std::string&)
{
    preview_is_open = true;
    ++preview_openings;
    preview_title = title;
}

void MemoryToolkit::show_preview(const PreviewContent& content)
{
    if (preview_is_open)
        previews.push_back(content);
}

ControlId MemoryToolkit::find(const std::string& caption) const
{
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].spec.caption == caption)
            return static_cast<ControlId>(i + 1);
    }
    return 0;
}

std::vector<MemoryBox> MemoryToolkit::boxes_of(BoxKind kind) const
{
    std::vector<MemoryBox> found;
    for (const auto& box : boxes) {
        if (box.kind == kind)
            found.push_back(box);
    }
    return found;
}

void MemoryToolkit::click(ControlId id)
{
    MemoryControl* c = find_control(id);
    if (c == nullptr || !c->enabled || c->hidden || (busy_pointer && id != live_while_busy))
        return;
    const ControlKind kind = c->spec.kind;
    if (kind != ControlKind::Button && kind != ControlKind::CheckBox && kind != ControlKind::Link)
        return;
    if (kind != ControlKind::Link)
        leave_field();
    if (kind == ControlKind::CheckBox)
        c->state = c->state != 0 ? 0 : 1;
    events_.push_back({EventType::Click, id, {}});
}

void MemoryToolkit::type(ControlId field, const std::string& text)
{
    MemoryControl* c = find_control(field);
    if (c == nullptr || c->spec.kind != ControlKind::Field || !c->enabled || c->hidden || busy_pointer)
        return;
    if (focused_field_ != field)
        leave_field();
    focused_field_ = field;
    c->text = text;
}

void MemoryToolkit::leave_field()
{
    if (focused_field_ == 0)
        return;
    events_.push_back({EventType::LostFocus, focused_field_, {}});
    focused_field_ = 0;
}

void MemoryToolkit::enter(ControlId field, const std::string& text)
{
    type(field, text);
    leave_field();
}

void MemoryToolkit::choose(ControlId drop_down, std::size_t index)
{
    MemoryControl* c = find_control(drop_down);
    if (c == nullptr || c->spec.kind != ControlKind::DropDown || !c->enabled || c->hidden
        || index >= c->spec.choices.size() || (busy_pointer && drop_down != live_while_busy))
        return;
    leave_field();
    c->state = static_cast<std::int64_t>(index);
    c->text = c->spec.choices[index];
    events_.push_back({EventType::Click, drop_down, {}});
}

void MemoryToolkit::request_close() { events_.push_back({EventType::Close, 0, {}}); }

bool MemoryToolkit::drop(ControlId control, const std::string& uri_list)
{
    const MemoryControl* c = find_control(control);
    if (c == nullptr || !c->takes_folder_drops || busy_pointer)
        return false;
    std::string folder = folder_of_uri_list(uri_list);
    if (folder.empty())
        return false;
    events_.push_back({EventType::Drop, control, std::move(folder)});
    return true;
}

} // namespace pictavo
