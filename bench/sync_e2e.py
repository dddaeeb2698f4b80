#!/usr/bin/env python3
"""Quantised starts following the band's clock, through the whole program.

On a private Xvfb and a private JACK server (dummy backend, 48 kHz, 128-frame periods), a
reference client of this script's own (bench/sync_reference.cpp) keeps the band's time:

  --source jack   the JACK transport's timebase master, rolling at BPM
  --source midi   MIDI clock into the program's input: 2 s of ticks, then Start (with
                  --jitter MS, each tick early or late by up to MS at random)
  --source link   an Ableton Link peer, LinkHut (package ableton-link-utils), clicking on
                  every beat of its session at 120 BPM; everything runs in a private network
                  namespace of its own (Link announces itself on every interface)

The program starts with that source chosen and a set whose track 1 is a loop one bar long at
the reference's tempo, quantised to the bar, beginning with a 20 ms pulse. Its key (Z) is
pressed at a random place in the bar, several times over; every pulse the program plays must
begin with one of the reference's bars. Prints the distance of each round's pulses from the
reference's bars (median, p99, worst) against one period (the goal for JACK transport), one
MIDI clock tick (the goal for a MIDI clock's start), or 3 ms (Link's p99 goal; Link's clicks
are beats, so the distance is to the nearest).

    bench/sync_e2e.py PROGRAM --source jack|midi|link [--bpm 126] [--jitter 0] [--rounds 4]

Not part of `make test`.
"""

import argparse
import os
import random
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from link_phase import enter_private_network  # noqa: E402
from quantise_e2e import PAD_PORT, main_window, start_with_set, write_ini, write_set  # noqa: E402,E501
from rig import HERE, JackRecorder, Keyboard, Rig, load  # noqa: E402

PERIOD_MS = 128 / 48.0
SOURCES = {"jack": 5, "midi": 4, "link": 3}  # the stored numbers of the beat clock's sources


class Reference:
    """bench/sync_reference.cpp: the band's clock, and the times its bars leave the server."""

    def __init__(self, rig, argv):
        binary = os.path.join(rig.work, "sync_reference")
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "jack"], check=True,
                               capture_output=True, text=True).stdout.split()
        subprocess.run(["c++", "-std=c++20", "-O2", "-o", binary,
                        os.path.join(HERE, "sync_reference.cpp")] + flags, check=True)
        self.proc = subprocess.Popen([binary] + argv, env=rig.env, stdout=subprocess.PIPE,
                                     text=True)
        if not self.proc.stdout.readline().startswith("ready"):
            sys.exit("sync_e2e: the reference client did not start")
        self.bars = []
        import threading
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            words = line.split()
            if words and words[0] == "bar":
                self.bars.append(float(words[1]))

    def stop(self):
        self.proc.terminate()
        self.proc.wait(5)


class LinkPeer:
    """LinkHut on the rig's JACK server, in the session and clicking; its clicks as heard."""

    def __init__(self, rig):
        self.proc = subprocess.Popen(["LinkHut"], env=rig.env, stdin=subprocess.PIPE,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.0)
        for n in (1, 2):
            subprocess.run(["jack_connect", "LinkHut:out_%d" % n, "system:playback_%d" % n],
                           env=rig.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for key in (b"a", b" "):  # Link on; start: a click on every beat
            self.proc.stdin.write(key)
            self.proc.stdin.flush()
        self.clicks = JackRecorder(rig.work, rig.env, "LinkHut:out_1", 0.1)

    @property
    def bars(self):
        return self.clicks.onset_times

    def stop(self):
        self.clicks.stop()
        self.proc.terminate()
        self.proc.wait(5)


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--source", choices=sorted(SOURCES), required=True)
    parser.add_argument("--bpm", type=float, default=126.0)
    parser.add_argument("--jitter", type=float, default=0.0, help="MIDI clock jitter, ms")
    parser.add_argument("--rounds", type=int, default=4)
    parser.add_argument("--bars", type=int, default=8, help="bars played each round")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    if args.source == "link":
        enter_private_network()
        args.bpm = 120.0  # LinkHut's session, which the program joins
    bar = 240.0 / args.bpm
    with Rig("marrowtune-sync-", "sync", jack=True, keep=args.keep) as rig:
        setting = write_set(rig, bar)
        write_ini(rig, setting, {"Source": SOURCES[args.source], "Bpm": 100})
        # LinkHut's session is there first: the program joins it and takes its tempo.
        reference = LinkPeer(rig) if args.source == "link" else None
        program, window, output = start_with_set(rig, [args.program], setting, 2.0)
        if args.source == "jack":
            reference = Reference(rig, ["master", "%g" % args.bpm, "4"])
        elif args.source == "midi":
            reference = Reference(rig, ["clock", PAD_PORT, "%g" % args.bpm,
                                        "%g" % args.jitter])
        recorder = JackRecorder(rig.work, rig.env, output, 0.1)
        time.sleep(4.0)  # the clock follows: two bars of MIDI clock after its Start
        rig.shot("following.png")
        keys = Keyboard(rig.display)
        before = load()
        rounds = []
        for _ in range(args.rounds):
            main_window(rig)
            time.sleep(random.uniform(0.0, bar))
            pressed = keys.tap("z")
            time.sleep(bar * (args.bars + 1))
            keys.tap("z")
            stopped = time.monotonic()
            time.sleep(0.5)
            rounds.append([o for o in recorder.onset_times if pressed < o < stopped])
        rig.shot("played.png")
        recorder.stop()
        reference.stop()
        rig.quit_program(window, program)

        print("%s at %g BPM%s; load %s before, %s after; server xruns while recording: %d"
              % (args.source, args.bpm, " (jitter %g ms)" % args.jitter if args.jitter else "",
                 before, load(), recorder.end.get("xruns", -1)))
        distances = []
        failed = False
        for n, onsets in enumerate(rounds):
            if not onsets:
                print("round %d: no pulse" % (n + 1))
                failed = True
                continue
            off = [(o - min(reference.bars, key=lambda b, o=o: abs(b - o))) * 1000.0
                   for o in onsets]
            distances += [abs(d) for d in off]
            print("round %d: %d pulses, from the reference's bars %s ms"
                  % (n + 1, len(onsets), " ".join("%+.2f" % d for d in off)))
        if not distances:
            return 1
        goal = {"jack": PERIOD_MS, "link": 3.0}.get(args.source, 60000.0 / args.bpm / 24)
        worst = max(distances)
        print("distance from the reference's bar: median %.3f ms, p99 %.3f ms, worst %.3f ms "
              "(goal: within %s, %.2f ms)"
              % (statistics.median(distances), percentile(distances, 99), worst,
                 {"jack": "one period", "link": "Link's p99"}.get(args.source, "one tick"),
                 goal))
        return 1 if failed or worst > goal else 0


if __name__ == "__main__":
    sys.exit(main())
