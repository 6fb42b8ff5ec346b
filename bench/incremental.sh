#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Incremental-update benchmark: adding one thumbnail to a document in
# place, as an update appended to the file, against a full rewrite of the
# same file, in one run on the same documents.
#
#   jpeg.pdf   300 JPEG pages (about 38 MB): the write of a full rewrite
#              grows with the file, an update's does not
#   many.pdf   PAGES pages (default 20,000) of small objects: loading
#              dominates both
#
# Each document is copied to work.pdf before every run (not timed), then
#   pagemint-cli --in-place work.pdf --thumb 1=PICTURE --full-rewrite
#   pagemint-cli --in-place work.pdf --thumb 1=PICTURE --incremental
# RUNS times each (default 3, best wall time). After the update the file
# must start with the source's bytes, have grown by at most 64 KB and pass
# qpdf --check. Goals: the update takes at most 0.2x the rewrite's time on
# jpeg.pdf and 0.5x on many.pdf.
#
# Environment: BUILD (default build/cli-rel), DATA (default
# $BUILD/incremental-data), RUNS, PAGES. Not part of the test suite.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/cli-rel}
DATA=${DATA:-$BUILD/incremental-data}
RUNS=${RUNS:-3}
PAGES=${PAGES:-20000}
IMAGE_PAGES=1
MAX_GROWTH=65536

BENCH=incremental
# shellcheck source=bench/common.sh
. "$ROOT/bench/common.sh"

if [ "${SKIP_DEPS:-0}" != 1 ]; then bench_install_deps convert=imagemagick; fi
bench_build
bench_make_documents "$PAGES-$IMAGE_PAGES-incremental"

PICTURE=$DATA/thumb.png
[ -f "$PICTURE" ] || convert -size 96x128 gradient:navy-gold "$PICTURE"
WORK=$DATA/work.pdf

status=0
printf '%-10s %10s %12s %12s %8s %8s %10s %s\n' document size full_s update_s ratio goal growth_B \
  first_bytes
for doc in jpeg many; do
  source=$DATA/$doc.pdf
  goal=0.2
  [ "$doc" = many ] && goal=0.5
  bench_measure "cp '$source' '$WORK'" "$CLI" --in-place "$WORK" --thumb "1=$PICTURE" --full-rewrite
  full=$WALL
  bench_measure "cp '$source' '$WORK'" "$CLI" --in-place "$WORK" --thumb "1=$PICTURE" --incremental
  update=$WALL
  size=$(stat -c %s "$source")
  growth=$(($(stat -c %s "$WORK") - size))
  if cmp -s -n "$size" "$source" "$WORK"; then first=unchanged; else first=CHANGED; fi
  ratio=$(awk "BEGIN{printf \"%.3f\", $update / ($full > 0 ? $full : 0.001)}")
  printf '%-10s %10s %12s %12s %8s %8s %10s %s\n' "$doc.pdf" "$size" "$full" "$update" "$ratio" \
    "<=$goal" "$growth" "$first"
  if ! qpdf --check "$WORK" >/dev/null 2>&1; then
    echo "$BENCH: $doc.pdf: qpdf --check finds problems in the update" >&2
    status=1
  fi
  if [ "$first" != unchanged ] || [ "$growth" -gt "$MAX_GROWTH" ] ||
    awk "BEGIN{exit !($ratio > $goal)}"; then
    echo "$BENCH: $doc.pdf: goal missed" >&2
    status=1
  fi
done
exit $status
