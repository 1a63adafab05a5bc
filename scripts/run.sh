#!/usr/bin/env bash
# Starts the newest front end of a build folder: the window when it was built and a display
# is there, otherwise the command-line front end's help.
set -euo pipefail
build=${1:-build/release}
if [ -x "$build/app/pictavo" ] || [ -x "$build/pictavo" ]; then
  gui=$( [ -x "$build/pictavo" ] && echo "$build/pictavo" || echo "$build/app/pictavo" )
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$gui"
  fi
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open."
  echo "Use the command-line front end instead:"
fi
exec "$build/cli/pictavo-cli" --help
