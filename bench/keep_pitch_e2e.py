#!/usr/bin/env python3
"""A sung loop fitted to the band's tempo, through the whole program, as a performer hears it.

A two-bar phrase at 120 BPM (A4 for two beats... then C#5 and E5, a voice-like tone with
vibrato) sits in track 1 of a set whose speed fits it to 128 BPM, as テンポ合わせ leaves it. The
program runs under Xvfb on a private PulseAudio null sink; Z starts the loop and the sink's
monitor is recorded. Once in tape mode and once with the track keeping its pitch (the set's
companion says so), each note's pitch is measured (autocorrelation) and the loop's period from
the returns of its first note. Tape mode plays the phrase 1.1 semitones sharp; keep-pitch
must play it in its key at the same tempo.

    bench/keep_pitch_e2e.py PROGRAM [--bpm 128] [--keep]

Prints, for each mode: every note's pitch against the phrase's, in cents, and the loop's
period against the band's two bars; and the machine's load. Not part of `make test`.
"""

import argparse
import json
import math
import os
import struct
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import (MONITOR_RATE, Keyboard, Monitor, Rig, load, write_setting_file,  # noqa: E402
                 write_wav)

RATE = 44100
BPM = 120.0
# (first beat, beats, Hz) of the two-bar phrase.
NOTES = [(0, 4, 440.0), (4, 2, 554.37), (6, 2, 659.26)]


def write_phrase(path):
    """A voice-like tone: five harmonics falling off, 5.5 Hz vibrato of ±20 cents, each note
    rising in 20 ms and falling in the last 60 ms of its length."""
    beat = 60.0 / BPM
    samples = []
    for first, beats, hz in NOTES:
        n = int(beats * beat * RATE)
        phase = 0.0
        for i in range(n):
            t = i / RATE
            f = hz * 2 ** (20 / 1200 * math.sin(2 * math.pi * 5.5 * t))
            phase += 2 * math.pi * f / RATE
            env = min(1.0, t / 0.02, (n - i) / RATE / 0.06)
            v = sum(math.sin(k * phase) / k ** 1.5 for k in range(1, 6))
            samples.append(9000 * env * v)
    write_wav(path, RATE, samples)


def pitch(x):
    """The fundamental of `x` (48 kHz samples) by autocorrelation, refined by a parabola."""
    lo, hi = MONITOR_RATE // 900, MONITOR_RATE // 300
    n = len(x) - hi
    best, lag = -1.0, lo

    def corr(k):
        return sum(x[i] * x[i + k] for i in range(0, n, 2))

    values = {k: corr(k) for k in range(lo, hi + 1)}
    for k in range(lo + 1, hi):
        if values[k] > best and values[k] >= values[k - 1] and values[k] >= values[k + 1]:
            best, lag = values[k], k
    a, b, c = values[lag - 1], values[lag], values[lag + 1]
    shift = 0.5 * (a - c) / (a - 2 * b + c) if a - 2 * b + c != 0 else 0.0
    return MONITOR_RATE / (lag + shift)


def measure(pcm, start, bpm):
    """Each note's pitch in the loop's second pass, and the period from note 1's returns."""
    beat = 60.0 / bpm
    period = 8 * beat
    found = []
    for first, beats, hz in NOTES:
        middle = start + period + (first + beats / 2) * beat
        # Two whole vibrato cycles, as fast as the tempo plays them: the mean pitch.
        half = int(MONITOR_RATE / (5.5 * bpm / BPM))
        i = int(middle * MONITOR_RATE)
        found.append((hz, pitch(pcm[i - half:i + half])))
    # The loop's returns: where the level rises after the E5's fall, pass after pass.
    env = [max(abs(v) for v in pcm[i:i + 240]) for i in range(0, len(pcm) - 240, 240)]
    returns = []
    for p in range(1, 4):
        expect = int((start + p * period) * MONITOR_RATE / 240)
        window = env[max(0, expect - 40):expect + 40]
        if window:
            low = min(range(len(window)), key=window.__getitem__)
            returns.append((max(0, expect - 40) + low) * 240 / MONITOR_RATE)
    periods = [b - a for a, b in zip(returns, returns[1:])]
    return found, (sum(periods) / len(periods) if periods else None)


def play_and_record(rig, keys, seconds):
    monitor = Monitor(rig.env, rig.sink + ".monitor", latency_ms=20)
    time.sleep(0.5)
    pressed = keys.tap("z")
    time.sleep(seconds)
    keys.tap("z")
    time.sleep(0.3)
    monitor.stop()
    count = len(monitor.samples) // 2
    pcm = struct.unpack("<%dh" % count, bytes(monitor.samples[:2 * count]))
    start = pressed - monitor.timeline()
    onset = next((i for i in range(max(0, int(start * MONITOR_RATE)), count)
                  if abs(pcm[i]) > 1000), None)
    return pcm, (onset / MONITOR_RATE if onset is not None else None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--bpm", type=float, default=128.0, help="the band's tempo")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    speed = round(4410 * args.bpm / BPM)
    with Rig("marrowtune-pitch-", "pitch", keep=args.keep) as rig:
        phrase = os.path.join(rig.work, "phrase.wav")
        write_phrase(phrase)
        sets = {}
        for mode in ("tape", "keepPitch"):
            sets[mode] = os.path.join(rig.work, "%s.mrw" % mode)
            write_setting_file(sets[mode], [(phrase, True, speed)])
            tracks = [{"stretch": mode}] + [{}] * 7
            with open(sets[mode] + "x", "w") as f:
                json.dump({"format": "marrowtune-set", "version": 1, "tracks": tracks}, f)
        rig.write_ini({"QuSample": RATE, "WSCDir": sets["tape"]}, {})
        rig.start([args.program])
        time.sleep(2.5)
        keys = Keyboard(rig.display)
        print("a two-bar phrase at %g BPM, speed %d (%g BPM); PulseAudio null sink at %d Hz"
              % (BPM, speed, BPM * speed / 4410, MONITOR_RATE))
        for mode in ("tape", "keepPitch"):
            rig.open_setting_file(sets[mode])
            time.sleep(4.0)  # the load, and for keep-pitch the render
            rig.shot("%s.png" % mode)
            before = load()
            pcm, start = play_and_record(rig, keys, 3 * 8 * 60.0 / args.bpm + 0.5)
            if start is None:
                print("%-9s no sound recorded" % mode)
                continue
            notes, period = measure(pcm, start, args.bpm)
            cents = ["%.1f Hz (%+.0f cents)" % (got, 1200 * math.log2(got / hz))
                     for hz, got in notes]
            print("%-9s notes %s" % (mode, ", ".join(cents)))
            print("%-9s loop period %s s (the band's two bars: %.3f s); load %s before, %s after"
                  % ("", "%.3f" % period if period else "?", 8 * 60.0 / args.bpm, before,
                     load()))


if __name__ == "__main__":
    main()
