#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the Pagemint window from a build folder. Without a display the
# window cannot start: this says so in one line and points to what works
# there, instead of Qt's platform-plugin error. Falls back to the
# command-line tool's help where no window was built.
set -euo pipefail
BUILD="${1:-build/release}"
if [ -x "$BUILD/app/pagemint" ]; then
  # A platform chosen by hand (offscreen, vnc, eglfs...) is trusted.
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run: no display here (DISPLAY is not set): use $BUILD/cli/pagemint-cli --help, or run the window on a virtual display with xvfb-run $BUILD/app/pagemint"
    exit 0
  fi
  exec "$BUILD/app/pagemint"
fi
if [ -x "$BUILD/cli/pagemint-cli" ]; then
  exec "$BUILD/cli/pagemint-cli" --help
fi
echo "run: the engine is built; no program to start yet" >&2
