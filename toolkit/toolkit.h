// SPDX-License-Identifier: GPL-3.0-or-later
// The window toolkit: exactly what the main window needs of a window system.
//
// One fixed-size top-level window with child controls of eight kinds, fonts, colours, a polled
// event queue, modal message boxes, a Yes/No question and a folder picker. Positions and sizes
// are logical units of a 96 dots-per-inch screen; an implementation scales them for the screen.
// Every call comes from the window's thread. Nothing here throws.
#pragma once

#include "toolkit/preview_content.h"
#include "toolkit/table_source.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pictavo {

// A control's identity as returned by create_control; 0 is never a control.
using ControlId = int;
// A font as returned by load_font; 0 is the system's message font.
using FontId = int;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

enum class ControlKind {
    Button,      // caption; a click gives an event
    Frame,       // group box with its caption at the top left; passive
    Text,        // single-line label, optionally with a sunken border
    CheckBox,    // a click toggles the tick by itself and gives an event
    Field,       // single-line edit box; gives a LostFocus event when the focus leaves it
    Link,        // underlined label with hand pointer and hover colour; a click gives an event
    ProgressBar, // horizontal bar with a range and a position
    DropDown,    // one choice of a fixed list; the user's choice gives a Click event
};

struct ControlSpec {
    ControlKind kind = ControlKind::Text;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::string caption;
    bool bordered = false;        // Text only: sunken edge
    Rgb hover_colour{};           // Link only
    bool underlined = true;       // Link only
    std::int64_t minimum = 0;     // ProgressBar only
    std::int64_t maximum = 0;     // ProgressBar only
    std::vector<std::string> choices; // DropDown only: the list, the first chosen at the start
    // Button and CheckBox: Alt with this letter clicks the control. The first letter of the
    // caption that matches it, whatever its case, is marked; the caption's text is unchanged.
    // 0 for none, and none while the caption holds no such letter.
    char mnemonic = 0;
};

enum class ColourRole { Front, Back };

enum class BoxIcon { None = 0, Error = 16, Information = 64 };

enum class EventType {
    None,      // nothing was pending
    Click,     // a button, check box or link was clicked
    LostFocus, // the keyboard focus left a field
    Close,     // the user asked to close the window (its close button, or Ctrl+Q)
    Escape,    // the Escape key was pressed in the window, also while busy
    Drop,      // a folder was dropped on a control that takes folder drops
    PreviewChoose, // the preview window's button to choose another image was pressed
};

struct Event {
    Event() = default;
    Event(EventType event_type, ControlId event_control = 0, std::string dropped_folder = {})
        : type(event_type), control(event_control), folder(std::move(dropped_folder))
    {
    }

    EventType type = EventType::None;
    ControlId control = 0; // the control of a Click, LostFocus or Drop event, else 0
    std::string folder;    // Drop: the folder's path, ending in "/"
};

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // Opens the top-level window with a client area of the given logical size, centred on the
    // primary screen, with a title bar, close and minimise buttons and no resizing. False when
    // no window can be opened.
    virtual bool open_window(int width, int height, const std::string& caption) = 0;
    virtual void set_window_colour(Rgb colour) = 0;
    // While busy the window shows the wait pointer and takes no mouse or keyboard input, so
    // its controls cannot change behind the program's back; it still paints, and a close
    // request still becomes an event. Otherwise the arrow (links keep their hand pointer).
    virtual void set_busy_pointer(bool busy) = 0;
    // The one control that still takes clicks (and its mnemonic) while busy, with the arrow
    // pointer over it: the button that stops the work. 0 for none.
    virtual void set_live_while_busy(ControlId control) = 0;

    // Children of the window, created in call order (which is also the keyboard focus order
    // until set_tab_order says otherwise).
    virtual ControlId create_control(const ControlSpec& spec) = 0;
    // The order in which Tab moves the keyboard focus, from the first control (which has the
    // focus when the window opens) to the last; controls not named take no focus from Tab.
    virtual void set_tab_order(const std::vector<ControlId>& order) = 0;
    // A text control's line is drawn vertically centred on the neighbour's middle (a label
    // beside its field), within the text control's own place.
    virtual void align_text_with(ControlId text, ControlId neighbour) = 0;
    // The control takes folders dragged onto it: a drag of exactly one local folder
    // (text/uri-list, see folder_of_uri_list) becomes a Drop event; anything else, and any
    // drag while busy, is refused and shows the no-drop pointer. The dragged folder is never
    // moved: only copy or link drops are taken.
    virtual void accept_folder_drops(ControlId control) = 0;

    virtual FontId load_font(const std::string& face, int points, bool bold) = 0;
    virtual void set_font(ControlId control, FontId font) = 0;
    virtual void set_colour(ControlId control, ColourRole role, Rgb colour) = 0;
    // A disabled control gives no events.
    virtual void set_enabled(ControlId control, bool enabled) = 0;
    // Check box: 1 ticked, 0 unticked. Progress bar: position. Drop-down: the index of the
    // choice shown (one outside the list is ignored).
    virtual void set_state(ControlId control, std::int64_t value) = 0;
    // Caption of a button, frame, check box, label or link; content of a field; text() of a
    // drop-down is its chosen choice.
    virtual void set_text(ControlId control, const std::string& text) = 0;
    virtual std::string text(ControlId control) = 0;
    virtual void set_hover_hint(ControlId control, const std::string& hint) = 0;
    virtual void set_hidden(ControlId control, bool hidden) = 0;
    virtual void set_range(ControlId control, std::int64_t minimum, std::int64_t maximum) = 0;

    // Returns at once with the next event, or an event of type None. Lets the window system
    // handle what is pending (painting, typing) first.
    virtual Event next_event() = 0;
    // Waits up to the given time; may return early when an event arrives.
    virtual void pause(int milliseconds) = 0;

    // Modal boxes: the window takes no input while one is open.
    virtual void message_box(const std::string& title, const std::string& text, BoxIcon icon) = 0;
    virtual bool ask_yes_no(const std::string& title, const std::string& text) = 0;
    // The chosen folder's path ending in "/"; empty when cancelled; a lone "/" when the choice
    // has no path in the file system.
    virtual std::string pick_folder(const std::string& title, const std::string& start_folder) = 0;
    // A message with OK and a second button captioned action; true when that one was chosen.
    virtual bool message_box_offering(const std::string& title, const std::string& text, BoxIcon icon,
                                      const std::string& action) = 0;
    // A file to write, chosen by the user, starting at suggested (a full path); filter names the
    // kind of file ("JSON files (*.json)"). Empty when cancelled.
    virtual std::string pick_save_file(const std::string& title, const std::string& suggested,
                                       const std::string& filter) = 0;
    // Shows source in a modal window of its own until the user closes it. Clicking a column's
    // header sorts by it (a second click the other way); the filter box turns the filter on and
    // off; act hears of double-clicked rows and of the save button.
    virtual void show_table(const TableWindowSpec& spec, TableSource& source, const TableActionHandler& act) = 0;
    // An existing file chosen by the user, starting in start_folder; filter names the kinds of
    // file offered ("Images (*.jpg *.png)"). Empty when cancelled.
    virtual std::string pick_file(const std::string& title, const std::string& start_folder,
                                  const std::string& filter) = 0;

    // The preview window: a second window beside the main one that stays open while the main
    // window is used. It shows its content's two pictures side by side or one over the other
    // with a dividing line the user drags, fitted to the window or at 100 % and more, and a
    // button captioned choose_caption that gives a PreviewChoose event. Opening an open one
    // raises it.
    virtual void open_preview(const std::string& title, const std::string& choose_caption) = 0;
    virtual void show_preview(const PreviewContent& content) = 0;
    // False once the user has closed it (or before it was opened).
    virtual bool preview_open() = 0;
};

} // namespace pictavo
