// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/memory_toolkit.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

ControlSpec spec_of(ControlKind kind, const std::string& caption)
{
    ControlSpec spec;
    spec.kind = kind;
    spec.caption = caption;
    return spec;
}

TEST(MemoryToolkit, ClicksReachOnlyEnabledClickableControlsAndToggleCheckBoxes)
{
    MemoryToolkit tk;
    const ControlId button = tk.create_control(spec_of(ControlKind::Button, "Go"));
    const ControlId box = tk.create_control(spec_of(ControlKind::CheckBox, "Tick"));
    const ControlId label = tk.create_control(spec_of(ControlKind::Text, "Label"));

    tk.click(label);
    EXPECT_EQ(tk.next_event().type, EventType::None);

    tk.click(box);
    EXPECT_EQ(tk.control(box).state, 1);
    const Event event = tk.next_event();
    EXPECT_EQ(event.type, EventType::Click);
    EXPECT_EQ(event.control, box);

    tk.set_busy_pointer(true);
    tk.click(box);
    EXPECT_EQ(tk.control(box).state, 1);
    EXPECT_FALSE(tk.events_pending());
    tk.set_busy_pointer(false);

    tk.set_enabled(button, false);
    tk.click(button);
    tk.set_enabled(box, false);
    tk.click(box);
    EXPECT_EQ(tk.control(box).state, 1);
    EXPECT_FALSE(tk.events_pending());
}

TEST(MemoryToolkit, FocusLeavesAFieldBeforeAButtonClickButNotForALink)
{
    MemoryToolkit tk;
    const ControlId field = tk.create_control(spec_of(ControlKind::Field, "1"));
    const ControlId link = tk.create_control(spec_of(ControlKind::Link, "Link"));
    const ControlId button = tk.create_control(spec_of(ControlKind::Button, "Go"));

    tk.type(field, "42");
    tk.click(link);
    tk.click(button);
    tk.click(button);
    const Event first = tk.next_event();
    const Event second = tk.next_event();
    const Event third = tk.next_event();
    EXPECT_EQ(tk.text(field), "42");
    EXPECT_EQ(first.control, link);
    EXPECT_EQ(second.type, EventType::LostFocus);
    EXPECT_EQ(second.control, field);
    EXPECT_EQ(third.control, button);
    EXPECT_EQ(tk.next_event().control, button); // the second click: the focus had gone already
    EXPECT_EQ(tk.next_event().type, EventType::None);
}

TEST(MemoryToolkit, QueuedAnswersAreUsedInOrderThenDefaultToNoAndCancel)
{
    MemoryToolkit tk;
    tk.answer_question(true);
    tk.answer_picker("/a/");
    EXPECT_TRUE(tk.ask_yes_no("Q", "first?"));
    EXPECT_FALSE(tk.ask_yes_no("Q", "second?"));
    EXPECT_EQ(tk.pick_folder("Pick", "/start/"), "/a/");
    EXPECT_EQ(tk.pick_folder("Pick", "/start/"), "");
    tk.message_box("T", "text", BoxIcon::Error);
    ASSERT_EQ(tk.boxes.size(), 5u);
    EXPECT_EQ(tk.boxes_of(BoxKind::FolderPicker)[0].text, "/start/");
    EXPECT_EQ(tk.boxes.back().icon, BoxIcon::Error);
}

} // namespace
} // namespace pictavo
