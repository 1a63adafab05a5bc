// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: builds the controls, runs the event loop and turns every control event into
// a change of the options, a folder scan, a shell action or a batch run.
//
// It talks to the window system only through the Toolkit interface and keeps all option logic
// in AppState; what it does beyond that (networking, codecs, scan, run, opening things) goes
// through WindowServices, so tests can put fakes in their place.
#pragma once

#include "app/front_end.h"
#include "app/run_engine.h"
#include "app/settings.h"
#include "window/preview_controller.h"
#include "window/window_layout.h"
#include "toolkit/toolkit.h"

#include <array>
#include <atomic>
#include <functional>
#include <string>

namespace pictavo {

struct WindowServices {
    std::function<bool()> start_networking;
    std::function<void()> register_codecs;
    // Start-up of the settings and run state (defaults, exiftool, stored key).
    std::function<void(AppState&)> start_up_state;
    // Counts the images and sub-folders of the tree into the run state (counts already 0).
    std::function<void(AppState&, const std::string& folder)> scan_folder;
    // The whole batch run behind PROCESS: checks, run and its messages through the front end,
    // with the window's stop flag and choices in the options. It returns when the run has
    // ended; meanwhile the front end serves the window.
    std::function<void(AppState&, FrontEnd&, const RunOptions&)> run_batch;
    // Opens a folder or a web address with the user's applications: "" when that worked,
    // else why not (a phrase such as "it does not exist").
    std::function<std::string(const std::string& target)> open_with_shell;
    // A note for whoever started the program (standard error).
    std::function<void(const std::string& text)> note;
    std::string manual_address; // "" when the manual is not installed
    std::string donate_address;
};

// The program's own services: libcurl, the JPEG and PNG codecs, the real scan and run, and
// the process runner's opener.
WindowServices program_window_services(const std::string& manual_address, const std::string& donate_address);

class MainWindow final : public FrontEnd {
public:
    MainWindow(Toolkit& toolkit, AppState& state, WindowServices services);

    // Everything up to the built window, with the folders and options of the last session.
    // False when networking could not be started (the error box has been shown and no window
    // was opened).
    bool start();
    // start(), then the event loop until the window is closed. The process's exit code: 0,
    // or 1 when start-up failed.
    int run();
    // Runs the handler of one event (the event loop runs only while no run is in progress). A
    // Close event, or Escape, remembers the folders and options and makes closed() true.
    void handle(const Event& event);
    bool closed() const { return closed_; }
    // The preview window's side (for tests: it can be waited for).
    PreviewController& preview() { return preview_; }

    ControlId id(WindowControl control) const { return ids_[static_cast<std::size_t>(control)]; }

    // FrontEnd, for the batch run.
    void message_box(const std::string& title, const std::string& text, MessageIcon icon) override;
    bool ask_yes_no(const std::string& title, const std::string& text) override;
    // During a run: a click on Stop or Escape stops the run; a close request stops it and
    // closes the window once the run has ended; anything else is dropped.
    void take_one_event() override;
    void pause(int milliseconds) override;
    // Busy: PROCESS reads "Stop" and is the one control that acts; the wait pointer shows.
    void set_busy(bool busy) override;
    void run_started(const RunStarted& started) override;
    void image_finished(const ImageFinished& finished) override;
    void hide_progress() override;
    // The final box offers "Show Results" beside OK: the results window with every image.
    void run_outcome(const std::string& title, const std::string& text, const RunReport& report) override;
    void wait_for_run_events(const RunEventQueue& events) override;

private:
    void handle_event(const Event& event);
    void build_controls();
    void show_options();
    void show_field_texts();
    void restore_last_session();
    void close();
    void escape();
    void pick_input_folder();
    void pick_output_folder();
    // The folder handlers behind the pickers, folder drops and the last session's folders.
    void choose_input_folder(const std::string& folder);
    void choose_output_folder(const std::string& folder);
    void folder_dropped(const Event& event);
    void open_folder(const std::string& folder);
    void open_address(const std::string& what, const std::string& address);
    std::string open_waiting(const std::string& target);
    void report_not_opened(const std::string& what, const std::string& reason);
    void field_lost_focus(WindowControl field);
    void api_key_lost_focus();
    void max_size_lost_focus();
    void format_chosen();
    void process();
    void request_stop();
    void show_results(const RunReport& report);
    void open_result(const ImageResult& result);
    void save_report(const RunReport& report);
    void open_preview();
    void choose_preview_image();
    // The settings a run started now would use, for the preview.
    ImageSettings current_image_settings();

    Toolkit& toolkit_;
    AppState& state_;
    WindowServices services_;
    std::array<ControlId, WINDOW_CONTROL_COUNT> ids_{};
    bool closed_ = false;
    bool close_requested_ = false; // during a run: acted upon once the run has ended
    bool skip_existing_ = false;   // the Skip box; not remembered, so no run skips unasked
    RunOptions last_run_options_;  // of the run whose results are shown
    PreviewController preview_{toolkit_};
    // Set on the window's thread, read by the run's workers between images.
    std::atomic<bool> stop_requested_{false};
};

} // namespace pictavo
