#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders a dozen corpus metafiles with our player (left) beside an
# independent reference rendering (right: emf2svg-conv, then rsvg-convert)
# into docs/metafiles.png, one labelled row per file.
#
#   scripts/metafile-contact-sheet.sh [build-dir]
#
# The build dir must hold test_picture; its corpus test writes our
# renderings to <build-dir>/metafile_corpus/.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/test}
CORPUS=${PAGEMINT_CORPUS_DIR:-$ROOT/../shared/corpus}/pictures/emf
OUT=$ROOT/docs/metafiles.png
CELL=320

for tool in emf2svg-conv rsvg-convert convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh)" >&2; exit 1; }
done

FILES=(
  libemf2svg-EA-test-file-020 libemf2svg-test-000 libemf2svg-test-007
  libemf2svg-test-011 libemf2svg-test-014 libemf2svg-test-033
  libemf2svg-test-044 libemf2svg-test-104 libemf2svg-test-138
  libemf2svg-test-164 libemf2svg-test-176 libemf2svg-test_libuemf_ref
)

QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
  "$BUILD/tests/test_picture" --gtest_filter='MetafileCorpus.*' >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
rows=()
for name in "${FILES[@]}"; do
  ours=$BUILD/metafile_corpus/$name.png
  [ -f "$ours" ] || { echo "no rendering for $name" >&2; continue; }
  ref=$WORK/$name-ref.png
  if emf2svg-conv -i "$CORPUS/$name.emf" -o "$WORK/$name.svg" -w 600 -h 600 >/dev/null 2>&1 &&
     rsvg-convert -b white "$WORK/$name.svg" -o "$ref" 2>/dev/null; then :; else
    convert -size ${CELL}x${CELL} xc:white -gravity center -annotate +0+0 "no reference" "$ref"
  fi
  row=$WORK/$name-row.png
  convert \( "$ours" -resize ${CELL}x${CELL} -background white -gravity center -extent ${CELL}x${CELL} \) \
          \( "$ref" -resize ${CELL}x${CELL} -background white -gravity center -extent ${CELL}x${CELL} \) \
          -bordercolor gray70 -border 1 +append \
          -gravity north -background gray92 -splice 0x20 -pointsize 14 -annotate +0+3 "$name.emf" \
          "$row"
  rows+=("$row")
done
convert "${rows[@]}" -append -bordercolor white -border 4 "$OUT"
echo "wrote $OUT"
