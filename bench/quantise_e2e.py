#!/usr/bin/env python3
"""Quantised starts through the whole program, as a performer plays them.

On a private Xvfb and a private JACK server (dummy backend, 48 kHz, 128-frame periods):

1. The tempo is tapped: the counter window (表示 → カウンター), C, then V eight times a second
   apart, OK (the counter takes a tap for every half bar, two beats: 120 BPM). The beat clock takes the counter's tempo (its source stored as the tap);
   the program is quit through its menu, which stores the tempo.
2. The program starts again with a set of three tracks quantised to the bar (companion file):
   tracks 1 and 2 loops one bar long at the tapped tempo, track 3 a one-shot. Each begins with
   a 20 ms pulse at its own level (0.12, 0.25, 0.5), so recorders at three thresholds on our
   JACK port tell who starts when. Track 1 is started with its key (Z), track 2 with its key
   (X), track 3 with a pad (note 38 from a JACK MIDI client of this script's own), each at a
   random place in the bar.

Every start must land on the bar: tracks 2 and 3 start together with a pulse of track 1 (within
1 ms), each after its press by at most a bar and the program's horizon. Prints the tempo and
each start's place against track 1's pulses, and against the server's clock.

    bench/quantise_e2e.py PROGRAM [--rounds 3] [--keep]

Not part of `make test`.
"""

import argparse
import configparser
import json
import os
import random
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import HERE, JackRecorder, Keyboard, Rig, load, write_wav  # noqa: E402

RATE = 44100
PAD_PORT = "Marrowtune in:Marrowtune"
LEVELS = (0.12, 0.25, 0.5)
THRESHOLDS = (0.1, 0.2, 0.45)  # any start; track 2 or 3; track 3 alone


def ini_path(rig):
    return os.path.join(rig.home, ".config", "marrowtune.ini")


def write_ini(rig, setting, clock):
    rig.write_ini({"QuSample": RATE, "WSCDir": setting},
                  {"AudioSystem": "jack", "MidiSystem": "jack"})
    with open(ini_path(rig), "a") as ini:
        ini.write("[BeatClock]\n" + "".join("%s=%s\n" % kv for kv in clock.items()))


def main_window(rig):
    window = rig.xdotool("search", "--sync", "--name", "^Marrowtune - ").split()[0]
    rig.xdotool("windowfocus", "--sync", window)
    return window


def tap_tempo(rig, program):
    """The counter window, C, eight taps of V a second apart, OK; then quit."""
    window = main_window(rig)
    rig.xdotool("key", "alt+v")
    time.sleep(0.3)
    rig.xdotool("key", "x")
    counter = rig.xdotool("search", "--sync", "--name", "^カウンター$").split()[0]
    rig.xdotool("windowfocus", "--sync", counter)
    keys = Keyboard(rig.display)
    keys.tap("c")
    time.sleep(0.7)
    start = time.monotonic()
    for n in range(8):
        time.sleep(max(0.0, start + 1.0 * n - time.monotonic()))
        keys.tap("v")
    time.sleep(0.3)
    # OK sits 41-122 px across and 96-125 px down in the counter's own layout.
    rig.xdotool("mousemove", "--window", counter, "81", "110", "click", "1")
    time.sleep(0.5)
    rig.shot("tapped.png")
    rig.quit_program(window, program)
    stored = configparser.ConfigParser()
    stored.optionxform = str
    stored.read(ini_path(rig), encoding="utf-8")
    return float(stored["BeatClock"]["Bpm"])


def write_set(rig, bar_seconds):
    """Three tracks, each a pulse at its level then silence: two loops a bar long, a one-shot;
    all three quantised to the bar."""
    frames = round(bar_seconds * RATE)
    pulse = RATE // 50
    paths = []
    for n, level in enumerate(LEVELS):
        path = os.path.join(rig.work, "pulse%d.wav" % (n + 1))
        write_wav(path, RATE, (level * 32767 if i < pulse else 0
                               for i in range(frames if n < 2 else pulse * 2)))
        paths.append(path)
    lines = []
    for track in range(8):
        if track < 3:
            lines += [" 4410 ", " 0 ", " 0 ", os.path.basename(paths[track]), paths[track],
                      " 0 ", " 1 " if track < 2 else " 0 ", " 0 ", ""]
        else:
            lines += [" 4410 ", " 0 ", " 0 ", "", "", " 0 ", " 1 ", " 1 ", ""]
    setting = os.path.join(rig.work, "quantised.mrw")
    with open(setting, "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("utf-8"))
    companion = {"format": "marrowtune-set", "version": 1,
                 "tracks": [{"quantise": "bar" if t < 3 else "off", "stopOnGrid": False}
                            for t in range(8)]}
    with open(os.path.join(rig.work, "quantised.mrwx"), "w") as f:
        json.dump(companion, f)
    return setting


def pad_sender(rig):
    binary = os.path.join(rig.work, "midi_sender")
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "jack"], check=True,
                           capture_output=True, text=True).stdout.split()
    subprocess.run(["c++", "-std=c++20", "-O2", "-o", binary,
                    os.path.join(HERE, "midi_sender.cpp")] + flags, check=True)
    proc = subprocess.Popen([binary, PAD_PORT, "pads"], env=rig.env, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
    if not proc.stdout.readline().startswith("ready"):
        sys.exit("quantise_e2e: the pad client did not connect to " + PAD_PORT)
    return proc


def start_with_set(rig, argv, setting, settle=3.0):
    """Starts the program, opens `setting` through its menu; returns the program, its main
    window and its first JACK audio output port. Exits when its JACK ports are missing."""
    program = rig.start(argv)
    time.sleep(2.0)
    window = rig.open_setting_file(setting)
    time.sleep(settle)
    outputs = [p for p in rig.ports() if p.startswith("Marrowtune:")]
    if not outputs or PAD_PORT not in rig.ports():
        sys.exit("%s: no JACK audio or MIDI port of the program" % os.path.basename(sys.argv[0]))
    return program, window, outputs[0]


def first_after(onsets, t):
    later = [o for o in onsets if o >= t]
    return min(later) if later else None


def play_round(rig, keys, pads, recorders, bar):
    """Starts track 1, 2, 3 at random places in the bar; returns [(press, onset)]."""
    main_window(rig)
    found = []
    for track in range(3):
        time.sleep(random.uniform(0.0, bar))
        if track < 2:
            pressed = keys.tap("zx"[track])
        else:
            pads.stdin.write("38\n")
            pads.stdin.flush()
            pressed = float(pads.stdout.readline().split()[1])
        time.sleep(bar + 0.3)
        found.append((pressed, first_after(recorders[track].onset_times, pressed)))
    # Both loops stop: Z and X again; the next round starts from silence.
    keys.tap("z")
    keys.tap("x")
    time.sleep(bar + 0.3)
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    with Rig("marrowtune-quantise-", "quantise", jack=True, keep=args.keep) as rig:
        write_ini(rig, "", {"Source": 1})
        program = rig.start([args.program], "tap.log")
        bpm = tap_tempo(rig, program)
        bar = 240.0 / bpm
        setting = write_set(rig, bar)
        with open(ini_path(rig), encoding="utf-8") as f:
            stored = f.read()
        with open(ini_path(rig), "w", encoding="utf-8") as f:
            f.write(stored.replace("WSCDir=", "WSCDir=" + setting, 1))
        program, window, output = start_with_set(rig, [args.program], setting)
        recorders = [JackRecorder(rig.work, rig.env, output, t) for t in THRESHOLDS]
        pads = pad_sender(rig)
        keys = Keyboard(rig.display)
        before = load()
        results = []
        for _ in range(args.rounds):
            results.append(play_round(rig, keys, pads, recorders, bar))
        rig.shot("played.png")
        pads.stdin.close()
        pads.wait(5)
        for r in recorders:
            r.stop()
        rig.quit_program(window, program)

        print("tapped tempo %.3f BPM: a bar of %.4f s; load %s before, %s after"
              % (bpm, bar, before, load()))
        # Track 1's pulses (every onset the lowest threshold hears) are the bar as it sounds;
        # a later start must coincide with one. Against the server's clock the bar can slip by
        # whole periods where JACK skipped our cycle under load: shown beside it.
        pulses = recorders[0].onset_times
        worst = 0.0
        failed = False
        for n, found in enumerate(results):
            for track, (pressed, onset) in enumerate(found):
                if onset is None:
                    print("round %d track %d: no onset" % (n + 1, track + 1))
                    failed = True
                    continue
                late = onset - pressed
                failed = failed or not 0.0 < late < bar + 0.1
                if track == 0:
                    print("round %d track 1 (key): pressed %.3f s before the bar" % (n + 1, late))
                    continue
                near = min(pulses, key=lambda a: abs(a - onset))
                off = (onset - near) * 1000.0
                last = max([a for a in pulses if a < pressed] or [found[0][1]])
                bars = (onset - last) / bar
                drift = (bars - round(bars)) * bar * 1000.0
                worst = max(worst, abs(off))
                print("round %d track %d (%s): pressed %.3f s before the bar; %+.3f ms from "
                      "track 1's bar pulse (%+.3f ms on the server's clock)"
                      % (n + 1, track + 1, "pad" if track == 2 else "key", late, off, drift))
                failed = failed or abs(off) > 1.0
        print("worst distance from the bar as heard: %.3f ms (goal: within 1 ms); server xruns "
              "while recording: %s" % (worst, ", ".join("%d" % r.end.get("xruns", -1)
                                                        for r in recorders[:1])))
        return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
