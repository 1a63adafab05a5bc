#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages one job of the Makefile needs:
#   scripts/install-deps.sh run|test|cluster|package|bench|fuzz|screenshots
# run builds and runs the programs; every other job needs what run needs and adds its own tools.
# Idempotent: packages already present are left alone, and nothing is done when all are there.
set -euo pipefail

job=${1:-run}

RUN_PACKAGES=(
  build-essential cmake pkg-config
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libimagequant-dev libdeflate-dev
  libwebp-dev libavif-dev
  libcurl4-openssl-dev ca-certificates
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libimage-exiftool-perl xdg-utils
  fonts-liberation2 fonts-dejavu-core
)
TEST_PACKAGES=(libgtest-dev libgmock-dev)
# A throw-away single-node Slurm cluster for the test of job arrays (tests/cluster); the
# test starts its own daemons under a temporary folder and needs none of the packages' services.
CLUSTER_PACKAGES=(slurmctld slurmd slurm-client munge)
# dpkg-dev: dpkg-shlibdeps and dpkg-buildflags; file: CPack finds the programs with it;
# man-db and bsdextrautils (col): man -l for the man page check.
PACKAGE_PACKAGES=(dpkg-dev file lintian appstream desktop-file-utils man-db bsdextrautils)
# imagemagick: bench/make-corpus.sh builds the photo corpus with it. The reference tools the
# compression benchmark runs beside its own figures: jpegtran (libjpeg-turbo-progs), zopflipng
# (zopfli) and pngquant; libzopfli-dev for its deflate comparison; cwebp (webp) and avifenc
# (libavif-bin) beside the WebP and AVIF outputs.
BENCH_PACKAGES=(libbenchmark-dev imagemagick libjpeg-turbo-progs zopfli pngquant libzopfli-dev webp libavif-bin)
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
# A virtual display with a small window manager, the GTK platform theme with a dark GTK theme,
# and the tools that take and compare the pictures.
SCREENSHOT_PACKAGES=(xvfb xauth openbox qt6-gtk-platformtheme gnome-themes-extra imagemagick xdotool)

case "$job" in
  run)     wanted=("${RUN_PACKAGES[@]}") ;;
  test)    wanted=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${CLUSTER_PACKAGES[@]}") ;;
  cluster) wanted=("${RUN_PACKAGES[@]}" "${CLUSTER_PACKAGES[@]}") ;;
  package) wanted=("${RUN_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}") ;;
  bench)   wanted=("${RUN_PACKAGES[@]}" "${BENCH_PACKAGES[@]}") ;;
  fuzz)    wanted=("${RUN_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}") ;;
  screenshots) wanted=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}") ;;
  *)
    echo "install-deps: unknown job '$job'; use run, test, cluster, package, bench, fuzz or screenshots" >&2
    exit 2
    ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
  echo "install-deps ($job): installing needs root, asking sudo"
else
  echo "install-deps ($job): these packages are missing: ${missing[*]}" >&2
  echo "install-deps ($job): installing them needs root: run the make command as root, or" >&2
  echo "  as root: bash scripts/install-deps.sh $job" >&2
  exit 1
fi

echo "install-deps ($job): installing ${missing[*]}"
# Another apt run (another build on the same machine) may hold the lock for a while.
APT=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
"${SUDO[@]}" "${APT[@]}" update -qq
"${SUDO[@]}" "${APT[@]}" install -y -qq --no-install-recommends "${missing[@]}"
