#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Thumbnail benchmark: every page of three documents drawn into a
# 128-pixel thumbnail by pagemint-cli, pdftoppm and mutool draw, in one run
# on the same files, with what the thumbnails cost in the file.
#
#   jpeg.pdf    300 pages, each its own photograph-like JPEG (synthetic:
#               gradients, noise and an XOR pattern; no caption)
#   photos.pdf  300 pages, each a real photograph's crop as a 1024 x 768
#               JPEG with a caption (bench/make_photo_pages.py, from the
#               shared corpus's pictures; skipped when it is not there)
#   many.pdf    PAGES (default 20,000) pages of text with a link each
#   scans.pdf   SCAN_PAGES (default 300) pages scanned at 300 dpi, grey and
#               colour JPEG over the whole page, invisible OCR text on top
#
# (bench_roundtrip_files and bench_scan_files write them). Each document
# goes through
#   pagemint-cli IN OUT --render-thumbs      default workers (one per core)
#   pagemint-cli IN OUT --render-thumbs --jobs 1
#   pdftoppm -scale-to 128 -png IN DIR/p     one thread
#   mutool draw -w 128 -h 128 -o DIR/p%d.png IN   one thread
#   pagemint-cli IN OUT                      a plain rewrite, for the size
# and prints the best wall time and CPU time (user + system) of RUNS runs
# (default 1), CPU time per page, and the ratios to mutool draw. Thumbnail
# bytes per page are the written file's size less the plain rewrite's, over
# the pages. Fidelity: for every STRIDE-th page (default a tenth of the
# pages, at most 40 pages) the thumbnail read back against pdftoppm's
# drawing, mean absolute error in levels (mean of the pages and the worst
# page). Every output must have a thumbnail on every page and pass qpdf
# --check.
#
# Environment: BUILD (default build/release), DATA (default
# $BUILD/thumbs-data), RUNS, PAGES, SCAN_PAGES, DOCS (default "photos jpeg
# many scans"), PICTURES (the photographs' folder), SKIP_BUILD=1. Not part
# of the test suite.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release}
DATA=${DATA:-$BUILD/thumbs-data}
RUNS=${RUNS:-1}
PAGES=${PAGES:-20000}
IMAGE_PAGES=${IMAGE_PAGES:-1}
SCAN_PAGES=${SCAN_PAGES:-300}
DOCS=${DOCS:-photos jpeg many scans}
PICTURES=${PICTURES:-$ROOT/../shared/corpus/pictures/jpeg}

BENCH=thumbs
# shellcheck source=bench/common.sh
. "$ROOT/bench/common.sh"

bench_install_deps mutool=mupdf-tools compare=imagemagick
if [ "${SKIP_BUILD:-0}" != 1 ]; then
  bench_build
  cmake --build "$BUILD" --target bench_scan_files -j 2 >/dev/null
fi
bench_make_documents "$PAGES-$IMAGE_PAGES-$SCAN_PAGES" "$BUILD/bench/bench_scan_files" "$DATA" "$SCAN_PAGES"
if [[ " $DOCS " == *" photos "* ]] && [ ! -f "$DATA/photos.pdf" ]; then
  if [ -d "$PICTURES" ]; then
    python3 "$ROOT/bench/make_photo_pages.py" "$PICTURES" "$DATA/photos.pdf" 300
  else
    echo "$BENCH: no $PICTURES: photos.pdf skipped" >&2
    DOCS=${DOCS//photos/}
  fi
fi

# Runs a command RUNS times after CLEAN; WALL and CPU (user + system) of
# the run with the best wall time.
measure() {  # CLEAN COMMAND...
  WALL="" CPU=""
  local clean=$1 times=$DATA/.time wall user sys
  shift
  for _ in $(seq "$RUNS"); do
    eval "$clean"
    if ! /usr/bin/time -f "%e %U %S" -o "$times" "$@" >/dev/null 2>"$DATA/.stderr"; then
      echo "$BENCH: failed: $*" >&2
      cat "$DATA/.stderr" >&2
      exit 1
    fi
    read -r wall user sys <"$times"
    if [ -z "$WALL" ] || awk "BEGIN{exit !($wall < $WALL)}"; then
      WALL=$wall
      CPU=$(awk "BEGIN{print $user + $sys}")
    fi
  done
}

row() {  # DOC PAGES TOOL
  printf '%-10s %6s %-22s %8.2f %8.2f %9.2f\n' "$1" "$2" "$3" "$WALL" "$CPU" \
    "$(awk "BEGIN{print $CPU * 1000 / $2}")"
}

declare -A wall cpu bytes err_mean err_worst forms
printf '\n%-10s %6s %-22s %8s %8s %9s\n' document pages tool "wall s" "cpu s" "cpu ms/pg"
for doc in $DOCS; do
  in="$DATA/$doc.pdf"
  out="$DATA/out-$doc.pdf"
  plain="$DATA/plain-$doc.pdf"
  pngs="$DATA/png-$doc"
  pages=$(qpdf --show-npages "$in")

  measure "rm -f '$out'" "$CLI" "$in" "$out" --render-thumbs
  wall[$doc,pm]=$WALL cpu[$doc,pm]=$CPU
  row "$doc" "$pages" "pagemint-cli"
  measure "rm -f '$out'" "$CLI" "$in" "$out" --render-thumbs --jobs 1
  wall[$doc,pm1]=$WALL cpu[$doc,pm1]=$CPU
  row "$doc" "$pages" "pagemint-cli --jobs 1"
  measure "rm -rf '$pngs'; mkdir -p '$pngs'" pdftoppm -scale-to 128 -png "$in" "$pngs/p"
  wall[$doc,pdftoppm]=$WALL cpu[$doc,pdftoppm]=$CPU
  row "$doc" "$pages" "pdftoppm"
  measure "rm -rf '$pngs.mu'; mkdir -p '$pngs.mu'" mutool draw -q -w 128 -h 128 -o "$pngs.mu/p%d.png" "$in"
  wall[$doc,mutool]=$WALL cpu[$doc,mutool]=$CPU
  row "$doc" "$pages" "mutool draw"
  rm -rf "$pngs.mu"
  measure "rm -f '$plain'" "$CLI" "$in" "$plain"
  row "$doc" "$pages" "pagemint-cli rewrite"

  # What the thumbnails cost, and what they hold.
  bytes[$doc]=$(( ($(stat -c %s "$out") - $(stat -c %s "$plain")) / pages ))
  thumbs=$("$CLI" --info "$out" | sed -n 's/^thumbnails: //p' | wc -w)
  if [ "$thumbs" != "$pages" ]; then
    echo "$BENCH: $doc.pdf: $thumbs of $pages pages have a thumbnail" >&2
    exit 1
  fi
  forms[$doc]=$("$CLI" --info "$out" | sed -n 's/^thumbnail_forms: //p' | tr ' ' '\n' |
    cut -d= -f2 | sort | uniq -c | awk '{printf "%s%s %s", (NR > 1 ? ", " : ""), $1, $2}')
  if ! qpdf --check "$out" >"$DATA/.check" 2>&1; then
    echo "$BENCH: qpdf --check out-$doc.pdf failed" >&2
    tail -5 "$DATA/.check" >&2
    exit 1
  fi

  # Fidelity on a sample of pages: the thumbnail read back against
  # pdftoppm's drawing of the same page.
  stride=${STRIDE:-$(( pages / 40 > 10 ? pages / 40 : 10 ))}
  sample=$(seq 1 "$stride" "$pages" | paste -sd, -)
  rm -rf "$DATA/sample" && mkdir -p "$DATA/sample"
  qpdf "$out" --pages "$out" "$sample" -- "$DATA/sample/s.pdf"
  "$CLI" "$DATA/sample/s.pdf" --extract-thumbs "$DATA/sample/ours" >/dev/null
  pdftoppm -scale-to 128 -png "$DATA/sample/s.pdf" "$DATA/sample/ref"
  n=0 sum=0 worst=0
  for ours in "$DATA"/sample/ours/page-*.png; do
    k=${ours##*page-}
    k=${k%.png}
    ref=$(ls "$DATA"/sample/ref-*.png | awk -v k="$k" -F'ref-' '{split($2, a, "."); if (a[1] + 0 == k) print}')
    e=$({ compare -metric MAE "$ours" "$ref" null: 2>&1 || true; } | sed -n 's/.*(\(.*\)).*/\1/p')
    e=$(awk "BEGIN{print ${e:-1} * 255}")
    sum=$(awk "BEGIN{print $sum + $e}")
    worst=$(awk "BEGIN{print ($e > $worst) ? $e : $worst}")
    n=$((n + 1))
  done
  err_mean[$doc]=$(awk "BEGIN{print $sum / $n}")
  err_worst[$doc]=$worst
done

printf '\n%-10s %12s %12s %12s %s\n' document "bytes/page" "mean error" "worst page" "forms (sampled pages: all)"
for doc in $DOCS; do
  printf '%-10s %12s %12.2f %12.2f %s\n' "$doc" "${bytes[$doc]}" "${err_mean[$doc]}" \
    "${err_worst[$doc]}" "${forms[$doc]}"
done

printf '\nratios to mutool draw (wall: default workers; cpu/page: --jobs 1)\n'
printf '%-10s %12s %14s %14s %14s\n' document "pm wall" "pm cpu (j1)" "pdftoppm wall" "pdftoppm cpu"
for doc in $DOCS; do
  printf '%-10s %12.3f %14.3f %14.3f %14.3f\n' "$doc" \
    "$(awk "BEGIN{print ${wall[$doc,pm]} / ${wall[$doc,mutool]}}")" \
    "$(awk "BEGIN{print ${cpu[$doc,pm1]} / ${cpu[$doc,mutool]}}")" \
    "$(awk "BEGIN{print ${wall[$doc,pdftoppm]} / ${wall[$doc,mutool]}}")" \
    "$(awk "BEGIN{print ${cpu[$doc,pdftoppm]} / ${cpu[$doc,mutool]}}")"
done
echo "goals: bytes/page <= 2500 (photos, jpeg), <= 3000 (many); pm wall <= 0.3 (photos, jpeg, scans); pm cpu <= 1 (many)"
echo "every page has a thumbnail; qpdf --check clean"
