#!/usr/bin/env bash
# Takes docs/window.png: the real window under Xvfb after a short session
# (a PDF opened, two pictures attached, a destination chosen, the new PDF
# generated). The PDF and the pictures are made here by Ghostscript and
# ImageMagick; the generated file is checked with qpdf before the picture
# is taken.
#   scripts/window-screenshot.sh [BUILD_DIR] [OUTPUT.png]
set -euo pipefail
BUILD="${1:-build/release}"
OUT="${2:-docs/window.png}"

cmake --build "$BUILD" --target pagemint_window_demo >/dev/null
DEMO="$BUILD/app/pagemint_window_demo"

# A fixed, readable folder: its path shows in the window's boxes.
WORK=/tmp/pagemint-demo
rm -rf "$WORK"
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT
gs -q -sDEVICE=pdfwrite -o "$WORK/report.pdf" -c \
  '/Helvetica findfont 24 scalefont setfont
   1 1 3 { 72 700 moveto (Page ) show 3 string cvs show showpage } for'
convert -size 120x90 gradient:navy-skyblue "BMP3:$WORK/cover.bmp"
convert -size 160x120 gradient:orange-red "$WORK/photo.jpg"

# No window manager runs, so the window sits at the screen's top-left
# corner without a frame; the picture is cut to its client area. The demo
# says "session done" once every button of the session was pressed.
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  demo=$1 work=$2 out=$3
  "$demo" "$work/report.pdf" "$work/cover.bmp" "$work/photo.jpg" "$work/report-thumbs.pdf" \
    >"$work/demo.log" 2>&1 &
  pid=$!
  for _ in $(seq 1 300); do
    grep -q "session done" "$work/demo.log" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -q "session done" "$work/demo.log"; then
    cat "$work/demo.log" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  sleep 1
  import -window root -crop 549x438+0+0 +repage "$out"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
' _ "$DEMO" "$WORK" "$OUT"

# The session really wrote the thumbnails and asked the shell to open it.
cat "$WORK/demo.log"
qpdf --check "$WORK/report-thumbs.pdf" >/dev/null
qpdf --qdf --object-streams=disable "$WORK/report-thumbs.pdf" "$WORK/check.pdf"
thumbs=$(grep -ac '^  /Thumb [0-9]* 0 R' "$WORK/check.pdf" || true)
grep -aq '/PageMode /UseThumbs' "$WORK/check.pdf"
grep -q "shell: open $WORK/report-thumbs.pdf" "$WORK/demo.log"
echo "window-screenshot: the session wrote $thumbs thumbnails with /PageMode /UseThumbs"
[ "$thumbs" -eq 2 ]
echo "window-screenshot: wrote $OUT"
