#!/usr/bin/env bash
# How long the window takes to answer while the bus misbehaves. The goal: the
# main window answers within 250 ms at all times, whatever the bus does.
#
#   bench/ping_latency.sh [BUILD_DIR]      (default build)
#
# Environment:
#   KELVORA_BENCH_DISPLAY=:N   the X display to start Xvfb on (default: a
#                              random one from :150 to :249)
#   KELVORA_BENCH_KEEP=1       keep the temporary folder (settings, logs of
#                              every program, screenshots) and print its path
#
# It runs Kelvora as a user does, under Xvfb, with a settings folder, guard
# folder (KELVORA_LOCK_DIR) and simulator of its own, so the user's
# preferences, bus and guard are never touched. The simulator holds modules
# 1 to 63 and the three relay modules and takes its faults on standard input;
# Kelvora starts metering a configuration of all 63 modules (AutoStart).
# While ping_window (built beside the benchmarks) sends the main window a
# _NET_WM_PING every 50 ms and times each answer, the script drives one
# situation after another:
#   - metering while the modules answer, while another program holds the
#     guard "comport" for 1 s in every 3 s, while another master takes its
#     turns (60 ms in every 200 ms), while the guard is held for good, while
#     every module is silent, while the modules answer with every kind of
#     fault (late, bad CRC, garbage, exception, silent, lost configuration,
#     which sends the whole configuration again), while the port has
#     vanished; after STOP and START (and the send of the configuration that
#     START makes), while every reply is still arriving when the reply window
#     ends (a simulator with a turnaround of 43 ms), alone and with another
#     master taking turns, and with late modules and another master;
#   - File > Send Configuration of 63 modules, 59 of them silent;
#   - Scan on the Miscellaneous Info page, the same 63 modules, and again
#     while the guard is held for good for the scan's first 10 s;
#   - Set Frequency (60 Hz) on the 63 modules, with the scan that follows it;
#   - the VRX-RTD debug page polling a silent relay module, and polling
#     while the port has vanished.
# Guard holders are small python3 programs that flock the lock file as any
# other program on the bus does. Clicks and keys come from xdotool.
#
# The report is one line per situation: pings sent and answered, the longest
# answer, the median, the 99th percentile and the number of answers over
# 250 ms. A ping belongs to the situation it was sent in, however late its
# answer. Pings 50 ms apart can arrive up to 50 ms into a stall, so the
# longest stall may be that much longer than the longest answer. For the
# metering situations the datalog gives the number of module
# reads and of failed reads ("----") in the stretch, which shows whether two
# programs that take turns still read soundly.
#
# Needs Xvfb, xdpyinfo, xdotool, python3 and the programs kelvora,
# kelvora-sim and bench/ping_window of BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)

name=ping_latency
# shellcheck source=bench/cpu_common.sh
. bench/cpu_common.sh
# shellcheck source=bench/ping_common.sh
. bench/ping_common.sh

# --- the bus: 63 modules and the relay modules, faults on standard input ---
block() { echo 1 1 2 3 4 5 1 0; }
write_config "$work/bus.cfg" block
link="$work/ttyBUS"
sims=0
# start_sim ARGS...: a simulator of modules 1-63 and the relay modules at
# $link, with ARGS added; `sim COMMAND` hands it a command. A simulator that
# runs already is told to quit first.
start_sim() {
    if [ "$sims" -gt 0 ]; then
        sim quit
        exec 7>&-
        wait "$sim_pid" 2>/dev/null || true
    fi
    sims=$((sims + 1))
    mkfifo "$work/sim$sims.in"
    "$build/kelvora-sim" --link "$link" --modules 1-63 --relay "$@" \
        < "$work/sim$sims.in" > "$work/sim$sims.log" 2>&1 &
    sim_pid=$!
    pids+=("$sim_pid")
    exec 7> "$work/sim$sims.in"
    for _ in $(seq 100); do [ -e "$link" ] && return 0; sleep 0.1; done
    echo "$name: the simulator did not start" >&2
    cat "$work/sim$sims.log" >&2
    exit 1
}
sim() { echo "$*" >&7; }
start_sim
write_preferences 1 "$work/plant"
lockfile="$work/lock/comport.lock"

# --- the display and Kelvora ------------------------------------------------
start_xvfb
start_kelvora

show_main

# --- the pinger -------------------------------------------------------------
start_pinger

# Places in the 800 x 550 window, at 0, 0.
misc_tab() { click 251 32; }         # the third tab, "Miscellaneous Info"
scan_button() { click 359 470; }
freq_button() { click 596 470; }

# --- guard holders ------------------------------------------------------------
holder_pid=""
# hold_guard: another program takes the guard and keeps it until release_guard.
hold_guard() {
    rm -f "$work/held"
    python3 -c '
import fcntl, os, sys, time
f = open(sys.argv[1])
fcntl.flock(f, fcntl.LOCK_EX)
open(sys.argv[2], "w").close()
time.sleep(3600)' "$lockfile" "$work/held" &
    holder_pid=$!
    pids+=("$holder_pid")
    for _ in $(seq 200); do [ -e "$work/held" ] && return 0; sleep 0.01; done
    echo "$name: the guard holder did not get the guard" >&2
}
# take_turns HOLD_MS EVERY_MS: another program takes the guard for HOLD_MS
# out of every EVERY_MS (HOLD_MS of 60 is one ordinary transaction).
take_turns() {
    python3 -c '
import fcntl, sys, time
hold, every = int(sys.argv[2]) / 1000, int(sys.argv[3]) / 1000
f = open(sys.argv[1])
while True:
    start = time.monotonic()
    fcntl.flock(f, fcntl.LOCK_EX)
    time.sleep(hold)
    fcntl.flock(f, fcntl.LOCK_UN)
    time.sleep(max(every - (time.monotonic() - start), 0.001))' "$lockfile" "$1" "$2" &
    holder_pid=$!
    pids+=("$holder_pid")
}
release_guard() {
    if [ -n "$holder_pid" ]; then
        kill "$holder_pid" 2>/dev/null || true
        wait "$holder_pid" 2>/dev/null || true
    fi
    holder_pid=""
}

# --- faults ------------------------------------------------------------------
all_silent() { for m in $(seq 63); do sim fault "$m" silent; done; }
mixed_faults() {
    local kinds=(late badcrc garbage exception silent lost)
    for m in $(seq 63); do sim fault "$m" "${kinds[$((m % 6))]}"; done
}
late_and_turns() {
    for m in $(seq 63); do sim fault "$m" late; done
    take_turns 60 200
}
guard_every_3s() {
    ( for _ in 1 2 3; do
          python3 -c '
import fcntl, sys, time
f = open(sys.argv[1]); fcntl.flock(f, fcntl.LOCK_EX); time.sleep(1)' "$lockfile"
          sleep 2
      done ) &
    holder_pid=$!
    pids+=("$holder_pid")
}

# --- the situations -------------------------------------------------------------
# Metering reads one module a second, modules 1..63 in the first 63 ticks of
# its period of 126; the stretches below stay within those 63 s, and so do
# those after the second START.
metering "metering 63 modules, all answer" 5 nothing
metering "metering, guard held 1 s in every 3 s" 9 guard_every_3s
release_guard
settle "after guard every 3 s"
metering "metering, another master takes turns" 6 take_turns 60 200
release_guard
settle "after turns"
metering "metering, guard held for good" 6 hold_guard
release_guard
settle "after guard held"
metering "metering, every module silent" 6 all_silent
sim clear all
settle "after silent"
metering "metering, faults of every kind" 10 mixed_faults
sim clear all
settle "after faults" 3
metering "metering, port vanished" 5 sim vanish
sim return
settle "after vanish" 2

# A module that answers slowly (43 ms from the request's end to its reply)
# is still answering when the 50 ms window ends: the master waits out one
# more window and tries again, the longest a call takes on the bus alone.
# START sends the configuration to them first, and metering starts afresh.
stop_button
settle "after STOP" 1
start_sim --turnaround 43
situation "send configuration, replies cut off"
stop_button
through_box "Sending Configuration" send
metering "metering, replies cut off" 6 nothing
metering "metering, replies cut off, another master" 8 take_turns 60 200
release_guard
start_sim
metering "metering, late modules, another master" 8 late_and_turns
release_guard
sim clear all
import -window root "$work/metering.png" 2>/dev/null || true

stop_button
settle "after STOP" 1
for m in $(seq 63); do
    case $m in 1 | 17 | 33 | 49) ;; *) sim fault "$m" silent ;; esac
done

situation "send configuration, 63 modules, 59 silent"
click 20 9                           # File
sleep 0.3
click 90 95                          # Send Configuration
through_box "Sending Configuration" send
settle "after send"

misc_tab
settle "after tab" 1
situation "scan 63 modules, 59 silent"
scan_button
through_box "Scanning Modules" scan
import -window root "$work/scan.png" 2>/dev/null || true
settle "after scan"

situation "scan, guard held for good for 10 s"
hold_guard
scan_button
wait_for "Scanning Modules" 5 || echo "$name: the scan did not start" >&2
sleep 10
release_guard
wait_gone "Scanning Modules" 900 || echo "$name: the scan did not end" >&2
settle "after guarded scan"

situation "notch filter 60 Hz on 63 modules, then scan"
freq_button
sleep 0.5
xdotool key 6
wait_for "Please Read Carefully" 5 || echo "$name: no notch warning" >&2
sleep 0.3
xdotool key Return
through_box "Setting Frequency" "notch command"
wait_for "Frequency Change" 120 || echo "$name: no closing box" >&2
settle "~ closing box" 0.5
xdotool key Return
settle "after notch"
sim clear all

# The debug page polling relay module 1.
enable_debug_page
settle "after Enable" 2
import -window root "$work/debug.png" 2>/dev/null || true
situation "debug page polling a silent relay module"
sim fault r1 silent
sleep 6
import -window root "$work/debug-silent.png" 2>/dev/null || true
situation "debug page polling, port vanished"
sim vanish
sleep 5
sim return
settle "after debug" 2

stop_pinger

echo "window answers to _NET_WM_PING every 50 ms, Xvfb, paced simulator ($build)"
grep -v '^~' "$work/ping.out"
echo
echo "module reads in the metering stretches (datalog rows)"
printf '%s\n' "${reads_report[@]}"
