#!/usr/bin/env python3
"""Kill -9 the real program at random moments while a performer presses the pan keys F6/F7/F8
and now and then saves; after each kill the recovery copy must be whole and hold a pan of some
moment within the last RecoveryKeeper::kDelayMs (plus a margin for keys in flight), and is
missing only when nothing was edited since the last save began. The next start offers it; Yes
restores it, and the run saves it over the set.

    crash_recovery.py PROGRAM [--runs N] [--seed S] [--keep]
Exit status 0 when every run held."""

import argparse
import base64
import hashlib
import json
import os
import random
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import rig  # noqa: E402

DELAY_S = 3.0   # RecoveryKeeper::kDelayMs
MARGIN_S = 2.0  # keys and a save still on their way through X and the event loop (sanitizers)
PANS = {"F6": -40, "F7": 0, "F8": 40}


def copy_path(env):
    return os.path.join(env["XDG_DATA_HOME"], "marrowtune", "recovery", "unsaved.mrwr")


def read_copy(path):
    """The copy's setting file bytes, None when there is none; raises on a damaged one."""
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        doc = json.loads(f.read())
    parts = [doc["path"].encode(), base64.b64decode(doc["setting"], validate=True),
             base64.b64decode(doc["companion"], validate=True)]
    h = hashlib.sha256()
    for part in parts:
        h.update(b"%d:" % len(part))
        h.update(part)
    if h.hexdigest() != doc["sha256"]:
        raise ValueError("hash does not match")
    return parts[1]


def pan_of(setting):
    lines = setting.split(b"\r\n")
    if len(lines) != 73:  # 72 lines and the last line break
        raise ValueError("%d lines" % (len(lines) - 1))
    return int(lines[2])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--runs", type=int, default=100)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rnd = random.Random(seed)
    rig.log("seed", seed)
    failures = []
    counts = {"copy": 0, "none": 0, "restored": 0}
    with rig.Rig("marrowtune-crash-", "crash", keep=args.keep) as r:
        r.env["XDG_DATA_HOME"] = os.path.join(r.home, ".local", "share")
        kick = os.path.join(r.work, "kick.wav")
        rig.write_click(kick, 44100)
        set_path = os.path.join(r.work, "live.mrw")
        rig.write_setting_file(set_path, [(kick, False)])
        r.write_ini({"WSCDir": set_path}, {})
        pan = 0           # the selected track's pan in the program, as pressed
        saved_pan = 0     # in the set on disk
        for run in range(args.runs):
            offered = os.path.exists(copy_path(r.env))
            program = r.start([args.program, set_path], "run%d.log" % run)
            # A killed client's connection is still being torn down when the next one comes:
            # Xvfb may turn it away once.
            time.sleep(0.3)
            if program.poll() is not None:
                program = r.start([args.program, set_path], "run%d-again.log" % run)
            events = []  # (time, pan after it, "edit" | "save")
            if offered:
                # The offer comes up over the window: Yes, then the restored set over the file.
                box = find_window(r, "^Marrowtune$")
                if box is None:
                    failures.append("run %d: the copy was not offered" % run)
                else:
                    r.xdotool("windowfocus", "--sync", box)
                    r.xdotool("key", "Return")
                    time.sleep(0.5)
                    counts["restored"] += 1
            window = find_window(r, "^Marrowtune - live.mrw")
            if window is None:
                failures.append("run %d: no window (the program %s)" % (
                    run, "ended" if program.poll() is not None else "hangs"))
                program.kill()
                program.wait()
                continue
            r.xdotool("windowfocus", "--sync", window)
            time.sleep(0.3)
            r.xdotool("key", "z")  # plays track 1, which selects it for the pan keys
            start = time.monotonic()
            if offered:
                r.xdotool("key", "alt+f")
                time.sleep(0.2)
                r.xdotool("key", "v")
                time.sleep(0.5)
                with open(set_path, "rb") as f:
                    restored = pan_of(f.read())
                if restored != pan:
                    failures.append("run %d: restored pan %d, copy had %d" % (run, restored, pan))
                pan = saved_pan = restored
                events.append((time.monotonic(), pan, "save"))
            life = rnd.uniform(0.3, 9.0)
            while time.monotonic() - start < life:
                if rnd.random() < 0.05:
                    r.xdotool("key", "alt+f")
                    time.sleep(0.1)
                    r.xdotool("key", "v")
                    events.append((time.monotonic(), pan, "save"))
                else:
                    key = rnd.choice(list(PANS))
                    r.xdotool("key", key)
                    pan = PANS[key]
                    events.append((time.monotonic(), pan, "edit"))
                time.sleep(rnd.uniform(0.02, 0.4))
            killed = time.monotonic()
            os.kill(program.pid, signal.SIGKILL)
            program.wait()
            try:
                with open(set_path, "rb") as f:
                    pan_of(f.read())
            except ValueError as e:
                failures.append("run %d: the set itself was torn by the kill: %s" % (run, e))
            try:
                copy = read_copy(copy_path(r.env))
                held = None if copy is None else pan_of(copy)
            except (ValueError, KeyError, json.JSONDecodeError) as e:
                failures.append("run %d: a damaged copy: %s" % (run, e))
                os.remove(copy_path(r.env))
                continue
            # The pans the program may have held within the window a copy may lag.
            recent = [p for t, p, _ in events if t >= killed - DELAY_S - MARGIN_S]
            before = [p for t, p, _ in events if t < killed - DELAY_S - MARGIN_S]
            allowed = set(recent) | ({before[-1]} if before else {pan if not events else None})
            last_edit = max((t for t, _, kind in events if kind == "edit"), default=None)
            last_save = max((t for t, _, kind in events if kind == "save"), default=None)
            if held is None:
                counts["none"] += 1
                unsaved = last_edit is not None and (last_save is None or last_save < last_edit)
                if unsaved and killed - last_edit > DELAY_S + MARGIN_S:
                    failures.append("run %d: no copy, %.1f s after an unsaved edit"
                                    % (run, killed - last_edit))
                # The program starts on the set as saved.
                with open(set_path, "rb") as f:
                    pan = saved_pan = pan_of(f.read())
            else:
                counts["copy"] += 1
                if held not in allowed:
                    failures.append("run %d: the copy holds pan %d, allowed %s" %
                                    (run, held, sorted(p for p in allowed if p is not None)))
                pan = held
            rig.log("run %d: life %.1f s, %d events, copy %s" % (run, life, len(events), held))
    rig.log("runs %d: copies %d, none %d, restored through the offer %d, failures %d"
            % (args.runs, counts["copy"], counts["none"], counts["restored"], len(failures)))
    for f in failures:
        rig.log("FAIL", f)
    return 1 if failures else 0


def find_window(r, name, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = r.xdotool("search", "--onlyvisible", "--name", name).split()
        if found:
            return found[0]
        time.sleep(0.05)
    return None


if __name__ == "__main__":
    sys.exit(main())
