#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Round-trip benchmark: reading a whole document and writing it again as a
# new file, pagemint-cli against its peers, in one run on the same files.
#
#   jpeg.pdf      300 JPEG pages (about 38 MB), as scanners make them
#   images.pdf    200 pages with large image streams (about 150 MB)
#   many.pdf      100,000 pages, about 300,000 small objects (about 50 MB)
#   many-rc4.pdf  many.pdf encrypted with RC4-128 by qpdf: every string and
#                 stream is decrypted and encrypted again under its new number
#   many-10k.pdf  many.pdf with 10,000 pages (pagemint-cli only), to show
#                 that loading and saving grow linearly
#
# Each document goes through
#   pagemint-cli IN OUT
#   mutool clean IN OUT
#   qpdf --object-streams=disable IN OUT
# RUNS times each (default 3); the table shows the best wall time and the
# largest peak resident memory of the runs (GNU time's %e and %M), then the
# ratios of pagemint-cli to each peer (below 1: pagemint-cli needs less).
# Then: pagemint-cli's own start-up footprint (--help) and its peak on the
# image documents above it, 100,000 against 10,000 pages, the save of
# images.pdf against cp of the same file, and each goal met or missed.
# Every output's page count is compared with the source, and pagemint-cli's
# outputs must pass qpdf --check (CHECK=0 skips that, it takes a while).
#
# Environment: BUILD (default build/cli-rel), DATA (default
# $BUILD/roundtrip-data), RUNS, PAGES and IMAGE_PAGES (document sizes),
# CHECK. Not part of the test suite.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/cli-rel}
DATA=${DATA:-$BUILD/roundtrip-data}
RUNS=${RUNS:-3}
PAGES=${PAGES:-100000}
IMAGE_PAGES=${IMAGE_PAGES:-200}
CHECK=${CHECK:-1}
USER_PW=user
OWNER_PW=owner

BENCH=roundtrip
# shellcheck source=bench/common.sh
. "$ROOT/bench/common.sh"

# mutool is a peer.
bench_install_deps mutool=mupdf-tools
bench_build

# many.pdf encrypted by qpdf, beside the documents the writer makes.
encrypt_many() {
  qpdf --allow-weak-crypto --encrypt "$USER_PW" "$OWNER_PW" 128 --use-aes=n -- \
    "$DATA/many.pdf" "$DATA/many-rc4.pdf"
}
bench_make_documents "$PAGES-$IMAGE_PAGES-jpeg" encrypt_many

pages_of() {  # file [password]
  qpdf ${2:+--password="$2"} --show-npages "$1"
}

declare -A wall peak
printf '\n%-14s %-14s %9s %9s %11s\n' document tool "wall s" "peak MB" "output MB"
DOCS="jpeg images many many-rc4"
for doc in $DOCS; do
  in="$DATA/$doc.pdf"
  pw=""
  [ "$doc" = many-rc4 ] && pw=$USER_PW
  expected_pages=$(pages_of "$in" "$pw")
  for tool in pagemint-cli mutool qpdf; do
    out="$DATA/out-$tool-$doc.pdf"
    case $tool in
      pagemint-cli) bench_measure "rm -f '$out'" "$CLI" "$in" "$out" ${pw:+--password "$pw"} ;;
      mutool) bench_measure "rm -f '$out'" mutool clean ${pw:+-p "$pw"} "$in" "$out" ;;
      qpdf) bench_measure "rm -f '$out'" qpdf ${pw:+--password="$pw"} --object-streams=disable "$in" "$out" ;;
    esac
    wall[$doc,$tool]=$WALL
    peak[$doc,$tool]=$PEAK_KB
    size=$(stat -c %s "$out")
    printf '%-14s %-14s %9.2f %9.1f %11.1f\n' "$doc.pdf" "$tool" "$WALL" \
      "$(awk "BEGIN{print $PEAK_KB/1024}")" "$(awk "BEGIN{print $size/1048576}")"
    got=$(pages_of "$out" "$pw")
    if [ "$got" != "$expected_pages" ]; then
      echo "roundtrip: $tool wrote $got pages of $expected_pages for $doc.pdf" >&2
      exit 1
    fi
  done
done

printf '\nratios pagemint-cli / peer (below 1: pagemint-cli needs less)\n'
printf '%-14s %-8s %10s %10s\n' document peer wall memory
for doc in $DOCS; do
  for peer in mutool qpdf; do
    printf '%-14s %-8s %10.3f %10.3f\n' "$doc.pdf" "$peer" \
      "$(awk "BEGIN{print ${wall[$doc,pagemint-cli]} / ${wall[$doc,$peer]}}")" \
      "$(awk "BEGIN{print ${peak[$doc,pagemint-cli]} / ${peak[$doc,$peer]}}")"
  done
done

# The program's own footprint: its libraries and nothing read.
bench_measure "rm -f '$DATA/.none'" "$CLI" --help
FOOT_KB=$PEAK_KB
# Linearity: the same kind of document at a tenth of the size.
bench_measure "rm -f '$DATA/out-pagemint-cli-many-10k.pdf'" "$CLI" "$DATA/many-10k.pdf" \
  "$DATA/out-pagemint-cli-many-10k.pdf"
WALL_10K=$WALL
# The stream-heavy save against copying the file.
bench_measure "rm -f '$DATA/out-cp-images.pdf'" cp "$DATA/images.pdf" "$DATA/out-cp-images.pdf"
WALL_CP=$WALL

ratio() { awk "BEGIN{print $1 / $2}"; }
goal() {  # description value limit
  if awk "BEGIN{exit !($2 <= $3)}"; then r=met; else r=MISSED; fi
  printf '%-58s %10.3f %8s  %s\n' "$1" "$2" "$3" "$r"
}
printf '\nstart-up footprint (pagemint-cli --help): %.1f MB\n' "$(awk "BEGIN{print $FOOT_KB/1024}")"
printf '10,000 pages: %.2f s   100,000 pages: %.2f s\n' "$WALL_10K" "${wall[many,pagemint-cli]}"
printf 'cp images.pdf: %.2f s\n\n' "$WALL_CP"
printf '%-58s %10s %8s\n' goal value limit
for doc in $DOCS; do
  goal "time $doc.pdf / mutool" "$(ratio "${wall[$doc,pagemint-cli]}" "${wall[$doc,mutool]}")" 1.0
done
goal "time many.pdf / mutool" "$(ratio "${wall[many,pagemint-cli]}" "${wall[many,mutool]}")" 0.5
for doc in jpeg images; do
  goal "peak MB above start-up footprint, $doc.pdf" \
    "$(awk "BEGIN{print (${peak[$doc,pagemint-cli]} - $FOOT_KB) / 1024}")" 32
done
goal "peak memory many.pdf / mutool" "$(ratio "${peak[many,pagemint-cli]}" "${peak[many,mutool]}")" 1.0
goal "time 100,000 pages / 10,000 pages" "$(ratio "${wall[many,pagemint-cli]}" "$WALL_10K")" 12
goal "time images.pdf / cp" "$(ratio "${wall[images,pagemint-cli]}" "$WALL_CP")" 3

if [ "$CHECK" = 1 ]; then
  echo
  for doc in $DOCS; do
    pw=""
    [ "$doc" = many-rc4 ] && pw=$USER_PW
    if qpdf --check ${pw:+--password="$pw"} "$DATA/out-pagemint-cli-$doc.pdf" >"$DATA/.check" 2>&1; then
      echo "qpdf --check out-pagemint-cli-$doc.pdf: clean"
    else
      echo "qpdf --check out-pagemint-cli-$doc.pdf: FAILED" >&2
      tail -5 "$DATA/.check" >&2
      exit 1
    fi
  done
fi
