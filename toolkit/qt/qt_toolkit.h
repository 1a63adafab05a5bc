// SPDX-License-Identifier: GPL-3.0-or-later
// The window toolkit on Qt 6 Widgets.
//
// A QApplication must exist before the toolkit is made and outlive it. Positions are handed to
// Qt as they are: Qt's own high-DPI scaling turns the logical units into screen pixels.
#pragma once

#include "toolkit/toolkit.h"

#include <functional>
#include <memory>

class QWidget;

namespace pictavo {

class QtToolkit final : public Toolkit {
public:
    QtToolkit();
    ~QtToolkit() override;
    QtToolkit(const QtToolkit&) = delete;
    QtToolkit& operator=(const QtToolkit&) = delete;

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
    bool preview_open() override;

    // For tests and screenshots: the window (null before open_window) and a control's widget.
    QWidget* window_widget() const;
    QWidget* control_widget(ControlId control) const;
    // For tests and screenshots: the preview window (null before open_preview).
    QWidget* preview_widget() const;
    // For tests and screenshots: runs once each table window is on screen, with it.
    std::function<void(QWidget&)> on_table_shown;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// True when Qt can open windows here (a display, or a platform such as offscreen was chosen).
bool qt_display_available();

} // namespace pictavo
