// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt tests share one QApplication that lives on main's stack, so it goes before the
// process's static objects do. They run on the offscreen platform (test listing included),
// display or not, unless PICTAVO_DESKTOP_THEME is set: then they run on the platform and
// theme the environment names, as the screenshot script does to check a desktop's theme.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("PICTAVO_DESKTOP_THEME"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
