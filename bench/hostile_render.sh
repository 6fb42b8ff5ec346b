#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Hostile documents through --render-thumbs: wall time, peak memory (the
# largest single process, as /usr/bin/time -v reports it) and the exit
# status, for two builds of pagemint-cli in one run (for example main's
# and this branch's), alternating.
#
#   bench/hostile_render.sh BEFORE_CLI AFTER_CLI [DIR]
#
# DIR (default build/hostile) receives the documents of
# bench/make_hostile.py. Each run is capped at 300 s. Not part of the test
# suite.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BEFORE=$1
AFTER=$2
DIR=${3:-$ROOT/build/hostile}
mkdir -p "$DIR"
[ -f "$DIR/ten-pages.pdf" ] || python3 "$ROOT/bench/make_hostile.py" "$DIR"

run() {  # label cli document args...
  local label=$1 cli=$2 doc=$3
  shift 3
  local log="$DIR/time.log" out="$DIR/out.pdf"
  rm -f "$out"
  /usr/bin/time -v timeout 300 "$cli" "$DIR/$doc" "$out" --render-thumbs "$@" \
    >"$DIR/stdout" 2>"$log"
  local status=$?
  local wall rss warning
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  warning=$(grep -m1 -o 'warning: Page [0-9]* cannot be rendered.*' "$log" | cut -c1-110)
  printf '%-14s %-7s %-10s %8s %9d MB  exit %-3s %s\n' "$doc" "$label" "$*" "$wall" \
    $((rss / 1024)) "$status" "$warning"
}

printf '%-14s %-7s %-10s %8s %12s  %s\n' document build options wall peak result
for doc in flate-bomb.pdf lzw-bomb.pdf; do
  run before "$BEFORE" "$doc"
  run after "$AFTER" "$doc"
done
run before "$BEFORE" big-size.pdf --jobs 4
run after "$AFTER" big-size.pdf --jobs 4
