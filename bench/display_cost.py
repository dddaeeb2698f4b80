#!/usr/bin/env python3
"""What the level meters and waveforms cost: the program's CPU time with all eight tracks
looping, while its window is shown (meters, playheads and the master meter running at display
rate) and while it is unmapped (their timer stopped), on a private X server and PulseAudio.

The difference is the display work, in percent of one core and per display tick. The same is
measured on the play-mode window, whose eight meters and master meter run in its place.
Screenshots of both windows are kept in the work folder with --keep.

    bench/display_cost.py PROGRAM [--seconds 20] [--rate 44100] [--keep]

Not part of `make test`.
"""

import argparse
import math
import os
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import Keyboard, Rig, load, write_setting_file, write_wav  # noqa: E402

KEYS = ["z", "x", "c", "a", "s", "d", "w", "e"]
TICKS_PER_SECOND = 1000 / 33


def write_loop(path, rate, hz, beats):
    """Two seconds of a sine that loops without a seam, its level in `beats` decaying pulses,
    so that each waveform has a shape of its own."""
    frames = 2 * rate

    def level(i):
        phase = (i * beats / frames) % 1.0
        return 2000 + 16000 * math.exp(-5.0 * phase)

    write_wav(path, rate, (level(i) * math.sin(2 * math.pi * hz * i / rate) for i in range(frames)))


def cpu_seconds(path):
    """User plus system time from a /proc stat file."""
    with open(path) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure(pid, seconds):
    """Percent of one core over `seconds`: the whole process, and its UI thread alone (the
    display work's thread; the audio thread's share, the same either way, stays out)."""
    paths = ("/proc/%d/stat" % pid, "/proc/%d/task/%d/stat" % (pid, pid))
    before, start = [cpu_seconds(p) for p in paths], time.monotonic()
    time.sleep(seconds)
    wall = time.monotonic() - start
    return [100.0 * (cpu_seconds(p) - b) / wall for p, b in zip(paths, before)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--seconds", type=float, default=20.0, help="each measurement's length")
    parser.add_argument("--rate", type=int, default=44100, help="the output format (QuSample)")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()

    with Rig("marrowtune-display-", "display", keep=args.keep) as rig:
        wavs = []
        for n, hz in enumerate(range(200, 1000, 100)):
            wavs.append(os.path.join(rig.work, "loop%d.wav" % (n + 1)))
            write_loop(wavs[-1], args.rate, hz, n + 1)
        setting = os.path.join(rig.work, "display.mrw")
        write_setting_file(setting, [(wav, True) for wav in wavs])
        rig.write_ini({"QuSample": args.rate}, {})
        program = rig.start([args.program])
        keys = Keyboard(rig.display)
        time.sleep(2.0)
        window = rig.open_setting_file(setting)
        time.sleep(3.0)
        for key in KEYS:
            keys.tap(key)
        time.sleep(2.0)
        rig.shot("main.png")

        rows = []
        rows.append(("main window shown", measure(program.pid, args.seconds), load()))
        rig.xdotool("windowunmap", "--sync", window)
        time.sleep(1.0)
        rows.append(("main window unmapped", measure(program.pid, args.seconds), load()))
        rig.xdotool("windowmap", "--sync", window)
        time.sleep(1.0)
        rows.append(("main window shown again", measure(program.pid, args.seconds), load()))

        rig.xdotool("windowfocus", "--sync", window)
        rig.xdotool("key", "alt+v")
        time.sleep(0.3)
        rig.xdotool("key", "p")
        time.sleep(2.0)
        play = rig.xdotool("search", "--sync", "--name", " - Mtn$").split()[0]
        rig.shot("play-mode.png")
        rows.append(("play-mode window shown", measure(program.pid, args.seconds), load()))
        rig.xdotool("windowunmap", "--sync", play)
        time.sleep(1.0)
        rows.append(("play-mode window unmapped", measure(program.pid, args.seconds), load()))
        program.terminate()
        program.wait(10)

        print("display cost, 8 looping tracks at %d Hz, %.0f s each (load average beside)"
              % (args.rate, args.seconds))
        print("  %-28s %9s %10s   (percent of one core)" % ("", "process", "UI thread"))
        for name, (cpu, ui), avg in rows:
            print("  %-28s %9.2f %10.2f   (load %s)" % (name, cpu, ui, avg))
        print("display work: the UI thread's time shown less unmapped")
        shown = (rows[0][1][1] + rows[2][1][1]) / 2
        for name, on, off in (("main window", shown, rows[1][1][1]),
                              ("play-mode window", rows[3][1][1], rows[4][1][1])):
            print("  %-28s %6.2f %% of one core, %.3f ms a tick"
                  % (name, on - off, 10.0 * (on - off) / TICKS_PER_SECOND))


if __name__ == "__main__":
    main()
