"""Giada (Debian's `giada` 0.22, a loop player) as the end-to-end latency script's peer, on the
same rig: PulseAudio through its own configuration file in the private HOME, one sample
channel holding the click in its default one-shot mode, bound to a key.

Giada 0.22 has no command line for a project, so the channel is made the way a person makes
it: "Edit column" > "Add Sample channel", the channel's menu > "Load new sample..." (the file
browser opens on the configured samples folder) and "Setup keyboard input...". There is no
window manager: X gives the keyboard to the window under the pointer. The positions are
Giada 0.22's own layout with its windows placed at the screen's top left by the same file.
"""

import json
import os
import shutil
import subprocess
import sys
import time

from rig import write_click

KEY = "z"
# Giada 0.22's words in giada.conf: its API number for PulseAudio, and RtAudio's PulseAudio
# devices (0 is the input, 1 the output).
PULSE_API = 6
PULSE_OUTPUT = 1
DEFAULT_BLOCK = 1024

EDIT_COLUMN = (199, 151)
ADD_SAMPLE_CHANNEL = (265, 160)
CHANNEL_MENU = (155, 176)
LOAD_SAMPLE = (215, 223)
FIRST_FILE = (38, 92)  # the samples folder holds the click alone
KEY_INPUT = (230, 261)
KEY_WINDOW = (150, 60)
KEY_WINDOW_CLOSE = (253, 127)
MAIN_WINDOW = (600, 350)


def install():
    """Debian's giada, through apt-get as scripts/install-deps does; only for this script."""
    if shutil.which("giada"):
        return
    apt = ["apt-get", "install", "-y", "--no-install-recommends", "giada"]
    if os.geteuid() != 0:
        apt = ["sudo", "-n"] + apt
    if subprocess.run(apt, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive")).returncode:
        sys.exit("e2e: could not install giada (%s)" % " ".join(apt))


def _click(rig, at, double=False):
    rig.xdotool("mousemove", str(at[0]), str(at[1]))
    rig.xdotool("click", "--repeat", "2" if double else "1", "--delay", "80", "1")


def start(rig, block=None):
    """Starts Giada on the rig with the click on a channel bound to KEY and the pointer over its
    main window. Returns a description for the report."""
    samples = os.path.join(rig.work, "giada-samples")
    os.makedirs(samples)
    write_click(os.path.join(samples, "click.wav"), 44100)
    conf_dir = os.path.join(rig.home, ".giada")
    os.makedirs(conf_dir)
    frames = block or DEFAULT_BLOCK
    conf = {"header": "GIADACFG", "sound_system": PULSE_API, "sound_device_out": PULSE_OUTPUT,
            "sound_device_in": -1, "channels_out_count": 2, "channels_out_start": 0,
            "buffer_size": frames, "samplerate": 44100, "log_mode": 1,
            "samples_path": samples, "browser_x": 0, "browser_y": 0, "browser_w": 640,
            "browser_h": 600, "main_window_x": 0, "main_window_y": 0, "main_window_w": 816,
            "main_window_h": 510}
    with open(os.path.join(conf_dir, "giada.conf"), "w") as f:
        json.dump(conf, f)
    giada = subprocess.Popen(["stdbuf", "-oL", "giada"], env=rig.env,
                             stdout=open(os.path.join(rig.work, "giada.log"), "w"),
                             stderr=subprocess.STDOUT)
    rig.procs.append(giada)
    time.sleep(4.0)
    _click(rig, EDIT_COLUMN)
    time.sleep(0.8)
    _click(rig, ADD_SAMPLE_CHANNEL)
    time.sleep(0.8)
    _click(rig, CHANNEL_MENU)
    time.sleep(0.8)
    _click(rig, LOAD_SAMPLE)
    time.sleep(1.5)
    _click(rig, FIRST_FILE, double=True)
    time.sleep(1.5)
    _click(rig, CHANNEL_MENU)
    time.sleep(0.8)
    _click(rig, KEY_INPUT)
    time.sleep(0.8)
    rig.xdotool("mousemove", str(KEY_WINDOW[0]), str(KEY_WINDOW[1]))
    rig.xdotool("key", KEY)
    time.sleep(0.5)
    _click(rig, KEY_WINDOW_CLOSE)
    time.sleep(0.5)
    rig.xdotool("mousemove", str(MAIN_WINDOW[0]), str(MAIN_WINDOW[1]))
    window = rig.xdotool("search", "--name", "^Giada").split()[0]
    rig.xdotool("windowfocus", "--sync", window)
    time.sleep(2.0)
    rig.shot("giada.png")
    with open(os.path.join(rig.work, "giada.log")) as f:
        said = f.read()
    if "latency" not in said:
        sys.exit("e2e: Giada did not open its PulseAudio output:\n" + said[-1500:])
    return "Giada 0.22, %d-frame blocks at 44.1 kHz%s" % (frames, "" if block else " (default)")
