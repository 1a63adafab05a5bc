#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the decoder fuzz targets with clang's libFuzzer (plus ASan and UBSan) in build/fuzz
# and runs each for FUZZ_SECONDS (default 180). The working corpus starts from
# tests/fuzz_corpus/<format> and the images of tests/data; findings land in
# build/fuzz/findings/<format>/. Usage: scripts/fuzz.sh [bmp|jpeg|png ...]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"
seconds="${FUZZ_SECONDS:-180}"
formats=("$@")
[ ${#formats[@]} -gt 0 ] || formats=(bmp jpeg png)

CC="${CC:-clang-14}" CXX="${CXX:-clang++-14}" \
  cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j 2 >/dev/null

for format in "${formats[@]}"; do
  corpus="$build/corpus/$format"
  findings="$build/findings/$format"
  mkdir -p "$corpus" "$findings"
  cp -n "$root/tests/fuzz_corpus/$format/"* "$corpus/" 2>/dev/null || true
  log="$build/fuzz_$format.log"
  status=0
  # Decoders allocate the whole image up front (up to 4 x 32767 x 32767 bytes, mostly never
  # touched), and an image that large legitimately takes seconds under the sanitizers, so the
  # memory and time limits are above libFuzzer's defaults.
  "$build/fuzz_$format" "$corpus" "$root/tests/data" -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=6144 -malloc_limit_mb=8192 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1 || status=$?
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
  echo "fuzz_$format: $runs executions in ${seconds}s, exit status $status (log: $log)"
done
