#!/usr/bin/env python3
"""Gaps in a looping track while a big file loads into another track: bench_loading's `play`
on a private PulseAudio with a null sink, whose monitor is recorded. A gap is digital silence
of 0.5 ms or more inside the loop (a 1 kHz sine). Runs the background load, then the blocking
load the program had before, for comparison.

    bench/load_gaps.py BENCH_LOADING [--dir D] [--wav-mb N] [--realtime-server] [--keep]

Not part of `make test`.
"""

import argparse
import bisect
import os
import re
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
    # The loop's start and end are left out: the stream opening and closing are no gaps.
    count, longest = gaps(monitor.samples, first + MONITOR_RATE // 2, last - MONITOR_RATE // 10)
    during = "?"
    if loaded:
        # The load's span on the recording, by the recorder's arrival times, widened for the
        # way through the server.
        began, ended = (float(v) for v in loaded[0].split()[1:3])
        times = [t for t, _ in monitor.arrivals]
        at = lambda t: monitor.arrivals[min(bisect.bisect_left(times, t),  # noqa: E731
                                            len(times) - 1)][1]
        n, worst = gaps(monitor.samples, at(began - 0.1), at(ended + 0.3))
        during = "%d (longest %.1f ms)" % (n, worst)
    if count:
        print("  silences at (s after the loop began):", ", ".join(
            "%.2f" % ((m.start() // 2 + MONITOR_RATE // 2) / MONITOR_RATE) for m in re.finditer(
                rb"(?:\x00\x00){%d,}" % (MONITOR_RATE // 2000),
                bytes(monitor.samples[2 * (first + MONITOR_RATE // 2):2 * last]))))
    print("%-10s gaps %3d  longest %6.1f ms, while loading %s  played %.1f s  %s  (load %s)" % (
        "blocking" if blocking else "background", count, longest, during,
        (last - first) / MONITOR_RATE, loaded[0] if loaded else out.strip()[-200:], load()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("bench")
    parser.add_argument("--dir", default="/tmp/marrowtune-loadbench")
    parser.add_argument("--wav-mb", type=float, default=1074)
    parser.add_argument("--realtime-server", action="store_true",
                        help="the PulseAudio server's main thread at realtime priority too")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    with Rig("marrowtune-loadgaps-", "loadgaps", keep=args.keep,
             realtime_server=args.realtime_server) as rig:
        run(rig, args, blocking=False)
        run(rig, args, blocking=True)


if __name__ == "__main__":
    main()
