#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Render benchmark: every page of a document drawn into a 128-pixel
# thumbnail, pagemint-cli against pdftoppm, in one run on the same files.
#
#   images.pdf  300 pages, each showing its own 500 x 500 RGB image
#   many.pdf    2,000 pages of text with a link annotation each
#
# (both written by bench_roundtrip_files). Each document goes through
#   pagemint-cli IN OUT --render-thumbs    draws every page at 128 pixels on
#                                          the longer side and writes the
#                                          whole PDF with the thumbnails
#   pdftoppm -scale-to 128 -png IN DIR/p   draws every page at 128 pixels
#                                          and writes one PNG file each
# RUNS times each (default 3); the table shows the best wall time, then the
# ratio pagemint-cli / pdftoppm (at most 1: pagemint-cli takes no longer).
# pagemint-cli renders with one worker per processor (JOBS sets --jobs);
# pdftoppm has one thread. Every page of the output must have a thumbnail
# and the output must pass qpdf --check.
#
# Environment: BUILD (default build/release), DATA (default
# $BUILD/render-data), RUNS, PAGES, IMAGE_PAGES, JOBS, SKIP_BUILD=1 (use the
# programs already built in BUILD). Not part of the test suite.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release}
DATA=${DATA:-$BUILD/render-data}
RUNS=${RUNS:-3}
PAGES=${PAGES:-2000}
IMAGE_PAGES=${IMAGE_PAGES:-300}
JOBS=${JOBS:-}

BENCH=render
# shellcheck source=bench/common.sh
. "$ROOT/bench/common.sh"

bench_install_deps
if [ "${SKIP_BUILD:-0}" != 1 ]; then
  bench_build
fi
bench_make_documents "$PAGES-$IMAGE_PAGES"

declare -A wall
printf '\n%-12s %6s %-14s %9s\n' document pages tool "wall s"
for doc in images many; do
  in="$DATA/$doc.pdf"
  out="$DATA/out-$doc.pdf"
  pngs="$DATA/png-$doc"
  pages=$(qpdf --show-npages "$in")
  bench_measure "rm -f '$out'" "$CLI" "$in" "$out" --render-thumbs ${JOBS:+--jobs "$JOBS"}
  wall[$doc,pagemint-cli]=$WALL
  printf '%-12s %6s %-14s %9.2f\n' "$doc.pdf" "$pages" pagemint-cli "$WALL"
  bench_measure "rm -rf '$pngs'; mkdir -p '$pngs'" pdftoppm -scale-to 128 -png "$in" "$pngs/p"
  wall[$doc,pdftoppm]=$WALL
  printf '%-12s %6s %-14s %9.2f\n' "$doc.pdf" "$pages" pdftoppm "$WALL"

  thumbs=$("$CLI" --info "$out" | sed -n 's/^thumbnails: //p' | wc -w)
  if [ "$thumbs" != "$pages" ]; then
    echo "render: $doc.pdf: $thumbs of $pages pages have a thumbnail" >&2
    exit 1
  fi
  if ! qpdf --check "$out" >"$DATA/.check" 2>&1; then
    echo "render: qpdf --check out-$doc.pdf failed" >&2
    tail -5 "$DATA/.check" >&2
    exit 1
  fi
done

printf '\nratio pagemint-cli / pdftoppm (at most 1: pagemint-cli takes no longer)\n'
for doc in images many; do
  printf '%-12s %8.3f\n' "$doc.pdf" "$(awk "BEGIN{print ${wall[$doc,pagemint-cli]} / ${wall[$doc,pdftoppm]}}")"
done
echo "every page has a thumbnail; qpdf --check clean"
