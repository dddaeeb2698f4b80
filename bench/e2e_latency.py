#!/usr/bin/env python3
"""Key-to-sound latency of Marrowtune, end to end, as a performer meets it.

An X server (Xvfb) and a PulseAudio server with a null sink of this script's own; a one-shot
click loaded into track 1 through a setting file; key presses sent through XTEST, each
timestamped on the same monotonic clock as the chunks of the sink's monitor. The onset of every
click in the recording, less the press time, is one latency. The rig's own share (the monitor
path and a minimal client's queue) is measured in the same run with a streaming reference: a
client that plays silence all the time and a click at known instants.

    bench/e2e_latency.py PROGRAM [--presses 30] [--rate 22050] [--block-ms 3] [--keep]

Prints min / median / p95 / max for the program and for the rig. Not part of `make test`.
"""

import argparse
import bisect
import ctypes
import math
import os
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import wave

MONITOR_RATE = 48000


def log(*args):
    print(*args, file=sys.stderr, flush=True)


class Monitor:
    """parec on the null sink's monitor; every chunk's arrival on the monotonic clock."""

    def __init__(self, env, device):
        self.samples = bytearray()
        self.arrivals = []  # (monotonic seconds, total samples received by then)
        self.proc = subprocess.Popen(
            ["parec", "--device=" + device, "--raw", "--format=s16le", "--channels=1",
             "--rate=%d" % MONITOR_RATE, "--latency-msec=1"],
            stdout=subprocess.PIPE, env=env)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        fd = self.proc.stdout.fileno()
        while True:
            chunk = os.read(fd, 4096)
            now = time.monotonic()
            if not chunk:
                return
            self.samples += chunk
            self.arrivals.append((now, len(self.samples) // 2))

    def stop(self):
        self.proc.send_signal(signal.SIGINT)
        self.proc.wait(5)
        self.thread.join(5)

    def timeline(self):
        """The monotonic time of sample 0 as a recording client sees the stream: the median
        over all chunks of (arrival - position), robust to a chunk read late or early."""
        return statistics.median(t - n / MONITOR_RATE for t, n in self.arrivals)

    def onsets(self, times, threshold=0.1, window=0.3):
        """For each time, the first sample above `threshold` within `window` s after it, as the
        latency from that time to when the recorder had the sample: the arrival of the chunk
        that brought it, less the samples after it in that chunk."""
        count = len(self.samples) // 2
        pcm = struct.unpack("<%dh" % count, bytes(self.samples[: 2 * count]))
        t0 = self.timeline()
        ends = [n for _, n in self.arrivals]
        limit = int(threshold * 32768)
        found = []
        for t in times:
            start = max(0, int((t - t0 - 0.050) * MONITOR_RATE))
            end = min(count, start + int(window * MONITOR_RATE))
            onset = next((i for i in range(start, end) if abs(pcm[i]) > limit), None)
            if onset is None:
                found.append(None)
                continue
            arrival, total = self.arrivals[bisect.bisect_right(ends, onset)]
            found.append(arrival - (total - onset) / MONITOR_RATE - t)
        return found


class Keyboard:
    """XTEST key presses, timestamped just before the request leaves for the X server."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)

    def tap(self, key):
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(key.encode()))
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        now = time.monotonic()
        self.x11.XSync(self.dpy, 0)
        time.sleep(0.03)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x11.XSync(self.dpy, 0)
        return now


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


def write_click(path, rate):
    """20 ms of a full-scale 1 kHz burst: an onset no threshold can miss."""
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        n = rate // 50
        w.writeframes(b"".join(struct.pack("<h", int(30000 * math.sin(2 * math.pi * 1000 * i
                                                                      / rate)))
                               for i in range(n)))


def write_setting_file(path, wav):
    """Track 1 holds the click as a one-shot (no loop, no hold); the others are empty."""
    lines = []
    for track in range(8):
        if track == 0:
            lines += [" 4410 ", " 0 ", " 0 ", os.path.basename(wav), wav, " 0 ", " 0 ", " 0 ", ""]
        else:
            lines += [" 4410 ", " 0 ", " 0 ", "", "", " 0 ", " 1 ", " 1 ", ""]
    with open(path, "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("utf-8"))


def free_display():
    for n in range(140, 200):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists(
                "/tmp/.X%d-lock" % n):
            return ":%d" % n
    raise RuntimeError("no free X display number")


def summary(name, values):
    ms = sorted(v * 1000 for v in values if v is not None)
    missed = sum(1 for v in values if v is None)
    if not ms:
        print("%-28s no onsets found (%d presses)" % (name, len(values)))
        return
    p95 = ms[min(len(ms) - 1, math.ceil(0.95 * len(ms)) - 1)]
    print("%-28s min %6.1f  median %6.1f  p95 %6.1f  max %6.1f ms  (%d presses%s)"
          % (name, ms[0], statistics.median(ms), p95, ms[-1], len(ms),
             ", %d without sound" % missed if missed else ""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--presses", type=int, default=30)
    parser.add_argument("--rate", type=int, default=22050, help="the output format (QuSample)")
    parser.add_argument("--block-ms", type=float, default=None)
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()

    for tool in ("Xvfb", "pulseaudio", "parec", "pacat", "pactl"):
        if not shutil.which(tool):
            sys.exit("e2e: %s is not installed (scripts/install-deps installs it)" % tool)
    work = tempfile.mkdtemp(prefix="marrowtune-e2e-")
    os.chmod(work, 0o700)
    home = os.path.join(work, "home")
    os.makedirs(os.path.join(home, ".config"))
    display = free_display()
    env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=work,
               XDG_CONFIG_HOME=os.path.join(home, ".config"), DISPLAY=display,
               PULSE_SERVER="unix:" + os.path.join(work, "pulse.sock"))
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    env.pop("QT_QPA_PLATFORM", None)
    procs = []
    try:
        procs.append(subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24",
                                       "-nolisten", "tcp"], stderr=subprocess.DEVNULL))
        subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
                        "--system=false", "--use-pid-file=yes", "--high-priority=yes",
                        "--realtime=yes", "-L",
                        "module-null-sink sink_name=e2e rate=%d channels=2" % MONITOR_RATE,
                        "-L", "module-native-protocol-unix socket=%s auth-anonymous=1"
                        % os.path.join(work, "pulse.sock")],
                       env=env, check=True, stderr=subprocess.DEVNULL)
        subprocess.run(["pactl", "set-default-sink", "e2e"], env=env, check=True)
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X" + display[1:]):
                break
            time.sleep(0.05)

        click = os.path.join(work, "click.wav")
        write_click(click, 22050)
        setting = os.path.join(work, "click.mrw")
        write_setting_file(setting, click)
        with open(os.path.join(home, ".config", "marrowtune.ini"), "w") as ini:
            ini.write("[Info]\nQuSample=%d\nWSCDir=%s\n" % (args.rate, setting))
            if args.block_ms:
                ini.write("[Marrowtune]\nAudioBlockMs=%g\n" % args.block_ms)

        monitor = Monitor(env, "e2e.monitor")
        reference = Reference(env["PULSE_SERVER"], "e2e")
        time.sleep(2.5)  # the null sink holds new streams back for a while

        program = subprocess.Popen([args.program], env=env, stdout=subprocess.DEVNULL,
                                   stderr=open(os.path.join(work, "program.log"), "w"))
        procs.append(program)
        keys = Keyboard(display)
        time.sleep(2.0)
        # No window manager: give the main window the keyboard, then File > Open, the
        # setting file's path and Return.
        window = subprocess.run(["xdotool", "search", "--sync", "--name", "^Marrowtune - "],
                                env=env, capture_output=True, text=True).stdout.split()[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env)
        subprocess.run(["xdotool", "key", "alt+f"], env=env)
        time.sleep(0.3)
        subprocess.run(["xdotool", "key", "o"], env=env)
        time.sleep(1.0)
        subprocess.run(["xdotool", "key", "ctrl+a"], env=env)
        subprocess.run(["xdotool", "type", "--delay", "5", setting], env=env)
        subprocess.run(["xdotool", "key", "Return"], env=env)
        time.sleep(3.0)  # the track loads and the new stream starts flowing
        subprocess.run(["import", "-window", "root", os.path.join(work, "loaded.png")], env=env)

        presses, references = [], []
        for i in range(args.presses):
            presses.append(keys.tap("z"))
            time.sleep(0.25)
            reference.click()
            time.sleep(0.25)
        time.sleep(0.5)
        reference.stop()
        monitor.stop()
        references = reference.clicks

        print("Marrowtune key-to-sound, output format %d Hz%s, PulseAudio null sink at %d Hz"
              % (args.rate, ", block %g ms" % args.block_ms if args.block_ms else "",
                 MONITOR_RATE))
        summary("program (key to sound)", monitor.onsets(presses))
        rig = monitor.onsets(references)
        summary("rig (streaming reference)", rig)
        ours = [v for v in monitor.onsets(presses) if v is not None]
        theirs = [v for v in rig if v is not None]
        if ours and theirs:
            print("program median less rig median: %.1f ms"
                  % (1000 * (statistics.median(ours) - statistics.median(theirs))))
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        subprocess.run(["pactl", "exit"], env=env, stderr=subprocess.DEVNULL)
        if args.keep:
            log("e2e: work folder kept:", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
