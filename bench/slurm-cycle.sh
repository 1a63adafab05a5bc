#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The time of a whole Slurm cycle: the cluster test's throw-away single-node cluster started,
# a job array of four pictavo-cli --shard auto tasks over a tree of PICTAVO_SLURM_IMAGES
# more images (default 400) run to the end, the outputs compared with one unsharded run and
# the reports merged. Needs root and the cluster packages (scripts/install-deps.sh cluster);
# without them it says so and exits 77.
#   bench/slurm-cycle.sh [BUILD_FOLDER]     (default build/bench, a Release build)
set -euo pipefail
build=${1:-build/bench}
cd "$(dirname "$0")/.."
PICTAVO_SLURM_IMAGES=${PICTAVO_SLURM_IMAGES:-400} \
  bash tests/cluster/slurm_array_test.sh "$build/cli/pictavo-cli" tests/data
