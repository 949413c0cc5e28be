#!/usr/bin/env bash
# Installs a Kelvora package on a fresh Debian 12 and runs it there as a new
# user would, from its menu entry. Needs root (debootstrap, chroot, mounts)
# and Debian's package mirror.
#
#   scripts/package-check.sh build/kelvora_3.1_amd64.deb [shots-folder]
#
# The fresh system: a minimal Debian 12 made by debootstrap (kept in
# $KELVORA_CHROOT_CACHE, default /var/cache/kelvora/bookworm, and copied
# anew for every run, so each run starts from the same untouched system).
# Into the copy: apt-get install of the package alone, which must bring
# every library it needs. Then, as a new user "op", the Exec line of the
# installed desktop entry runs from "/" on an Xvfb display of this machine,
# and the script checks that:
#   - the window opens, and a screenshot of it is kept;
#   - Help, Contents (F1) opens /usr/share/kelvora/help/index.html (the
#     browser is a stand-in that notes the address);
#   - the preferences land in ~/.config/Quelmar/QMRTD.conf, and a saved
#     configuration under its default name in ~/Kelvora;
#   - man kelvora-sim and kelvora-sim --help work.
set -euo pipefail
cd "$(dirname "$0")/.."
deb="$(realpath "$1")"
shots="$(realpath -m "${2:-build/screenshots}")"
cache="${KELVORA_CHROOT_CACHE:-/var/cache/kelvora/bookworm}"
mirror="${KELVORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}"

if [ "$(id -u)" -ne 0 ]; then
    echo "package-check: run as root (debootstrap and chroot need it)" >&2
    exit 2
fi
scripts/setup.sh packaging >/dev/null
mkdir -p "$shots"

if [ ! -x "$cache/usr/bin/apt-get" ]; then
    echo "package-check: making a minimal Debian 12 in $cache (a few minutes, once)"
    rm -rf "$cache"
    mkdir -p "$(dirname "$cache")"
    debootstrap --variant=minbase bookworm "$cache" "$mirror" >/dev/null
fi

root="$(mktemp -d /var/tmp/kelvora-fresh.XXXXXX)"
xvfb_pid=""
cleanup() {
    set +e
    chroot "$root" pkill -KILL -u op >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    for m in tmp/.X11-unix dev/pts dev sys proc; do
        mountpoint -q "$root/$m" && umount -l "$root/$m"
    done
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$cache/." "$root/"
for m in proc sys dev dev/pts; do mount --bind "/$m" "$root/$m"; done
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"

echo "package-check: installing $(basename "$deb") on the fresh system"
chroot "$root" apt-get update -qq
chroot "$root" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq "/tmp/$(basename "$deb")" >/dev/null
chroot "$root" useradd -m -s /bin/bash op

# A display of this machine, reached through the X socket folder.
display=""
for n in $(seq 90 99); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "package-check: no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"

# The stand-in browser notes what it was asked to open.
cat >"$root/usr/local/bin/note-url" <<'SCRIPT'
#!/bin/sh
echo "$1" >>/tmp/opened-urls
SCRIPT
chmod 755 "$root/usr/local/bin/note-url"

# The menu entry's command line, unquoted as desktops do (desktop entry
# specification: string escapes first, then the Exec quoting).
exec_line="$(python3 - "$root/usr/share/applications/org.kelvora.Kelvora.desktop" <<'PY'
import shlex, sys
for line in open(sys.argv[1], encoding="utf-8"):
    if not line.startswith("Exec="):
        continue
    value = line[5:].rstrip("\n").replace("\\\\", "\\")
    args, arg, quoted, i = [], None, False, 0
    while i < len(value):
        c = value[i]
        if quoted and c == "\\" and i + 1 < len(value) and value[i + 1] in '"`$\\':
            arg += value[i + 1]
            i += 2
            continue
        if c == '"':
            quoted = not quoted
            arg = arg or ""
        elif c == " " and not quoted:
            if arg is not None:
                args.append(arg)
            arg = None
        else:
            arg = (arg or "") + c
        i += 1
    if arg is not None:
        args.append(arg)
    print(" ".join(shlex.quote(a) for a in args))
    break
PY
)"
echo "package-check: starting the menu entry's command: $exec_line"
chroot "$root" su - op -c "cd / && mkdir -m 700 -p /tmp/op-run && \
    DISPLAY=$display XDG_RUNTIME_DIR=/tmp/op-run BROWSER=note-url \
    setsid $exec_line >/tmp/kelvora.out 2>&1 &"

fail() {
    echo "package-check: $*" >&2
    echo "--- Kelvora's output:" >&2
    cat "$root/tmp/kelvora.out" >&2 || true
    exit 1
}
window=""
for _ in $(seq 100); do
    window="$(DISPLAY=$display xdotool search --onlyvisible --name '^KELVORA$' 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || fail "Kelvora did not open a window"
sleep 1
DISPLAY=$display import -window root "$shots/installed.png"

DISPLAY=$display xdotool windowfocus --sync "$window" key F1
for _ in $(seq 50); do [ -s "$root/tmp/opened-urls" ] && break; sleep 0.2; done
grep -qx 'file:///usr/share/kelvora/help/index.html' "$root/tmp/opened-urls" 2>/dev/null ||
    fail "F1 did not open the installed help (asked: $(cat "$root/tmp/opened-urls" 2>/dev/null))"

# Save Configuration under its default name, then close the window.
DISPLAY=$display xdotool windowfocus --sync "$window" key ctrl+s
sleep 1
DISPLAY=$display xdotool key Return
for _ in $(seq 50); do [ -s "$root/home/op/Kelvora/rtd.cfg" ] && break; sleep 0.2; done
[ "$(stat -c %s "$root/home/op/Kelvora/rtd.cfg" 2>/dev/null)" = 550 ] ||
    fail "Save Configuration did not write ~/Kelvora/rtd.cfg"
chroot "$root" pkill -TERM -u op -x kelvora
for _ in $(seq 50); do chroot "$root" pgrep -u op -x kelvora >/dev/null || break; sleep 0.2; done
grep -q '^Config_File=' "$root/home/op/.config/Quelmar/QMRTD.conf" ||
    fail "no preferences in ~/.config/Quelmar/QMRTD.conf"

chroot "$root" su - op -c "kelvora-sim --help" | grep -q '^Usage: kelvora-sim' ||
    fail "kelvora-sim --help"
chroot "$root" sh -c 'zcat /usr/share/man/man1/kelvora-sim.1.gz' | grep -q '^\.SH COMMANDS' ||
    fail "the manual page of kelvora-sim is missing"

echo "package-check: $(basename "$deb") installs and runs on a fresh Debian 12;" \
    "screenshot $shots/installed.png"
