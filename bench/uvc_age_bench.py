"""How old a frame is when a script gets it, on a USB webcam through the
kernel's uvcvideo: the emulated HD webcam (tests/uvc/, the Logitech C270's
profile) at 30 frames a second, read by quorin and by OpenCV's V4L2 capture
in the same run. Runs in the VM:

    VM_VIVID=0 tests/vm/vivid_vm.sh build /usr/bin/python3 bench/uvc_age_bench.py [SECONDS]

The camera records when each frame's last byte left it; the script reads the
counter spelt in the frame it got. For each reader and size it prints:
- the frame's age when the call returned, median and 95th percentile, for a
  script that takes a frame every 200 ms;
- distinct frames a second, and the process's CPU per distinct frame, for a
  script that takes frames as fast as it can.
What the age leaves out: the camera's own exposure and encoding (a real
camera adds one frame interval or more before the first byte leaves), and
the USB bus (vhci-hcd hands the bytes over at once).
"""

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))

import quorin  # noqa: E402
import uvc_emulator  # noqa: E402

SIZES = [((640, 480), "YUYV"), ((1280, 720), "MJPG")]
INTERVAL_MS = 1000 / 30


def counter_top_down(frame):
    """The counter in an OpenCV frame (top-down rows, B, G, R)."""
    height, width = frame.shape[:2]
    value = 0
    for k in range(32):
        x = (k * width // 32 + (k + 1) * width // 32) // 2
        value = value << 1 | int(frame[height - 1, x, 2] > 128)
    return value


class Quorin:
    name = "quorin"

    def __init__(self, camera, size, fourcc):
        self.dev = quorin.new_Dev(0, 0)
        self.dev.setresolution(*size)
        self.dev.getbuffer()

    def take(self):
        return uvc_emulator.read_counter(*self.dev.getbuffer())

    def close(self):
        del self.dev


class OpenCv:
    name = "OpenCV"

    def __init__(self, camera, size, fourcc):
        import cv2
        self.capture = cv2.VideoCapture(int(camera.node[len("/dev/video"):]), cv2.CAP_V4L2)
        self.capture.set(cv2.CAP_PROP_FOURCC, cv2.VideoWriter_fourcc(*fourcc))
        self.capture.set(cv2.CAP_PROP_FRAME_WIDTH, size[0])
        self.capture.set(cv2.CAP_PROP_FRAME_HEIGHT, size[1])
        self.capture.set(cv2.CAP_PROP_FPS, 30)
        ok, frame = self.capture.read()
        assert ok and frame.shape[:2] == (size[1], size[0]), frame.shape

    def take(self):
        ok, frame = self.capture.read()
        assert ok
        return counter_top_down(frame)

    def close(self):
        self.capture.release()


def sent_times(camera):
    return {event["counter"]: event["ns"] for event in list(camera.events) if event["event"] == "frame"}


def measure(camera, reader_type, size, fourcc, seconds):
    reader = reader_type(camera, size, fourcc)
    try:
        # A frame every 200 ms: how old is it?
        taken = []
        finish = time.monotonic() + seconds
        while time.monotonic() < finish:
            counter = reader.take()
            taken.append((counter, time.monotonic_ns()))
            time.sleep(0.2)
        sent = sent_times(camera)
        ages = sorted((got - sent[counter]) / 1e6 for counter, got in taken if counter in sent)
        # As fast as it can: distinct frames, and the CPU they cost.
        seen = set()
        cpu, wall = time.process_time(), time.monotonic()
        while time.monotonic() - wall < seconds:
            seen.add(reader.take())
        cpu, wall = time.process_time() - cpu, time.monotonic() - wall
    finally:
        reader.close()
    return {
        "median": statistics.median(ages),
        "p95": ages[min(len(ages) - 1, int(0.95 * len(ages)))],
        "missed": len(taken) - len(ages),
        "fps": len(seen) / wall,
        "cpu": cpu * 1000 / max(1, len(seen)),
    }


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 5
    if not uvc_emulator.available():
        print("uvc_age_bench: needs uvcvideo and vhci-hcd (the VM of tests/vm/)")
        return 77
    camera = uvc_emulator.Camera("logitech-c270", log_frames=True)
    try:
        print("frame age on the emulated %s at 30 fps (%.0f s a figure; one frame every %.1f ms)"
              % (camera.product_name(), seconds, INTERVAL_MS))
        print("%-9s %-5s %-7s %10s %10s %8s %12s %7s" % ("size", "form", "reader", "age med", "age p95", "fps",
                                                       "CPU/frame", "ratio"))
        for size, fourcc in SIZES:
            results = {}
            for reader_type in (Quorin, OpenCv):
                results[reader_type.name] = measure(camera, reader_type, size, fourcc, seconds)
            for name, r in results.items():
                ratio = r["median"] / results["OpenCV"]["median"] if name == "quorin" else 1.0
                print("%-9s %-5s %-7s %8.1f ms %7.1f ms %8.1f %9.2f ms %7.2f" % (
                    "%dx%d" % size, fourcc, name, r["median"], r["p95"], r["fps"], r["cpu"], ratio))
    finally:
        camera.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
