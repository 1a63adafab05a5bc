// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/main_window.h"

#include "app/folder_scan.h"
#include "app/remembered_settings.h"
#include "app/run_report_json.h"
#include "sys/atomic_file.h"
#include "sys/files.h"
#include "window/results_table.h"

#include <cstring>
#include <filesystem>

#include <chrono>
#include <utility>

namespace pictavo {
namespace {

using C = WindowControl;

constexpr std::array<std::pair<C, ModeBox>, 5> MODE_BOX_CONTROLS = {{
    {C::keepOriginalBox, ModeBox::KeepOriginal},
    {C::normalResizeBox, ModeBox::NormalResize},
    {C::fillFitBox, ModeBox::FillFit},
    {C::uniformBox, ModeBox::Uniform},
    {C::uploadOriginalsBox, ModeBox::UploadOriginals},
}};

constexpr std::array<std::pair<C, CompressionBox>, 3> COMPRESSION_BOX_CONTROLS = {{
    {C::optimizeBox, CompressionBox::Optimize},
    {C::pngPaletteBox, CompressionBox::PngPalette},
    {C::onlySmallerBox, CompressionBox::OnlySmaller},
}};

constexpr std::array<std::pair<C, NumericField>, 6> NUMERIC_FIELD_CONTROLS = {{
    {C::normalSizeField, NumericField::NormalSize},
    {C::fillWidthField, NumericField::FillWidth},
    {C::fillHeightField, NumericField::FillHeight},
    {C::uniformWidthField, NumericField::UniformWidth},
    {C::uniformHeightField, NumericField::UniformHeight},
    {C::qualityField, NumericField::Quality},
}};

// The folder picker's answer for a choice that has no path in the file system.
constexpr const char* NO_PATH_ANSWER = "/";

// While a run goes on: how long the window serves its own events before it looks at the
// run's, and how long it then waits on the run (which keeps a toolkit whose pause returns at
// once from spinning).
constexpr int RUN_SERVE_MILLISECONDS = 10;
constexpr std::chrono::milliseconds RUN_LOOK_WAIT{1};

bool is_folder_answer(const std::string& answer) { return !answer.empty() && answer != NO_PATH_ANSWER; }

constexpr const char* NOT_OPENED_TITLE = "PTV Error";
constexpr const char* REPORT_FILE_NAME = "pictavo-report.json";
constexpr const char* REPORT_FILE_FILTER = "JSON files (*.json)";

} // namespace

MainWindow::MainWindow(Toolkit& toolkit, AppState& state, WindowServices services)
    : toolkit_(toolkit), state_(state), services_(std::move(services))
{
}

bool MainWindow::start()
{
    if (services_.start_networking && !services_.start_networking()) {
        toolkit_.message_box("Error", "Can't initialize networking...", BoxIcon::None);
        return false;
    }
    if (services_.register_codecs)
        services_.register_codecs();
    if (services_.start_up_state)
        services_.start_up_state(state_);
    if (!toolkit_.open_window(WINDOW_WIDTH, WINDOW_HEIGHT, WINDOW_CAPTION))
        return false;
    toolkit_.set_window_colour(WINDOW_COLOUR);
    build_controls();
    restore_last_session();
    return true;
}

void MainWindow::build_controls()
{
    const FontId title_font = toolkit_.load_font(TITLE_FONT_FACE, TITLE_FONT_POINTS, true);
    for (const ControlLayout& layout : window_layout()) {
        const ControlId control = toolkit_.create_control(layout.spec);
        ids_[static_cast<std::size_t>(layout.name)] = control;
        if (layout.title_font)
            toolkit_.set_font(control, title_font);
        if (layout.white)
            toolkit_.set_colour(control, ColourRole::Back, WHITE);
    }
    std::vector<ControlId> tab_order;
    for (const C control : TAB_ORDER)
        tab_order.push_back(id(control));
    toolkit_.set_tab_order(tab_order);
    for (const auto& [label, neighbour] : LABELS_BESIDE)
        toolkit_.align_text_with(id(label), id(neighbour));
    toolkit_.set_live_while_busy(id(C::processButton));
    toolkit_.accept_folder_drops(id(C::inputFrame));
    toolkit_.accept_folder_drops(id(C::outputFrame));
    toolkit_.set_enabled(id(C::inputOpenButton), false);
    toolkit_.set_enabled(id(C::outputOpenButton), false);
    toolkit_.set_colour(id(C::donateLink), ColourRole::Front, BLACK);
    toolkit_.set_hover_hint(id(C::donateLink), DONATE_HINT);
    toolkit_.set_hidden(id(C::progressBar), true);
    toolkit_.set_text(id(C::apiKeyField), state_.window.api_key_text);
    toolkit_.set_hover_hint(id(C::maxSizeField), MAX_SIZE_HINT);
    toolkit_.set_hover_hint(id(C::previewButton), PREVIEW_HINT);
    toolkit_.set_hover_hint(id(C::formatChoice), FORMAT_HINT);
    show_options();
}

// Brings the option controls in line with the state after every change of it.
void MainWindow::show_options()
{
    const WindowState& window = state_.window;
    for (const auto& [control, box] : MODE_BOX_CONTROLS)
        toolkit_.set_state(id(control), window.mode_box_ticked(box) ? 1 : 0);
    toolkit_.set_enabled(id(C::uploadOriginalsBox), window.upload_originals_enabled());
    toolkit_.set_enabled(id(C::qualityField), window.quality_enabled());
    toolkit_.set_state(id(C::tinifyBox), window.tinify_ticked ? 1 : 0);
    toolkit_.set_enabled(id(C::tinifyBox), window.tinify_enabled);
    toolkit_.set_enabled(id(C::exifBox), window.exif_enabled);
    toolkit_.set_hover_hint(id(C::exifBox), window.exif_enabled ? "" : EXIFTOOL_MISSING_HINT);
    toolkit_.set_state(id(C::exifBox), state_.job.metadata_copy);
    toolkit_.set_state(id(C::datesBox), state_.job.date_copy);
    for (const auto& [control, box] : COMPRESSION_BOX_CONTROLS) {
        toolkit_.set_state(id(control), state_.compression_box_ticked(box) ? 1 : 0);
        toolkit_.set_enabled(id(control), window.compression_enabled());
    }
    toolkit_.set_enabled(id(C::maxSizeField), window.compression_enabled());
    toolkit_.set_state(id(C::formatChoice), static_cast<std::int64_t>(state_.job.output_format));
    toolkit_.set_enabled(id(C::formatChoice), window.format_enabled());
    toolkit_.set_enabled(id(C::formatLabel), window.format_enabled());
    toolkit_.set_state(id(C::extraInputsBox), state_.extra_inputs_ticked() ? 1 : 0);
}

void MainWindow::show_field_texts()
{
    for (const auto& [control, field] : NUMERIC_FIELD_CONTROLS)
        toolkit_.set_text(id(control), state_.numeric_text(field));
    toolkit_.set_text(id(C::maxSizeField), state_.job.max_size_text);
}

// The options as the user left them, then the folders as if they had been picked again
// (scanned anew); a folder that is gone is left out. A broken file changes nothing.
void MainWindow::restore_last_session()
{
    const RememberedRead last = read_remembered_settings(state_.job.config_folder);
    if (last.status == RememberedStatus::Broken && services_.note)
        services_.note("the remembered settings in " + state_.job.config_folder + REMEMBERED_SETTINGS_NAME +
                       " cannot be used (" + last.problem + "); the window starts with its defaults");
    if (last.status != RememberedStatus::Read)
        return;
    apply_remembered_options(state_, last.settings);
    show_field_texts();
    show_options();
    if (file_size(last.settings.input_folder) == FILE_SIZE_FOLDER)
        choose_input_folder(last.settings.input_folder);
    if (file_size(last.settings.output_folder) == FILE_SIZE_FOLDER)
        choose_output_folder(last.settings.output_folder);
}

void MainWindow::close()
{
    const std::string& folder = state_.job.config_folder;
    if (!folder.empty() && !write_remembered_settings(folder, remembered_from(state_)) && services_.note)
        services_.note("the folders and options could not be remembered in " + folder);
    closed_ = true;
}

// During a run Escape stops it (see take_one_event); here the window is idle.
void MainWindow::escape() { close(); }

int MainWindow::run()
{
    if (!start())
        return 1;
    while (!closed_) {
        toolkit_.pause(10);
        handle(toolkit_.next_event());
    }
    return 0;
}

void MainWindow::handle(const Event& event)
{
    preview_.poll();
    handle_event(event);
    // Whatever the event changed of the settings, the preview shows it.
    if (event.type != EventType::None && preview_.is_open())
        preview_.settings_changed(current_image_settings());
}

void MainWindow::handle_event(const Event& event)
{
    if (event.type == EventType::Close) {
        close();
        return;
    }
    if (event.type == EventType::Escape) {
        escape();
        return;
    }
    if (event.type == EventType::Drop) {
        folder_dropped(event);
        return;
    }
    if (event.type == EventType::PreviewChoose) {
        choose_preview_image();
        return;
    }
    if (event.type == EventType::None || event.control == 0)
        return;

    for (const auto& [control, box] : MODE_BOX_CONTROLS) {
        if (event.control == id(control)) {
            state_.click_mode_box(box);
            show_options();
            return;
        }
    }
    for (const auto& [control, field] : NUMERIC_FIELD_CONTROLS) {
        if (event.control == id(control)) {
            if (event.type == EventType::LostFocus)
                field_lost_focus(control);
            return;
        }
    }
    for (const auto& [control, box] : COMPRESSION_BOX_CONTROLS) {
        if (event.control == id(control)) {
            state_.click_compression_box(box);
            show_options();
            return;
        }
    }
    const auto is = [&](C control) { return event.control == id(control); };
    if (is(C::apiKeyField)) {
        if (event.type == EventType::LostFocus)
            api_key_lost_focus();
    } else if (is(C::maxSizeField)) {
        if (event.type == EventType::LostFocus)
            max_size_lost_focus();
    } else if (is(C::inputSelectButton)) {
        pick_input_folder();
    } else if (is(C::outputSelectButton)) {
        pick_output_folder();
    } else if (is(C::inputOpenButton)) {
        open_folder(state_.job.input_folder);
    } else if (is(C::outputOpenButton)) {
        open_folder(state_.job.output_folder);
    } else if (is(C::exifBox)) {
        state_.click_exif_box();
        show_options();
    } else if (is(C::datesBox)) {
        state_.click_dates_box();
        show_options();
    } else if (is(C::tinifyBox)) {
        state_.click_tinify_box();
        show_options();
    } else if (is(C::formatChoice)) {
        format_chosen();
    } else if (is(C::extraInputsBox)) {
        state_.click_extra_inputs_box();
        show_options();
        // The scan line counts what a run would take.
        if (!state_.job.input_folder.empty())
            choose_input_folder(state_.job.input_folder);
    } else if (is(C::skipExistingBox)) {
        skip_existing_ = !skip_existing_;
        toolkit_.set_state(id(C::skipExistingBox), skip_existing_ ? 1 : 0);
    } else if (is(C::processButton)) {
        process();
    } else if (is(C::previewButton)) {
        open_preview();
    } else if (is(C::donateLink)) {
        open_address("the donation page", services_.donate_address);
    } else if (is(C::manualLink)) {
        open_address("the manual", services_.manual_address);
    }
}

void MainWindow::pick_input_folder()
{
    const std::string answer = toolkit_.pick_folder("Select Input Folder", state_.job.input_folder);
    if (is_folder_answer(answer))
        choose_input_folder(answer);
}

void MainWindow::choose_input_folder(const std::string& folder)
{
    state_.job.input_folder = folder;
    toolkit_.set_text(id(C::inputPathBox), folder);
    state_.run.folder_count = 0;
    state_.run.image_count = 0;
    if (services_.scan_folder)
        services_.scan_folder(state_, folder);
    toolkit_.set_text(id(C::statusLine), scan_summary(state_.run));
    toolkit_.set_enabled(id(C::inputOpenButton), state_.run.image_count > 0);
}

void MainWindow::pick_output_folder()
{
    const std::string& start =
        state_.job.output_folder.empty() ? state_.job.input_folder : state_.job.output_folder;
    const std::string answer = toolkit_.pick_folder("Select Output Folder", start);
    if (is_folder_answer(answer))
        choose_output_folder(answer);
}

void MainWindow::choose_output_folder(const std::string& folder)
{
    state_.job.output_folder = folder;
    toolkit_.set_text(id(C::outputPathBox), folder);
    toolkit_.set_enabled(id(C::outputOpenButton), true);
}

// A folder dropped on a folder frame is taken as if it had been picked there.
void MainWindow::folder_dropped(const Event& event)
{
    if (!is_folder_answer(event.folder))
        return;
    if (event.control == id(C::inputFrame))
        choose_input_folder(event.folder);
    else if (event.control == id(C::outputFrame))
        choose_output_folder(event.folder);
}

void MainWindow::open_folder(const std::string& folder)
{
    if (!folder.empty() && services_.open_with_shell)
        report_not_opened("the folder " + folder, open_waiting(folder));
}

void MainWindow::open_address(const std::string& what, const std::string& address)
{
    if (!services_.open_with_shell)
        return;
    if (address.empty())
        report_not_opened(what, "it is not installed");
    else
        report_not_opened(what + " " + address, open_waiting(address));
}

// The opener may take a few seconds to answer; the wait pointer shows meanwhile.
std::string MainWindow::open_waiting(const std::string& target)
{
    toolkit_.set_busy_pointer(true);
    std::string reason = services_.open_with_shell(target);
    toolkit_.set_busy_pointer(false);
    return reason;
}

void MainWindow::report_not_opened(const std::string& what, const std::string& reason)
{
    if (!reason.empty())
        toolkit_.message_box(NOT_OPENED_TITLE, "Could not open " + what + ": " + reason + ".", BoxIcon::Error);
}

void MainWindow::field_lost_focus(WindowControl control)
{
    for (const auto& [field_control, field] : NUMERIC_FIELD_CONTROLS) {
        if (field_control != control)
            continue;
        const std::string typed = toolkit_.text(id(control));
        const std::string shown = state_.field_lost_focus(field, typed);
        if (shown != typed)
            toolkit_.set_text(id(control), shown);
    }
}

void MainWindow::format_chosen()
{
    const std::string chosen = toolkit_.text(id(C::formatChoice));
    for (std::size_t index = 0; index < FORMAT_CHOICES.size(); ++index)
        if (chosen == FORMAT_CHOICES[index])
            state_.choose_output_format(static_cast<OutputFormat>(index));
    show_options();
}

void MainWindow::max_size_lost_focus()
{
    const std::string typed = toolkit_.text(id(C::maxSizeField));
    const std::string shown = state_.max_size_lost_focus(typed);
    if (shown != typed)
        toolkit_.set_text(id(C::maxSizeField), shown);
}

void MainWindow::api_key_lost_focus()
{
    const std::string typed = toolkit_.text(id(C::apiKeyField));
    const std::string shown = state_.api_key_lost_focus(typed);
    if (shown != typed)
        toolkit_.set_text(id(C::apiKeyField), shown);
    show_options();
}

void MainWindow::process()
{
    stop_requested_ = false;
    RunOptions options;
    options.stop = &stop_requested_;
    options.skip_existing = skip_existing_;
    last_run_options_ = options;
    last_run_options_.stop = nullptr;
    if (services_.run_batch)
        services_.run_batch(state_, *this, options);
    if (close_requested_) {
        close_requested_ = false;
        close();
    }
}

// The images in progress finish; until the run has ended the button says so and takes no
// second click.
void MainWindow::request_stop()
{
    if (stop_requested_.exchange(true))
        return;
    toolkit_.set_text(id(C::processButton), STOPPING_CAPTION);
    toolkit_.set_enabled(id(C::processButton), false);
}

ImageSettings MainWindow::current_image_settings()
{
    state_.take_target_pair();
    return image_settings_of(state_.job);
}

namespace {

// The first image of a walk of folder (in the order a run takes them), or "".
std::string first_image_in(const std::string& folder, const InputKinds& kinds)
{
    RunState walk;
    std::string first;
    walk_folder_tree(
        walk, folder,
        [&](const std::string& in, const std::string& name) {
            if (first.empty())
                first = collapse_separators(in + "/" + name);
        },
        std::nullopt, {}, kinds);
    return first;
}

} // namespace

// The image shown before stays while it is in the input folder; else the folder's first.
void MainWindow::open_preview()
{
    const std::string& folder = state_.job.input_folder;
    std::string source = preview_.source_path();
    if (folder.empty() || source.rfind(folder, 0) != 0 || file_size(source) < 0)
        source = folder.empty() || file_size(folder) != FILE_SIZE_FOLDER ? std::string() : first_image_in(folder, state_.job.inputs);
    if (source.empty()) {
        toolkit_.message_box(NOT_OPENED_TITLE, NO_PREVIEW_TEXT, BoxIcon::Information);
        return;
    }
    preview_.open(source, current_image_settings());
}

void MainWindow::choose_preview_image()
{
    const std::string& start = state_.job.input_folder;
    const std::string chosen =
        toolkit_.pick_file("Choose an Image", start,
                           state_.extra_inputs_ticked()
                               ? "Images (*.jpg *.jpeg *.png *.webp *.avif *.JPG *.JPEG *.PNG *.WEBP *.AVIF)"
                               : "Images (*.jpg *.jpeg *.png *.JPG *.JPEG *.PNG)");
    if (!chosen.empty())
        preview_.open(chosen, current_image_settings());
}

void MainWindow::run_outcome(const std::string& title, const std::string& text, const RunReport& report)
{
    if (toolkit_.message_box_offering(title, text, BoxIcon::Information, SHOW_RESULTS_CAPTION))
        show_results(report);
}

void MainWindow::show_results(const RunReport& report)
{
    ResultsTable table(report);
    TableWindowSpec spec;
    spec.title = RESULTS_TITLE;
    spec.filter_caption = RESULTS_FILTER_CAPTION;
    spec.save_caption = SAVE_REPORT_CAPTION;
    toolkit_.show_table(spec, table, [&](TableAction action, std::size_t row) {
        if (action == TableAction::Activate)
            open_result(table.record(row).result);
        else
            save_report(report);
    });
}

// The output itself where there is one, else the folder it belongs in.
void MainWindow::open_result(const ImageResult& result)
{
    if (result.output_path.empty() || !services_.open_with_shell)
        return;
    if (file_size(result.output_path) >= 0) {
        report_not_opened(result.output_path, open_waiting(result.output_path));
        return;
    }
    const std::string folder = std::filesystem::path(result.output_path).parent_path().string() + "/";
    report_not_opened("the folder " + folder, open_waiting(folder));
}

void MainWindow::save_report(const RunReport& report)
{
    const std::string path =
        toolkit_.pick_save_file("Save Report", state_.job.output_folder + REPORT_FILE_NAME, REPORT_FILE_FILTER);
    if (path.empty())
        return;
    // Every input and output of a run has an image's name, so a report never takes one's place.
    if (format_of_file_name(path) != OutputFormat::Same) {
        toolkit_.message_box(NOT_OPENED_TITLE, "A report cannot take the name of an image: " + path + ".",
                             BoxIcon::Error);
        return;
    }
    if (const int error = write_whole_file(path, run_report_json(state_.job, last_run_options_, report)); error != 0)
        toolkit_.message_box(NOT_OPENED_TITLE, "The report could not be written to " + path + ": "
                                                   + std::strerror(error) + ".", BoxIcon::Error);
}

void MainWindow::message_box(const std::string& title, const std::string& text, MessageIcon icon)
{
    toolkit_.message_box(title, text, static_cast<BoxIcon>(icon));
}

bool MainWindow::ask_yes_no(const std::string& title, const std::string& text)
{
    return toolkit_.ask_yes_no(title, text);
}

// A run acts on nothing the user does but Stop: what else comes is dropped. A request to close
// the window stops the run and is kept for when the run has ended.
void MainWindow::take_one_event()
{
    const Event event = toolkit_.next_event();
    if (event.type == EventType::Close) {
        close_requested_ = true;
        request_stop();
    } else if (event.type == EventType::Escape
               || (event.type == EventType::Click && event.control == id(C::processButton))) {
        request_stop();
    }
}

void MainWindow::pause(int milliseconds) { toolkit_.pause(milliseconds); }

void MainWindow::set_busy(bool busy)
{
    toolkit_.set_enabled(id(C::processButton), true);
    toolkit_.set_text(id(C::processButton), busy ? STOP_CAPTION : PROCESS_CAPTION);
    toolkit_.set_busy_pointer(busy);
}

void MainWindow::run_started(const RunStarted& started)
{
    toolkit_.set_range(id(C::progressBar), 1, started.images);
    toolkit_.set_state(id(C::progressBar), 0); // not where the last run left it
    toolkit_.set_hidden(id(C::progressBar), false);
}

void MainWindow::image_finished(const ImageFinished& finished)
{
    toolkit_.set_state(id(C::progressBar), finished.finished);
}

void MainWindow::hide_progress() { toolkit_.set_hidden(id(C::progressBar), true); }

void MainWindow::wait_for_run_events(const RunEventQueue& events)
{
    toolkit_.pause(RUN_SERVE_MILLISECONDS);
    take_one_event();
    events.wait(RUN_LOOK_WAIT);
}

} // namespace pictavo
