#!/usr/bin/env python3
"""A long run with every track looping, counting dropouts two ways: the program's own underrun
counter (its last line on stderr) and gaps in a recording of the sink's monitor.

Eight tracks loop sines of 200..900 Hz (a setting file, started with their keys); the null
sink fills an underrun with digital silence, which the sum of the sines never holds for long.

    bench/soak.py PROGRAM [--minutes 10] [--rate 22050] [--block-ms 3]

Not part of `make test`.
"""

import argparse
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_latency import MONITOR_RATE, Keyboard, Monitor, free_display  # noqa: E402

KEYS = ["z", "x", "c", "a", "s", "d", "w", "e"]


def write_loop(path, rate, hz):
    """One second of a sine that loops without a seam (a whole number of cycles)."""
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(3000 * math.sin(2 * math.pi * hz * i / rate)))
                               for i in range(rate)))


def write_setting_file(path, wavs):
    """Every track loops its file from its key (loop on, hold off)."""
    lines = []
    for wav in wavs:
        lines += [" 4410 ", " 0 ", " 0 ", os.path.basename(wav), wav, " 0 ", " 1 ", " 0 ", ""]
    with open(path, "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("utf-8"))


def gaps(samples, first, last):
    """Stretches of digital silence of 0.5 ms or more between sample `first` and `last`: the
    null sink fills an underrun with zeros, which eight sines never hold for long. Returns
    (count, longest in ms)."""
    data = bytes(samples[2 * first:2 * last])
    shortest = MONITOR_RATE // 2000
    lengths = [(m.end() - m.start()) // 2
               for m in re.finditer(rb"(?:\x00\x00){%d,}" % shortest, data)
               if m.start() % 2 == 0]
    return len(lengths), (1000.0 * max(lengths) / MONITOR_RATE if lengths else 0.0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--minutes", type=float, default=10.0)
    parser.add_argument("--rate", type=int, default=22050, help="the output format (QuSample)")
    parser.add_argument("--block-ms", type=float, default=None)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="marrowtune-soak-")
    os.chmod(work, 0o700)
    home = os.path.join(work, "home")
    os.makedirs(os.path.join(home, ".config"))
    display = free_display()
    env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=work,
               XDG_CONFIG_HOME=os.path.join(home, ".config"), DISPLAY=display,
               PULSE_SERVER="unix:" + os.path.join(work, "pulse.sock"))
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    env.pop("QT_QPA_PLATFORM", None)
    procs = []
    try:
        procs.append(subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24",
                                       "-nolisten", "tcp"], stderr=subprocess.DEVNULL))
        subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
                        "--system=false", "--use-pid-file=yes", "--high-priority=yes",
                        "--realtime=yes", "-L",
                        "module-null-sink sink_name=soak rate=%d channels=2" % MONITOR_RATE,
                        "-L", "module-native-protocol-unix socket=%s auth-anonymous=1"
                        % os.path.join(work, "pulse.sock")],
                       env=env, check=True, stderr=subprocess.DEVNULL)
        subprocess.run(["pactl", "set-default-sink", "soak"], env=env, check=True)
        time.sleep(0.5)
        wavs = []
        for n, hz in enumerate(range(200, 1000, 100)):
            wavs.append(os.path.join(work, "loop%d.wav" % (n + 1)))
            write_loop(wavs[-1], 22050, hz)
        setting = os.path.join(work, "soak.mrw")
        write_setting_file(setting, wavs)
        with open(os.path.join(home, ".config", "marrowtune.ini"), "w") as ini:
            ini.write("[Info]\nQuSample=%d\n" % args.rate)
            if args.block_ms:
                ini.write("[Marrowtune]\nAudioBlockMs=%g\n" % args.block_ms)

        monitor = Monitor(env, "soak.monitor")
        err = os.path.join(work, "program.log")
        program = subprocess.Popen([args.program], env=env, stdout=subprocess.DEVNULL,
                                   stderr=open(err, "w"))
        procs.append(program)
        keys = Keyboard(display)
        time.sleep(2.0)
        window = subprocess.run(["xdotool", "search", "--sync", "--name", "^Marrowtune - "],
                                env=env, capture_output=True, text=True).stdout.split()[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env)
        subprocess.run(["xdotool", "key", "alt+f"], env=env)
        time.sleep(0.3)
        subprocess.run(["xdotool", "key", "o"], env=env)
        time.sleep(1.0)
        subprocess.run(["xdotool", "key", "ctrl+a"], env=env)
        subprocess.run(["xdotool", "type", "--delay", "5", setting], env=env)
        subprocess.run(["xdotool", "key", "Return"], env=env)
        time.sleep(3.0)
        for key in KEYS:
            keys.tap(key)
        started = time.monotonic()
        time.sleep(args.minutes * 60)
        ended = time.monotonic()
        subprocess.run(["import", "-window", "root", os.path.join(work, "end.png")], env=env)
        # Quit through the menu, so the program shuts down in order and reports.
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env)
        subprocess.run(["xdotool", "key", "alt+f"], env=env)
        time.sleep(0.3)
        subprocess.run(["xdotool", "key", "x"], env=env)
        program.wait(15)
        monitor.stop()
        played = ended - started

        with open(err) as f:
            said = f.read()
        counted = re.search(r"sound output closed after (\d+) underruns", said)
        t0 = monitor.timeline()
        runs, longest = gaps(monitor.samples, int((started + 1.0 - t0) * MONITOR_RATE),
                             int((ended - t0) * MONITOR_RATE))
        print("soak: %.1f min, 8 looping tracks, output format %d Hz%s"
              % (played / 60, args.rate,
                 ", block %g ms" % args.block_ms if args.block_ms else ""))
        print("underruns counted by the program: %s"
              % (counted.group(1) if counted else "0 (no report line)"))
        print("gaps in the recording: %d (longest %.0f ms)" % (runs, longest))
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
        subprocess.run(["pactl", "exit"], env=env, stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
