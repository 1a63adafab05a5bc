// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_fixture.h"

#include "app/image_task.h"

#include <algorithm>
#include <cctype>

namespace pictavo {
namespace {

const std::string KEY_32 = "0123456789abcdef0123456789ABCDEF";

TEST_F(WindowTest, StartsWithTheWindowAndEveryControlInItsInitialState)
{
    start();
    EXPECT_TRUE(tk.window_open);
    EXPECT_EQ(tk.window_width, 910);
    EXPECT_EQ(tk.window_height, 495);
    EXPECT_EQ(tk.window_caption, "Pictavo - PTV - v1.3");
    EXPECT_EQ(tk.window_colour, (Rgb{240, 240, 240}));
    ASSERT_EQ(tk.controls().size(), WINDOW_CONTROL_COUNT);

    ASSERT_EQ(tk.fonts.size(), 1u);
    EXPECT_EQ(tk.fonts[0].face, "Arial");
    EXPECT_EQ(tk.fonts[0].points, 12);
    EXPECT_TRUE(tk.fonts[0].bold);
    std::vector<C> bold;
    std::vector<C> white;
    for (std::size_t i = 0; i < WINDOW_CONTROL_COUNT; ++i) {
        const auto name = static_cast<C>(i);
        if (control(name).font != 0)
            bold.push_back(name);
        if (control(name).back_colour == Rgb{255, 255, 255})
            white.push_back(name);
    }
    EXPECT_EQ(bold, (std::vector<C>{C::processButton, C::inputFrame, C::outputFrame, C::optionsFrame,
                                    C::donateLink}));
    EXPECT_EQ(white, (std::vector<C>{C::inputPathBox, C::outputPathBox, C::normalSizeField, C::fillWidthField,
                                     C::fillHeightField, C::uniformWidthField, C::uniformHeightField,
                                     C::maxSizeField}));

    const MemoryControl& process = control(C::processButton);
    EXPECT_EQ(process.spec.kind, ControlKind::Button);
    EXPECT_EQ((std::array{process.spec.x, process.spec.y, process.spec.width, process.spec.height}),
              (std::array{330, 360, 200, 60}));
    EXPECT_EQ(process.text, "PROCESS");
    EXPECT_TRUE(control(C::inputPathBox).spec.bordered);
    EXPECT_EQ(control(C::tinifyBox).text, "Upload to tinify.com");
    EXPECT_EQ(control(C::statusLine).text, "No images found for processing");
    EXPECT_EQ(control(C::fillHeightField).text, "667");

    EXPECT_TRUE(ticked(C::normalResizeBox));
    for (C box : {C::keepOriginalBox, C::fillFitBox, C::uniformBox, C::uploadOriginalsBox, C::tinifyBox,
                  C::exifBox, C::datesBox, C::optimizeBox, C::pngPaletteBox, C::onlySmallerBox})
        EXPECT_FALSE(ticked(box));
    EXPECT_EQ(control(C::maxSizeField).text, "");
    for (C disabled : {C::inputOpenButton, C::outputOpenButton, C::exifBox, C::tinifyBox, C::uploadOriginalsBox})
        EXPECT_FALSE(control(disabled).enabled);
    EXPECT_TRUE(control(C::qualityField).enabled);
    EXPECT_EQ(control(C::apiKeyField).text, "");
    EXPECT_EQ(control(C::exifBox).hover_hint, "exiftool was not found; install libimage-exiftool-perl");

    const MemoryControl& donate = control(C::donateLink);
    EXPECT_EQ(donate.spec.kind, ControlKind::Link);
    EXPECT_EQ(donate.hover_hint, "I am saving for a modern PC,  Help...");
    EXPECT_EQ(donate.front_colour, (Rgb{0, 0, 0}));
    EXPECT_EQ(donate.spec.hover_colour, (Rgb{0, 0, 0}));
    EXPECT_FALSE(control(C::manualLink).front_colour.has_value());

    const MemoryControl& bar = control(C::progressBar);
    EXPECT_TRUE(bar.hidden);
    EXPECT_EQ(bar.minimum, 0);
    EXPECT_EQ(bar.maximum, 0);
}

TEST_F(WindowTest, StoredKeyAndExiftoolEnableTheirBoxesButAKeyOfTheWrongLengthIsIgnored)
{
    work.write("kestro.api.txt", KEY_32 + "\n"); // an earlier version's place, still read
    install_exiftool();
    start();
    EXPECT_EQ(control(C::apiKeyField).text, KEY_32);
    EXPECT_TRUE(control(C::tinifyBox).enabled);
    EXPECT_FALSE(ticked(C::tinifyBox));
    EXPECT_FALSE(control(C::uploadOriginalsBox).enabled);
    EXPECT_TRUE(control(C::exifBox).enabled);
    EXPECT_EQ(control(C::exifBox).hover_hint, "");

    MemoryToolkit fresh;
    AppState fresh_state;
    work.write("kestro.api.txt", KEY_32 + "X\n");
    WindowServices services = test_services();
    MainWindow second(fresh, fresh_state, services);
    ASSERT_TRUE(second.start());
    EXPECT_EQ(fresh.control(second.id(C::apiKeyField)).text, "");
    EXPECT_FALSE(fresh.control(second.id(C::tinifyBox)).enabled);
}

TEST_F(WindowTest, FailedNetworkingShowsItsBoxAndOpensNoWindow)
{
    WindowServices services = test_services();
    services.start_networking = [] { return false; };
    window = std::make_unique<MainWindow>(tk, state, services);
    EXPECT_EQ(window->run(), 1);
    EXPECT_FALSE(tk.window_open);
    ASSERT_EQ(tk.boxes.size(), 1u);
    EXPECT_EQ(tk.boxes[0].title, "Error");
    EXPECT_EQ(tk.boxes[0].text, "Can't initialize networking...");
    EXPECT_EQ(tk.boxes[0].icon, BoxIcon::None);
}

TEST_F(WindowTest, TheEventLoopHandlesOneEventPerPassUntilTheWindowIsClosed)
{
    window = std::make_unique<MainWindow>(tk, state, test_services());
    bool queued = false;
    tk.on_next_event = [&] {
        if (queued)
            return;
        queued = true;
        tk.click(window->id(C::datesBox));
        tk.request_close();
        tk.click(window->id(C::keepOriginalBox)); // after the close: never handled
    };
    EXPECT_EQ(window->run(), 0);
    EXPECT_EQ(state.job.date_copy, 1);
    EXPECT_EQ(state.job.resize_mode, 1);
    EXPECT_EQ(tk.events_taken, 2);
    EXPECT_EQ(tk.paused_milliseconds, 20);
}

TEST_F(WindowTest, CancelledOrPathlessPicksChangeNothing)
{
    start();
    pick_input("");
    pick_input("/");
    pick_output("");
    pick_output("/");
    EXPECT_EQ(state.job.input_folder, "");
    EXPECT_EQ(state.job.output_folder, "");
    EXPECT_EQ(control(C::inputPathBox).text, "");
    EXPECT_EQ(control(C::outputPathBox).text, "");
    EXPECT_EQ(control(C::statusLine).text, "No images found for processing");
    EXPECT_FALSE(control(C::inputOpenButton).enabled);
    EXPECT_FALSE(control(C::outputOpenButton).enabled);

    const auto pickers = tk.boxes_of(BoxKind::FolderPicker);
    ASSERT_EQ(pickers.size(), 4u);
    EXPECT_EQ(pickers[0].title, "Select Input Folder");
    EXPECT_EQ(pickers[2].title, "Select Output Folder");

    // With folders chosen, a cancelled pick keeps them.
    files.write("in/a.jpg", "x");
    files.make_folder("out");
    pick_input(files.path("in/"));
    pick_output(files.path("out/"));
    pick_input("");
    pick_output("/");
    EXPECT_EQ(state.job.input_folder, files.path("in/"));
    EXPECT_EQ(control(C::outputPathBox).text, files.path("out/"));
    EXPECT_TRUE(control(C::inputOpenButton).enabled);
    EXPECT_TRUE(control(C::outputOpenButton).enabled);
}

TEST_F(WindowTest, PickingTheInputScansItAndTheOutputPickerStartsThere)
{
    start();
    files.write("in/a.jpg", "x");
    files.write("in/b.png", "x");
    files.write("in/sub/c.jpg", "x");
    files.write("in/sub/deeper/notes.txt", "x");
    files.make_folder("empty");
    pick_input(files.path("in/"));
    EXPECT_EQ(control(C::inputPathBox).text, files.path("in/"));
    EXPECT_EQ(control(C::statusLine).text, "Found 3 images in 3 folders");
    EXPECT_TRUE(control(C::inputOpenButton).enabled);

    tk.answer_picker(""); // cancelled: the start was the input folder
    click(C::outputSelectButton);
    EXPECT_EQ(tk.boxes.back().text, files.path("in/"));
    EXPECT_EQ(state.job.output_folder, "");

    pick_input(files.path("empty/"));
    EXPECT_EQ(tk.boxes_of(BoxKind::FolderPicker).back().text, files.path("in/"));
    EXPECT_EQ(control(C::statusLine).text, "Found 0 images in 1 folders");
    EXPECT_FALSE(control(C::inputOpenButton).enabled);

    pick_output(files.path("in/"));
    tk.answer_picker("");
    click(C::outputSelectButton);
    EXPECT_EQ(tk.boxes.back().text, files.path("in/"));
}

TEST_F(WindowTest, OpenFolderButtonsAndLinksHandTheirTargetToTheShellAndSayWhyWhenItFails)
{
    start();
    files.write("in/a.jpg", "x");
    pick_input(files.path("in/"));
    pick_output(files.path("in/"));
    click(C::inputOpenButton);
    click(C::outputOpenButton);
    click(C::donateLink);
    click(C::manualLink);
    EXPECT_EQ(opened, (std::vector<std::string>{files.path("in/"), files.path("in/"),
                                                "file:///manual.html#support", "file:///manual.html"}));
    EXPECT_TRUE(tk.boxes_of(BoxKind::Message).empty());

    open_failure = "no application that can open it was found";
    click(C::manualLink);
    click(C::outputOpenButton);
    const auto messages = tk.boxes_of(BoxKind::Message);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].title, "PTV Error");
    EXPECT_EQ(messages[0].icon, BoxIcon::Error);
    EXPECT_EQ(messages[0].text,
              "Could not open the manual file:///manual.html: no application that can open it was found.");
    EXPECT_EQ(messages[1].text, "Could not open the folder " + files.path("in/") +
                                    ": no application that can open it was found.");

    // Without an installed manual there is nothing to hand over.
    WindowServices services = test_services();
    services.manual_address.clear();
    start(services);
    click(C::manualLink);
    EXPECT_EQ(last_message().text, "Could not open the manual: it is not installed.");
}

TEST_F(WindowTest, KeyboardReachesEveryControlOnceAndMnemonicsAreDistinctLettersOfTheirCaptions)
{
    start();
    std::vector<ControlId> focusable;
    std::string letters;
    const auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const ControlLayout& layout : window_layout()) {
        const ControlKind kind = layout.spec.kind;
        if (kind == ControlKind::Button || kind == ControlKind::CheckBox || kind == ControlKind::Field
            || kind == ControlKind::DropDown)
            focusable.push_back(id(layout.name));
        if (const std::string letter = lower(std::string(1, layout.spec.mnemonic)); letter[0] != 0) {
            EXPECT_EQ(letters.find(letter), std::string::npos) << layout.spec.caption;
            EXPECT_NE(lower(layout.spec.caption).find(letter), std::string::npos) << layout.spec.caption;
            letters += letter;
        }
    }
    std::vector<ControlId> ordered = tk.tab_order;
    std::sort(ordered.begin(), ordered.end());
    EXPECT_EQ(ordered, focusable);
    EXPECT_EQ(letters.size(), 19u);
}

TEST_F(WindowTest, ClosingRemembersTheSessionAndTheNextStartRestoresWhatIsStillPossible)
{
    install_exiftool();
    work.write("kestro.api.txt", KEY_32 + "\n");
    files.write("in/a.jpg", "x");
    files.make_folder("out");
    start();
    pick_input(files.path("in/"));
    pick_output(files.path("out/"));
    enter(C::fillHeightField, "500");
    enter(C::qualityField, "9");
    click(C::tinifyBox);
    click(C::uploadOriginalsBox);
    click(C::exifBox);
    tk.queue_event({EventType::Escape});
    pump();
    EXPECT_TRUE(window->closed());
    ASSERT_TRUE(config.exists("window.conf"));

    MemoryToolkit next;
    AppState next_state;
    MainWindow again(next, next_state, test_services());
    ASSERT_TRUE(again.start());
    const auto shown = [&](C name) { return next.control(again.id(name)); };
    EXPECT_EQ(next_state.job.input_folder, files.path("in/"));
    EXPECT_EQ(shown(C::inputPathBox).text, files.path("in/"));
    EXPECT_EQ(shown(C::statusLine).text, "Found 1 images in 1 folders");
    EXPECT_EQ(shown(C::outputPathBox).text, files.path("out/"));
    EXPECT_TRUE(shown(C::outputOpenButton).enabled);
    EXPECT_EQ(next_state.job.resize_mode, RESIZE_UPLOAD_ORIGINALS);
    EXPECT_EQ(shown(C::uploadOriginalsBox).state, 1);
    EXPECT_EQ(shown(C::tinifyBox).state, 1);
    EXPECT_EQ(shown(C::exifBox).state, 1);
    EXPECT_EQ(shown(C::fillHeightField).text, "500");
    EXPECT_EQ(shown(C::qualityField).text, "9");
    EXPECT_EQ(next_state.job.jpeg_quality, 9);
    EXPECT_TRUE(notes.empty());

    // Without the key and the tool, and with the output folder gone, only the rest returns.
    std::filesystem::remove(work.path("kestro.api.txt"));
    std::filesystem::remove(tools.path("exiftool"));
    std::filesystem::remove(files.path("out"));
    MemoryToolkit third;
    AppState third_state;
    MainWindow reduced(third, third_state, test_services());
    ASSERT_TRUE(reduced.start());
    EXPECT_EQ(third_state.job.resize_mode, RESIZE_NORMAL);
    EXPECT_EQ(third_state.job.tinify_upload, 0);
    EXPECT_EQ(third_state.job.metadata_copy, 0);
    EXPECT_EQ(third_state.job.output_folder, "");
    EXPECT_EQ(third_state.job.input_folder, files.path("in/"));
    EXPECT_EQ(third.control(reduced.id(C::fillHeightField)).text, "500");

    // A broken file: the defaults, and a note that says so.
    config.write("window.conf", "mode=4\n");
    MemoryToolkit fourth;
    AppState fourth_state;
    MainWindow defaults(fourth, fourth_state, test_services());
    ASSERT_TRUE(defaults.start());
    EXPECT_EQ(fourth_state.job.input_folder, "");
    EXPECT_EQ(fourth.control(defaults.id(C::fillHeightField)).text, "667");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find(config.path("window.conf")), std::string::npos);
}

TEST_F(WindowTest, CompressionControlsSetTheJobAreRememberedAndRestWhileOriginalsAreCopied)
{
    work.write("kestro.api.txt", KEY_32 + "\n");
    start();
    // The row below the defined window moves none of its controls.
    for (C row : {C::optimizeBox, C::pngPaletteBox, C::onlySmallerBox, C::maxSizeLabel, C::maxSizeField,
                  C::maxSizeUnitLabel}) {
        EXPECT_GE(control(row).spec.y, 460);
        EXPECT_LE(control(row).spec.y + control(row).spec.height, 495);
    }
    click(C::optimizeBox);
    click(C::pngPaletteBox);
    click(C::onlySmallerBox);
    click(C::onlySmallerBox);
    EXPECT_EQ(state.job.compression, (CompressionSettings{true, true, false, 0}));
    EXPECT_TRUE(ticked(C::optimizeBox) && ticked(C::pngPaletteBox) && !ticked(C::onlySmallerBox));

    const std::pair<const char*, std::pair<const char*, std::int64_t>> fields[] = {
        {"200", {"200", 200 * 1024}}, {"1", {"1", 1024}},     {"262144", {"262144", 256LL << 20}},
        {"0", {"", 0}},               {"262145", {"", 0}},    {"-5", {"", 0}},
        {"abc", {"", 0}},             {"  300kb", {"  300kb", 300 * 1024}},
    };
    for (const auto& [typed, expected] : fields) {
        enter(C::maxSizeField, typed);
        EXPECT_EQ(control(C::maxSizeField).text, expected.first) << typed;
        EXPECT_EQ(state.job.compression.size_limit, expected.second) << typed;
    }
    enter(C::maxSizeField, "150");

    click(C::tinifyBox);
    click(C::uploadOriginalsBox);
    for (C row : {C::optimizeBox, C::pngPaletteBox, C::onlySmallerBox, C::maxSizeField})
        EXPECT_FALSE(control(row).enabled);
    EXPECT_EQ(image_settings_of(state.job).size_limit, 0); // copies are never encoded
    click(C::keepOriginalBox);
    EXPECT_TRUE(control(C::maxSizeField).enabled);
    EXPECT_EQ(image_settings_of(state.job).size_limit, 150 * 1024);

    tk.queue_event({EventType::Close});
    pump();
    MemoryToolkit next;
    AppState next_state;
    MainWindow again(next, next_state, test_services());
    ASSERT_TRUE(again.start());
    EXPECT_EQ(next_state.job.compression, (CompressionSettings{true, true, false, 150 * 1024}));
    EXPECT_EQ(next.control(again.id(C::maxSizeField)).text, "150");
    EXPECT_EQ(next.control(again.id(C::pngPaletteBox)).state, 1);
}

TEST_F(WindowTest, FormatAndMoreSourcesAreChosenRememberedAndRestWhileOriginalsAreCopied)
{
    work.write("kestro.api.txt", KEY_32 + "\n");
    files.write("in/a.jpg", "");
    files.write("in/b.webp", "");
    files.write("in/c.avif", "");
    start();
    // In the free room of their frame and row, over no defined control.
    const auto rect = [this](C name) {
        const ControlSpec& spec = control(name).spec;
        return std::array{spec.x, spec.y, spec.x + spec.width, spec.y + spec.height};
    };
    const auto inside = [](std::array<int, 4> inner, std::array<int, 4> outer) {
        return inner[0] >= outer[0] && inner[1] >= outer[1] && inner[2] <= outer[2] && inner[3] <= outer[3];
    };
    const auto apart = [](std::array<int, 4> a, std::array<int, 4> b) {
        return a[2] <= b[0] || b[2] <= a[0] || a[3] <= b[1] || b[3] <= a[1];
    };
    for (C added : {C::formatLabel, C::formatChoice}) {
        EXPECT_TRUE(inside(rect(added), rect(C::qualityFrame)));
        EXPECT_TRUE(apart(rect(added), rect(C::qualityField)) && apart(rect(added), rect(C::qualityRangeLabel)));
    }
    EXPECT_TRUE(inside(rect(C::extraInputsBox), {390, 464, 580, 489}));
    EXPECT_EQ(control(C::formatChoice).spec.kind, ControlKind::DropDown);
    EXPECT_EQ(control(C::formatChoice).spec.choices,
              (std::vector<std::string>{"Same", "JPEG", "PNG", "WebP", "AVIF"}));
    EXPECT_EQ(control(C::formatChoice).text, "Same");
    EXPECT_EQ(control(C::extraInputsBox).text, "Also WebP/AVIF inputs");
    EXPECT_FALSE(ticked(C::extraInputsBox));

    tk.choose(id(C::formatChoice), 3);
    pump();
    EXPECT_EQ(state.job.output_format, OutputFormat::Webp);
    pick_input(files.root() + "in/");
    EXPECT_EQ(control(C::statusLine).text, "Found 1 images in 1 folders");
    click(C::extraInputsBox);
    EXPECT_EQ(state.job.inputs, EVERY_INPUT_KIND);
    EXPECT_EQ(control(C::statusLine).text, "Found 3 images in 1 folders"); // scanned again

    click(C::tinifyBox);
    click(C::uploadOriginalsBox);
    EXPECT_FALSE(control(C::formatChoice).enabled);
    tk.choose(id(C::formatChoice), 4);
    pump();
    EXPECT_EQ(state.job.output_format, OutputFormat::Webp);
    EXPECT_EQ(image_settings_of(state.job).format, OutputFormat::Same); // copies keep their format
    click(C::keepOriginalBox);
    EXPECT_TRUE(control(C::formatChoice).enabled);

    tk.queue_event({EventType::Close});
    pump();
    MemoryToolkit next;
    AppState next_state;
    MainWindow again(next, next_state, test_services());
    ASSERT_TRUE(again.start());
    EXPECT_EQ(next_state.job.output_format, OutputFormat::Webp);
    EXPECT_EQ(next.control(again.id(C::formatChoice)).text, "WebP");
    EXPECT_EQ(next_state.job.inputs, EVERY_INPUT_KIND);
    EXPECT_EQ(next.control(again.id(C::extraInputsBox)).state, 1);
}

TEST_F(WindowTest, ModeBoxesActAsOneExclusiveGroup)
{
    start();
    click(C::normalResizeBox); // the selection: stays ticked
    EXPECT_TRUE(ticked(C::normalResizeBox));
    EXPECT_EQ(state.job.resize_mode, 1);

    const std::vector<std::pair<C, int>> modes = {
        {C::keepOriginalBox, 0}, {C::fillFitBox, 2}, {C::uniformBox, 5}, {C::normalResizeBox, 1}};
    for (const auto& [box, mode] : modes) {
        click(box);
        EXPECT_EQ(state.job.resize_mode, mode);
        for (C other : {C::keepOriginalBox, C::normalResizeBox, C::fillFitBox, C::uniformBox, C::uploadOriginalsBox})
            EXPECT_EQ(ticked(other), other == box);
        EXPECT_TRUE(control(C::qualityField).enabled);
    }

    click(C::uploadOriginalsBox); // disabled without the service box
    EXPECT_EQ(state.job.resize_mode, 1);
}

TEST_F(WindowTest, UploadOriginalsNeedsTheServiceBoxAndDisablesTheQualityField)
{
    work.write("kestro.api.txt", KEY_32 + "\n");
    start();
    click(C::tinifyBox);
    EXPECT_EQ(state.job.tinify_upload, 1);
    EXPECT_TRUE(control(C::uploadOriginalsBox).enabled);

    click(C::uploadOriginalsBox);
    EXPECT_EQ(state.job.resize_mode, 3);
    EXPECT_FALSE(control(C::qualityField).enabled);
    EXPECT_FALSE(ticked(C::normalResizeBox));
    click(C::fillFitBox);
    EXPECT_TRUE(control(C::qualityField).enabled);
    EXPECT_FALSE(ticked(C::uploadOriginalsBox));

    click(C::uploadOriginalsBox);
    click(C::tinifyBox); // unticking the service box leaves Upload Originals
    EXPECT_EQ(state.job.tinify_upload, 0);
    EXPECT_EQ(state.job.resize_mode, 1);
    EXPECT_TRUE(ticked(C::normalResizeBox));
    EXPECT_FALSE(ticked(C::uploadOriginalsBox));
    EXPECT_FALSE(control(C::uploadOriginalsBox).enabled);
    EXPECT_TRUE(control(C::qualityField).enabled);
}

TEST_F(WindowTest, FieldsAreCheckedWhenTheyLoseTheFocus)
{
    start();
    for (C field : {C::normalSizeField, C::fillWidthField, C::fillHeightField, C::uniformWidthField,
                    C::uniformHeightField}) {
        for (const char* bad : {"0", "11", "8001", "abc"}) {
            enter(field, bad);
            EXPECT_EQ(control(field).text, "1000") << bad;
        }
        for (const char* good : {"12", "8000", " 25px"}) {
            enter(field, good);
            EXPECT_EQ(control(field).text, good);
        }
    }
    enter(C::fillHeightField, "667");
    state.job.resize_mode = 1;
    state.take_target_pair();
    EXPECT_EQ(state.job.target_width, 25); // " 25px" in the normal size field

    for (const char* bad : {"0", "11"}) {
        enter(C::qualityField, "9");
        enter(C::qualityField, bad);
        EXPECT_EQ(control(C::qualityField).text, "6");
        EXPECT_EQ(state.job.jpeg_quality, 6);
    }
    enter(C::qualityField, "10");
    EXPECT_EQ(state.job.jpeg_quality, 10);

    // Typing alone checks nothing; the check runs when the focus moves on.
    tk.type(id(C::normalSizeField), "5");
    pump();
    EXPECT_EQ(control(C::normalSizeField).text, "5");
    click(C::datesBox);
    EXPECT_EQ(control(C::normalSizeField).text, "1000");
}

TEST_F(WindowTest, AKeyOfTheWrongLengthIsRejectedAndErasesTheStoredKeyButAnEmptyFieldWritesNothing)
{
    work.write("kestro.api.txt", KEY_32 + "\n");
    start();
    enter(C::apiKeyField, "");
    EXPECT_TRUE(config.entries().empty());
    const std::pair<std::string, std::string> rejections[] = {
        {KEY_32.substr(1), "\n"}, {KEY_32 + "X", "\n"}, {"", KEY_32 + "\n"}};
    for (const auto& [rejected, stored] : rejections) {
        enter(C::apiKeyField, KEY_32);
        click(C::tinifyBox);
        click(C::uploadOriginalsBox);
        ASSERT_EQ(state.job.resize_mode, 3);

        enter(C::apiKeyField, rejected);
        EXPECT_EQ(control(C::apiKeyField).text, "");
        EXPECT_FALSE(ticked(C::tinifyBox));
        EXPECT_FALSE(control(C::tinifyBox).enabled);
        EXPECT_EQ(state.job.tinify_upload, 0);
        EXPECT_EQ(state.job.api_key, "");
        EXPECT_EQ(config.read("kestro.api.txt"), stored) << rejected;
        EXPECT_EQ(work.read("kestro.api.txt"), KEY_32 + "\n");
        EXPECT_EQ(state.job.resize_mode, 1);
        EXPECT_TRUE(ticked(C::normalResizeBox));
        EXPECT_FALSE(ticked(C::uploadOriginalsBox));
        EXPECT_FALSE(control(C::uploadOriginalsBox).enabled);
        EXPECT_TRUE(control(C::qualityField).enabled);
    }

    enter(C::apiKeyField, KEY_32);
    EXPECT_EQ(config.read("kestro.api.txt"), KEY_32 + "\n");
    EXPECT_TRUE(control(C::tinifyBox).enabled);
    EXPECT_FALSE(ticked(C::tinifyBox));
}

TEST_F(WindowTest, ExifAndDatesBoxesToggleTheirFlags)
{
    install_exiftool();
    start();
    click(C::exifBox);
    click(C::datesBox);
    EXPECT_EQ(state.job.metadata_copy, 1);
    EXPECT_EQ(state.job.date_copy, 1);
    EXPECT_TRUE(ticked(C::exifBox));
    click(C::exifBox);
    EXPECT_EQ(state.job.metadata_copy, 0);
    EXPECT_FALSE(ticked(C::exifBox));
}

} // namespace
} // namespace pictavo
