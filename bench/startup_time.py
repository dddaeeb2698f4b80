#!/usr/bin/env python3
"""Start-up time of Marrowtune: from starting the process to its main window mapped on the
screen, over a number of starts, on a private X server and PulseAudio. The mapping is seen by
bench/map_watch.cpp on one X connection held for the whole run; polling with a new client every
few milliseconds made Xvfb drop about one connection in a hundred, the program's among them.

    bench/startup_time.py PROGRAM [--starts 20]
"""

import argparse
import os
import queue
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rig import free_display  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


class MapWatch:
    """bench/map_watch.cpp: the monotonic time of each main window mapped."""

    def __init__(self, work, env):
        binary = os.path.join(work, "map_watch")
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "xcb"], check=True,
                               capture_output=True, text=True).stdout.split()
        subprocess.run(["c++", "-std=c++20", "-O2", "-o", binary,
                        os.path.join(HERE, "map_watch.cpp")] + flags, check=True)
        self.proc = subprocess.Popen([binary, "Marrowtune - "], stdout=subprocess.PIPE, env=env,
                                     text=True)
        if not self.proc.stdout.readline().startswith("ready"):
            raise RuntimeError("map_watch did not start")
        self.times = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            if line.startswith("mapped "):
                self.times.put(float(line.split()[1]))

    def drain(self):
        while not self.times.empty():
            self.times.get_nowait()

    def wait(self, timeout):
        try:
            return self.times.get(timeout=timeout)
        except queue.Empty:
            return None

    def stop(self):
        self.proc.terminate()
        self.proc.wait(5)


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
        watch = MapWatch(work, env)
        for n in range(args.starts):
            watch.drain()  # a window of a start that was given up on
            start = time.monotonic()
            with open(said, "w") as log:
                program = subprocess.Popen([args.program], env=env, stdout=subprocess.DEVNULL,
                                           stderr=log)
            at = None
            while at is None and program.poll() is None and time.monotonic() - start < 10:
                at = watch.wait(0.05)
            if at is None:
                failed += 1
                with open(said) as f:
                    last = (f.read().strip().splitlines() or ["(nothing)"])[-1]
                print("start %d ended without a window after %.3f s, exit %s: %s"
                      % (n + 1, time.monotonic() - start, program.poll(), last))
                if program.poll() is None:
                    program.terminate()
                    program.wait(10)
                continue
            times.append(at - start)
            program.terminate()
            program.wait(10)
            time.sleep(0.3)
        watch.stop()
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
