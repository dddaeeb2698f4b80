"""The end-to-end scripts' rig: a private X server (Xvfb), a private PulseAudio with a null sink
and, when asked, a private JACK server on the dummy backend, or instead of both a private
PipeWire (its PulseAudio and JACK sides) as a Debian 12 desktop runs it; a recorder of the
sink's monitor and of a JACK port; key presses through XTEST, all timestamped on the monotonic
clock."""

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
JACK_RATE = 48000
JACK_PERIOD = 128
HERE = os.path.dirname(os.path.abspath(__file__))
# pipewire-jack's libjack: a JACK client loaded with it is a client of PipeWire's graph.
PIPEWIRE_JACK = "/usr/lib/x86_64-linux-gnu/pipewire-0.3/jack"


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def load():
    """The 1-minute load average, printed beside every figure: this machine is shared."""
    with open("/proc/loadavg") as f:
        return f.read().split()[0]


class Monitor:
    """parec on the null sink's monitor; every chunk's arrival on the monotonic clock.

    `latency_ms` is the recorder's own queue. 1 ms times an onset to the millisecond, but the
    sink then renders in 1 ms steps and the server's main thread wakes well over a thousand
    times a second (1,700 with two such recorders, measured): on two cores that server stalls
    now and then and every client on it drops out at the same instants (a minimal libpulse
    client beside the program showed the same gaps). Counting gaps needs no such precision; a
    recorder of 20 ms leaves the sink at the latency the players ask for, as on a desktop."""

    def __init__(self, env, device, latency_ms=1):
        self.samples = bytearray()
        self.arrivals = []  # (monotonic seconds, total samples received by then)
        self.proc = subprocess.Popen(
            ["parec", "--device=" + device, "--raw", "--format=s16le", "--channels=1",
             "--rate=%d" % MONITOR_RATE, "--latency-msec=%d" % latency_ms],
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


class JackRecorder:
    """bench/jack_recorder.cpp on a JACK output port: onsets and the server's xruns on the
    monotonic clock, and at the end the xruns' count and the gaps of digital silence after
    sound."""

    def __init__(self, work, env, port, threshold=None):
        binary = os.path.join(work, "jack_recorder")
        if not os.path.exists(binary):
            flags = subprocess.run(["pkg-config", "--cflags", "--libs", "jack"], check=True,
                                   capture_output=True, text=True).stdout.split()
            subprocess.run(["c++", "-std=c++20", "-O2", "-o", binary,
                            os.path.join(HERE, "jack_recorder.cpp")] + flags, check=True)
        argv = [binary, port] + ([str(threshold)] if threshold is not None else [])
        self.proc = subprocess.Popen(argv, stdout=subprocess.PIPE, env=env, text=True)
        self.onset_times = []
        self.xrun_times = []
        self.end = {}
        ready = self.proc.stdout.readline()
        if not ready.startswith("ready"):
            raise RuntimeError("the JACK recorder did not start on " + port)
        self.rate = int(ready.split()[2])  # ready rate R period P
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        for line in self.proc.stdout:
            words = line.split()
            if words and words[0] == "onset":
                self.onset_times.append(float(words[1]))
            elif words and words[0] == "xrun":
                self.xrun_times.append(float(words[1]))
            elif words and words[0] == "end":
                self.end = {words[i]: float(words[i + 1]) for i in range(1, len(words) - 1, 2)}

    def stop(self):
        self.proc.send_signal(signal.SIGINT)
        self.proc.wait(5)
        self.thread.join(5)

    def onsets(self, times, window=0.3):
        """For each time, the first onset within `window` s after it, less that time."""
        found = []
        for t in times:
            later = [o - t for o in self.onset_times if 0.0 <= o - t < window]
            found.append(min(later) if later else None)
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


def free_display():
    for n in range(140, 200):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists(
                "/tmp/.X%d-lock" % n):
            return ":%d" % n
    raise RuntimeError("no free X display number")


def stop_all(procs):
    """Ends each process still running, the last started first; kills what does not end.

    A JACK server ends a second after the clients before it: told to end while a client that
    was just killed still has its socket, it dies of SIGPIPE and leaves its entry in JACK's
    registry, which holds eight servers for the whole machine; the ninth does not start."""
    ended = False
    for p in reversed(procs):
        if p.poll() is None:
            if ended and os.path.basename(str(p.args[0])) == "jackd":
                time.sleep(1.0)
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
            ended = True


class Rig:
    """A work folder with a private HOME, an X server and a PulseAudio server (sink `sink`),
    and a JACK server when asked. With `pipewire` the sound server is PipeWire 0.3 as a desktop
    runs it (pipewire, wireplumber and pipewire-pulse on a session bus of their own): its
    PulseAudio side serves the sink, and with `jack` every JACK client of the rig, the program
    included, loads pipewire-jack's libjack and joins PipeWire's graph instead of a jackd. Use
    as a context manager; everything it started ends."""

    def __init__(self, prefix, sink, jack=False, keep=False, realtime_server=False,
                 pipewire=False):
        servers = (("pipewire", "wireplumber", "pipewire-pulse", "dbus-daemon") if pipewire
                   else ("pulseaudio",) + (("jackd",) if jack else ()))
        for tool in ("Xvfb", "parec", "pactl", "xdotool") + servers + (
                ("jack_lsp",) if jack else ()):
            if not shutil.which(tool):
                sys.exit("%s is not installed (scripts/install-deps%s installs it)"
                         % (tool, " --pipewire" if pipewire else ""))
        if pipewire and jack and not os.path.isdir(PIPEWIRE_JACK):
            sys.exit("pipewire-jack is not installed (scripts/install-deps --pipewire installs it)")
        self.sink = sink
        self.keep = keep
        self.work = tempfile.mkdtemp(prefix=prefix)
        os.chmod(self.work, 0o700)
        self.home = os.path.join(self.work, "home")
        os.makedirs(os.path.join(self.home, ".config"))
        self.display = free_display()
        socket = os.path.join(self.work, "pulse", "native") if pipewire else os.path.join(
            self.work, "pulse.sock")
        self.env = dict(os.environ, HOME=self.home, XDG_RUNTIME_DIR=self.work,
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"), DISPLAY=self.display,
                        PULSE_SERVER="unix:" + socket)
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.env.pop("QT_QPA_PLATFORM", None)
        if pipewire:
            self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(self.work, "bus")
            if jack:
                self.env["LD_LIBRARY_PATH"] = ":".join(
                    [PIPEWIRE_JACK] + [p for p in [os.environ.get("LD_LIBRARY_PATH")] if p])
        elif jack:
            self.env.update(JACK_DEFAULT_SERVER="marrowtune-bench-%d" % os.getpid(),
                            JACK_NO_AUDIO_RESERVATION="1", JACK_NO_START_SERVER="1")
        self.jack = jack
        self.pipewire = pipewire
        self.realtime_server = realtime_server
        self.procs = []
        self.bus_pid = None

    def _start_pipewire(self):
        said = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-pid",
                               "--address=" + self.env["DBUS_SESSION_BUS_ADDRESS"]],
                              env=self.env, check=True, capture_output=True, text=True)
        self.bus_pid = int(said.stdout.split()[0])
        for name in ("pipewire", "wireplumber", "pipewire-pulse"):
            self.procs.append(subprocess.Popen(
                [name], env=self.env, stdout=subprocess.DEVNULL,
                stderr=open(os.path.join(self.work, name + ".log"), "w")))
            time.sleep(0.3)
        for _ in range(100):
            if subprocess.run(["pactl", "info"], env=self.env, capture_output=True).returncode == 0:
                break
            time.sleep(0.05)
        else:
            raise RuntimeError("PipeWire's PulseAudio side did not start")
        subprocess.run(["pactl", "load-module", "module-null-sink", "sink_name=" + self.sink,
                        "rate=%d" % MONITOR_RATE, "channels=2"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)

    def __enter__(self):
        self.procs.append(subprocess.Popen(["Xvfb", self.display, "-screen", "0",
                                            "1280x1024x24", "-nolisten", "tcp"],
                                           stderr=subprocess.DEVNULL))
        if self.pipewire:
            self._start_pipewire()
        else:
            subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
                            "--system=false", "--use-pid-file=yes", "--high-priority=yes",
                            "--realtime=yes", "-L",
                            "module-null-sink sink_name=%s rate=%d channels=2"
                            % (self.sink, MONITOR_RATE),
                            "-L", "module-native-protocol-unix socket=%s auth-anonymous=1"
                            % os.path.join(self.work, "pulse.sock")],
                           env=self.env, check=True, stderr=subprocess.DEVNULL)
        subprocess.run(["pactl", "set-default-sink", self.sink], env=self.env, check=True)
        if self.realtime_server and not self.pipewire:
            # PulseAudio gives realtime priority to its sinks' threads only; its main thread,
            # which takes the clients' audio off their sockets, stays at normal priority. To
            # tell the server's stalls from the client's, it can be made realtime too.
            with open(os.path.join(self.work, "pulse", "pid")) as f:
                subprocess.run(["chrt", "-r", "-p", "4", f.read().strip()], check=True)
        if self.jack and not self.pipewire:
            self.procs.append(subprocess.Popen(
                ["jackd", "-R", "-n", self.env["JACK_DEFAULT_SERVER"], "-d", "dummy", "-r",
                 str(JACK_RATE), "-p", str(JACK_PERIOD)], env=self.env,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            for _ in range(100):
                if "system:playback_1" in self.ports():
                    break
                time.sleep(0.05)
            else:
                raise RuntimeError("the dummy JACK server did not start")
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X" + self.display[1:]):
                break
            time.sleep(0.05)
        return self

    def __exit__(self, *exc):
        stop_all(self.procs)
        if not self.pipewire:
            subprocess.run(["pactl", "exit"], env=self.env, stderr=subprocess.DEVNULL)
        if self.bus_pid:
            os.kill(self.bus_pid, signal.SIGTERM)
        if self.keep:
            log("work folder kept:", self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)

    def ports(self):
        return subprocess.run(["jack_lsp"], env=self.env, capture_output=True,
                              text=True).stdout.splitlines()

    def start(self, argv, log_name="program.log"):
        proc = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL,
                                stderr=open(os.path.join(self.work, log_name), "w"))
        self.procs.append(proc)
        return proc

    def xdotool(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True,
                              text=True).stdout

    def shot(self, name):
        subprocess.run(["import", "-window", "root", os.path.join(self.work, name)],
                       env=self.env, stderr=subprocess.DEVNULL)

    def write_ini(self, info, own):
        """The program's settings: `info` in its documented section, `own` in its own."""
        with open(os.path.join(self.home, ".config", "marrowtune.ini"), "w") as ini:
            ini.write("[Info]\n" + "".join("%s=%s\n" % kv for kv in info.items()))
            if own:
                ini.write("[Marrowtune]\n" + "".join("%s=%s\n" % kv for kv in own.items()))

    def open_setting_file(self, path):
        """No window manager: give the main window the keyboard, then File > Open, the setting
        file's path and Return. Returns the main window's id."""
        window = self.xdotool("search", "--sync", "--name", "^Marrowtune - ").split()[0]
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "alt+f")
        time.sleep(0.3)
        self.xdotool("key", "o")
        time.sleep(1.0)
        self.xdotool("key", "ctrl+a")
        self.xdotool("type", "--delay", "5", path)
        self.xdotool("key", "Return")
        return window

    def quit_program(self, window, program):
        """Quit through the menu, so the program shuts down in order and reports."""
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "alt+f")
        time.sleep(0.3)
        self.xdotool("key", "x")
        program.wait(15)


def write_wav(path, rate, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(s)) for s in samples))


def write_click(path, rate):
    """20 ms of a full-scale 1 kHz burst: an onset no threshold can miss."""
    write_wav(path, rate, (30000 * math.sin(2 * math.pi * 1000 * i / rate)
                           for i in range(rate // 50)))


def write_setting_file(path, tracks, speed=4410):
    """Eight tracks; `tracks` lists (wav path, loop) or (wav path, loop, speed) for the first
    ones, at `speed` where they give none (4410: the file's own pace), the rest stay empty.
    Each track's nine lines: speed, volume, pan, file name, path, length, loop, hold, tempo
    ratio."""
    lines = []
    for track in range(8):
        if track < len(tracks):
            wav, loop, own = (tuple(tracks[track]) + (speed,))[:3]
            lines += [" %d " % own, " 0 ", " 0 ", os.path.basename(wav), wav, " 0 ",
                      " 1 " if loop else " 0 ", " 0 ", ""]
        else:
            lines += [" 4410 ", " 0 ", " 0 ", "", "", " 0 ", " 1 ", " 1 ", ""]
    with open(path, "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("utf-8"))


def summary(name, values):
    ms = sorted(v * 1000 for v in values if v is not None)
    missed = sum(1 for v in values if v is None)
    if not ms:
        print("%-28s no onsets found (%d presses)" % (name, len(values)))
        return None
    p95 = ms[min(len(ms) - 1, math.ceil(0.95 * len(ms)) - 1)]
    print("%-28s min %6.1f  median %6.1f  p95 %6.1f  max %6.1f ms  (%d presses%s)"
          % (name, ms[0], statistics.median(ms), p95, ms[-1], len(ms),
             ", %d without sound" % missed if missed else ""))
    return statistics.median(ms)
