#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds Kelvora and runs
# every test: the normal build in build/, its Debian package checked, then
# the whole suite again under AddressSanitizer and UBSan in build-asan/. The
# build itself stops when kelvora_core or kelvora_sim uses Qt Gui, Widgets or
# PrintSupport (see kelvora_require_qt_core_only in CMakeLists.txt).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
# First, since it takes seconds and the build takes minutes.
scripts/check-format.sh
scripts/build.sh build
(cd build && ctest --output-on-failure -j "$(nproc)")
# The Debian package of that build, checked by lintian and the desktop tools.
scripts/package.sh build

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt's own libraries keep a few allocations for the life of the process.
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
scripts/build.sh build-asan -DKELVORA_SANITIZE=ON -DKELVORA_BENCH=OFF
(cd build-asan && ctest --output-on-failure -j "$(nproc)")
