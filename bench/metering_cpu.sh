#!/usr/bin/env bash
# The program's CPU while it meters a full bus: 63 simulated modules, every
# input in use, datalogging on, for a minute, as a share of one core. The
# bus waits of a tick (5 + 5 + 50 ms a read) must be sleeps: the goal is a
# share under 0.5 %.
#
#   bench/metering_cpu.sh [BUILD_DIR]      (default build)
#
# Environment:
#   KELVORA_BENCH_SECONDS  length of the measured stretch (default 60)
#   KELVORA_BENCH_WARMUP   seconds metered before it (default 2)
#   KELVORA_BENCH_XVFB=1   run the program under Xvfb instead of the
#                          offscreen platform
#   KELVORA_BENCH_KEEP=1   keep the temporary folder (settings, datalog,
#                          logs of both programs) and print its path
#
# It starts kelvora-sim with modules 1-63 on a pty of its own and Kelvora on
# a settings folder of its own (Comport = the simulator's link, AutoStart on,
# a configuration file of 63 modules, datalogging into a temporary folder),
# so the user's preferences are never touched. Once the first datalog row is
# written (the configuration has gone out and the first tick has run) and
# the warm-up has passed, it reads utime + stime of both processes from
# /proc/<pid>/stat, waits, and reads them again.
#
# With 63 modules PrepareMetering keeps Period at 126, so a period is 127
# ticks: 63 reads, then 64 idle ticks. With the defaults the measured
# minute falls into the reads (ticks 2 to 62), the busier half, and about 60
# rows are logged in it; a longer warm-up or stretch takes in idle ticks and
# logs fewer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)
measure=${KELVORA_BENCH_SECONDS:-60}
warmup=${KELVORA_BENCH_WARMUP:-2}

name=metering_cpu
# shellcheck source=bench/cpu_common.sh
. bench/cpu_common.sh
mkdir -p "$work/log"

# Every input is in use, with every kind of sensor.
block() { echo 1 1 2 3 4 5 1 $((1 + $1 % 5)); }
write_config "$work/bus.cfg" block
start_simulator --modules 1-63
write_preferences 1 "$work/log/plant"

if [ "${KELVORA_BENCH_XVFB:-0}" = 1 ]; then
    start_xvfb
    platform="Xvfb"
else
    export QT_QPA_PLATFORM=offscreen
    platform="offscreen"
fi
start_kelvora

# Rows logged so far, in every day's file (a file's first line is its header).
rows() {
    local total=0 f n
    for f in "$work"/log/plant_*.csv; do
        [ -e "$f" ] || continue
        n=$(wc -l < "$f")
        total=$((total + n - 1))
    done
    echo "$total"
}

for _ in $(seq 600); do
    [ "$(rows)" -gt 0 ] && break
    kill -0 "$kelvora_pid" 2>/dev/null || break
    sleep 0.1
done
if [ "$(rows)" -le 0 ]; then
    echo "metering_cpu: Kelvora logged no row; its output:" >&2
    cat "$work/kelvora.log" >&2
    exit 1
fi
sleep "$warmup"

hz=$(getconf CLK_TCK)
k0=$(cpu_ticks "$kelvora_pid")
s0=$(cpu_ticks "$sim_pid")
r0=$(rows)
t0=$(date +%s.%N)
sleep "$measure"
k1=$(cpu_ticks "$kelvora_pid")
s1=$(cpu_ticks "$sim_pid")
r1=$(rows)
t1=$(date +%s.%N)

awk -v k=$((k1 - k0)) -v s=$((s1 - s0)) -v hz="$hz" -v t0="$t0" -v t1="$t1" \
    -v rows=$((r1 - r0)) -v platform="$platform" 'BEGIN {
    wall = t1 - t0
    printf "metering 63 simulated modules, datalog on, %s, %.1f s measured\n", platform, wall
    printf "kelvora      CPU %6.2f s   share of one core %6.3f %%\n", k / hz, 100 * k / hz / wall
    printf "kelvora-sim  CPU %6.2f s   share of one core %6.3f %%\n", s / hz, 100 * s / hz / wall
    printf "datalog rows written: %d\n", rows
}'
