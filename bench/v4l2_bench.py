"""Benchmark of capture from a V4L2 device beside OpenCV's V4L2 capture.

For each size and device format (BGR3, which vivid streams natively, and
YUYV, which needs converting): the CPU time per frame that quorin's delivery
spends (dequeue, conversion to RGB, the copy into the sample), the CPU time
per getbuffer() call, and the CPU time per frame of OpenCV's
cv2.VideoCapture(0, cv2.CAP_V4L2) reading the same device in the same format. Meant to run where /dev/video0 is the
vivid driver: tests/vm/vivid_vm.sh build /usr/bin/python3 bench/v4l2_bench.py

usage: v4l2_bench.py [SECONDS per measurement, default 4]
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "python"))

import platform_control  # noqa: E402

import quorin  # noqa: E402

SIZES = [(640, 480), (1280, 720)]
FORMATS = ["BGR3", "YUYV"]
SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 4.0
ROUNDS = 3  # each figure is the best round: the least disturbed on a shared machine


def quorin_figures(control, width, height):
    dev = quorin.new_Dev(0, 0)
    dev.setresolution(width, height)
    dev.getbuffer()  # running from here on

    def delivery():
        # This thread sleeps: the process's CPU is the capture thread's.
        delivered, cpu = control.samples_delivered(), time.process_time()
        time.sleep(SECONDS)
        return (time.process_time() - cpu) / max(1, control.samples_delivered() - delivered)

    def grabbing():
        # getbuffer() in this thread: its own CPU per call.
        calls, cpu, deadline = 0, time.thread_time(), time.monotonic() + SECONDS
        while time.monotonic() < deadline:
            dev.getbuffer()
            calls += 1
        return (time.thread_time() - cpu) / calls

    return min(delivery() for _ in range(ROUNDS)), min(grabbing() for _ in range(ROUNDS))


def opencv_per_frame(width, height, fourcc):
    import cv2
    capture = cv2.VideoCapture(0, cv2.CAP_V4L2)
    capture.set(cv2.CAP_PROP_FOURCC, cv2.VideoWriter_fourcc(*fourcc))
    capture.set(cv2.CAP_PROP_FRAME_WIDTH, width)
    capture.set(cv2.CAP_PROP_FRAME_HEIGHT, height)
    ok, frame = capture.read()
    streamed = int(capture.get(cv2.CAP_PROP_FOURCC)).to_bytes(4, "little").decode(errors="replace")
    if not ok or frame.shape[:2] != (height, width) or streamed != fourcc:
        capture.release()
        return None

    def reading():
        frames, cpu, deadline = 0, time.process_time(), time.monotonic() + SECONDS
        while time.monotonic() < deadline:
            frames += capture.read()[0]
        return (time.process_time() - cpu) / max(1, frames)

    per_frame = min(reading() for _ in range(ROUNDS))
    capture.release()
    return per_frame


def main():
    control = platform_control.load()
    control.use_system_devices(True)
    print("%-10s %-6s %18s %22s %18s %7s" % ("size", "format", "quorin CPU/frame", "quorin CPU/getbuffer",
                                             "OpenCV CPU/frame", "ratio"))
    for width, height in SIZES:
        for fourcc in FORMATS:
            control.v4l2_device_format(fourcc)
            per_frame, per_call = quorin_figures(control, width, height)
            try:
                opencv = opencv_per_frame(width, height, fourcc)
            except ImportError:
                opencv = None
            row(width, height, fourcc, per_frame, per_call, opencv)


def row(width, height, fourcc, per_frame, per_call, opencv):
    print("%-10s %-6s %15.2f ms %19.2f ms %18s %7s" % (
        "%dx%d" % (width, height), fourcc, per_frame * 1e3, per_call * 1e3,
        "%.2f ms" % (opencv * 1e3) if opencv else "n/a", "%.2f" % (per_frame / opencv) if opencv else "n/a"))


if __name__ == "__main__":
    main()
