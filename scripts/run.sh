#!/usr/bin/env bash
# Starts the Pagemint window from a build folder; falls back to the
# command-line tool's help where no window was built.
set -euo pipefail
BUILD="${1:-build/release}"
if [ -x "$BUILD/app/pagemint" ]; then
  exec "$BUILD/app/pagemint"
fi
if [ -x "$BUILD/cli/pagemint-cli" ]; then
  exec "$BUILD/cli/pagemint-cli" --help
fi
echo "run: the engine is built; no program to start yet" >&2
