#!/usr/bin/env python3
"""Start-up time of Marrowtune: from starting the process to its main window mapped on the
screen, over a number of starts, on a private X server and PulseAudio.

    bench/startup_time.py PROGRAM [--starts 20]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import free_display  # noqa: E402


def mapped(env):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Marrowtune - "],
                          env=env, capture_output=True).returncode == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--starts", type=int, default=20)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="marrowtune-startup-")
    os.chmod(work, 0o700)
    home = os.path.join(work, "home")
    os.makedirs(os.path.join(home, ".config"))
    display = free_display()
    env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=work,
               XDG_CONFIG_HOME=os.path.join(home, ".config"), DISPLAY=display,
               PULSE_SERVER="unix:" + os.path.join(work, "pulse.sock"))
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    env.pop("QT_QPA_PLATFORM", None)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten",
                             "tcp"], stderr=subprocess.DEVNULL)
    try:
        subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
                        "--system=false", "--use-pid-file=yes", "--high-priority=yes",
                        "--realtime=yes", "-L", "module-null-sink sink_name=startup", "-L",
                        "module-native-protocol-unix socket=%s auth-anonymous=1"
                        % os.path.join(work, "pulse.sock")],
                       env=env, check=True, stderr=subprocess.DEVNULL)
        time.sleep(1.0)
        times = []
        failed = 0
        said = os.path.join(work, "program.log")
        for n in range(args.starts):
            start = time.monotonic()
            with open(said, "w") as log:
                program = subprocess.Popen([args.program], env=env, stdout=subprocess.DEVNULL,
                                           stderr=log)
            while not mapped(env) and program.poll() is None and time.monotonic() - start < 10:
                time.sleep(0.005)
            if program.poll() is not None:
                failed += 1
                with open(said) as f:
                    last = (f.read().strip().splitlines() or ["(nothing)"])[-1]
                print("start %d ended without a window after %.3f s, exit %d: %s"
                      % (n + 1, time.monotonic() - start, program.returncode, last))
                continue
            times.append(time.monotonic() - start)
            program.terminate()
            program.wait(10)
            time.sleep(0.3)
        print("start-up to a mapped window over %d starts: min %.3f  median %.3f  max %.3f s; "
              "%d above 0.3 s" % (len(times), min(times), statistics.median(times), max(times),
                                  sum(t > 0.3 for t in times)))
        print("each: " + " ".join("%.3f" % t for t in times))
        if failed:
            print("%d more starts ended without a window (above)" % failed)
    finally:
        subprocess.run(["pactl", "exit"], env=env, stderr=subprocess.DEVNULL)
        xvfb.terminate()
        xvfb.wait(5)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
