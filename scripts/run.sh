#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the window of a build folder when there is a display; without one (or without the
# window built) it says so and shows how to use the command-line front end instead.
set -euo pipefail
build=${1:-build/release}
cli="$build/cli/pictavo-cli"
gui=""
for candidate in "$build/pictavo" "$build/app/pictavo"; do
  if [ -x "$candidate" ]; then gui=$candidate; break; fi
done
if [ -n "$gui" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec "$gui"
fi
if [ -n "$gui" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset), so the Pictavo window cannot open."
else
  echo "The Pictavo window was not built (PICTAVO_BUILD_GUI is OFF)."
fi
echo "Use the command-line front end instead, for example:"
echo "  $cli --mode normal --size 1000 INPUT_FOLDER OUTPUT_FOLDER"
echo
exec "$cli" --help
