#!/usr/bin/env bash
# Screenshots of the Diagnostics windows, as the README shows them, taken from
# the real program under Xvfb on the bus simulator:
#
#   scripts/diagnostics-screenshots.sh [BUILD_DIR] [OUT_DIR]   (default build, docs)
#
# The bus is the demo's (modules 1, 2, 5 and 17 of its configuration answer,
# module 9 is not on the bus) with module 17 answering with a broken CRC,
# metered with a period of 10 s. After two periods it writes
#   bus-status.png   Bus Status (F6)
#   bus-traffic.png  Bus Traffic (F7)
# KELVORA_BENCH_DISPLAY chooses the X display. Takes about half a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-docs}" && cd "${2:-docs}" && pwd)
name=diagnostics-screenshots
# shellcheck source=bench/cpu_common.sh
. bench/cpu_common.sh

start_simulator \
    --module 1:pt100,pt100,ni100,ni120,cu10,4-20ma,pt100,none \
    --module 2:pt100,pt100,pt100,pt100,none,none,none,none \
    --module 5:ni100,ni100,ni120,ni120,4-20ma,4-20ma,cu10,cu10 \
    --module 17:pt100,cu10,none,none,none,none,none,none \
    --fault 2:open:3 --fault 17:badcrc
cp scripts/demo/demo.cfg "$work/bus.cfg"
write_preferences 1 "$work/plant"
sed -i 's/^Period=.*/Period=10/' "$work/config/Quelmar/QMRTD.conf"

# The traffic window opens 1200 pixels wide: a screen wider than the
# benchmarks' 1024 shows it whole.
xvfb_screen=1280x800x24
start_xvfb
start_kelvora
main_window_at_origin
# shot NAME TITLE: the window called TITLE, once it is shown.
shot() {
    window=""
    for _ in $(seq 50); do
        window=$(xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -1) && [ -n "$window" ] && break
        sleep 0.1
    done
    if [ -z "$window" ]; then
        import -window root "$work/screen.png"
        echo "$name: no window \"$2\"; the screen was $work/screen.png" >&2
        KELVORA_BENCH_KEEP=1
        exit 1
    fi
    # Wholly on the screen, or the picture is cut at its edge.
    xdotool windowmove --sync "$window" 0 0
    sleep 1
    import -window "$window" "$out/$1.png"
    echo "$name: $out/$1.png"
}

# Two periods of 11 ticks: every module read twice, module 9 and module 17
# a whole period without an answer.
sleep 25
# No window manager: a click on an empty part of the main window's tree gives
# it the keyboard. The status window is moved off that spot before F7.
key() { xdotool mousemove --sync 80 400 click 1 sleep 0.3 key "$1"; }
key F6
shot bus-status 'Bus Status'
xdotool windowmove --sync "$window" 300 200
key F7
shot bus-traffic 'Bus Traffic'
