#!/usr/bin/env python3
"""Hostile MIDI against the real program on a private JACK server (dummy backend), under Xvfb:
a flood of pad messages, then an unfinished SysEx followed by a note, then File > Exit.

    bench/midi_flood.py PROGRAM [--rate 100000] [--seconds 10] [--keep]

Prints: whether the note after a lone F0 sounded (and its delay at our JACK port); the
program's memory (VmRSS) before and after the flood; how long the File menu took to open after
the flood ended; how long File > Exit took. Not part of `make test`.
"""

import argparse
import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import HERE, JackRecorder, Rig, load, write_click, write_setting_file  # noqa: E402

TARGET = "Marrowtune in:Marrowtune"


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def sender(rig, *args):
    binary = os.path.join(rig.work, "midi_sender")
    if not os.path.exists(binary):
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "jack"], check=True,
                               capture_output=True, text=True).stdout.split()
        subprocess.run(["c++", "-std=c++20", "-O2", "-o", binary,
                        os.path.join(HERE, "midi_sender.cpp")] + flags, check=True)
    return subprocess.Popen([binary, TARGET] + [str(a) for a in args], env=rig.env,
                            stdout=subprocess.PIPE, text=True)


def visible_windows(rig, pid):
    return len(rig.xdotool("search", "--onlyvisible", "--pid", str(pid), "").split())


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--rate", type=int, default=100000, help="flood, messages a second")
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    with Rig("marrowtune-midiflood-", "midiflood", jack=True, keep=args.keep) as rig:
        click = os.path.join(rig.work, "click.wav")
        write_click(click, 22050)
        setting = os.path.join(rig.work, "pads.mrw")
        write_setting_file(setting, [(click, False)] * 8)
        rig.write_ini({"QuSample": "22050", "WSCDir": setting},
                      {"AudioSystem": "jack", "MidiSystem": "jack"})
        program = rig.start([args.program])
        time.sleep(2.0)
        window = rig.open_setting_file(setting)
        time.sleep(2.0)
        outputs = [p for p in rig.ports() if p.startswith("Marrowtune:")]
        if TARGET not in rig.ports() or not outputs:
            sys.exit("midi_flood: the program has no JACK MIDI input or audio port (log: %s)"
                     % open(os.path.join(rig.work, "program.log")).read().strip()[-500:])
        recorder = JackRecorder(rig.work, rig.env, outputs[0])
        time.sleep(0.3)

        before = rss_mb(program.pid)
        flood = sender(rig, "flood", args.rate, args.seconds)
        sent = [line for line in flood.stdout if line.startswith("end")]
        flood.wait(args.seconds + 30)
        ended = time.monotonic()
        rig.xdotool("windowfocus", "--sync", window)
        shown = visible_windows(rig, program.pid)
        began = time.monotonic()
        asked = began - ended
        rig.xdotool("key", "alt+f")
        menu = None
        while time.monotonic() - began < 60:
            if visible_windows(rig, program.pid) > shown:
                menu = time.monotonic() - began
                break
            time.sleep(0.01)
        after = rss_mb(program.pid)
        rig.xdotool("key", "Escape")
        time.sleep(0.3)
        lone = sender(rig, "lone-f0")
        note = [float(line.split()[1]) for line in lone.stdout if line.startswith("note")]
        lone.wait(10)
        time.sleep(0.5)
        heard = recorder.onsets(note, window=0.5) if note else [None]
        print("lone F0, then a note: %s" % (
            "sounded %.1f ms after the note was sent" % (1000 * heard[0])
            if heard[0] is not None else "NOT HEARD (the input is deaf)"))
        recorder.stop()

        rig.xdotool("windowfocus", "--sync", window)
        rig.xdotool("key", "alt+f")
        time.sleep(0.3)
        began = time.monotonic()
        rig.xdotool("key", "x")
        try:
            program.wait(60)
            quit_s = "%.2f s" % (time.monotonic() - began)
        except subprocess.TimeoutExpired:
            quit_s = "NOT within 60 s"
        print("flood: %d messages a second for %g s (%s), load %s" % (
            args.rate, args.seconds, sent[0].strip() if sent else "?", load()))
        print("memory (VmRSS): %.0f MB before, %.0f MB after" % (before, after))
        print("File menu after the flood: %s (asked %.2f s after it ended)" % (
            "%.0f ms" % (1000 * menu) if menu is not None else "NOT shown within 60 s", asked))
        print("File > Exit, from the x of the open menu to the program's end: %s" % quit_s)


if __name__ == "__main__":
    main()
