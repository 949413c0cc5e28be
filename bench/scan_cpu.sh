#!/usr/bin/env bash
# The program's CPU while the Miscellaneous Info page scans a full bus: 63
# listed modules of which 4 answer (1, 17, 33, 49) and 59 are silent, on the
# paced simulator. A scan is nearly all bus waiting (5 + 5 + 50 ms an attempt,
# 366 attempts), which must be sleeps: the goal is a share of one core under
# 0.5 % while the scan runs.
#
#   bench/scan_cpu.sh [BUILD_DIR]      (default build)
#
# Environment:
#   KELVORA_BENCH_KEEP=1   keep the temporary folder (settings, logs of both
#                          programs, screenshots) and print its path
#
# It runs Kelvora as a user does, under Xvfb, with a settings folder of its
# own (Comport = the simulator's link, AutoStart on with a configuration file
# of 63 modules), so the user's preferences are never touched. Once the
# automatic start has sent the configuration, xdotool clicks the tab
# "Miscellaneous Info" and the button "Scan". The measured stretch is the
# life of the progress box "Scanning Modules": utime + stime of both
# processes are read from /proc/<pid>/stat when the box appears and when it
# is gone. Metering runs meanwhile, but its timer does not tick while the
# scan holds the thread, so the stretch is the scan's alone.
#
# Needs Xvfb, xdpyinfo and xdotool (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)

for tool in Xvfb xdpyinfo xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "scan_cpu: $tool is missing; run scripts/setup.sh" >&2
        exit 1
    fi
done

name=scan_cpu
# shellcheck source=bench/cpu_common.sh
. bench/cpu_common.sh

# Every module has inputs in use, so all 63 are listed.
block() { echo 1 1 2 3 4 5 1 0; }
write_config "$work/bus.cfg" block
start_simulator --modules 1,17,33,49
write_preferences 0 "$work/plant"

start_xvfb
start_kelvora

# The id of the top-level window with exactly this name, or nothing.
window() { xdotool search --name "^$1\$" 2>/dev/null | head -1 || true; }

main=""
for _ in $(seq 100); do
    main=$(window KELVORA)
    [ -n "$main" ] && break
    sleep 0.1
done
[ -n "$main" ] || { echo "scan_cpu: no Kelvora window" >&2; cat "$work/kelvora.log" >&2; exit 1; }
# The automatic start sends the configuration first: 59 silent modules of
# two attempts each, about 15 s.
for _ in $(seq 20); do [ -n "$(window 'Sending Configuration')" ] && break; sleep 0.1; done
for _ in $(seq 600); do [ -z "$(window 'Sending Configuration')" ] && break; sleep 0.1; done
sleep 1

# Places in the 800 x 550 window: the third tab, and the Scan button (left
# 135 on the button panel, which lies at left 172 of the page and 42 pixels
# above the page's bottom edge, 55 above the window's status rows).
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --sync $((X + 250)) $((Y + 32)) click 1
sleep 1
xdotool mousemove --sync $((X + 359)) $((Y + 470)) click 1

box=""
for _ in $(seq 200); do
    box=$(window 'Scanning Modules')
    [ -n "$box" ] && break
    sleep 0.02
done
[ -n "$box" ] || { echo "scan_cpu: the scan did not start" >&2; import -window root "$work/noscan.png" 2>/dev/null || true; exit 1; }
hz=$(getconf CLK_TCK)
k0=$(cpu_ticks "$kelvora_pid")
s0=$(cpu_ticks "$sim_pid")
t0=$(date +%s.%N)
while [ -n "$(window 'Scanning Modules')" ]; do sleep 0.05; done
k1=$(cpu_ticks "$kelvora_pid")
s1=$(cpu_ticks "$sim_pid")
t1=$(date +%s.%N)
import -window root "$work/after-scan.png" 2>/dev/null || true

awk -v k=$((k1 - k0)) -v s=$((s1 - s0)) -v hz="$hz" -v t0="$t0" -v t1="$t1" 'BEGIN {
    wall = t1 - t0
    floor = 4 * 3 * 0.060 + 59 * 6 * 0.060
    printf "scan of 63 listed modules (4 answer, 59 silent), Xvfb, paced simulator\n"
    printf "scan took    %6.2f s   floor %.2f s   ratio %.3f\n", wall, floor, wall / floor
    printf "kelvora      CPU %6.2f s   share of one core %6.3f %%\n", k / hz, 100 * k / hz / wall
    printf "kelvora-sim  CPU %6.2f s   share of one core %6.3f %%\n", s / hz, 100 * s / hz / wall
}'
