#!/usr/bin/env bash
# A real session in the real window under Xvfb, driven by xdotool as a user
# would drive it, with a screenshot after each step (docs/window-*.png):
#
#   1 window-open.png    "Open..." on a real PDF (pdfio's 4-page test file
#                        from ../shared/corpus, given thumbnails of its own
#                        on three pages by pagemint-cli first), the Pages
#                        panel opened
#   2 window-render.png  "Render all" at 96 pixels
#   3 window-remove.png  page 2 selected, "Remove selected"
#   4 window-add.png     a picture typed into "Thumbnail:", page 3, "Add"
#   5 window.png         a destination typed into "Save To:", "Generate"
#   6 window-busy.png    the 100,000-page benchmark document opening
#
# The written file is then checked with qpdf: clean, /UseThumbs, and each
# page's thumbnail as the session left it.
#   scripts/window-screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build/release}"
CORPUS="${PAGEMINT_CORPUS_DIR:-../shared/corpus}"
SOURCE="$CORPUS/pdf/real/pdfio/testpdfio.pdf"
PICTURE="$CORPUS/pictures/jpeg/libjpeg-turbo-testorig.jpg"
for f in "$SOURCE" "$PICTURE"; do
  [ -f "$f" ] || { echo "window-screenshot: no corpus file $f" >&2; exit 1; }
done

cmake --build "$BUILD" --target pagemint pagemint-cli >/dev/null
APP="$BUILD/app/pagemint"
CLI="$BUILD/cli/pagemint-cli"

# A fixed, readable folder: its path shows in the window's boxes.
WORK=/tmp/pagemint-session
rm -rf "$WORK"
mkdir -p "$WORK"
cp "$PICTURE" "$WORK/photo.jpg"
# The source: the corpus file with thumbnails of its own, made by
# pagemint-cli: page 2 rendered at 64 pixels, pictures on pages 1 and 3,
# none on page 4.
convert -size 60x80 gradient:navy-skyblue "BMP3:$WORK/cover.bmp"
convert -size 60x80 gradient:orange-red "$WORK/back.jpg"
"$CLI" "$SOURCE" "$WORK/report.pdf" --render-thumbs=2 --thumb-size 64 \
  --thumb "1=$WORK/cover.bmp" --thumb "3=$WORK/back.jpg"

SCREEN_W=1280
SCREEN_H=720
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

"$APP" >"$WORK/app.log" 2>&1 &
APP_PID=$!
WINDOW=$(xdotool search --sync --name '^Pagemint 1\.21$' | head -1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$WINDOW")"  # X, Y of the window
WX=$X
WY=$Y

# Clicks at window coordinates; types into whatever has the focus.
click() { xdotool mousemove --sync $((WX + $1)) $((WY + $2)) click 1; sleep 0.4; }
type_text() { xdotool type --delay 8 "$1"; }
# Selects the text of the box at x, y and types over it.
type_into() {
  click "$1" "$2"
  xdotool key ctrl+a
  type_text "$3"
  sleep 0.2
}
# Qt keeps a 1 x 1 helper window with the application's name; a message
# box is a real window with that caption.
message_box_shown() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Pagemint$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -gt 20 ] && return 0
  done
  return 1
}
# A message box (captioned "Pagemint") after a step means it failed: its
# picture is kept for a look, and the session ends.
shot() {
  sleep "${2:-1}"
  if message_box_shown; then
    import -window root "$WORK/failed-$1"
    echo "window-screenshot: a message box came up before $1 (see $WORK/failed-$1)" >&2
    exit 1
  fi
  import -window root -crop "${SHOT_W}x438+${WX}+${WY}" +repage "docs/$1"
  echo "window-screenshot: docs/$1"
}
# Controls by their place: the group's origin plus the control's centre.
OPEN_BUTTON="$((32 + 363 + 37)) $((24 + 64 + 12))"
PAGES_BUTTON="$((32 + 283 + 37)) $((24 + 64 + 12))"
PICTURE_BOX="$((32 + 88 + 162)) $((127 + 16 + 10))"
PAGE_BOX="$((32 + 88 + 40)) $((127 + 51 + 10))"
ADD_BUTTON="$((32 + 67 + 37)) $((127 + 92 + 12))"
SAVE_BOX="$((32 + 88 + 162)) $((262 + 27 + 10))"
OPEN_AFTER_BOX="$((32 + 8 + 7)) $((262 + 64 + 8))"
GENERATE_BUTTON="$((120 + 37)) $((377 + 12))"
PANEL_X=533
PANEL_Y=24
FIRST_PAGE_ROW="$((PANEL_X + 12 + 128)) $((PANEL_Y + 20 + 20))"
SIZE_BOX="$((PANEL_X + 100 + 25)) $((PANEL_Y + 258 + 10))"
RENDER_ALL="$((PANEL_X + 144 + 62)) $((PANEL_Y + 286 + 12))"
REMOVE_SELECTED="$((PANEL_X + 12 + 62)) $((PANEL_Y + 316 + 12))"

# 1: Open... types the path into the file dialog; the Pages panel.
click $OPEN_BUTTON
DIALOG=$(xdotool search --sync --name '^Open a PDF file$' | head -1)
xdotool windowfocus --sync "$DIALOG" 2>/dev/null || true
sleep 0.5
type_text "$WORK/report.pdf"
xdotool key Return
sleep 1.5
click $PAGES_BUTTON
SHOT_W=849
shot window-open.png

# 2: Render all at 96 pixels.
type_into $SIZE_BOX 96
click $RENDER_ALL
shot window-render.png 3

# 3: page 2 selected, Remove selected.
click $FIRST_PAGE_ROW
xdotool key Down
click $REMOVE_SELECTED
shot window-remove.png

# 4: a picture typed into Thumbnail:, page 3, Add.
type_into $PICTURE_BOX "$WORK/photo.jpg"
type_into $PAGE_BOX 3
click $ADD_BUTTON
shot window-add.png

# 5: the destination typed into Save To:, Generate (no viewer is opened:
# the session unchecks that box first).
click $OPEN_AFTER_BOX
type_into $SAVE_BOX "$WORK/report-thumbs.pdf"
click $GENERATE_BUTTON
for _ in $(seq 1 100); do [ -f "$WORK/report-thumbs.pdf" ] && break; sleep 0.1; done
shot window.png 2

# 6: the 100,000-page benchmark document opening: the progress bar and
# Cancel in the Source group, the other controls disabled.
if cmake --build "$BUILD" --target bench_roundtrip_files >/dev/null 2>&1; then
  "$BUILD/bench/bench_roundtrip_files" "$WORK" 100000 1 >/dev/null
  click $OPEN_BUTTON
  DIALOG=$(xdotool search --sync --name '^Open a PDF file$' | head -1)
  xdotool windowfocus --sync "$DIALOG" 2>/dev/null || true
  sleep 0.5
  xdotool key ctrl+a
  type_text "$WORK/many.pdf"
  xdotool key Return
  shot window-busy.png 1.2
  sleep 6
fi

kill "$APP_PID" 2>/dev/null || true
wait "$APP_PID" 2>/dev/null || true
APP_PID=

# The file the session wrote.
OUT="$WORK/report-thumbs.pdf"
qpdf --check "$OUT" >/dev/null
qpdf --json --json-key=pages --json-key=qpdf "$OUT" >"$WORK/check.json"
python3 - "$WORK/check.json" <<'EOF'
import json, sys
doc = json.load(open(sys.argv[1]))
objects = doc["qpdf"][1]
sizes = []
for page in doc["pages"]:
    thumb = objects["obj:" + page["object"]]["value"].get("/Thumb")
    if thumb is None:
        sizes.append("none")
        continue
    d = objects["obj:" + thumb]["stream"]["dict"]
    sizes.append("%dx%d" % (d["/Width"], d["/Height"]))
print("window-screenshot: thumbnails of the written pages:", " ".join(sizes))
# Page 2's was removed; page 3 has the picture (227 x 149); 1 and 4 rendered.
assert sizes[1] == "none" and sizes[2] == "227x149", sizes
assert all(max(map(int, s.split("x"))) == 96 for s in (sizes[0], sizes[3])), sizes
EOF
qpdf --qdf --object-streams=disable "$OUT" "$WORK/check.pdf"
grep -aq '/PageMode /UseThumbs' "$WORK/check.pdf"
echo "window-screenshot: $OUT passes qpdf --check and opens with /PageMode /UseThumbs"
