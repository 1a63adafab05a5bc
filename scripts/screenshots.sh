#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of the window on a virtual X display under the GTK platform theme, with the light
# and the dark GTK theme: the main window with a session restored (a long input path, options
# ticked), the final box after a run, and the box that says why the manual could not be opened. Then, under each theme, the window test that checks
# the contrast of every caption. Installs Xvfb, a small window manager (title bars), Qt's GTK
# platform theme, the dark GTK theme, ImageMagick (for the captures) and xdotool (for the
# clicks) first.
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]     (defaults: build/test, /tmp/screenshots)
#
# BUILD_DIR needs the `pictavo` program and the test_window_qt test program.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/test}")
out=$(realpath -m "${2:-/tmp/screenshots}")
bash scripts/install-deps.sh screenshots

mkdir -p "$out"
scratch=$(mktemp -d)
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$scratch"' EXIT
sleep 1
export DISPLAY=$display
openbox >"$scratch/openbox.log" 2>&1 &
trap 'kill "$!" "$xvfb" 2>/dev/null || true; rm -rf "$scratch"' EXIT
sleep 1

# A GTK theme under a sanitizer build: the desktop libraries' own leaks are not ours.
export ASAN_OPTIONS=detect_leaks=0
export QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME=gtk3

for theme in Adwaita Adwaita-dark; do
  # The same paths under both themes, so the two windows can be compared pixel by pixel.
  home="$scratch/home"
  rm -rf "$home"
  photos="$home/Pictures/a folder with a rather long name for the holiday photos of the summer/day one"
  mkdir -p "$photos" "$home/Pictures/small" "$home/.config/pictavo"
  cp tests/data/jpeg/testorig.jpg "$photos/"
  printf 'input-folder=%s/\noutput-folder=%s/\ndates=1\nmode=5\n' "$photos" "$home/Pictures/small" \
    >"$home/.config/pictavo/window.conf"

  (cd "$home" && HOME="$home" GTK_THEME="$theme" exec "$build/pictavo") >"$scratch/pictavo-$theme.log" 2>&1 &
  program=$!
  window=$(xdotool search --sync --name '^Pictavo - PTV')
  xdotool mousemove 0 0 # no control under the pointer: hover looks would differ
  sleep 3
  import -window "$window" "$out/window-gtk-$theme.png"
  # PROCESS (the middle of the window's lower half, left of the options), then the final box
  # over the window, title bars included.
  xdotool mousemove --window "$window" 430 390 click 1
  # The run goes on behind the window: the box comes when it ends.
  box=$(xdotool search --sync --onlyvisible --name '^PTV Information$' | tail -n 1)
  sleep 1
  import -window root "$out/final-box-gtk-$theme.png"
  # OK, then the manual link: with no browser on this display, the box that says why.
  xdotool windowactivate --sync "$box" key Return
  sleep 1
  xdotool mousemove --window "$window" 90 400 click 1
  sleep 6 # the opener's answer
  import -window root "$out/manual-not-opened-gtk-$theme.png"
  kill "$program"
  wait "$program" || true

  PICTAVO_DESKTOP_THEME="$theme" GTK_THEME="$theme" PICTAVO_SCREENSHOT_DIR="$out" \
    "$build/tests/window/test_window_qt" --gtest_filter='QtDesktopWindow.EveryTextStaysReadable*'
done

# Under its own palette the window must look the same under both themes.
difference=$(compare -metric AE "$out/window-gtk-Adwaita.png" "$out/window-gtk-Adwaita-dark.png" null: 2>&1 || true)
echo "screenshots: pixels that differ between the light and the dark theme's window: $difference"
echo "screenshots: written to $out"
