#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the bus simulator on a
# pseudo-terminal, points Kelvora's preferences at it and opens Kelvora.
# Without a display, Kelvora runs under Xvfb and a screenshot of the main
# window is saved; the script prints where.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh
scripts/build.sh build

demo_dir=${KELVORA_DEMO_DIR:-/tmp/kelvora-demo}
link="$demo_dir/ttyKELV0"
mkdir -p "$demo_dir"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# Sets one value in group [Preferences] of Kelvora's settings file.
set_pref() {
    local conf="${XDG_CONFIG_HOME:-$HOME/.config}/Quelmar/QMRTD.conf"
    mkdir -p "$(dirname "$conf")"
    touch "$conf"
    awk -v key="$1" -v val="$2" '
        /^\[/ { if (ing && !done) { print key "=" val; done = 1 }
                ing = ($0 == "[Preferences]"); if (ing) seen = 1; print; next }
        ing && index($0, key "=") == 1 { if (!done) { print key "=" val; done = 1 }; next }
        { print }
        END { if (!seen) print "[Preferences]"; if (!done) print key "=" val }
    ' "$conf" > "$conf.tmp" && mv "$conf.tmp" "$conf"
}

if [ -x build/kelvora-sim ]; then
    build/kelvora-sim --link "$link" --no-stdin \
        --module 1:pt100,pt100,ni100,ni120,cu10,4-20ma,pt100,none \
        --module 2:pt100,pt100,pt100,pt100,none,none,none,none \
        --module 5:ni100,ni100,ni120,ni120,4-20ma,4-20ma,cu10,cu10 \
        --module 17:pt100,cu10,none,none,none,none,none,none \
        --relay > "$demo_dir/sim.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
    echo "demo: bus simulator answering on $link (log: $demo_dir/sim.log)"
    set_pref Comport "$link"
fi

# Kelvora looks for its help under the folder it starts in: the project root.
cd "$root"
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
sleep 2
import -window "$id" "$shots/main-window.png"
echo "demo: no display here, so Kelvora ran under Xvfb."
echo "demo: screenshot of the main window: $shots/main-window.png"
