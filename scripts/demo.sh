#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the bus simulator on a
# pseudo-terminal and opens Kelvora on it, already metering and logging, with
# settings of its own (the user's preferences are left alone). Without a
# display, Kelvora runs under Xvfb and a screenshot of the main window is
# saved once every module has been read; the script prints where.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh
# Only what the demo runs: the program and the simulator. scripts/test.sh
# builds the rest (tests, benchmarks) into the same folder.
KELVORA_BUILD_TARGETS="kelvora kelvora-sim" scripts/build.sh build

demo_dir=${KELVORA_DEMO_DIR:-/tmp/kelvora-demo}
link="$demo_dir/ttyKELV0"
log_dir="$demo_dir/log"
mkdir -p "$demo_dir" "$log_dir"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# The bus: the demo's configuration names five modules. Four answer, one of
# them with an open sensor and one with a shorted one; module 9 does not
# answer at all.
build/kelvora-sim --link "$link" --no-stdin \
    --module 1:pt100,pt100,ni100,ni120,cu10,4-20ma,pt100,none \
    --module 2:pt100,pt100,pt100,pt100,none,none,none,none \
    --module 5:ni100,ni100,ni120,ni120,4-20ma,4-20ma,cu10,cu10 \
    --module 17:pt100,cu10,none,none,none,none,none,none \
    --fault 2:open:3 --fault 5:shorted:2 \
    --relay > "$demo_dir/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
echo "demo: bus simulator answering on $link (log: $demo_dir/sim.log)"

# Kelvora runs on a settings folder of the demo's own, so the user's own
# preferences are never read or changed. Metering starts at once on the
# shipped configuration and logs into the demo folder.
export XDG_CONFIG_HOME="$demo_dir/config"
mkdir -p "$XDG_CONFIG_HOME/Quelmar"
cp scripts/demo/demo.cfg "$demo_dir/demo.cfg"
cat > "$XDG_CONFIG_HOME/Quelmar/QMRTD.conf" <<EOF
[Preferences]
AutoStart=1
Datalog=1
ShowOptions=1
Comport=$link
Temperature=Celsius
Config_File=$demo_dir/demo.cfg
DataFile=$log_dir/rtd_data
Period=10
Top=0
Left=0
Height=0
Width=0
EOF
echo "demo: settings in $XDG_CONFIG_HOME, datalog files in $log_dir"

if [ -n "${DISPLAY:-}" ]; then
    "$root/build/kelvora"
    exit 0
fi

# No display: run under Xvfb and take a screenshot of the main window.
shots="$root/build/screenshots"
mkdir -p "$shots"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$root/build/kelvora" &
pids+=($!)
id=""
for _ in $(seq 100); do
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"KELVORA"/ { print $1; exit }')
    [ -n "$id" ] && break
    sleep 0.1
done
if [ -z "$id" ]; then
    echo "demo: Kelvora did not open a window" >&2
    exit 1
fi
# The configuration goes out first, then one module a second: after eight
# seconds every module has been read once.
sleep 8
import -window "$id" "$shots/main-window.png"
echo "demo: no display here, so Kelvora ran under Xvfb."
echo "demo: screenshot of the main window: $shots/main-window.png"
