"""The renderer's window on a desktop: Xvfb with a window manager (openbox,
so that closing a window is the manager's close), the real helper, and
xdotool, wmctrl and ImageMagick's import as the user. A script in a process
of its own opens the device and takes frames when told; this test finds its
window, compares screenshots with the frames, resizes and closes it. On
vivid (in the VM) the device is the driver's; elsewhere a virtual camera."""

import json
import os
import signal
import subprocess
import sys
import textwrap
import time

import pytest

from desktop import display as start_display, require, screenshot_folder, script_environment, tool_environment, wait_for

TOOLS = ("Xvfb", "openbox", "wmctrl", "xdotool", "import")
VIVID = bool(os.environ.get("QUORIN_V4L2_TESTS"))
CAMERAS = ["virtual"] + (["vivid"] if VIVID else [])
VIRTUAL = json.dumps([{"name": "Cam", "sizes": [[640, 480], [320, 240]]}])
TOLERANCE = 3

SCRIPT = """
import json, os, sys, time
import quorin, platform_control
from frames import pixel, sequence_number

control = platform_control.load()
dev = quorin.new_Dev(0, int(sys.argv[1]))
dev.setresolution(int(sys.argv[2]), int(sys.argv[3]))

def children():
    found = []
    for pid in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % pid) as stat:
                if int(stat.read().rsplit(")", 1)[1].split()[1]) == os.getpid():
                    found.append(int(pid))
        except (OSError, IndexError, ValueError):
            pass
    return found

for line in sys.stdin:
    command = line.split()
    report = {}
    if command[0] == "grab":
        data, width, height = dev.getbuffer()
        report = {"size": [width, height], "sequence": sequence_number(data, width, height),
                  "bars": [pixel(data, width, height, (2 * k + 1) * width // 16, height // 2) for k in range(8)]}
    elif command[0] == "resolution":
        dev.setresolution(int(command[1]), int(command[2]))
    elif command[0] == "drop":
        del dev
    statistics = control.video_window()
    report.update(at=time.monotonic(), helpers=statistics.helpers_running, helper=statistics.helper_pid,
                  shown=statistics.windows_shown, children=children())
    print(json.dumps(report), flush=True)
"""


@pytest.fixture(scope="module")
def display():
    require(*TOOLS)
    with start_display(window_manager="openbox") as name:
        yield name


@pytest.fixture(params=CAMERAS)
def camera_kind(request):
    return request.param


@pytest.fixture
def viewer(display, camera_kind, platform, tmp_path):
    viewer = Viewer(display, camera_kind, tmp_path)
    yield viewer
    viewer.stop()


class Viewer:
    def __init__(self, display, camera, tmp_path):
        self.camera = camera
        self.shots = screenshot_folder(tmp_path)
        self.env = script_environment(display, camera, VIRTUAL)
        self.tools = tool_environment(DISPLAY=display)
        self.script = None
        self.name = "^Cam$" if camera == "virtual" else "^vivid"

    def start(self, show=1):
        # A size of its own: an earlier test may have left vivid at one
        # larger than the screen, which the window manager would cut.
        size = ["640", "480"] if self.camera == "virtual" else ["640", "360"]
        self.script = subprocess.Popen([sys.executable, "-c", textwrap.dedent(SCRIPT), str(show)] + size, env=self.env,
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       universal_newlines=True)

    def ask(self, *command):
        self.script.stdin.write(" ".join(str(word) for word in command) + "\n")
        self.script.stdin.flush()
        line = self.script.stdout.readline()
        assert line, "the script ended: " + self.script.stderr.read()
        return json.loads(line)

    def stop(self):
        """What the script wrote on stderr."""
        if not self.script:
            return ""
        try:
            _, err = self.script.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            self.script.kill()
            _, err = self.script.communicate()
        self.script = None
        return err

    def windows(self):
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", self.name], env=self.tools,
                              stdout=subprocess.PIPE, universal_newlines=True).stdout.split()

    def window(self, frame, size=None):
        """The window (of that size, if one is given), once it is shown with
        the frame's picture painted: mapped is not yet painted."""
        def painted():
            found = self.windows()
            if not found or (size and self.size(found[0]) != size):
                return None
            assert_bars_match(self.screenshot(found[0], "video-window"), frame)
            return found[0]
        return wait_for("the window shown and painted", painted)

    def no_window(self, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            assert not self.windows(), "a window showed"
            time.sleep(0.1)

    def assert_capture_goes_on(self):
        """Frames keep coming, new ones (the virtual camera's count), with
        no helper left; the last report."""
        before = self.ask("grab")

        def newer():
            now = self.ask("grab")
            return now if self.camera != "virtual" or now["sequence"] > before["sequence"] else None
        after = wait_for("a newer frame", newer)
        assert after["children"] == []
        return after

    def helper_gone(self):
        """Waits until no helper runs (the window's end noticed)."""
        wait_for("the helper gone", lambda: self.ask("grab")["helpers"] == 0)

    def xdotool(self, *arguments):
        return subprocess.run(["xdotool"] + list(arguments), env=self.tools, check=True, stdout=subprocess.PIPE,
                              universal_newlines=True, timeout=30).stdout.strip()

    def size(self, window):
        geometry = dict(line.split("=") for line in self.xdotool("getwindowgeometry", "--shell", window).split())
        return int(geometry["WIDTH"]), int(geometry["HEIGHT"])

    def screenshot(self, window, name):
        from PIL import Image
        path = os.path.join(self.shots, "{}-{}.png".format(name, self.camera))
        taken = subprocess.run(["import", "-window", window, path], env=self.tools, stderr=subprocess.PIPE,
                               universal_newlines=True, timeout=60)
        # A window between map and paint, or just gone, may not be taken.
        assert taken.returncode == 0, taken.stderr
        with Image.open(path) as picture:
            return picture.convert("RGB")


def assert_bars_match(shot, frame, scale=1.0, left=0):
    """The screenshot shows the frame's bars (the picture scaled by scale,
    from column left) in its colours, within the tolerance."""
    width, height = frame["size"]
    for k, expected in enumerate(frame["bars"]):
        x = left + int(((2 * k + 1) * width // 16 + 0.5) * scale)
        y = int((height // 2 + 0.5) * scale)
        seen = shot.getpixel((x, y))
        assert all(abs(a - b) <= TOLERANCE for a, b in zip(seen, expected)), (k, seen, expected)


def test_the_window_shows_the_live_picture_upright_in_true_colours(viewer):
    viewer.start()
    frame = viewer.ask("grab")
    window = viewer.window(frame)
    assert viewer.size(window) == tuple(frame["size"])
    first = viewer.screenshot(window, "video-window")
    assert_bars_match(first, frame)
    width, height = frame["size"]
    # The virtual camera counts frames in its picture's lowest eighth; vivid's
    # overlay counts too.
    strip = (0, height - height // 8, width, height) if viewer.camera == "virtual" else (0, 0, width, height)
    wait_for("a later frame painted", lambda: first.crop(strip).tobytes() != viewer.screenshot(
        window, "video-window-later").crop(strip).tobytes())
    assert viewer.ask("grab")["helpers"] == 1
    assert viewer.stop() == ""


def test_a_resized_window_scales_the_picture_with_its_aspect_kept(viewer):
    viewer.start()
    frame = viewer.ask("grab")
    window = viewer.window(frame)
    width, height = frame["size"]
    viewer.xdotool("windowsize", "--sync", window, str(width * 3 // 2), str(height * 3 // 2))

    def grown():
        assert viewer.size(window) == (width * 3 // 2, height * 3 // 2)
        assert_bars_match(viewer.screenshot(window, "video-window-resized"), frame, scale=1.5)
        return True
    wait_for("the grown window painted", grown)
    # Wider than the picture: it keeps its height and is centred on black.
    viewer.xdotool("windowsize", "--sync", window, str(width + 200), str(height))

    def widened():
        wide = viewer.screenshot(window, "video-window-wide")
        assert wide.getpixel((50, height // 2)) == (0, 0, 0)
        assert wide.getpixel((width + 150, height // 2)) == (0, 0, 0)
        assert_bars_match(wide, frame, left=100)
        return True
    wait_for("the widened window painted", widened)
    assert viewer.stop() == ""


def test_closing_the_window_leaves_capture_going_and_it_stays_closed_for_the_run(viewer):
    viewer.start()
    window = viewer.window(viewer.ask("grab"))
    subprocess.run(["wmctrl", "-i", "-c", window], env=viewer.tools, check=True)
    viewer.helper_gone()
    assert not viewer.windows()
    viewer.assert_capture_goes_on()
    viewer.no_window(1.5)
    assert viewer.stop() == ""


def test_a_new_size_gives_a_window_of_that_size(viewer):
    viewer.start()
    frame = viewer.ask("grab")
    window = viewer.window(frame)
    smaller = (320, 240) if viewer.camera == "virtual" else (320, 180)  # a size vivid's webcam offers
    assert viewer.size(window) == tuple(frame["size"]) != smaller
    viewer.ask("resolution", *smaller)
    resized = viewer.ask("grab")
    assert tuple(resized["size"]) == smaller
    # The new helper's window may have the old one's identifier: the X
    # server gives a new client the numbers the last one left.
    viewer.window(resized, size=smaller)
    assert viewer.stop() == ""


def test_dropping_the_device_leaves_no_window_and_no_helper(viewer):
    viewer.start()
    viewer.window(viewer.ask("grab"))
    started = time.monotonic()
    dropped = viewer.ask("drop")
    # The helper is given half a second to exit, then killed: the drop never
    # waits for a helper that hangs (ten times the second it takes at most).
    print("the drop took %.2f s" % (dropped["at"] - started))
    assert dropped["at"] - started < 10.0
    assert dropped["helpers"] == 0 and dropped["children"] == []
    viewer.no_window(0.5)
    assert viewer.stop() == ""


def test_a_hidden_renderer_shows_no_window(viewer):
    viewer.start(show=0)
    viewer.ask("grab")
    viewer.no_window(2.0)
    assert viewer.ask("grab")["shown"] == 0
    assert viewer.stop() == ""


def test_a_killed_helper_leaves_capture_going_with_one_line_on_stderr(viewer):
    viewer.start()
    viewer.window(viewer.ask("grab"))
    helper = viewer.ask("grab")["helper"]
    assert helper > 0
    os.kill(helper, signal.SIGKILL)
    viewer.helper_gone()
    viewer.assert_capture_goes_on()
    viewer.no_window(1.0)
    assert viewer.stop() == ("quorin platform: video window: the helper ended while its window showed "
                             "(killed by signal 9); capture goes on without it\n")
