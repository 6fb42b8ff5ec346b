#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A run over a tree of small PDF files (scripts/make-pdf-tree.py): one
# pagemint-cli process for the whole tree against one process per file
# (xargs -P, the same number of cores), then a run killed halfway and
# resumed with --skip-existing. Prints wall times, their ratio and what the
# reports say.
#
#   bench/batch_tree.sh [BUILD_DIR] [COUNT] [WORK_DIR]
set -euo pipefail

BUILD=${1:-build/release}
COUNT=${2:-2000}
WORK=${3:-$(mktemp -d /tmp/pagemint-batch-XXXXXX)}
CLI=$(realpath "$BUILD/cli/pagemint-cli")
CORES=$(nproc)
ROOT=$WORK/root
HERE=$(dirname "$(realpath "$0")")

[ -d "$ROOT" ] || python3 "$HERE/../scripts/make-pdf-tree.py" "$ROOT" "$COUNT"
TOTAL=$(find "$ROOT" -name '*.pdf' | wc -l)
echo "tree: $TOTAL files under $ROOT, $CORES cores"

now() { date +%s.%N; }
summary() { jq -r '.status' "$1" | sort | uniq -c | tr '\n' ' '; echo; }

# 1. One process for the whole tree.
rm -rf "$WORK/out1"
start=$(now)
find "$ROOT" -name '*.pdf' -print0 |
  "$CLI" --files-from - --null --output-dir "$WORK/out1" --keep-tree "$ROOT" \
         --render-thumbs --report "$WORK/r1.jsonl" 2>"$WORK/err1.txt" || true
one=$(echo "$(now) - $start" | bc)
echo "one process:       ${one} s; report lines $(wc -l <"$WORK/r1.jsonl"); $(summary "$WORK/r1.jsonl")"
tail -1 "$WORK/err1.txt"
echo "failed, with reasons:"
jq -r 'select(.status == "failed") | "  \(.source | sub(".*/root/"; "")): \(.reason)"' "$WORK/r1.jsonl"

# 2. One process per file, as many at once as there are cores.
rm -rf "$WORK/out2"
start=$(now)
find "$ROOT" -name '*.pdf' -print0 |
  xargs -0 -n 1 -P "$CORES" "$CLI" --output-dir "$WORK/out2" --keep-tree "$ROOT" \
        --render-thumbs --jobs 1 --report - >"$WORK/r2.jsonl" 2>"$WORK/err2.txt" || true
per_file=$(echo "$(now) - $start" | bc)
echo "process per file:  ${per_file} s; report lines $(wc -l <"$WORK/r2.jsonl"); $(summary "$WORK/r2.jsonl")"
echo "ratio (process per file / one process): $(echo "scale=2; $per_file / $one" | bc)"

# 3. Killed halfway (SIGKILL: nothing is tidied up), then resumed.
rm -rf "$WORK/out3"
find "$ROOT" -name '*.pdf' -print0 >"$WORK/list0"
"$CLI" --files-from "$WORK/list0" --null --output-dir "$WORK/out3" --keep-tree "$ROOT" \
       --render-thumbs --report "$WORK/r3a.jsonl" 2>/dev/null &
pid=$!
for _ in $(seq 1 6000); do
  [ -f "$WORK/r3a.jsonl" ] && [ "$(wc -l <"$WORK/r3a.jsonl")" -ge $((TOTAL / 2)) ] && break
  sleep 0.05
done
kill -KILL "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
first=$(wc -l <"$WORK/r3a.jsonl")
leftover=$(find "$WORK/out3" -name '.*.tmp' | wc -l)
echo "killed after $first report lines; temporary files left: $leftover"
find "$WORK/out3" -name '.*.tmp' -delete
start=$(now)
"$CLI" --files-from "$WORK/list0" --null --output-dir "$WORK/out3" --keep-tree "$ROOT" \
       --render-thumbs --skip-existing --report "$WORK/r3b.jsonl" 2>"$WORK/err3.txt" || true
resumed=$(echo "$(now) - $start" | bc)
echo "resumed in ${resumed} s: $(summary "$WORK/r3b.jsonl")"
tail -1 "$WORK/err3.txt"
# Nothing done twice: no file written in both runs.
twice=$(comm -12 <(jq -r 'select(.status == "written") | .source' "$WORK/r3a.jsonl" | sort) \
                 <(jq -r 'select(.status == "written") | .source' "$WORK/r3b.jsonl" | sort) | wc -l)
missing=$(comm -23 <(jq -r 'select(.status == "written") | .source' "$WORK/r1.jsonl" | sort) \
                   <(cat <(jq -r 'select(.status == "written") | .source' "$WORK/r3a.jsonl") \
                         <(jq -r 'select(.status == "written") | .source' "$WORK/r3b.jsonl") | sort) | wc -l)
echo "written in both runs: $twice; written by the full run but by neither part: $missing"
echo "files under out3: $(find "$WORK/out3" -name '*.pdf' | wc -l) (full run: $(find "$WORK/out1" -name '*.pdf' | wc -l))"
echo "work folder: $WORK"
