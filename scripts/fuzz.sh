#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets (each decoder, the icon reader, the EXIF and ICC readers) with
# clang's libFuzzer (plus ASan and UBSan) in build/fuzz and runs each for FUZZ_SECONDS
# (default 180). The working corpus starts from tests/fuzz_corpus/<target> and the images of
# tests/data; findings land in build/fuzz/findings/<target>/.
# Usage: scripts/fuzz.sh [bmp|icon|jpeg|png|webp|avif|metadata ...]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"
seconds="${FUZZ_SECONDS:-180}"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(bmp icon jpeg png webp avif metadata)

bash "$root/scripts/install-deps.sh" fuzz
CC="${CC:-clang-14}" CXX="${CXX:-clang++-14}" \
  cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j 2 >/dev/null

for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  cp -n "$root/tests/fuzz_corpus/$target/"* "$corpus/" 2>/dev/null || true
  log="$build/fuzz_$target.log"
  status=0
  # An input that takes more than 10 s or 2 GiB is a finding like a crash: the decoders
  # refuse images beyond their pixel limit (1 GiB of pixels) before allocating them.
  "$build/fuzz_$target" "$corpus" "$root/tests/data" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1 || status=$?
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
  echo "fuzz_$target: $runs executions in ${seconds}s, exit status $status (log: $log)"
done
