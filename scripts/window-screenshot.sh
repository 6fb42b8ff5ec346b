#!/usr/bin/env bash
# Takes docs/window.png: the real window under Xvfb after a short session
# (a PDF opened, two pictures attached, a destination chosen). The PDF and
# the pictures are made here by Ghostscript and ImageMagick.
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
# corner without a frame; the picture is cut to its client area.
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  "$1" "$2/report.pdf" "$2/cover.bmp" "$2/photo.jpg" "$2/report-thumbs.pdf" &
  pid=$!
  sleep 3
  import -window root -crop 549x438+0+0 +repage "$3"
  kill "$pid"
' _ "$DEMO" "$WORK" "$OUT"
echo "window-screenshot: wrote $OUT"
