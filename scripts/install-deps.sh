#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Pagemint needs to build, test and run.
# Idempotent: packages already present are skipped, and apt is not touched
# at all when nothing is missing.
set -euo pipefail

PACKAGES=(
  # toolchain
  g++ cmake ninja-build make pkg-config
  clang libclang-rt-14-dev
  # libraries the engine and the window call
  zlib1g-dev libjpeg62-turbo-dev libssl-dev
  qt6-base-dev qt6-qpa-plugins qt6-image-formats-plugins fonts-dejavu-core
  libpoppler-qt6-dev
  # test and benchmark frameworks
  libgtest-dev libgmock-dev libbenchmark-dev
  # test oracles and independent producers
  qpdf poppler-utils imagemagick ghostscript desktop-file-utils
  # a throw-away signing certificate for pdfsig (incremental update tests)
  libnss3-tools
  # reference renderings for the metafile contact sheet
  emf2svg librsvg2-bin
  # running the window without a display
  xvfb xauth
  # driving the window in the screenshot session
  xdotool
  # the Debian package (make package): dpkg-shlibdeps, dpkg-buildflags, lintian
  dpkg-dev lintian
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
