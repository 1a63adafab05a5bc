#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Pictavo needs to build, test and run.
# Idempotent: packages already present are left alone; nothing is installed when all are there.
# Usage: scripts/install-deps.sh [EXTRA_PACKAGE ...]
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libjpeg62-turbo-dev libpng-dev zlib1g-dev
  libcurl4-openssl-dev ca-certificates
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libimage-exiftool-perl xdg-utils
  fonts-liberation2 fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  python3
)
# Further packages a caller needs for its own task (scripts/fuzz.sh: clang and its runtime).
PACKAGES+=("$@")

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "install-deps: these packages are missing: ${missing[*]}" >&2
  echo "install-deps: installing them needs root; run 'make' as root or install sudo." >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
