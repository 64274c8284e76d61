"""The emulated USB webcam (tests/uvc/uvc_camera) seen from a test: plugs a
camera of a profile into the kernel's vhci-hcd, sends it commands and reads
what it did. Needs root, vhci-hcd and uvcvideo: the VM of tests/vm/."""

import glob
import json
import os
import queue
import subprocess
import threading
import time

import quorin

HERE = os.path.dirname(os.path.abspath(__file__))
PROFILES = os.path.join(HERE, "..", "uvc", "profiles")
VHCI = "/sys/devices/platform/vhci_hcd.0"


def available():
    return os.path.isdir(VHCI) and os.path.exists(executable())


def executable():
    """QUORIN_UVC_CAMERA, else the one built beside the module under test."""
    return os.environ.get("QUORIN_UVC_CAMERA") or os.path.join(os.path.dirname(quorin.__file__), "tests",
                                                               "uvc_camera")


def profile(name):
    with open(os.path.join(PROFILES, name + ".json")) as source:
        return json.load(source)


def capture_nodes():
    """The capture nodes uvcvideo made, by their bus."""
    nodes = {}
    for sysfs in glob.glob("/sys/class/video4linux/video*"):
        try:
            device = os.path.realpath(os.path.join(sysfs, "device"))
            with open(os.path.join(sysfs, "index")) as index:
                if "vhci_hcd" not in device or index.read().strip() != "0":
                    continue  # not a USB camera's, or the metadata node beside it
        except OSError:
            continue  # a node going as the camera is pulled out
        nodes[device] = "/dev/" + os.path.basename(sysfs)
    return nodes


class Camera:
    """One emulated camera on a port of vhci-hcd (0 is the bus's first)."""

    def __init__(self, name, port=0, huffman=True, log_frames=False):
        self.name = name
        self.profile = profile(name)
        arguments = [executable(), os.path.join(PROFILES, name + ".json"), "--port", str(port)]
        if not huffman:
            arguments.append("--no-huffman")
        if log_frames:
            arguments.append("--log-frames")
        before = set(capture_nodes())
        self.process = subprocess.Popen(arguments, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        universal_newlines=True, bufsize=1)
        self.events = []
        self._new = queue.Queue()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.wait_for("attached")
        self.node = self.wait_for_node(before)

    def _read(self):
        for line in self.process.stdout:
            event = json.loads(line)
            self.events.append(event)
            self._new.put(event)

    def send(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()

    def wait_for(self, event, timeout=20, **fields):
        """The next event of that name (with those fields) from now on."""
        deadline = time.monotonic() + timeout
        while True:
            try:
                said = self._new.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise AssertionError("the camera said no %s %r within %s s" % (event, fields, timeout))
            if said["event"] == event and all(said.get(k) == v for k, v in fields.items()):
                return said

    def drain(self):
        while not self._new.empty():
            self._new.get()

    def wait_for_node(self, before, timeout=20):
        """The capture node uvcvideo made for this camera once it bound it:
        one on a device not there before."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for device, node in capture_nodes().items():
                if device not in before and os.path.exists(node):
                    return node
            time.sleep(0.05)
        raise AssertionError("uvcvideo made no capture node for %s" % self.name)

    def unplug(self):
        self.drain()
        self.send("unplug")
        self.wait_for("detached")
        deadline = time.monotonic() + 10
        while os.path.exists(self.node) and time.monotonic() < deadline:
            time.sleep(0.02)

    def plug(self):
        before = set(capture_nodes())
        self.drain()
        self.send("plug")
        self.wait_for("attached")
        self.node = self.wait_for_node(before)

    def close(self):
        if self.process.poll() is None:
            try:
                self.send("quit")
                self.process.wait(timeout=10)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
        self.process.stdin.close()
        self._reader.join(timeout=5)
        # The port is free once the kernel has let go of the device.
        deadline = time.monotonic() + 10
        while capture_nodes() and time.monotonic() < deadline:
            time.sleep(0.02)

    # --- what the profile says ---------------------------------------------

    def product_name(self):
        """The name uvcvideo gives: the product string, else its own."""
        product = self.profile["device"]["iProduct"]["string"]
        if product:
            return product
        device = self.profile["device"]
        return "UVC Camera (%04x:%04x)" % (int(device["idVendor"], 16), int(device["idProduct"], 16))

    def modes(self):
        """{(width, height): (fourcc, fastest interval)} as the platform
        chooses: the highest rate, then YUYV before MJPEG, then the order of
        the formats."""
        cost = {"YUY2": 0, "MJPG": 1}
        chosen = {}
        order = []
        for stream in self.profile["video_streaming"]:
            for fmt in stream["formats"]:
                fourcc = fmt.get("fourcc", "MJPG" if fmt["subtype"] == "FORMAT_MJPEG" else None)
                if fourcc not in cost:
                    continue
                for frame in fmt["frames"]:
                    size = (frame["wWidth"], frame["wHeight"])
                    candidate = (fourcc, min(frame["dwFrameInterval"]))
                    if size not in chosen:
                        order.append(size)
                        chosen[size] = candidate
                    elif (candidate[1], cost[candidate[0]]) < (chosen[size][1], cost[chosen[size][0]]):
                        chosen[size] = candidate
        return chosen, order


def read_counter(data, width, height):
    """The counter the emulated camera spelt in the frame's bottom strip."""
    row_stride = (width * 3 + 3) & ~3
    value = 0
    for k in range(32):
        x = (k * width // 32 + (k + 1) * width // 32) // 2
        red = data[0 * row_stride + 3 * x + 2]  # the picture's bottom row comes first
        value = value << 1 | (red > 128)
    return value
