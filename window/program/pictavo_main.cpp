// SPDX-License-Identifier: GPL-3.0-or-later
// The `pictavo` program: the main window on Qt.
#include "app/allocator_tuning.h"
#include "window/main_window.h"
#include "toolkit/qt/qt_toolkit.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <string>

namespace {

// Where the manual link leads: the configured address, else the installed manual (beside the
// program's own installation first, then where it was configured to be installed), else the
// copy in the build folder for a program run from there.
std::string manual_address()
{
    const std::string configured = PICTAVO_MANUAL_URL;
    if (!configured.empty())
        return configured;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/../" PICTAVO_DOC_DIR "/manual.html");
    for (const QString& candidate : {beside, QStringLiteral(PICTAVO_INSTALLED_MANUAL), QStringLiteral(PICTAVO_BUILT_MANUAL)}) {
        const QFileInfo file(candidate);
        if (file.isFile())
            return "file://" + file.canonicalFilePath().toStdString();
    }
    return {};
}

// The donation link leads to the configured address, else to the manual's Support section.
std::string donate_address(const std::string& manual)
{
    const std::string configured = PICTAVO_DONATE_URL;
    if (!configured.empty())
        return configured;
    return manual.empty() ? manual : manual + "#support";
}

} // namespace

int main(int argc, char** argv)
{
    if (!pictavo::qt_display_available()) {
        std::fprintf(stderr,
                     "pictavo: no display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window "
                     "cannot open.\nUse the command-line front end instead, for example:\n"
                     "  pictavo-cli --mode normal --size 1000 INPUT_FOLDER OUTPUT_FOLDER\n"
                     "  pictavo-cli --help\n");
        return 1;
    }
    pictavo::keep_large_buffers_in_heap();
    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictavo/pictavo.png")));
    QApplication::setDesktopFileName(QStringLiteral("pictavo"));

    pictavo::QtToolkit toolkit;
    pictavo::AppState state;
    const std::string manual = manual_address();
    pictavo::MainWindow window(toolkit, state, pictavo::program_window_services(manual, donate_address(manual)));
    return window.run();
}
