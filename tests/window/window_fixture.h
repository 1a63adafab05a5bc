// SPDX-License-Identifier: GPL-3.0-or-later
// A main window on the in-memory toolkit, with its working folder, configuration folder (key
// file, remembered settings) and program folder (exiftool) in temporary folders, and the
// shell opener recorded instead of run.
#pragma once

#include "window/main_window.h"
#include "test_folder.h"
#include "toolkit/memory_toolkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pictavo {

class WindowTest : public testing::Test {
protected:
    using C = WindowControl;

    TestFolder work;   // the working folder
    TestFolder config; // the configuration folder
    TestFolder tools;  // the program's folder
    TestFolder files;  // folders the user picks
    MemoryToolkit tk;
    AppState state;
    std::vector<std::string> opened;
    std::string open_failure; // what the opener answers ("" = opened)
    std::vector<std::string> notes;
    std::unique_ptr<MainWindow> window;

    WindowServices test_services()
    {
        WindowServices services = program_window_services("file:///manual.html", "file:///manual.html#support");
        services.start_up_state = [this](AppState& s) { s.start_up({work.root(), "", config.root(), tools.root()}); };
        services.open_with_shell = [this](const std::string& target) {
            opened.push_back(target);
            return open_failure;
        };
        services.note = [this](const std::string& text) { notes.push_back(text); };
        return services;
    }
    // An executable exiftool where the program is installed.
    void install_exiftool() const
    {
        tools.write("exiftool", "#!/bin/sh\n");
        std::filesystem::permissions(tools.path("exiftool"), std::filesystem::perms::owner_all);
    }

    // Builds the window; call again after changing the working folder to start afresh.
    void start(WindowServices services)
    {
        window = std::make_unique<MainWindow>(tk, state, std::move(services));
        ASSERT_TRUE(window->start());
    }
    void start() { start(test_services()); }

    ControlId id(C control) const { return window->id(control); }
    const MemoryControl& control(C name) const { return tk.control(window->id(name)); }
    bool ticked(C name) const { return control(name).state != 0; }

    // Handles everything the test user did so far.
    void pump()
    {
        while (tk.events_pending())
            window->handle(tk.next_event());
    }
    void click(C name)
    {
        tk.click(id(name));
        pump();
    }
    void enter(C field, const std::string& text)
    {
        tk.enter(id(field), text);
        pump();
    }
    void pick_input(const std::string& answer)
    {
        tk.answer_picker(answer);
        click(C::inputSelectButton);
    }
    void pick_output(const std::string& answer)
    {
        tk.answer_picker(answer);
        click(C::outputSelectButton);
    }
    MemoryBox last_message() const
    {
        const auto messages = tk.boxes_of(BoxKind::Message);
        return messages.empty() ? MemoryBox{} : messages.back();
    }
};

} // namespace pictavo
