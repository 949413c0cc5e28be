#!/usr/bin/env bash
# Configures and builds Kelvora into build/ (or the folder given as $1) with
# warnings as errors. Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORA_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
