#!/usr/bin/env python3
"""Gaps in a looping track while a big file loads into another track: bench_loading's `play`
on a private PulseAudio with a null sink, whose monitor is recorded. A gap is digital silence
of 0.5 ms or more inside the loop (a 1 kHz sine). Runs the background load (--runs times), and with --blocking the
blocking load the program had before, for comparison.

    bench/load_gaps.py BENCH_LOADING [--dir D] [--wav-mb N] [--runs N] [--blocking]
                       [--realtime-server] [--keep]

Not part of `make test`.
"""

import argparse
import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import MONITOR_RATE, Monitor, Rig, load  # noqa: E402
from soak import gaps  # noqa: E402


def sounding_span(samples):
    """First and last sample that is not silence, in samples."""
    count = len(samples) // 2
    first = next(i for i in range(count) if samples[2 * i:2 * i + 2] != b"\0\0")
    last = next(i for i in range(count - 1, -1, -1) if samples[2 * i:2 * i + 2] != b"\0\0")
    return first, last


def run(rig, args, blocking):
    monitor = Monitor(rig.env, "loadgaps.monitor")
    time.sleep(2.0)  # the null sink holds the first stream back
    argv = [args.bench, "play", "--dir", args.dir, "--wav-mb", str(args.wav_mb)]
    if blocking:
        argv.append("blocking")
    out = subprocess.run(argv, env=rig.env, capture_output=True, text=True, timeout=600).stdout
    time.sleep(0.5)
    monitor.stop()
    loaded = [line for line in out.splitlines() if line.startswith("loaded")]
    first, last = sounding_span(monitor.samples)
    t0 = monitor.timeline()
    # The loop's start and end are left out: the stream opening and closing are no gaps.
    found = gaps(monitor, t0 + first / MONITOR_RATE + 0.5, t0 + last / MONITOR_RATE - 0.1)
    over = [(t, ms) for t, ms in found if ms > 1.0]
    during = "?"
    if loaded:
        began, ended = (float(v) for v in loaded[0].split()[1:3])
        inside = [(t, ms) for t, ms in over if began - 0.1 <= t <= ended + 0.3]
        during = "%d over 1 ms (longest %.1f ms)" % (
            len(inside), max((ms for _, ms in inside), default=0.0))
    if over:
        print("  gaps over 1 ms at (s after the loop began):", ", ".join(
            "%.2f (%.1f ms)" % (t - t0 - first / MONITOR_RATE, ms) for t, ms in over))
    print("%-10s gaps over 0.5 ms %3d, over 1 ms %3d, longest %6.1f ms; while loading %s; "
          "played %.1f s  %s  (load %s)" % (
              "blocking" if blocking else "background", len(found), len(over),
              max((ms for _, ms in found), default=0.0), during,
              (last - first) / MONITOR_RATE, loaded[0] if loaded else out.strip()[-200:], load()))
    return len(over)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("bench")
    parser.add_argument("--dir", default="/tmp/marrowtune-loadbench")
    parser.add_argument("--wav-mb", type=float, default=1074)
    parser.add_argument("--realtime-server", action="store_true",
                        help="the PulseAudio server's main thread at realtime priority too")
    parser.add_argument("--runs", type=int, default=1, help="background loads, one after another")
    parser.add_argument("--blocking", action="store_true",
                        help="then the blocking load the program had before, for comparison")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    with Rig("marrowtune-loadgaps-", "loadgaps", keep=args.keep,
             realtime_server=args.realtime_server) as rig:
        clean = sum(run(rig, args, blocking=False) == 0 for _ in range(args.runs))
        print("background loads without a gap over 1 ms: %d of %d" % (clean, args.runs))
        if args.blocking:
            run(rig, args, blocking=True)


if __name__ == "__main__":
    main()
