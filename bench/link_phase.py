#!/usr/bin/env python3
"""Following an Ableton Link peer: LinkHut (Link's own example, package ableton-link-utils)
clicking on its beats and our clock (bench/link_phase.cpp: the sound library with eight tracks
looping, a click on every beat of the LinkClock's reading) on a private dummy JACK server, all in
a network namespace of their own where only loopback is up, so nothing Link announces leaves
the machine. Every --tempo-every seconds LinkHut's tempo goes up or down 1 BPM, as its keys do.

    bench/link_phase.py build/bench/bench/link_phase [--minutes 10] [--tempo-every 20]

Prints how long each of LinkHut's tempo changes took to reach our reading (the UI polls it every
10 ms), and the beat phase between the peers: from the clocks (our published beat against the
session's at the same host time) and as heard (our click's onset against LinkHut's at the JACK
ports, on the server's frame clock). Goals: tempo within 100 ms; phase <= 1 ms median and
<= 3 ms p99. Not part of `make test`."""

import argparse
import os
import socket
import statistics
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import stop_all  # noqa: E402

MARK = "MT_LINK_PHASE_NAMESPACE"


def private_network():
    return all(name == "lo" for _, name in socket.if_nameindex())


def enter_private_network():
    """Re-runs the running script under `unshare -n` with loopback up and multicast routed to
    it."""
    if private_network():
        return
    if os.environ.get(MARK):
        sys.exit("%s: the namespace has interfaces other than loopback" % sys.argv[0])
    os.environ[MARK] = "1"
    setup = ("ip link set lo up && ip link set lo multicast on && "
             "ip route add 224.0.0.0/4 dev lo && exec \"$0\" \"$@\"")
    try:
        os.execvp("unshare", ["unshare", "-n", "sh", "-c", setup, sys.executable,
                              os.path.abspath(sys.argv[0])] + sys.argv[1:])
    except OSError as e:
        sys.exit("%s: unshare -n is needed (root or user namespaces): %s" % (sys.argv[0], e))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("harness", help="the link_phase program (build/bench/bench/link_phase)")
    parser.add_argument("--minutes", type=float, default=10.0)
    parser.add_argument("--tempo-every", type=float, default=20.0)
    args = parser.parse_args()
    enter_private_network()

    env = dict(os.environ, JACK_DEFAULT_SERVER="link-phase-%d" % os.getpid(),
               JACK_NO_START_SERVER="1", JACK_NO_AUDIO_RESERVATION="1")
    procs = []
    try:
        procs.append(subprocess.Popen(
            ["jackd", "-n", env["JACK_DEFAULT_SERVER"], "-d", "dummy", "-r", "48000", "-p", "128"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for _ in range(100):
            ports = subprocess.run(["jack_lsp"], env=env, capture_output=True, text=True).stdout
            if "system:playback_1" in ports:
                break
            time.sleep(0.05)
        else:
            sys.exit("link_phase.py: the dummy JACK server did not start")
        hut = subprocess.Popen(["LinkHut"], env=env, stdin=subprocess.PIPE,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(hut)

        def key(k):
            hut.stdin.write(k)
            hut.stdin.flush()

        time.sleep(1.0)
        # Played as ours is (LinkHut connects itself; this makes sure): its latency callback
        # then places its beats where they are heard.
        for n in (1, 2):
            subprocess.run(["jack_connect", "LinkHut:out_%d" % n, "system:playback_%d" % n],
                           env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        key(b"a")  # Link on
        key(b" ")  # start: it clicks on every beat

        seconds = args.minutes * 60.0
        harness = subprocess.Popen([args.harness, "%.1f" % seconds], env=env,
                                   stdout=subprocess.PIPE, text=True)
        procs.append(harness)
        lines = []
        tempos = []  # (monotonic seconds, bpm) as our reading changed
        ready = threading.Event()

        def read():
            for line in harness.stdout:
                lines.append(line.rstrip("\n"))
                if line.startswith("ready"):
                    ready.set()
                elif line.startswith("tempo "):
                    _, t, bpm = line.split()
                    tempos.append((float(t), float(bpm)))

        reader = threading.Thread(target=read, daemon=True)
        reader.start()
        if not ready.wait(30):
            sys.exit("link_phase.py: the harness did not join the session")
        start = time.monotonic()
        presses = []  # (monotonic seconds, +1 or -1)
        up = True
        while time.monotonic() - start < seconds - args.tempo_every / 2:
            time.sleep(args.tempo_every)
            presses.append((time.monotonic(), 1 if up else -1))
            key(b"e" if up else b"w")
            up = not up
        harness.wait(seconds + 60)
        reader.join(5)
    finally:
        stop_all(procs)

    delays = []
    for pressed, step in presses:
        before = [bpm for t, bpm in tempos if t < pressed]
        after = [(t, bpm) for t, bpm in tempos if t >= pressed]
        if before and after and abs(after[0][1] - (before[-1] + step)) < 0.01:
            delays.append((after[0][0] - pressed) * 1000.0)
    with open("/proc/loadavg") as f:
        loadavg = f.read().split()[0]
    print("Link following, LinkHut as the peer, %.1f min, 8 tracks looping, load %s"
          % (args.minutes, loadavg))
    if delays:
        print("tempo_follow_ms median %.1f max %.1f n %d of %d changes"
              % (statistics.median(delays), max(delays), len(delays), len(presses)))
    else:
        print("tempo_follow_ms none of %d changes arrived" % len(presses))
    for line in lines:
        if not line.startswith(("ready", "tempo ")):
            print(line)


if __name__ == "__main__":
    main()
