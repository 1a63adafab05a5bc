// SPDX-License-Identifier: GPL-3.0-or-later
// A toolkit without a window system, for tests of the window logic.
//
// It records the state of every control and every box shown, and lets a test act as the user:
// click, type into a field, leave a field, close the window, and answer questions and folder
// pickers from queues of prepared answers.
#pragma once

#include "toolkit/toolkit.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pictavo {

struct MemoryControl {
    ControlSpec spec;
    std::string text;
    bool enabled = true;
    bool hidden = false;
    std::int64_t state = 0;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    FontId font = 0;
    std::optional<Rgb> front_colour;
    std::optional<Rgb> back_colour;
    std::string hover_hint;
    ControlId aligned_with = 0; // align_text_with's neighbour
    bool takes_folder_drops = false;
};

struct MemoryFont {
    std::string face;
    int points = 0;
    bool bold = false;
};

enum class BoxKind { Message, Question, FolderPicker, SavePicker, FilePicker };

struct MemoryBox {
    BoxKind kind = BoxKind::Message;
    std::string title;
    std::string text; // the message or question; the start folder for a picker
    BoxIcon icon = BoxIcon::None;
    std::string answer; // "yes"/"no" for a question, the path for a picker; a box that offered an
                        // action: the action's caption when it was chosen, else "OK"
};

class MemoryToolkit final : public Toolkit {
public:
    // --- Toolkit ---
    bool open_window(int width, int height, const std::string& caption) override;
    void set_window_colour(Rgb colour) override;
    void set_busy_pointer(bool busy) override;
    void set_live_while_busy(ControlId control) override;
    ControlId create_control(const ControlSpec& spec) override;
    void set_tab_order(const std::vector<ControlId>& order) override;
    void align_text_with(ControlId text, ControlId neighbour) override;
    void accept_folder_drops(ControlId control) override;
    FontId load_font(const std::string& face, int points, bool bold) override;
    void set_font(ControlId control, FontId font) override;
    void set_colour(ControlId control, ColourRole role, Rgb colour) override;
    void set_enabled(ControlId control, bool enabled) override;
    void set_state(ControlId control, std::int64_t value) override;
    void set_text(ControlId control, const std::string& text) override;
    std::string text(ControlId control) override;
    void set_hover_hint(ControlId control, const std::string& hint) override;
    void set_hidden(ControlId control, bool hidden) override;
    void set_range(ControlId control, std::int64_t minimum, std::int64_t maximum) override;
    Event next_event() override;
    void pause(int milliseconds) override;
    void message_box(const std::string& title, const std::string& text, BoxIcon icon) override;
    bool ask_yes_no(const std::string& title, const std::string& text) override;
    std::string pick_folder(const std::string& title, const std::string& start_folder) override;
    bool message_box_offering(const std::string& title, const std::string& text, BoxIcon icon,
                              const std::string& action) override;
    std::string pick_save_file(const std::string& title, const std::string& suggested,
                               const std::string& filter) override;
    void show_table(const TableWindowSpec& spec, TableSource& source, const TableActionHandler& act) override;
    std::string pick_file(const std::string& title, const std::string& start_folder,
                          const std::string& filter) override;
    void open_preview(const std::string& title, const std::string& choose_caption) override;
    void show_preview(const PreviewContent& content) override;
    bool preview_open() override { return preview_is_open; }

    // --- what a test inspects ---
    bool window_open = false;
    int window_width = 0;
    int window_height = 0;
    std::string window_caption;
    std::optional<Rgb> window_colour;
    bool busy_pointer = false;
    ControlId live_while_busy = 0;
    std::vector<MemoryFont> fonts;   // font n is fonts[n - 1]
    std::vector<MemoryBox> boxes;    // every box shown, in order
    int events_taken = 0;            // calls of next_event
    int paused_milliseconds = 0;
    std::vector<ControlId> tab_order;
    std::vector<TableWindowSpec> tables; // every table window shown, in order
    bool preview_is_open = false;          // a test closes the preview by clearing it
    int preview_openings = 0;
    std::string preview_title;
    std::vector<PreviewContent> previews;  // every content shown, in order

    // Control n is controls()[n - 1]; an unknown id answers a blank record.
    const std::vector<MemoryControl>& controls() const { return controls_; }
    const MemoryControl& control(ControlId id) const;
    // The first control with this caption (its initial text), or 0.
    ControlId find(const std::string& caption) const;
    // The boxes of one kind, in order.
    std::vector<MemoryBox> boxes_of(BoxKind kind) const;

    // --- what a test does as the user ---
    // While the busy pointer shows, the window takes no input: clicks and typing do nothing,
    // except clicks on the control that is live while busy.
    // A click on an enabled, visible button, check box or link: a check box toggles its tick.
    // Buttons and check boxes take the keyboard focus, so a field that had it reports the loss
    // first. Clicks on anything else, or on a disabled control, give nothing.
    void click(ControlId control);
    // Puts the focus into a field and replaces its text, as typing would.
    void type(ControlId field, const std::string& text);
    // Moves the focus out of the field that has it, if any.
    void leave_field();
    // type() followed by leave_field().
    void enter(ControlId field, const std::string& text);
    // Picks choice index of an enabled, visible drop-down, which takes the keyboard focus and
    // gives a Click event; an index outside its list, or any other control, gives nothing.
    void choose(ControlId drop_down, std::size_t index);
    void request_close();
    // Drags a text/uri-list onto the control and lets go: true when it was taken (a Drop
    // event with the folder is queued), false when refused.
    bool drop(ControlId control, const std::string& uri_list);
    void queue_event(Event event) { events_.push_back(event); }
    bool events_pending() const { return !events_.empty(); }

    // Prepared answers, used in order; an unprepared question answers No, an unprepared picker
    // is cancelled.
    void answer_question(bool yes) { question_answers_.push_back(yes); }
    void answer_picker(const std::string& path) { picker_answers_.push_back(path); }
    // The next box that offers an action: true to choose the action; unprepared, OK. The
    // save picker takes the picker answers.
    void answer_offer(bool take) { offer_answers_.push_back(take); }
    // Called while a table window is open, as the user: it may sort, filter, read the rows and
    // act; the window closes when it returns.
    std::function<void(TableSource&, const TableActionHandler&)> on_table;
    // Called whenever a box has just been shown (after it was recorded).
    std::function<void(const MemoryBox&)> on_box;
    // Called at the start of every next_event, before the queue is looked at.
    std::function<void()> on_next_event;

private:
    MemoryControl* find_control(ControlId id);
    // The next prepared picker answer (cancelled when none), recorded as a box of kind.
    std::string picker_answer(BoxKind kind, const std::string& title, const std::string& start);

    std::vector<MemoryControl> controls_;
    std::deque<Event> events_;
    std::deque<bool> question_answers_;
    std::deque<std::string> picker_answers_;
    std::deque<bool> offer_answers_;
    ControlId focused_field_ = 0;
};

} // namespace pictavo
