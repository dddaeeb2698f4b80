#!/usr/bin/env python3
"""A long run with everything playing, counting dropouts two ways: the program's own underrun
counter (its last line on stderr) and gaps in a recording of what it played.

Eight tracks loop sines of 200..900 Hz (a setting file, started with their keys), the file
browser previews a looping 1.1 kHz sine, a CD image (BIN/CUE written here) plays a 150 Hz tone
and a MIDI song (an SMF written here) plays on repeat. On PulseAudio the sink's monitor is
recorded, and a gap is digital silence of 0.5 ms or more, which the sum of the sines never
holds for long; with --jack the program plays on a private dummy JACK server and a recorder
client on its output port counts the server's xruns and the gaps.

    bench/soak.py PROGRAM [--minutes 10] [--rate 22050] [--block-ms 3] [--jack]
                          [--tracks-only] [--keep]

Not part of `make test`.
"""

import argparse
import math
import os
import re
import struct
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import (MONITOR_RATE, JackRecorder, Keyboard, Monitor, Rig, load,  # noqa: E402
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


def gaps(samples, first, last):
    """Stretches of digital silence of 0.5 ms or more between sample `first` and `last`: the
    null sink fills an underrun with zeros, which the sum of the sines never holds for long.
    Returns (count, longest in ms)."""
    data = bytes(samples[2 * first:2 * last])
    shortest = MONITOR_RATE // 2000
    lengths = [(m.end() - m.start()) // 2
               for m in re.finditer(rb"(?:\x00\x00){%d,}" % shortest, data)
               if m.start() % 2 == 0]
    return len(lengths), (1000.0 * max(lengths) / MONITOR_RATE if lengths else 0.0)


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
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()

    with Rig("marrowtune-soak-", "soak", jack=args.jack, keep=args.keep,
             realtime_server=args.realtime_server) as rig:
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
                 "a dummy JACK server" if args.jack else
                 "PulseAudio (main thread realtime)" if args.realtime_server else "PulseAudio"))
        print("load average each minute: " + " ".join(loads))
        print("underruns counted by the program: %s"
              % (counted.group(1) if counted else "0 (no report line)"))
        if recorder:
            print("JACK xruns: %d; gaps at the port: %d (longest %.1f ms)"
                  % (recorder.end.get("xruns", -1), recorder.end.get("gaps", -1),
                     recorder.end.get("longest_ms", 0.0)))
        else:
            monitor.stop()
            t0 = monitor.timeline()
            runs, longest = gaps(monitor.samples, int((started + 1.0 - t0) * MONITOR_RATE),
                                 int((ended - t0) * MONITOR_RATE))
            print("gaps in the recording: %d (longest %.0f ms)" % (runs, longest))


if __name__ == "__main__":
    main()
