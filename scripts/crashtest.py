#!/usr/bin/env python3
"""Kills Kelvora with SIGKILL at random moments, a hundred times, and checks
that nothing it was working on is torn and that the next start works.

    scripts/crashtest.py [--kills 100] [--build build] [--seed N]

Kelvora runs under Xvfb on the bus simulator (eight modules), with AutoStart
and the datalog on, on settings and files of its own in a temporary folder.
Each round starts it, waits for its window (a start that finds the
single-instance lock still held shows "Loading Error" instead, and fails the
run), and kills it (SIGKILL):

  - every other round while it meters and logs, 0.3 to 4 s after the window
    shows;
  - the other rounds around a save of the configuration (File, Save
    Configuration, Enter in the file dialog), 0 to 150 ms after the Enter
    is sent.
    These start without AutoStart, since the file commands wait while
    metering runs: the program holds a new, empty configuration with period
    16, and saves it over a file of eight modules with period 5, so the old
    file and the new one differ.

After every kill:
  - the day's datalog file holds, byte for byte, everything it held before
    the round (a foreign note without a line end was put in it at the
    start), followed by whole rows only;
  - the configuration file is the old image or the new one, never another;
  - at most one leftover of the save ("<file>.kelvora-XXXXXX") lies beside
    it, and it is gone after the next save.

Needs: Xvfb, xdotool (scripts/setup.sh installs both) and a build with
kelvora and kelvora-sim.
"""

import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from datetime import date

ROW = re.compile(
    rb"^([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\tRTD Module ([1-9]|[1-5][0-9]|6[0-3])"
    rb"(\t[ -~]{6,}){8}\r$")
HEADER = b"Time\tModule\tRTD 1\tRTD 2\tRTD 3\tRTD 4\tRTD 5\tRTD 6\tRTD 7\tRTD 8\r"
MODULES = 8


def config_image(period, modules):
    """The 550-byte configuration file: header 0..5, the period, a block of
    eight type codes for each of the 63 modules, trailer 0..5, 33 zeros."""
    codes = bytearray(63 * 8)
    for m in range(modules):
        codes[m * 8:m * 8 + 8] = bytes([1, 1, 2, 3, 4, 5, 1, 0])
    image = bytes(range(6)) + bytes([period]) + bytes(codes) + bytes(range(6)) + bytes(33)
    assert len(image) == 550
    return image


def wait_for(condition, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return None


class Run:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build)
        self.folder = tempfile.mkdtemp(prefix="kelvora-crash.")
        self.work = os.path.join(self.folder, "work")
        self.config_home = os.path.join(self.folder, "config")
        self.runtime = os.path.join(self.folder, "runtime")
        for d in (self.work, self.config_home + "/Quelmar", self.runtime):
            os.makedirs(d, mode=0o700, exist_ok=True)
        self.link = os.path.join(self.folder, "ttyKELV0")
        self.cfg = os.path.join(self.work, "plant.cfg")
        self.old = config_image(5, MODULES)
        self.new = config_image(16, 0)
        self.log_base = os.path.join(self.work, "plant_data")
        self.display = None
        self.processes = []
        self.env = dict(os.environ, XDG_CONFIG_HOME=self.config_home,
                        XDG_RUNTIME_DIR=self.runtime, KELVORA_LOCK_DIR=self.folder)
        self.env.pop("QT_QPA_PLATFORM", None)

    def start_background(self, argv, **kwargs):
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, **kwargs)
        self.processes.append(process)
        return process

    def stop(self):
        # SIGTERM, so that Xvfb removes its lock and socket.
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)

    def xdotool(self, *words):
        return subprocess.run(["xdotool", *words], env=self.env, capture_output=True,
                              text=True).stdout.split()

    def write_preferences(self, auto_start):
        with open(os.path.join(self.config_home, "Quelmar", "QMRTD.conf"), "w") as f:
            f.write(f"[Preferences]\nAutoStart={int(auto_start)}\nDatalog=1\nShowOptions=1\n"
                    f"Comport={self.link}\nTemperature=Celsius\nConfig_File={self.cfg}\n"
                    f"DataFile={self.log_base}\nPeriod=16\nTop=0\nLeft=0\nHeight=0\nWidth=0\n")

    def datalog(self):
        today = date.today()
        return f"{self.log_base}_{today.month:02d}{today.day:02d}.csv"

    def setup(self):
        # Xvfb picks a free display itself and names it once it is ready.
        # -noreset: a server whose last client leaves starts afresh and refuses
        # connections meanwhile, which would fail the next start's connection.
        read_end, write_end = os.pipe()
        self.xvfb = self.start_background(
            ["Xvfb", "-displayfd", str(write_end), "-noreset", "-screen", "0", "1280x1024x24",
             "-nolisten",
             "tcp"], stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.folder, "xvfb.log"), "wb"), pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as named:
            number = named.readline().strip()
        if not number:
            sys.exit("crashtest: Xvfb did not start")
        self.display = f":{number}"
        self.env["DISPLAY"] = self.display
        self.start_background([os.path.join(self.build, "kelvora-sim"), "--link", self.link,
                               "--modules", f"1-{MODULES}", "--no-stdin"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: os.path.exists(self.link), 10):
            sys.exit("crashtest: the simulator did not start")
        # Somebody's note at the end of today's datalog, without a line end.
        with open(self.datalog(), "wb") as f:
            f.write(b"operator note: probe 3 replaced")

    def start_kelvora(self, auto_start=True):
        self.write_preferences(auto_start)
        with open(self.cfg, "wb") as f:
            f.write(self.old)
        out = open(os.path.join(self.folder, "kelvora.out"), "ab")
        kelvora = subprocess.Popen([os.path.join(self.build, "kelvora")], cwd=self.work,
                                   env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=out)
        window = wait_for(lambda: self.xdotool("search", "--onlyvisible", "--name", "^KELVORA$"),
                          30, 0.1)
        if not window:
            shown = subprocess.run("xdotool search --onlyvisible --name . getwindowname %@",
                                   shell=True, env=self.env, capture_output=True,
                                   text=True).stdout.split("\n")
            shot = os.path.join(tempfile.gettempdir(), "crashtest-no-window.png")
            subprocess.run(["import", "-window", "root", shot], env=self.env)
            running = kelvora.poll() is None
            if self.xvfb.poll() is not None:
                xvfb_log = open(os.path.join(self.folder, "xvfb.log"), "rb").read()[-1000:]
                sys.exit(f"crashtest: round {self.round}: Xvfb ended ({self.xvfb.returncode}): "
                         f"{xvfb_log.decode(errors='replace')}")
            kelvora.kill()
            kelvora.wait()
            out.close()
            log = open(os.path.join(self.folder, "kelvora.out"), "rb").read()[-2000:]
            sys.exit(f"crashtest: round {self.round}: Kelvora opened no window in 30 s "
                     f"({'still running' if running else f'ended with {kelvora.returncode}'}); "
                     f"windows shown: {[w for w in shown if w]}; screenshot {shot}; "
                     f"its output:\n{log.decode(errors='replace')}")
        return kelvora, window[0]

    def check(self, before, round_):
        data = open(self.datalog(), "rb").read()
        if not data.startswith(before):
            sys.exit(f"crashtest: round {round_}: bytes that were in the datalog are gone")
        fresh = data[len(before):]
        # A row never reaches the file in pieces, so the file ends with a
        # whole line; the first new line completes the foreign note.
        if fresh and not fresh.endswith(b"\r\n"):
            sys.exit(f"crashtest: round {round_}: the datalog ends with a torn row")
        for line in data.split(b"\n")[1:-1]:
            if line.startswith(b"operator note"):
                continue
            if line != HEADER and not ROW.match(line):
                sys.exit(f"crashtest: round {round_}: not a whole row: {line[:80]!r}")
        saved = open(self.cfg, "rb").read()
        if saved not in (self.old, self.new):
            sys.exit(f"crashtest: round {round_}: {self.cfg} is torn ({len(saved)} bytes)")
        leftovers = [n for n in os.listdir(self.work)
                     if re.fullmatch(r"plant\.cfg\.kelvora-[A-Za-z0-9]{6}", n)]
        if len(leftovers) > 1:
            sys.exit(f"crashtest: round {round_}: more than one leftover: {leftovers}")
        return data, saved == self.new, len(leftovers)

    def main(self):
        rng = random.Random(self.args.seed)
        print(f"crashtest: seed {self.args.seed}, {self.args.kills} kills, folder {self.folder}")
        self.setup()
        before = open(self.datalog(), "rb").read()
        counts = {"logging": 0, "saving": 0, "new": 0, "leftovers": 0}
        for round_ in range(self.args.kills):
            self.round = round_
            logging = round_ % 2 == 0
            kelvora, window = self.start_kelvora(auto_start=logging)
            if logging:
                time.sleep(rng.uniform(0.3, 4.0))
                counts["logging"] += 1
            else:
                time.sleep(0.5)
                self.xdotool("windowfocus", "--sync", window, "key", "ctrl+s")
                wait_for(lambda: self.xdotool("search", "--onlyvisible", "--name",
                                              "^Save Configuration File$"), 10, 0.05)
                # The key goes out on its own, so that the kill can come
                # before, during or after the save it starts.
                key = subprocess.Popen(["xdotool", "key", "Return"], env=self.env)
                time.sleep(rng.uniform(0.0, 0.15))
                counts["saving"] += 1
            kelvora.send_signal(signal.SIGKILL)
            kelvora.wait()
            if not logging:
                key.wait()
            before, is_new, leftovers = self.check(before, round_)
            counts["new"] += is_new
            counts["leftovers"] += leftovers
        # One last start, stopped as a session ends it.
        self.round = "last"
        kelvora, _ = self.start_kelvora()
        time.sleep(2)
        kelvora.send_signal(signal.SIGTERM)
        if kelvora.wait(timeout=10) != 0:
            sys.exit("crashtest: the last run did not close on SIGTERM")
        data, _, _ = self.check(before, "last")
        rows = sum(1 for line in data.split(b"\n") if ROW.match(line))
        print(f"crashtest: {self.args.kills} kills ({counts['logging']} while logging, "
              f"{counts['saving']} around a save: {counts['new']} left the new configuration, "
              f"{counts['saving'] - counts['new']} the old, {counts['leftovers']} a leftover "
              f"that the next save removed); {rows} whole rows, every earlier byte kept; "
              f"every start found the lock free")


def parse():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kills", type=int, default=100)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    parser.add_argument("--seed", type=int, default=random.SystemRandom().randrange(1 << 30))
    return parser.parse_args()


if __name__ == "__main__":
    run = Run(parse())
    try:
        run.main()
    finally:
        run.stop()
