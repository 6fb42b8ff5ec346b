#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window's screenshots (docs/window*.png): the keyboard-driven session
# of scripts/window-session.sh, which takes them all.
#   scripts/window-screenshot.sh [BUILD_DIR]
exec "$(dirname "$0")/window-session.sh" "$@"
