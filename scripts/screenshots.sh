#!/usr/bin/env bash
# Screenshots of every page of Kelvora, as the README shows them, taken from
# the real program under Xvfb on the bus simulator and driven with xdotool:
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]     (default build, docs)
#
# The bus is the demo's (modules 1, 2, 5 and 17 answer, module 2 with an open
# sensor, module 5 with a shorted one, module 9 silent; the relay modules
# too), metered with a period of 10 s from the demo's configuration. Writes
#   page-metering.png       metering under way
#   page-configuration.png  the configuration grid while metering runs
#   page-misc-info.png      after Scan
#   page-plot.png           modules 1, 2 and 5 chosen, a minute of readings
#   page-selection.png      RTD Module Selections (Options, RTD Module Type)
#   page-vrx-rtd.png        the debug page polling relay modules 1 and 2
# Takes about two minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-docs}" && cd "${2:-docs}" && pwd)
name=screenshots
# shellcheck source=bench/cpu_common.sh
. bench/cpu_common.sh

link="$work/ttyBUS"
"$build/kelvora-sim" --link "$link" --no-stdin \
    --module 1:pt100,pt100,ni100,ni120,cu10,4-20ma,pt100,none \
    --module 2:pt100,pt100,pt100,pt100,none,none,none,none \
    --module 5:ni100,ni100,ni120,ni120,4-20ma,4-20ma,cu10,cu10 \
    --module 17:pt100,cu10,none,none,none,none,none,none \
    --fault 2:open:3 --fault 5:shorted:2 --relay > "$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.1; done
cp scripts/demo/demo.cfg "$work/bus.cfg"
write_preferences 1 "$work/plant"
sed -i 's/^Period=.*/Period=10/' "$work/config/Quelmar/QMRTD.conf"

start_xvfb
start_kelvora
main_window_at_origin
click() { xdotool mousemove --sync "$1" "$2" click 1; sleep 0.5; }
shot() { import -window "$main" "$out/$1.png"; echo "$name: $out/$1.png"; }

# Metering: every module read twice.
sleep 22
shot page-metering
# The plot page: modules 1, 2 and 5, plotted from now on.
click 393 32
click 18 59
click 18 80
click 18 101
click 400 455
# Configuration and Miscellaneous Info while metering goes on.
click 130 32
shot page-configuration
click 251 32
click 359 470
sleep 4
shot page-misc-info
sleep 50
click 393 32
sleep 1
shot page-plot
# STOP, then Options, RTD Module Type.
click 38 32
click 478 469
click 65 8
click 120 119
sleep 1
shot page-selection
# VRX-RTD, VIEW; relay modules 1 and 2 selected, every input Pt100, Enable.
click 331 253
click 393 300
click 14 55
click 14 73
click 276 119
xdotool key Down Return
sleep 0.3
click 616 228
click 340 438
sleep 6
shot page-vrx-rtd
click 616 438
