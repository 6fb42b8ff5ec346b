# SPDX-License-Identifier: GPL-3.0-or-later
# What the benchmark scripts share; sourced, not run. The script sets
#   BENCH         its name, the prefix of its messages
#   ROOT, BUILD   the source tree and the Release build folder
#   DATA, RUNS    the folder of the documents and outputs, runs per command
#   PAGES, IMAGE_PAGES   the sizes of the documents bench_roundtrip_files
#                 writes
# and calls the functions below. Messages go to standard error; nothing
# here writes to standard output. CLI is the program measured.

# The project's dependencies, then GNU time (peak memory and wall time of
# a command) and the packages given as COMMAND=PACKAGE for commands the
# benchmark runs that are not installed.
bench_install_deps() {
  bash "$ROOT/scripts/install-deps.sh"
  local extra=() pair
  for pair in /usr/bin/time=time "$@"; do
    command -v "${pair%%=*}" >/dev/null 2>&1 || extra+=("${pair#*=}")
  done
  if [ ${#extra[@]} -gt 0 ]; then
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    echo "$BENCH: installing ${extra[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq >/dev/null
    $sudo apt-get install -y -qq --no-install-recommends "${extra[@]}" >/dev/null
  fi
}

CLI="$BUILD/cli/pagemint-cli"

# Builds pagemint-cli and the document writer (Release) in BUILD.
bench_build() {
  echo "$BENCH: building pagemint-cli (Release) in $BUILD" >&2
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAGEMINT_TESTS=OFF \
    -DPAGEMINT_APP=OFF -DPAGEMINT_BENCH=ON >/dev/null
  cmake --build "$BUILD" --target pagemint-cli bench_roundtrip_files -j 2 >/dev/null
}

# Writes the documents into DATA unless they were written already for
# the same sizes: STAMP names the sizes; the command after it, if any,
# runs once the documents are written (to derive more from them).
bench_make_documents() {
  local stamp="$DATA/.made-for-$1"
  shift
  mkdir -p "$DATA"
  if [ ! -f "$stamp" ]; then
    echo "$BENCH: writing the source documents into $DATA" >&2
    rm -f "$DATA"/.made-for-* "$DATA"/*.pdf
    "$BUILD/bench/bench_roundtrip_files" "$DATA" "$PAGES" "$IMAGE_PAGES"
    if [ $# -gt 0 ]; then "$@"; fi
    touch "$stamp"
  fi
}

# Runs a command RUNS times, each after the shell command CLEAN; sets WALL
# to the best wall time in seconds and PEAK_KB to the largest peak resident
# memory. A failed run stops the benchmark with its standard error.
bench_measure() {  # CLEAN COMMAND...
  WALL="" PEAK_KB=0
  local clean=$1 times=$DATA/.time wall peak
  shift
  for _ in $(seq "$RUNS"); do
    eval "$clean"
    if ! /usr/bin/time -f "%e %M" -o "$times" "$@" >/dev/null 2>"$DATA/.stderr"; then
      echo "$BENCH: failed: $*" >&2
      cat "$DATA/.stderr" >&2
      exit 1
    fi
    read -r wall peak <"$times"
    if [ -z "$WALL" ] || awk "BEGIN{exit !($wall < $WALL)}"; then WALL=$wall; fi
    if [ "$peak" -gt "$PEAK_KB" ]; then PEAK_KB=$peak; fi
  done
}
