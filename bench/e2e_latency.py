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
clock, converted to the monotonic clock, less the press time, is key to port.

With --peer giada the same rig measures Giada (Debian's `giada`, installed through
`sudo -n apt-get` when missing) with a one-shot click on a channel bound to a key, configured
through its own files in the private HOME, at its default block and at --peer-block frames.

    bench/e2e_latency.py PROGRAM [--presses 30] [--rate 22050] [--block-ms 3] [--jack] [--busy]
                             [--keep]
    bench/e2e_latency.py --peer giada [--peer-block 256] [--presses 30]

Prints min / median / p95 / max, the rig's own figure and the machine's load. Not part of
`make test`.
"""

import argparse
import ctypes
import math
import os
import struct
import sys
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import (JACK_PERIOD, JACK_RATE, MONITOR_RATE, JackRecorder, Keyboard,  # noqa: E402
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


def start_program(rig, args, own):
    """Starts the program on the rig with a one-shot click in track 1, loaded through a setting
    file. Returns the process."""
    click = os.path.join(rig.work, "click.wav")
    write_click(click, 22050)
    setting = os.path.join(rig.work, "click.mrw")
    tracks = [(click, False)]
    if args.busy:
        for n in range(1, 8):
            tracks.append((os.path.join(rig.work, "quiet%d.wav" % n), True))
            write_quiet_loop(tracks[-1][0], 22050, 200 + 100 * n, n)
    write_setting_file(setting, tracks)
    if args.block_ms:
        own["AudioBlockMs"] = "%g" % args.block_ms
    rig.write_ini({"QuSample": args.rate, "WSCDir": setting}, own)
    program = rig.start([args.program])
    time.sleep(2.0)
    rig.open_setting_file(setting)
    time.sleep(3.0)  # the track loads and the new stream starts flowing
    if args.busy:
        keys = Keyboard(rig.display)
        for key in BUSY_KEYS:
            keys.tap(key)
        time.sleep(1.0)
        rig.shot("busy.png")
    rig.shot("loaded.png")
    return program


def run_pulse(args):
    with Rig("marrowtune-e2e-", "e2e", keep=args.keep) as rig:
        monitor = Monitor(rig.env, "e2e.monitor")
        reference = Reference(rig.env["PULSE_SERVER"], "e2e")
        time.sleep(2.5)  # the null sink holds new streams back for a while
        keys = Keyboard(rig.display)
        if args.peer:
            import giada_peer  # noqa: E402 (only for this run)
            what = giada_peer.start(rig, args.peer_block)
            key = giada_peer.KEY
        else:
            what = "Marrowtune, output format %d Hz%s" % (
                args.rate, ", block %g ms" % args.block_ms if args.block_ms else "")
            start_program(rig, args, {})
            key = "z"
        before = load()
        presses = press_and_click(keys, reference, args.presses, key)
        reference.stop()
        monitor.stop()
        print("%s; PulseAudio null sink at %d Hz; load %s before, %s after"
              % (what, MONITOR_RATE, before, load()))
        ours = summary("key to sound", monitor.onsets(presses))
        theirs = summary("rig (streaming reference)", monitor.onsets(reference.clicks))
        if ours is not None and theirs is not None:
            print("median less the rig's median: %.1f ms" % (ours - theirs))


def run_jack(args):
    with Rig("marrowtune-e2e-", "e2e", jack=True, keep=args.keep) as rig:
        keys = Keyboard(rig.display)
        program = start_program(rig, args, {"AudioSystem": "jack"})
        outputs = [p for p in rig.ports() if p.startswith("Marrowtune:")]
        if not outputs or program.poll() is not None:
            sys.exit("e2e: the program has no JACK port (its log: %s)"
                     % open(os.path.join(rig.work, "program.log")).read().strip())
        recorder = JackRecorder(rig.work, rig.env, outputs[0])
        time.sleep(0.5)
        before = load()
        presses = press_and_click(keys, None, args.presses)
        recorder.stop()
        print("Marrowtune key to JACK port %s, output format %d Hz; dummy JACK server, %d-frame "
              "periods at %d Hz (%.1f ms); load %s before, %s after"
              % (outputs[0], args.rate, JACK_PERIOD, JACK_RATE, 1000.0 * JACK_PERIOD / JACK_RATE,
                 before, load()))
        summary("key to port", recorder.onsets(presses))
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
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    if not args.program and not args.peer:
        parser.error("the program to measure is needed")
    if args.peer:
        import giada_peer  # noqa: E402
        giada_peer.install()
    if args.jack:
        run_jack(args)
    else:
        run_pulse(args)


if __name__ == "__main__":
    main()
