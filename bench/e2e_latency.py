#!/usr/bin/env python3
"""Key-to-sound latency of Marrowtune, end to end, as a performer meets it.

An X server (Xvfb) and a PulseAudio server with a null sink of this script's own; a one-shot
click loaded into track 1 through a setting file; key presses sent through XTEST, each
timestamped on the same monotonic clock as the chunks of the sink's monitor. The onset of every
click in the recording, less the press time, is one latency. The rig's own share (the monitor
path and a minimal client's queue) is measured in the same run with a streaming reference: a
client that plays silence all the time and a click at known instants.

With --jack the program plays on a private JACK server (dummy backend, 128-frame periods at
48 kHz), chosen in its output settings, and a recorder client of this script's own
(bench/jack_recorder.cpp) listens on its output port: the onset's frame time on the server's
clock, converted to the monotonic clock, less the press time, is key to port. --separate turns
the program's separate outputs on (18 ports: the recorder listens on "main L").

With --pipewire the sound server is a private PipeWire as a Debian 12 desktop runs it
(pipewire, wireplumber, pipewire-pulse): the program plays through its PulseAudio side, or
with --jack through its JACK side (pipewire-jack's libjack), where the graph's quantum is
whatever its clients ask for, the program's block included.

With --keep-pitch (which implies --busy) one run measures the same bank twice, all eight tracks
at speed 5292 (x1.20): first in tape mode, then, opened again from a second setting file whose
companion puts every track in keep-pitch mode, playing the sounds the program rendered for that
speed; the presses wait until its loader thread has been idle for a second (the renders are
done). Each pass prints its key-to-sound summary and the callback's load while the keys were
pressed: the CPU time of the program's audio thread (its busiest realtime thread; on
PulseAudio that includes RtAudio's write into the server's queue) per second, and on JACK the
server's DSP load as jack_cpu_load reports it once a second (the share of each period the
graph's clients took, the recorder's too).

With --peer giada the same rig measures Giada (Debian's `giada`, installed through
`sudo -n apt-get` when missing) with a one-shot click on a channel bound to a key, configured
through its own files in the private HOME, at its default block and at --peer-block frames.

    bench/e2e_latency.py PROGRAM [--presses 30] [--rate 22050] [--block-ms 3] [--jack] [--busy]
                             [--separate] [--pipewire]
                             [--keep-pitch] [--keep]
    bench/e2e_latency.py --peer giada [--peer-block 256] [--presses 30]

Prints min / median / p95 / max, the rig's own figure, the callback's load (not for a peer) and
the machine's load. Not part of `make test`.
"""

import argparse
import ctypes
import json
import math
import os
import statistics
import struct
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import (MONITOR_RATE, JackRecorder, Keyboard,  # noqa: E402
                 Monitor, Rig, load, summary, write_click, write_setting_file, write_wav)


class Reference:
    """A minimal PulseAudio client (libpulse-simple, a 2 ms queue) that streams silence all the
    time and a click when asked; the write blocks while the queue is full, so a click enters
    the server's queue when it is timestamped."""

    class SampleSpec(ctypes.Structure):
        _fields_ = [("format", ctypes.c_int), ("rate", ctypes.c_uint32),
                    ("channels", ctypes.c_uint8)]

    class BufferAttr(ctypes.Structure):
        _fields_ = [(name, ctypes.c_uint32)
                    for name in ("maxlength", "tlength", "prebuf", "minreq", "fragsize")]

    def __init__(self, server, sink):
        pulse = ctypes.CDLL("libpulse-simple.so.0")
        pulse.pa_simple_new.restype = ctypes.c_void_p
        pulse.pa_simple_write.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t,
                                          ctypes.POINTER(ctypes.c_int)]
        pulse.pa_simple_free.argtypes = [ctypes.c_void_p]
        self.pulse = pulse
        sample_format = self.SampleSpec(3, MONITOR_RATE, 1)  # PA_SAMPLE_S16LE, mono
        queue = 2 * MONITOR_RATE // 1000 * 2        # 2 ms in bytes
        attr = self.BufferAttr(0xFFFFFFFF, queue, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
        error = ctypes.c_int(0)
        self.stream = pulse.pa_simple_new(server.encode(), b"e2e-reference", 1, sink.encode(),
                                          b"reference", ctypes.byref(sample_format), None,
                                          ctypes.byref(attr), ctypes.byref(error))
        if not self.stream:
            raise RuntimeError("the reference stream did not open (error %d)" % error.value)
        self.clicks = []
        self.wanted = 0
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        frames = MONITOR_RATE // 1000
        silence = b"\0\0" * frames
        click = struct.pack("<h", 20000) * frames
        error = ctypes.c_int(0)
        while self.running:
            block = silence
            if self.wanted > 0:
                self.wanted -= 1
                self.clicks.append(time.monotonic())
                block = click
            self.pulse.pa_simple_write(self.stream, block, len(block), ctypes.byref(error))

    def click(self):
        self.wanted += 1

    def stop(self):
        self.running = False
        self.thread.join(5)
        self.pulse.pa_simple_free(self.stream)



def press_and_click(keys, reference, presses, key="z"):
    """`presses` taps of `key`, a reference click between each two. Returns the press times."""
    times = []
    for _ in range(presses):
        times.append(keys.tap(key))
        time.sleep(0.25)
        if reference:
            reference.click()
        time.sleep(0.25)
    time.sleep(0.5)
    return times


BUSY_KEYS = ["x", "c", "a", "s", "d", "w", "e"]


def write_quiet_loop(path, rate, hz, beats):
    """Two seconds of a sine in `beats` decaying pulses, loud enough to move a meter (-40 dBFS
    at most) and quiet enough that seven of them stay far below the click's onset threshold."""
    frames = 2 * rate
    write_wav(path, rate, ((50 + 250 * math.exp(-5.0 * ((i * beats / frames) % 1.0)))
                           * math.sin(2 * math.pi * hz * i / rate) for i in range(frames)))


KEEP_PITCH_SPEED = 5292  # x1.20: keep-pitch tracks play a sound rendered for it


def write_companion(setting, stretch):
    """The set's companion beside `setting` (its path and "x"): every track in `stretch` mode
    ("tape" or "keepPitch") at its own pitch, started at once."""
    track = {"quantise": "off", "stopOnGrid": False, "stretch": stretch, "pitchCents": 0}
    with open(setting + "x", "w") as f:
        json.dump({"format": "marrowtune-set", "version": 1, "tracks": [track] * 8}, f, indent=2)


def write_sets(rig, args):
    """A one-shot click in track 1 and, with --busy, quiet loops in tracks 2-8: one setting
    file, or with --keep-pitch the same bank at KEEP_PITCH_SPEED twice, in tape mode and in
    keep-pitch mode. Returns (what, setting file) in the order they are measured."""
    click = os.path.join(rig.work, "click.wav")
    write_click(click, 22050)
    tracks = [(click, False)]
    if args.busy:
        for n in range(1, 8):
            tracks.append((os.path.join(rig.work, "quiet%d.wav" % n), True))
            write_quiet_loop(tracks[-1][0], 22050, 200 + 100 * n, n)
    if not args.keep_pitch:
        setting = os.path.join(rig.work, "click.mrw")
        write_setting_file(setting, tracks)
        return [("", setting)]
    sets = []
    for name, stretch in (("tape", "tape"), ("keep-pitch", "keepPitch")):
        setting = os.path.join(rig.work, "%s.mrw" % name)
        write_setting_file(setting, tracks, KEEP_PITCH_SPEED)
        write_companion(setting, stretch)
        sets.append(("%s x%.2f" % (name, KEEP_PITCH_SPEED / 4410), setting))
    return sets


def start_program(rig, args, own, setting):
    """Starts the program on the rig and opens `setting`. Returns the process."""
    if args.block_ms:
        own["AudioBlockMs"] = "%g" % args.block_ms
    rig.write_ini({"QuSample": args.rate, "WSCDir": setting}, own)
    program = rig.start([args.program])
    time.sleep(2.0)
    rig.open_setting_file(setting)
    time.sleep(3.0)  # the track loads and the new stream starts flowing
    return program


def start_busy(rig, args, name):
    """With --busy, tracks 2-8 start looping."""
    if args.busy:
        keys = Keyboard(rig.display)
        for key in BUSY_KEYS:
            keys.tap(key)
        time.sleep(1.0)
    rig.shot("%s.png" % (name or "loaded").split()[0])


SCHED_FIFO, SCHED_RR, SCHED_BATCH = 1, 2, 3


def threads(pid):
    """The program's threads: {thread id: (name, scheduling policy, ns on a CPU so far)}."""
    found = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        base = "/proc/%d/task/%s/" % (pid, tid)
        try:
            with open(base + "comm") as f:
                name = f.read().strip()
            with open(base + "stat") as f:
                policy = int(f.read().rsplit(")", 1)[1].split()[38])
            with open(base + "schedstat") as f:
                found[tid] = (name, policy, int(f.read().split()[0]))
        except OSError:
            continue  # ended meanwhile
    return found


def loader_seconds(program):
    """CPU seconds the program's loader thread (its SCHED_BATCH thread, which decodes and
    renders) has run so far."""
    return sum(ns for _, policy, ns in threads(program.pid).values() if policy == SCHED_BATCH) / 1e9


def wait_for_loader(program, quiet=1.0, limit=180.0):
    """Waits until the loader thread has not run for `quiet` seconds, having started within
    five. Returns the seconds waited."""
    start = time.monotonic()
    changed = None
    last = loader_seconds(program)
    while time.monotonic() - start < limit:
        time.sleep(0.1)
        now, seen = time.monotonic(), loader_seconds(program)
        if seen != last:
            last, changed = seen, now
        if (changed or start + 5.0) + quiet <= now:
            break
    return time.monotonic() - start


class CallbackLoad:
    """The audio thread's CPU time per second over a spell: the busiest realtime thread of the
    program (PulseAudio's own mainloop thread, `threaded-ml`, left out); on JACK also the
    server's DSP load, from jack_cpu_load."""

    def __init__(self, program, env=None):
        self.pid = program.pid
        self.before = threads(self.pid)
        self.start = time.monotonic()
        self.dsp = None
        if env is not None:
            self.dsp = subprocess.Popen(["jack_cpu_load"], env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)

    def stop(self):
        after, wall = threads(self.pid), time.monotonic() - self.start
        shares = sorted((100.0 * (ns - self.before[tid][2]) / 1e9 / wall, tid)
                        for tid, (name, policy, ns) in after.items()
                        if policy in (SCHED_FIFO, SCHED_RR) and name != "threaded-ml"
                        and tid in self.before)
        line = ("callback's load: audio thread %.2f %% of a core (thread %s)"
                % shares[-1] if shares else "callback's load: no realtime thread")
        if self.dsp:
            self.dsp.terminate()
            said = self.dsp.communicate(timeout=5)[0]
            dsp = [float(w.split()[-1]) for w in said.splitlines() if "DSP load" in w]
            if dsp:
                line += ("; JACK DSP load mean %.1f %%, max %.1f %% (%d s)"
                         % (statistics.mean(dsp), max(dsp), len(dsp)))
        return line


def passes(rig, args, program, sets):
    """Yields each set's name once the program plays it: the first as started, the others
    opened in turn, their loads and renders done."""
    ran = 0.0
    for n, (name, setting) in enumerate(sets):
        if n > 0:
            rig.open_setting_file(setting)
        if args.keep_pitch:
            waited = wait_for_loader(program)
            print("%s: the loader ran %.3f s for the set (its loads and renders); %.1f s waited "
                  "for it to end" % (name, loader_seconds(program) - ran, waited), flush=True)
            ran = loader_seconds(program)
        start_busy(rig, args, name)
        yield name


def run_pulse(args):
    with Rig("marrowtune-e2e-", "e2e", keep=args.keep, pipewire=args.pipewire) as rig:
        monitor = Monitor(rig.env, "e2e.monitor")
        reference = Reference(rig.env["PULSE_SERVER"], "e2e")
        time.sleep(2.5)  # the null sink holds new streams back for a while
        keys = Keyboard(rig.display)
        if args.peer:
            import giada_peer  # noqa: E402 (only for this run)
            what = giada_peer.start(rig, args.peer_block)
            key = giada_peer.KEY
            before = load()
            presses = press_and_click(keys, reference, args.presses, key)
            found = [("", presses, 0, None, before, load())]
        else:
            what = "Marrowtune, output format %d Hz%s" % (
                args.rate, ", block %g ms" % args.block_ms if args.block_ms else "")
            sets = write_sets(rig, args)
            program = start_program(rig, args, {}, sets[0][1])
            found = []
            for name in passes(rig, args, program, sets):
                before = load()
                clicks = len(reference.clicks)
                callback = CallbackLoad(program)
                presses = press_and_click(keys, reference, args.presses)
                found.append((name, presses, clicks, callback.stop(), before, load()))
        reference.stop()
        monitor.stop()
        print("%s; %s null sink at %d Hz%s" % (
            what, "PipeWire's PulseAudio" if args.pipewire else "PulseAudio", MONITOR_RATE,
            "; load %s before, %s after" % found[0][4:] if len(found) == 1 else ""))
        for n, (name, presses, clicks, callback, before, after) in enumerate(found):
            if len(found) > 1:
                print("%s: load %s before, %s after" % (name, before, after))
            ours = summary("key to sound", monitor.onsets(presses))
            ends = found[n + 1][2] if n + 1 < len(found) else len(reference.clicks)
            theirs = summary("rig (streaming reference)",
                             monitor.onsets(reference.clicks[clicks:ends]))
            if ours is not None and theirs is not None:
                print("median less the rig's median: %.1f ms" % (ours - theirs))
            if callback:
                print(callback)


def run_jack(args):
    with Rig("marrowtune-e2e-", "e2e", jack=True, keep=args.keep, pipewire=args.pipewire) as rig:
        keys = Keyboard(rig.display)
        sets = write_sets(rig, args)
        own = {"AudioSystem": "jack", "SeparateOutputs": "1" if args.separate else "0"}
        program = start_program(rig, args, own, sets[0][1])
        outputs = [p for p in rig.ports() if p.startswith("Marrowtune:")]
        if not outputs or program.poll() is not None:
            sys.exit("e2e: the program has no JACK port (its log: %s)"
                     % open(os.path.join(rig.work, "program.log")).read().strip())
        recorder = JackRecorder(rig.work, rig.env, outputs[0])
        time.sleep(0.5)
        found = []
        for name in passes(rig, args, program, sets):
            before = load()
            callback = CallbackLoad(program, rig.env)
            start = time.monotonic()
            presses = press_and_click(keys, None, args.presses)
            xruns = sum(1 for t in recorder.xrun_times if start <= t <= time.monotonic())
            found.append((name, presses, callback.stop(), xruns, before, load()))
        recorder.stop()
        period = int(recorder.end.get("period", 0))  # the last cycle's, as the graph ran then
        print("Marrowtune key to JACK port %s, output format %d Hz; %s, %d-frame periods at "
              "%d Hz (%.1f ms)"
              % (outputs[0], args.rate, "PipeWire's JACK side" if args.pipewire else
                 "dummy JACK server", period, recorder.rate, 1000.0 * period / recorder.rate))
        for name, presses, callback, xruns, before, after in found:
            print("%sload %s before, %s after; xruns while pressing: %d"
                  % (name + ": " if name else "", before, after, xruns))
            summary("key to port", recorder.onsets(presses))
            print(callback)
        print("xruns while recording: %d" % recorder.end.get("xruns", -1))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program", nargs="?", help="not needed with --peer")
    parser.add_argument("--presses", type=int, default=30)
    parser.add_argument("--rate", type=int, default=22050, help="the output format (QuSample)")
    parser.add_argument("--block-ms", type=float, default=None)
    parser.add_argument("--jack", action="store_true", help="on a private dummy JACK server")
    parser.add_argument("--peer", choices=["giada"], help="measure this program instead")
    parser.add_argument("--peer-block", type=int, default=None,
                        help="the peer's block in frames (default: its own default)")
    parser.add_argument("--busy", action="store_true",
                        help="tracks 2-8 loop quietly meanwhile, every meter and playhead moving")
    parser.add_argument("--keep-pitch", action="store_true",
                        help="with --busy, the bank at x1.20 in tape mode, then in keep-pitch "
                             "mode, in one run")
    parser.add_argument("--separate", action="store_true",
                        help="with --jack, a pair per track beside the main pair")
    parser.add_argument("--pipewire", action="store_true",
                        help="on a private PipeWire (its JACK side with --jack)")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    if not args.program and not args.peer:
        parser.error("the program to measure is needed")
    if args.keep_pitch:
        if args.peer:
            parser.error("--keep-pitch measures Marrowtune only")
        args.busy = True
    if args.peer:
        import giada_peer  # noqa: E402
        giada_peer.install()
    if args.jack:
        run_jack(args)
    else:
        run_pulse(args)


if __name__ == "__main__":
    main()
