#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A session in the real window under Xvfb, driven only by the keyboard
# through xdotool (no mouse click at all), that walks through each way the
# window used to lose work or get in the way and shows what it does now,
# with a screenshot of each (docs/window-*.png):
#
#   1 window-replace.png   A generated to out.pdf; B opened (Save To is
#                          empty again); out.pdf typed for B: the window
#                          asks before replacing A's output
#   2 window-unsaved.png   a picture added to B, then Ctrl+O: Save,
#                          Discard or Cancel (Cancel); Ctrl+Q asks too
#   3 window-password.png  a password prompt cancelled: B stays open, the
#                          boxes as they were, the log says so
#   4 window-grid.png      the 20,000-page document typed into PDF File
#                          (Enter opens it), the window made as large as the
#                          screen: the grid of thumbnails at their real
#                          size after rendering the range 1-60
#   5 window-help.png      F1 with no desktop handler for HTML: the help in
#                          the window's own browser
#   6 window.png           the grid's pages generated with Ctrl+S; the
#                          written file is checked with qpdf
#   7 window-busy.png      the 100,000-page document opening: progress and
#                          Cancel; Escape cancels and the previous
#                          document stays
# Then the window is closed with Ctrl+Q and started again: the size and
# the recent files are remembered (window-restart.png).
#
#   scripts/window-session.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build/release}"
CORPUS="${PAGEMINT_CORPUS_DIR:-../shared/corpus}"
SOURCE="$CORPUS/pdf/real/pdfio/testpdfio.pdf"
PICTURE="$CORPUS/pictures/jpeg/libjpeg-turbo-testorig.jpg"
for f in "$SOURCE" "$PICTURE"; do
  [ -f "$f" ] || { echo "window-session: no corpus file $f" >&2; exit 1; }
done

cmake --build "$BUILD" --target pagemint pagemint-cli bench_roundtrip_files >/dev/null
APP="$BUILD/app/pagemint"
CLI="$BUILD/cli/pagemint-cli"

# A fixed, readable folder: its paths show in the window's boxes.
WORK=/tmp/pagemint-session
rm -rf "$WORK"
mkdir -p "$WORK/big" "$WORK/huge" "$WORK/config"
# The window's settings go here, not into the user's own.
export XDG_CONFIG_HOME="$WORK/config"
cp "$PICTURE" "$WORK/photo.jpg"
convert -size 60x80 gradient:navy-skyblue "BMP3:$WORK/cover.bmp"
"$CLI" "$SOURCE" "$WORK/a.pdf" --render-thumbs=2 --thumb-size 64 --thumb "1=$WORK/cover.bmp"
qpdf --empty --pages "$SOURCE" "$SOURCE" "$SOURCE" -- "$WORK/b.pdf"
qpdf --allow-weak-crypto --encrypt secret secret 128 --use-aes=n -- "$WORK/a.pdf" "$WORK/locked.pdf"
"$BUILD/bench/bench_roundtrip_files" "$WORK/big" 20000 1 >/dev/null
"$BUILD/bench/bench_roundtrip_files" "$WORK/huge" 100000 1 >/dev/null

SCREEN_W=1280
SCREEN_H=800
DISPLAY_NUMBER=99
while [ -e "/tmp/.X${DISPLAY_NUMBER}-lock" ]; do DISPLAY_NUMBER=$((DISPLAY_NUMBER + 1)); done
Xvfb ":$DISPLAY_NUMBER" -screen 0 "${SCREEN_W}x${SCREEN_H}x24" -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
APP_PID=
cleanup() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  kill "$XVFB" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$DISPLAY_NUMBER"
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done 2>/dev/null || sleep 2

start_app() {
  "$APP" >>"$WORK/app.log" 2>&1 &
  APP_PID=$!
  MAIN=$(xdotool search --sync --name 'Pagemint 1\.21$' | head -1)
  sleep 1
  # Without a window manager the window takes the keyboard focus itself.
  xdotool windowfocus --sync "$MAIN" 2>/dev/null || true
}
key() {
  local k
  for k in "$@"; do
    xdotool key "$k"
    sleep 0.15
  done
  sleep 0.2
}
type_text() { xdotool type --delay 6 "$1"; sleep 0.2; }
# The box reached by alt+LETTER, its text replaced.
fill() { key "alt+$1" ctrl+a; type_text "$2"; }
# A window of this caption appears (message boxes are captioned
# "Pagemint", dialogs by their titles).
wait_for() {
  for _ in $(seq 1 100); do
    for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$w")"
      if [ "$WIDTH" -gt 20 ]; then
        # What a window manager would do: the new window takes the keys.
        xdotool windowfocus --sync "$w" 2>/dev/null || true
        sleep 0.4
        return 0
      fi
    done
    sleep 0.1
  done
  echo "window-session: no window \"$1\" came up" >&2
  import -window root "$WORK/failed.png"
  exit 1
}
wait_gone() {
  for _ in $(seq 1 600); do
    local shown=0
    for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$w")"
      [ "$WIDTH" -gt 20 ] && shown=1
    done
    if [ "$shown" = 0 ]; then
      # Back to the main window, as a window manager would.
      xdotool windowfocus --sync "$MAIN" 2>/dev/null || true
      sleep 0.5
      return 0
    fi
    sleep 0.1
  done
  echo "window-session: \"$1\" stays" >&2
  exit 1
}
# The window (and what is over it) as the screen shows it.
shot() {
  sleep "${2:-0.8}"
  eval "$(xdotool getwindowgeometry --shell "$MAIN")"
  local w=$WIDTH h=$HEIGHT x=$X y=$Y
  [ $((x + w)) -gt $SCREEN_W ] && w=$((SCREEN_W - x))
  [ $((y + h)) -gt $SCREEN_H ] && h=$((SCREEN_H - y))
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "docs/$1"
  echo "window-session: docs/$1"
}
shot_screen() {
  sleep "${2:-0.8}"
  import -window root "docs/$1"
  echo "window-session: docs/$1"
}
open_file() {
  key ctrl+o
  wait_for '^Open a PDF file$'
  key ctrl+a
  type_text "$1"
  key Return
  wait_gone '^Open a PDF file$'
}
log_has() { grep -q "$1" "$WORK/app.log"; }

start_app

# 1: an output written for another document is not replaced silently.
open_file "$WORK/a.pdf"
sleep 1
# "Open the generated PDF file after saving" off: Tab order from Save To.
key alt+v Tab Tab space
fill v "$WORK/out.pdf"
key Return
for _ in $(seq 1 100); do [ -f "$WORK/out.pdf" ] && break; sleep 0.1; done
sleep 1
A_PAGES=$(qpdf --show-npages "$WORK/out.pdf")
open_file "$WORK/b.pdf"
sleep 1
fill v "$WORK/out.pdf"
key Return
wait_for '^Pagemint$'
shot window-replace.png
key Return  # No is the default
wait_gone '^Pagemint$'
[ "$(qpdf --show-npages "$WORK/out.pdf")" = "$A_PAGES" ] || {
  echo "window-session: out.pdf was replaced" >&2
  exit 1
}
echo "window-session: 1: out.pdf ($A_PAGES pages, A's) kept after the question"

# 2: unsaved changes are asked about on Open and on Exit.
fill t "$WORK/photo.jpg"
fill n 2
key Return  # Enter in Page No. adds
sleep 0.5
key ctrl+o
wait_for '^Open a PDF file$'
key ctrl+a
type_text "$WORK/a.pdf"
key Return
wait_gone '^Open a PDF file$'
wait_for '^Pagemint$'
shot window-unsaved.png
key Escape  # Cancel
wait_gone '^Pagemint$'
key ctrl+q
wait_for '^Pagemint$'
shot window-unsaved-exit.png
key Escape
wait_gone '^Pagemint$'
echo "window-session: 2: Open and Exit asked first; cancelled, b.pdf is still open"

# 3: a cancelled password keeps the previous document. Ctrl+Z undoes the
# picture first, so nothing is left to ask about.
key Tab ctrl+z  # from Page No. (a box undoes its own typing) to Add
open_file "$WORK/locked.pdf"
wait_for '^Pagemint$'
shot window-password-prompt.png
key Escape
wait_gone '^Pagemint$'
shot window-password.png
echo "window-session: 3: password cancelled, b.pdf stays open"

# 4: the PDF File box is the document; the window as large as the screen
# with the grid at full size.
fill f "$WORK/big/many.pdf"
key Return
sleep 3
xdotool windowmove "$MAIN" 0 0 windowsize "$MAIN" $SCREEN_W $SCREEN_H
sleep 1
fill r "1-60"
key Return
key alt+d  # Render selected
sleep 6
shot window-grid.png 1
echo "window-session: 4: many.pdf (20,000 pages) open from the box, pages 1-60 rendered"

# 5: help without a desktop handler: our own browser.
key F1
wait_for '^Pagemint help$'
shot_screen window-help.png
key Escape
wait_gone '^Pagemint help$'

# 6: generate with the keyboard.
fill v "$WORK/many-thumbs.pdf"
key ctrl+s
for _ in $(seq 1 300); do [ -f "$WORK/many-thumbs.pdf" ] && break; sleep 0.1; done
sleep 2
shot window.png
qpdf --check "$WORK/many-thumbs.pdf" >/dev/null
THUMBS=$(qpdf --qdf --object-streams=disable "$WORK/many-thumbs.pdf" - | grep -ac '/Thumb ' || true)
echo "window-session: 6: many-thumbs.pdf passes qpdf --check, $THUMBS pages with a thumbnail"

# 7: the 100,000-page document opening; Escape cancels, many.pdf stays.
open_file "$WORK/huge/many.pdf"
shot window-busy.png 0.5
key Escape
sleep 2
shot window-cancelled.png

# Exit with Ctrl+Q (nothing unsaved: no question), then start again.
key ctrl+q
for _ in $(seq 1 50); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$APP_PID" 2>/dev/null; then
  echo "window-session: Ctrl+Q did not end the program" >&2
  exit 1
fi
APP_PID=
start_app
key alt+f Tab Tab space  # the recent files beside Open
sleep 0.5
shot_screen window-restart.png
key Escape
echo "window-session: restarted; settings in $XDG_CONFIG_HOME:"
cat "$XDG_CONFIG_HOME"/pagemint/pagemint.conf | grep -E '^(recent|window/pages|folders)' || true
