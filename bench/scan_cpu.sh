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

for program in "$build/kelvora" "$build/kelvora-sim"; do
    if [ ! -x "$program" ]; then
        echo "scan_cpu: $program is missing; build first" >&2
        exit 1
    fi
done
for tool in Xvfb xdpyinfo xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "scan_cpu: $tool is missing; run scripts/setup.sh" >&2
        exit 1
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvora-scan.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ "${KELVORA_BENCH_KEEP:-0}" = 1 ]; then
        echo "scan_cpu: kept $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
mkdir -p "$work/config/Quelmar" "$work/run" "$work/lock"
chmod 700 "$work/run"

# The configuration file, 550 bytes: header 0..5, the period byte, 63 blocks
# of eight input type codes (module 1 first), trailer 0..5, 33 zeros. Every
# module has inputs in use, so all 63 are listed.
put_bytes() {
    local b oct
    for b in "$@"; do
        printf -v oct '\\0%03o' "$b"
        printf '%b' "$oct"
    done
}
{
    put_bytes 0 1 2 3 4 5
    put_bytes 126
    for _ in $(seq 63); do put_bytes 1 1 2 3 4 5 1 0; done
    put_bytes 0 1 2 3 4 5
    for _ in $(seq 33); do put_bytes 0; done
} > "$work/bus.cfg"

link="$work/ttyBUS"
"$build/kelvora-sim" --link "$link" --no-stdin --modules 1,17,33,49 > "$work/sim.log" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { echo "scan_cpu: the simulator did not start" >&2; cat "$work/sim.log" >&2; exit 1; }

cat > "$work/config/Quelmar/QMRTD.conf" <<EOF
[Preferences]
AutoStart=1
Datalog=0
ShowOptions=0
Comport=$link
Temperature=Celsius
Period=126
Config_File=$work/bus.cfg
DataFile=$work/plant
EOF

display=":$((150 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" KELVORA_LOCK_DIR="$work/lock"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

(cd "$root" && exec "$build/kelvora") > "$work/kelvora.log" 2>&1 &
kelvora_pid=$!
pids+=("$kelvora_pid")

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

# utime + stime of a process in clock ticks.
cpu_ticks() {
    local stat
    read -r stat < "/proc/$1/stat"
    stat=${stat##*) }
    # shellcheck disable=SC2086
    set -- $stat
    echo $(( ${12} + ${13} ))
}

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
