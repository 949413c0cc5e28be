#!/usr/bin/env bash
# The soak run: Kelvora left metering a faulty bus for an hour, as on a plant
# floor, under the sanitizers. Not part of ctest; run it by hand:
#
#   scripts/soak.sh [BUILD_DIR] [MINUTES]      (default build-asan, 60)
#
# BUILD_DIR holds kelvora and kelvora-sim, normally the AddressSanitizer and
# UBSan build (scripts/build.sh build-asan -DKELVORA_SANITIZE=ON). The
# window-manager pinger comes from the normal build: build/bench/ping_window
# (or $KELVORA_PING_WINDOW).
#
# What runs, on settings, files and a guard folder of the run's own, under
# Xvfb:
#   - the simulator with modules 1-63, one request in ten meeting a random
#     fault of any kind (chaos 10: silent, late, bad CRC, exception, garbage,
#     open, shorted, out of range, lost configuration); every ten minutes the
#     line vanishes for 15 s and comes back;
#   - Kelvora metering all 63 modules (AutoStart), datalog on, the plot page
#     plotting modules 1-8;
#   - a _NET_WM_PING to the window every 50 ms, the answers timed;
#   - Kelvora's resident memory read every 10 s.
# At the end Kelvora is closed with SIGTERM, as a session ends it, so that
# LeakSanitizer checks it on the way out.
#
# KELVORA_SOAK_VANISH_MINUTES changes the ten minutes between vanishings
# (a short trial run may want 1).
#
# The run fails when Kelvora dies, a sanitizer reports anything, a datalog
# row is not whole, or a ping took longer than 250 ms. It prints the figures:
# rows written and failed, faults the simulator dealt, memory at 5 minutes and
# at the end, and the longest ping answer per stretch of the run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build-asan}" && pwd)
minutes=${2:-60}
every=${KELVORA_SOAK_VANISH_MINUTES:-10}
ping_window=${KELVORA_PING_WINDOW:-$root/build/bench/ping_window}
name=soak
for tool in Xvfb xdpyinfo xdotool; do
    command -v "$tool" >/dev/null || { echo "$name: $tool is missing; run scripts/setup.sh" >&2; exit 1; }
done
[ -x "$ping_window" ] || { echo "$name: $ping_window is missing; build build/ first" >&2; exit 1; }

# shellcheck source=bench/cpu_common.sh
. bench/cpu_common.sh

# AddressSanitizer keeps freed memory in a quarantine of 256 MiB by default,
# which alone would make resident memory climb for most of the hour; 16 MiB
# still catches a use after free of recent memory and lets the figures show
# Kelvora's own memory.
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=16:log_path=$work/sanitizer"
export UBSAN_OPTIONS="print_stacktrace=1:log_path=$work/sanitizer"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"

# --- the bus ------------------------------------------------------------------
block() { echo 1 1 2 3 4 5 1 0; }
write_config "$work/bus.cfg" block
link="$work/ttyBUS"
mkfifo "$work/sim.in"
"$build/kelvora-sim" --link "$link" --modules 1-63 --chaos 10 \
    < "$work/sim.in" > "$work/sim.log" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")
exec 7> "$work/sim.in"
sim() { echo "$*" >&7; }
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.1; done
[ -e "$link" ] || { echo "$name: the simulator did not start" >&2; cat "$work/sim.log" >&2; exit 1; }
write_preferences 1 "$work/plant"

# --- Kelvora --------------------------------------------------------------------
start_xvfb
start_kelvora
for _ in $(seq 600); do
    xdotool search --onlyvisible --name '^KELVORA$' >/dev/null 2>&1 && break
    sleep 0.1
done
main=$(xdotool search --onlyvisible --name '^KELVORA$' 2>/dev/null | head -1 || true)
[ -n "$main" ] || { echo "$name: no Kelvora window" >&2; cat "$work/kelvora.log" >&2; exit 1; }
xdotool windowmove --sync "$main" 0 0
sleep 2

# The plot page: its tab, modules 1-8 in the first column of its list, OK.
click() { xdotool mousemove --sync "$1" "$2" click 1; }
click 393 32
sleep 1
for i in $(seq 0 7); do click 18 $((59 + 21 * i)); done
click 400 455
sleep 1
import -window root "$work/plot.png" 2>/dev/null || true

# --- watching ---------------------------------------------------------------------
mkfifo "$work/ping.in"
"$ping_window" "$main" < "$work/ping.in" > "$work/ping.out" 2> "$work/ping.err" &
pids+=($!)
exec 8> "$work/ping.in"
situation() { echo "situation $*" >&8; }

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$kelvora_pid/status" 2>/dev/null || echo 0; }
alive() { kill -0 "$kelvora_pid" 2>/dev/null; }

echo "$name: $minutes minutes from $(date +%T); folder $work"
start=$(date +%s)
rss_at_5=""
stretch=-1
vanishes=0
while :; do
    elapsed=$(( $(date +%s) - start ))
    [ "$elapsed" -ge $((minutes * 60)) ] && break
    alive || { echo "$name: Kelvora ended after $elapsed s" >&2; cat "$work/kelvora.log" >&2; exit 1; }
    minute=$((elapsed / 60))
    # A stretch of five minutes is one line of the ping report.
    if [ $((minute / 5)) -ne "$stretch" ]; then
        stretch=$((minute / 5))
        situation "$(printf 'minutes %02d-%02d' $((stretch * 5)) $((stretch * 5 + 5)))"
    fi
    echo "$elapsed $(rss_kb)" >> "$work/rss.log"
    [ -z "$rss_at_5" ] && [ "$elapsed" -ge 300 ] && rss_at_5=$(rss_kb)
    # Every ten minutes the line vanishes for 15 s.
    if [ "$minute" -gt 0 ] && [ "$vanishes" -lt $((minute / every)) ]; then
        vanishes=$((vanishes + 1))
        situation "line gone $vanishes"
        sim vanish
        sleep 15
        sim return
        stretch=-1
    fi
    sleep 10
done
rss_end=$(rss_kb)
rss_max_after_5=$(awk '$1 >= 300 { if ($2 > m) m = $2 } END { print m + 0 }' "$work/rss.log")
sim chaos
sleep 1
echo end >&8
exec 8>&-

# Closed as a session ends it; LeakSanitizer looks on the way out.
kill -TERM "$kelvora_pid"
for _ in $(seq 300); do alive || break; sleep 0.1; done
if alive; then
    echo "$name: Kelvora did not close on SIGTERM" >&2
    exit 1
fi
wait "$kelvora_pid" 2>/dev/null && status=0 || status=$?
for _ in $(seq 100); do [ -s "$work/ping.out" ] && break; sleep 0.1; done

# --- figures -------------------------------------------------------------------
failed=0
rows_report=$(cat "$work"/plant_*.csv | tr -d '\r' | awk -F'\t' '
    NR > 1 && $2 ~ /^RTD Module/ {
        rows++
        if (NF != 10 || $1 !~ /^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]$/) broken++
        v = $3; gsub(/ /, "", v); if (v == "----") failed++
    }
    NR > 1 && $2 !~ /^RTD Module/ && $0 != "" { broken++ }
    END { printf "%d %d %d\n", rows, failed, broken }')
read -r rows rows_failed rows_broken <<< "$rows_report"
faults=$(grep '^chaos ' "$work/sim.log" | tail -1)
echo "$name: Kelvora exited with $status after SIGTERM"
echo "$name: datalog rows $rows, of which $rows_failed read no module (----), $rows_broken not whole"
echo "$name: simulator: $faults; the line vanished $vanishes times"
echo "$name: resident memory $((rss_at_5 / 1024)) MiB at 5 minutes, $((rss_end / 1024)) MiB at the end, at most $((rss_max_after_5 / 1024)) MiB after 5 minutes"
echo "$name: window-manager ping, by stretch:"
cat "$work/ping.out"

if ls "$work"/sanitizer* >/dev/null 2>&1; then
    echo "$name: SANITIZER REPORTS:" >&2
    cat "$work"/sanitizer* >&2
    failed=1
fi
[ "$status" -eq 0 ] || { echo "$name: exit status $status" >&2; failed=1; }
[ "$rows_broken" -eq 0 ] || { echo "$name: $rows_broken rows not whole" >&2; failed=1; }
longest=$(awk 'NR > 1 { if ($(NF - 6) + 0 > m) m = $(NF - 6) + 0 } END { print m + 0 }' "$work/ping.out")
over=$(awk 'NR > 1 { n += $NF } END { print n + 0 }' "$work/ping.out")
echo "$name: longest ping answer $longest ms; $over answers over 250 ms"
[ "$over" -eq 0 ] || { echo "$name: some pings took longer than 250 ms" >&2; failed=1; }
[ "$failed" -eq 0 ] && echo "$name: passed"
exit "$failed"
