#!/usr/bin/env bash
# Configures and builds Kelvora into build/ (or the folder given as $1) with
# warnings as errors. Extra arguments go to cmake. KELVORA_BUILD_TARGETS, when
# set, names the targets to build (for example "kelvora kelvora-sim");
# otherwise everything is built: tests, benchmarks and all.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORA_WERROR=ON "$@" >/dev/null
targets=()
for target in ${KELVORA_BUILD_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
