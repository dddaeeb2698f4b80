#!/usr/bin/env python3
"""A long run with everything playing, counting dropouts two ways: the program's own underrun
counter (its last line on stderr) and gaps in a recording of what it played.

Eight tracks loop sines of 200..900 Hz (a setting file, started with their keys), the file
browser previews a looping 1.1 kHz sine, a CD image (BIN/CUE written here) plays a 150 Hz tone
and a MIDI song (an SMF written here) plays on repeat. On PulseAudio the sink's monitor is
recorded, and a gap is digital silence of 0.5 ms or more, which the sum of the sines never
holds for long; with --jack the program plays on a private dummy JACK server and a recorder
client on its output port counts the server's xruns and the gaps.

With --pipewire the server is a private PipeWire as a Debian 12 desktop runs it (pipewire,
wireplumber, pipewire-pulse): the program plays through its PulseAudio side, or with --jack
through its JACK side (pipewire-jack), and the same recordings count the gaps.

With --witness the run also says whose the dropouts were: a realtime thread waking every
millisecond logs when the machine woke it late, and on PulseAudio a plain client (pacat, the
same queue and priority) plays on a null sink of its own; each of the program's gaps is listed
with what those two saw at the same moment, and on JACK each xrun.

    bench/soak.py PROGRAM [--minutes 10] [--rate 22050] [--block-ms 3] [--jack]
                          [--pipewire] [--tracks-only] [--witness] [--keep]

Not part of `make test`.
"""

import argparse
import math
import os
import re
import struct
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import (HERE, MONITOR_RATE, JackRecorder, Keyboard, Monitor, Rig, load,  # noqa: E402
                 write_setting_file, write_wav)

KEYS = ["z", "x", "c", "a", "s", "d", "w", "e"]

# Where the controls are in the main window (the normal layout at 96 dpi, media panel open),
# in pixels from the window's top left.
PREVIEW_FILE = (40, 218)  # the first file of the browser's list
CD_PLAY = (87, 528)
MIDI_OPEN = (403, 528)
MIDI_PLAY = (441, 528)
MIDI_REPEAT = (658, 528)


def write_loop(path, rate, hz, level=3000):
    """One second of a sine that loops without a seam (a whole number of cycles)."""
    write_wav(path, rate, (level * math.sin(2 * math.pi * hz * i / rate) for i in range(rate)))


def write_cd_image(folder, minutes):
    """A one-track audio CD image of a 150 Hz tone (CD audio: 44.1 kHz, 16-bit stereo, 2352-byte
    sectors) lasting `minutes`. Returns the CUE sheet's path; the BIN sits beside it."""
    second = b"".join(struct.pack("<hh", v, v) for v in
                      (int(2000 * math.sin(2 * math.pi * 150 * i / 44100)) for i in range(44100)))
    bin_path = os.path.join(folder, "disc.bin")
    with open(bin_path, "wb") as f:
        for _ in range(int(minutes * 60) + 1):
            f.write(second)
        f.write(b"\0" * (-f.tell() % 2352))
    cue = os.path.join(folder, "disc.cue")
    with open(cue, "w") as f:
        f.write('FILE "%s" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' % bin_path)
    return cue


def write_song(path, seconds):
    """A type-0 SMF at 120 bpm: a piano plays a C major arpeggio of quarter notes for
    `seconds`."""

    def varlen(n):
        out = [n & 0x7F]
        n >>= 7
        while n:
            out.insert(0, 0x80 | (n & 0x7F))
            n >>= 7
        return bytes(out)

    division = 480
    events = b"\x00\xff\x51\x03\x07\xa1\x20"  # 500 000 us a quarter
    events += b"\x00\xc0\x00"
    notes = [60, 64, 67, 72]
    for i in range(int(seconds * 2)):
        note = notes[i % len(notes)]
        events += b"\x00" + bytes([0x90, note, 80])
        events += varlen(division) + bytes([0x80, note, 0])
    events += b"\x00\xff\x2f\x00"
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, division))
        f.write(b"MTrk" + struct.pack(">I", len(events)) + events)


def gaps(monitor, started, ended):
    """Stretches of digital silence of 0.5 ms or more in a recording between two monotonic
    times: the null sink fills an underrun with zeros, which the sum of the sines never holds
    for long. Returns [(monotonic time the gap began, its length in ms)]."""
    t0 = monitor.timeline()
    first = int((started - t0) * MONITOR_RATE)
    data = bytes(monitor.samples[2 * first:2 * int((ended - t0) * MONITOR_RATE)])
    shortest = MONITOR_RATE // 2000
    return [(t0 + (first + m.start() // 2) / MONITOR_RATE,
             1000.0 * (m.end() - m.start()) / 2 / MONITOR_RATE)
            for m in re.finditer(rb"(?:\x00\x00){%d,}" % shortest, data) if m.start() % 2 == 0]


def gap_line(found):
    return "%d (longest %.0f ms)" % (len(found), max((ms for _, ms in found), default=0.0))


def near(events, t, before, after):
    """The (time, value) events from `before` seconds before t to `after` seconds after it."""
    return [e for e in events if t - before <= e[0] <= t + after]


class WakeProbe:
    """bench/wake_probe.cpp: a thread at the audio callback's realtime priority waking every
    millisecond, logging its late wake-ups and the hypervisor's steal on the monotonic clock."""

    def __init__(self, work):
        binary = os.path.join(work, "wake_probe")
        subprocess.run(["c++", "-std=c++20", "-O2", "-pthread", "-o", binary,
                        os.path.join(HERE, "wake_probe.cpp")], check=True)
        self.proc = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True)
        if self.proc.stdout.readline().strip() != "ready":
            raise RuntimeError("wake_probe did not start")
        self.late, self.steal, self.summary = [], [], None
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            kind, *values = line.split()
            if kind == "late":
                self.late.append((float(values[0]), float(values[1])))
            elif kind == "steal":
                self.steal.append((float(values[0]), float(values[1])))
            elif kind == "summary":
                self.summary = [float(v) for v in values]

    def stop(self):
        self.proc.stdin.close()
        self.proc.wait(5)
        self.reader.join(5)

    def report(self, started, ended):
        wakes, _, worst, steal = self.summary or (0, 0, 0.0, 0.0)
        late = [ms for t, ms in self.late if started <= t <= ended]
        print("realtime wake-ups during the soak late by 0.5 ms or more %d, by a JACK period "
              "(2.7 ms) %d, by 10 ms %d; over the probe's whole run %d wake-ups, the worst "
              "%.1f ms late, steal %.0f ms"
              % (len(late), sum(ms >= 2.7 for ms in late), sum(ms >= 10 for ms in late), wakes,
                 worst, steal))

    def worst_near(self, t, before, after):
        lates = near(self.late, t, before, after)
        return max(v for _, v in lates) if lates else 0.0


class PlainClient:
    """pacat on a null sink of its own, at the program's queue and scheduling, recorded like the
    program: gaps it shares with the program were the server's or the machine's."""

    def __init__(self, rig, seconds, queue_ms):
        subprocess.run(["pactl", "load-module", "module-null-sink", "sink_name=witness",
                        "rate=%d" % MONITOR_RATE, "channels=2"], env=rig.env, check=True,
                       stdout=subprocess.DEVNULL)
        raw = os.path.join(rig.work, "witness.raw")
        second = b"".join(struct.pack("<hh", v, v) for v in
                          (int(3000 * math.sin(2 * math.pi * 441 * i / 22050))
                           for i in range(22050)))
        with open(raw, "wb") as f:
            for _ in range(int(seconds) + 60):
                f.write(second)
        self.monitor = Monitor(rig.env, "witness.monitor", latency_ms=20)
        self.player = subprocess.Popen(
            ["chrt", "-r", "1", "pacat", "--device=witness", "--raw", "--format=s16le",
             "--channels=2", "--rate=22050", "--latency-msec=%d" % queue_ms, raw], env=rig.env)

    def stop(self):
        self.player.terminate()
        self.player.wait(5)
        self.monitor.stop()


def explain_gaps(found, plain, probe, started, ended):
    theirs = gaps(plain.monitor, started, ended)
    print("the plain client's gaps: " + gap_line(theirs))
    probe.report(started, ended)
    shared = woken_late = 0
    for t, ms in found:
        also = near(theirs, t, 0.15, 0.05)
        worst = probe.worst_near(t, 0.15, 0.05)
        shared += bool(also)
        woken_late += worst >= 1.0
        print("  gap at %6.1f s, %4.1f ms: the plain client %s; the probe woke up to %.1f ms late"
              % (t - started, ms, "too" if also else "played on", worst))
    print("of the program's %d gaps: %d shared by the plain client, %d beside a wake-up 1 ms "
          "late or more" % (len(found), shared, woken_late))


def explain_xruns(xruns, probe, started, ended):
    probe.report(started, ended)
    xruns = [t for t in xruns if started <= t <= ended]
    beside = sum(probe.worst_near(t, 0.1, 0.02) >= 1.0 for t in xruns)
    print("of the server's %d xruns: %d beside a wake-up 1 ms late or more" % (len(xruns), beside))


def click(rig, window, at, double=False):
    rig.xdotool("mousemove", "--window", window, str(at[0]), str(at[1]))
    rig.xdotool("click", "--repeat", "2" if double else "1", "--delay", "80", "1")


def start_everything(rig, window, song):
    """The media panel open, the preview looping, the CD playing and the song on repeat."""
    rig.xdotool("windowfocus", "--sync", window)
    rig.xdotool("key", "alt+v")
    time.sleep(0.3)
    rig.xdotool("key", "m")
    time.sleep(1.0)
    click(rig, window, PREVIEW_FILE, double=True)
    time.sleep(1.0)
    click(rig, window, CD_PLAY)
    time.sleep(1.0)
    click(rig, window, MIDI_REPEAT)
    click(rig, window, MIDI_OPEN)
    time.sleep(1.5)
    rig.xdotool("key", "ctrl+a")
    rig.xdotool("type", "--delay", "5", song)
    rig.xdotool("key", "Return")
    time.sleep(1.5)
    click(rig, window, MIDI_PLAY)
    time.sleep(1.0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--minutes", type=float, default=10.0)
    parser.add_argument("--rate", type=int, default=22050, help="the output format (QuSample)")
    parser.add_argument("--block-ms", type=float, default=None)
    parser.add_argument("--jack", action="store_true", help="on a private dummy JACK server")
    parser.add_argument("--tracks-only", action="store_true",
                        help="the eight tracks without the preview, the CD and the song")
    parser.add_argument("--realtime-server", action="store_true",
                        help="the PulseAudio server's main thread at realtime priority too")
    parser.add_argument("--witness", action="store_true",
                        help="beside the program a realtime wake-up probe and (PulseAudio) a "
                             "plain client on a sink of its own, to tell the machine's stalls "
                             "from the program's")
    parser.add_argument("--pipewire", action="store_true",
                        help="on a private PipeWire (its JACK side with --jack)")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    if args.pipewire and args.realtime_server:
        parser.error("--realtime-server is the PulseAudio daemon's")

    with Rig("marrowtune-soak-", "soak", jack=args.jack, keep=args.keep,
             realtime_server=args.realtime_server, pipewire=args.pipewire) as rig:
        wavs = []
        for n, hz in enumerate(range(200, 1000, 100)):
            wavs.append(os.path.join(rig.work, "loop%d.wav" % (n + 1)))
            write_loop(wavs[-1], 22050, hz)
        setting = os.path.join(rig.work, "soak.mrw")
        write_setting_file(setting, [(wav, True) for wav in wavs])
        browse = os.path.join(rig.work, "browse")
        os.makedirs(browse)
        write_loop(os.path.join(browse, "preview.wav"), 22050, 1100, 2000)
        song = os.path.join(rig.work, "song.mid")
        write_song(song, 60)
        cue = write_cd_image(rig.work, args.minutes + 1)
        own = {"CdImage": cue}
        if args.jack:
            own["AudioSystem"] = "jack"
        if args.block_ms:
            own["AudioBlockMs"] = "%g" % args.block_ms
        rig.write_ini({"QuSample": args.rate, "PreviewLoop": "True", "WAVDir": browse,
                       "MIDIDir": song}, own)

        monitor = None if args.jack else Monitor(rig.env, "soak.monitor", latency_ms=20)
        # The plain client asks for the program's queue: 10 ms on the PulseAudio daemon, three
        # 11.6 ms blocks on PipeWire's PulseAudio side.
        plain = (PlainClient(rig, args.minutes * 60, 35 if args.pipewire else 10)
                 if args.witness and not args.jack else None)
        probe = WakeProbe(rig.work) if args.witness else None
        program = rig.start([args.program])
        keys = Keyboard(rig.display)
        time.sleep(2.0)
        window = rig.open_setting_file(setting)
        time.sleep(3.0)
        for key in KEYS:
            keys.tap(key)
        if not args.tracks_only:
            start_everything(rig, window, song)
        rig.shot("started.png")
        recorder = None
        if args.jack:
            outputs = [p for p in rig.ports() if p.startswith("Marrowtune:")]
            if not outputs:
                sys.exit("soak: the program has no JACK port")
            recorder = JackRecorder(rig.work, rig.env, outputs[0])
        loads = [load()]
        started = time.monotonic()
        while time.monotonic() - started < args.minutes * 60:
            time.sleep(min(60.0, args.minutes * 60 - (time.monotonic() - started)))
            loads.append(load())
        ended = time.monotonic()
        rig.shot("end.png")
        if recorder:
            recorder.stop()
        rig.quit_program(window, program)
        played = ended - started

        with open(os.path.join(rig.work, "program.log")) as f:
            said = f.read()
        counted = re.search(r"sound output closed after (\d+) underruns", said)
        print("soak: %.1f min, %s, output format %d Hz%s, on %s"
              % (played / 60, "8 looping tracks" if args.tracks_only else
                 "8 looping tracks, the preview, the CD and a MIDI song",
                 args.rate, ", block %g ms" % args.block_ms if args.block_ms else "",
                 ("PipeWire's JACK side" if args.pipewire else "a dummy JACK server") if args.jack
                 else "PipeWire's PulseAudio side" if args.pipewire else
                 "PulseAudio (main thread realtime)" if args.realtime_server else "PulseAudio"))
        print("load average each minute: " + " ".join(loads))
        print("underruns counted by the program: %s"
              % (counted.group(1) if counted else "0 (no report line)"))
        if recorder:
            print("JACK xruns: %d; gaps at the port: %d (longest %.1f ms)"
                  % (recorder.end.get("xruns", -1), recorder.end.get("gaps", -1),
                     recorder.end.get("longest_ms", 0.0)))
            if probe:
                probe.stop()
                explain_xruns(recorder.xrun_times, probe, started, ended)
        else:
            monitor.stop()
            found = gaps(monitor, started + 1.0, ended)
            print("gaps in the recording: " + gap_line(found))
            if plain:
                plain.stop()
                probe.stop()
                explain_gaps(found, plain, probe, started + 1.0, ended)


if __name__ == "__main__":
    main()
