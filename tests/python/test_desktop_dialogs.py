"""The property dialogs on a desktop: Xvfb as the display, the real dialog
helper, and xdotool as the user. The script that calls the dialog runs in a
process of its own (the call holds the interpreter until the window closes);
this test finds the window, types and clicks, takes a screenshot of it, and
reads what the script got afterwards. On vivid (in the VM) the device's own
controls are set; elsewhere a virtual camera's brightness."""

import fcntl
import json
import os
import re
import signal
import struct
import subprocess
import sys
import textwrap
import time

import pytest

from desktop import display as start_display, require, screenshot_folder, script_environment, tool_environment
from frames import BARS, pixel

TOOLS = ("Xvfb", "xdotool", "import")
VIVID = bool(os.environ.get("QUORIN_V4L2_TESTS"))
CAMERAS = ["virtual"] + (["vivid"] if VIVID else [])
VIRTUAL = json.dumps([{"name": "Cam", "sizes": [[640, 480], [320, 240]]}])

# How long a window just shown, or just focused, takes before it reads keys:
# longer under the VM's emulation.
SETTLE = 2.0 if VIVID else 0.5

VIDIOC_G_CTRL = 0xC008561B
VIDIOC_S_CTRL = 0xC008561C
V4L2_CID_BRIGHTNESS = 0x00980900

SCRIPT = """
import json, os, sys
import quorin
from frames import pixel

if os.environ.get("REFUSE_CONTROLS"):
    import platform_control
    platform_control.load().fail("VirtualCamera::SetControl")
dev = quorin.new_Dev(0, 0)

def report(tag):
    data, width, height = dev.getbuffer()
    sample = data[::101]
    print(json.dumps({"after": tag, "size": [width, height], "mean": sum(sample) / len(sample),
                      "bar": pixel(data, width, height, width // 16, height // 2)}), flush=True)

report("open")
for method in sys.argv[1:]:
    getattr(dev, method)()
    report(method)
"""


@pytest.fixture(scope="module")
def display():
    """A display of our own, for the whole module."""
    require(*TOOLS)
    with start_display() as name:
        yield name


@pytest.fixture
def desktop(display, camera_kind, platform, tmp_path):
    return Desktop(display, camera_kind, tmp_path)


@pytest.fixture(params=CAMERAS)
def camera_kind(request):
    return request.param


class Desktop:
    def __init__(self, display, camera, tmp_path):
        self.camera = camera
        self.shots = screenshot_folder(tmp_path)
        self.env = script_environment(display, camera, VIRTUAL)
        self.tools = tool_environment(DISPLAY=display)
        if camera != "virtual":
            brightness(128)  # the driver's default: an earlier test may have changed it
        self.script = None
        self.prefix = []  # what runs the script (a command that runs the rest)

    def start(self, *methods):
        """Runs the script that opens the device and calls methods in turn;
        returns its report of the device as opened."""
        self.script = subprocess.Popen(self.prefix + [sys.executable, "-c", textwrap.dedent(SCRIPT)] + list(methods),
                                       env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       universal_newlines=True)
        return self.report()

    def report(self):
        line = self.script.stdout.readline()
        assert line, "the script ended: " + self.script.stderr.read()
        return json.loads(line)

    def finish(self):
        """What the script wrote on stderr, once it ended."""
        out, err = self.script.communicate(timeout=60)
        assert self.script.returncode == 0, err
        return err

    def xdotool(self, *arguments):
        return subprocess.run(["xdotool"] + list(arguments), env=self.tools, check=True, stdout=subprocess.PIPE,
                              universal_newlines=True, timeout=30).stdout.strip()

    def window(self, name, timeout=90):
        """The window called exactly name, once it is shown."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            assert self.script.poll() is None, "the script ended: " + self.script.stderr.read()
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^{}$".format(name)],
                                   env=self.tools, stdout=subprocess.PIPE, universal_newlines=True).stdout.split()
            if found:
                time.sleep(SETTLE)  # drawn, not only mapped
                return found[0]
            time.sleep(0.1)
        pytest.fail("no window called {!r} within {} s".format(name, timeout))

    def keys(self, window, *keys):
        self.xdotool("windowfocus", "--sync", window)
        time.sleep(SETTLE)
        for key in keys:
            self.xdotool("key", "--clearmodifiers", key)
            # A button pressed from the keyboard shows itself pressed for a
            # quarter of a second before it acts: the next key waits.
            time.sleep(0.5)

    def click(self, window, x, y):
        """A click at x, y inside window (negative: from its right or bottom)."""
        geometry = dict(line.split("=") for line in self.xdotool("getwindowgeometry", "--shell", window).split())
        x = x if x >= 0 else int(geometry["WIDTH"]) + x
        y = y if y >= 0 else int(geometry["HEIGHT"]) + y
        self.xdotool("mousemove", "--window", window, str(x), str(y), "click", "1")

    def screenshot(self, window, name):
        path = os.path.join(self.shots, "{}-{}.png".format(name, self.camera))
        subprocess.run(["import", "-window", window, path], env=self.tools, check=True, timeout=60)
        return path

    def properties_caption(self):
        return "vivid.* Properties" if self.camera == "vivid" else "Cam Properties"


def brightness(value=None):
    """vivid's brightness, as the driver reports it, after setting it to
    value if one is given."""
    with open("/dev/video0", "rb", buffering=0) as node:
        request = bytearray(struct.pack("Ii", V4L2_CID_BRIGHTNESS, 0 if value is None else value))
        fcntl.ioctl(node, VIDIOC_G_CTRL if value is None else VIDIOC_S_CTRL, request)
        return struct.unpack("Ii", bytes(request))[1]


def assert_brightness(desktop, opened, now, lowered):
    """The next frame after the dialog, and the device, show the brightness
    lowered to its minimum, or as it was."""
    if desktop.camera == "virtual":
        assert tuple(now["bar"]) == ((0, 0, 0) if lowered else BARS[0])
    else:
        assert brightness() == (0 if lowered else 128)
        assert (now["mean"] < opened["mean"] - 10) if lowered else abs(now["mean"] - opened["mean"]) < 5


@pytest.mark.parametrize("keys,lowered", [
    (["Home", "alt+o"], True),
    (["Home", "alt+c"], False),
    (["Home", "alt+a", "End", "Escape"], True),
], ids=["ok", "cancel", "apply-then-cancel"])
def test_the_filter_dialog_sets_the_devices_controls(desktop, keys, lowered):
    opened = desktop.start("displaycapturefilterproperties")
    window = desktop.window(desktop.properties_caption())
    if keys[-1] == "alt+o":
        desktop.screenshot(window, "filter-dialog")
    desktop.keys(window, *keys)
    now = desktop.report()
    assert now["size"] == opened["size"]
    assert_brightness(desktop, opened, now, lowered)
    assert desktop.finish() == ""


def test_the_pin_dialog_sets_the_capture_size(desktop):
    opened = desktop.start("displaycapturepinproperties")
    window = desktop.window(desktop.properties_caption())
    desktop.keys(window, "Down")
    desktop.screenshot(window, "pin-dialog")
    desktop.keys(window, "alt+o")
    now = desktop.report()
    if desktop.camera == "virtual":
        assert (opened["size"], now["size"]) == ([640, 480], [320, 240])
    else:
        assert now["size"] != opened["size"]
    assert desktop.finish() == ""


def test_the_deprecated_method_shows_its_warning_first(desktop):
    desktop.start("displaypropertypage")
    box = desktop.window("Quorinview Warning")
    desktop.screenshot(box, "warning-box")
    desktop.click(box, -40, -22)  # its OK button, at the bottom right
    frame = desktop.window("Quorinview")
    desktop.keys(frame, "Escape")
    desktop.report()
    assert desktop.finish() == ""


def test_a_killed_helper_leaves_the_call_returning_with_the_values_restored(desktop):
    opened = desktop.start("displaycapturefilterproperties")
    window = desktop.window(desktop.properties_caption())
    desktop.keys(window, "Home")
    os.kill(int(desktop.xdotool("getwindowpid", window)), signal.SIGKILL)
    now = desktop.report()
    assert_brightness(desktop, opened, now, lowered=False)
    assert desktop.finish() == ("quorin platform: property dialog: the helper ended without closing its window "
                                "(killed by signal 9); closed as with Cancel\n")


@pytest.mark.parametrize("camera_kind", ["virtual"])  # the one made to refuse
def test_a_refused_change_is_shown_in_the_window_and_changes_nothing(desktop):
    desktop.env["REFUSE_CONTROLS"] = "1"
    opened = desktop.start("displaycapturefilterproperties")
    window = desktop.window(desktop.properties_caption())
    desktop.keys(window, "Home")
    desktop.screenshot(window, "refused-change")
    desktop.keys(window, "alt+o")
    assert_brightness(desktop, opened, desktop.report(), lowered=False)
    assert desktop.finish() == ""


def test_a_window_destroyed_from_outside_closes_as_cancel(desktop):
    # Another X client destroying the window (xdotool windowclose) is no
    # user's OK: the changes are undone and the call returns.
    opened = desktop.start("displaypropertypage")
    desktop.xdotool("windowclose", desktop.window("Quorinview Warning"))
    window = desktop.window("Quorinview")
    desktop.keys(window, "Home")
    desktop.xdotool("windowclose", window)
    now = desktop.report()
    assert_brightness(desktop, opened, now, lowered=False)
    # The toolkit's own warning of each window destroyed under it, and
    # nothing else: no fault, nothing the helper did wrong.
    lines = [line for line in desktop.finish().splitlines() if line]
    assert len(lines) == 2 and all("unexpectedly destroyed" in line for line in lines), lines


@pytest.mark.parametrize("camera_kind", ["virtual"])
def test_without_gtk_no_window_shows_the_reason_is_said_once_and_capture_goes_on(desktop):
    if os.geteuid() != 0:
        pytest.skip("hiding GTK from the helper takes a mount namespace: root")
    cache = subprocess.run(["ldconfig", "-p"], stdout=subprocess.PIPE, universal_newlines=True).stdout
    gtk = re.search(r"libgtk-3\.so\.0 \(.*?\) => (\S+)", cache).group(1)
    # An empty file in GTK's place, for the script and its helpers alone.
    desktop.prefix = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                      'mount --bind /dev/null "$0" && exec "$@"', gtk]
    opened = desktop.start("displaycapturefilterproperties", "displaycapturepinproperties")
    for method in ("displaycapturefilterproperties", "displaycapturepinproperties"):
        now = desktop.report()
        assert now["after"] == method and now["size"] == opened["size"]
    said = desktop.finish()
    assert re.fullmatch(r"quorin platform: dialogs: no window can be shown: GTK 3 is not installed "
                        r"\(\S*libgtk-3\.so\.0: file too short\)\n", said), said
