#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a
# while, starting from the seed corpus in fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS per target defaults to 60; the targets default to all of them. The
# growing corpus is kept in build-fuzz/corpus/<target>/ (the seeds in the
# source tree are never written to); crashes land in build-fuzz/artifacts/.
# KELVORA_FUZZ_BUILD names another build directory.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_mbreply fuzz_vrxreply fuzz_configfile fuzz_spinedittext fuzz_rfc2217stream)
build=${KELVORA_FUZZ_BUILD:-$root/build-fuzz}

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" "${generator[@]}" \
        -DKELVORA_FUZZ=ON -DKELVORA_TESTS=OFF -DKELVORA_BENCH=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target "${targets[@]}"

status=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus" "$build/artifacts"
    if [ -d "$root/fuzz/corpus/$target" ]; then
        cp -n "$root/fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true
    fi
    echo "== $target: ${seconds}s"
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$corpus"; then
        echo "== $target FAILED: see $build/artifacts/"
        status=1
    fi
done
exit $status
