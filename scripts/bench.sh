#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every benchmark program of a build folder, one after the other. The photo corpus
# (bench/make-corpus.sh, into $CORPUS or /tmp/corpus) is built first when it is missing, with
# the packages it needs.
set -euo pipefail
build=${1:-build/bench}
corpus=${CORPUS:-/tmp/corpus}
if [ ! -d "$corpus/jpg12" ] || [ ! -d "$corpus/jpg" ] || [ ! -d "$corpus/png-art" ]; then
  echo "bench: building the photo corpus in $corpus"
  bash scripts/install-deps.sh bench
  if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq
  elif command -v sudo >/dev/null 2>&1; then
    sudo apt-get update -qq
  fi
  CORPUS=$corpus bash bench/make-corpus.sh
fi
found=0
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  CORPUS=$corpus "$b"
done
[ "$found" = 1 ] || echo "no benchmarks built yet"
echo "== slurm-cycle"
bash bench/slurm-cycle.sh "$build" || [ $? -eq 77 ]
