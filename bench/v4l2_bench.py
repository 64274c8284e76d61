"""Benchmark of capture from a V4L2 device beside OpenCV's V4L2 capture, as a
user pays it.

For each size and device format (BGR3, which vivid streams natively; YUYV
and NV12, which need converting), on the same device in the same run:
- quorin: the CPU of the whole process per frame while a script takes every
  frame at the camera's rate (a getbuffer() loop paced by the frame
  interval), delivery thread and getbuffer() together;
- OpenCV: the same for a cv2.VideoCapture(0, cv2.CAP_V4L2) read() loop,
  which the device paces;
- their ratio; and beside it quorin's CPU per frame while the graph runs and
  nobody grabs, a cost that OpenCV does not pay (it captures only in read());
- OpenCV's conversion alone (cv2.cvtColor of a frame in the device format,
  paced by the frame interval as the frames come), and quorin's whole
  process against it: what is left of a converted row's ratio once both
  captures' costs outside the conversion are taken away.
Each figure is the best of ROUNDS rounds of SECONDS: the least disturbed on a
shared machine; quorin's rounds and OpenCV's alternate. Meant to run where
/dev/video0 is the vivid driver:
tests/vm/vivid_vm.sh build /usr/bin/python3 bench/v4l2_bench.py

usage: v4l2_bench.py [SECONDS per round, default 5] [ROUNDS, default 5]
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "python"))

import platform_control  # noqa: E402

import quorin  # noqa: E402

SIZES = [(640, 480), (1280, 720)]
FORMATS = ["BGR3", "YUYV", "NV12"]
SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 5.0
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 5


def frame_interval(control):
    """The camera's frame interval, from the samples it delivers in a second."""
    delivered, started = control.samples_delivered(), time.monotonic()
    time.sleep(1.0)
    return (time.monotonic() - started) / max(1, control.samples_delivered() - delivered)


def quorin_round(control, width, height):
    """One round of each: CPU per frame taking every frame, and per frame
    delivered while nobody grabs; and the frame interval."""
    dev = quorin.new_Dev(0, 0)
    dev.setresolution(width, height)
    dev.getbuffer()  # running from here on
    interval = frame_interval(control)

    frames, cpu = 0, time.process_time()
    started = time.monotonic()
    due = started
    while time.monotonic() - started < SECONDS:
        dev.getbuffer()
        frames += 1
        due += interval
        pause = due - time.monotonic()
        if pause > 0:
            time.sleep(pause)
    grabbing = (time.process_time() - cpu) / frames

    # This thread sleeps: the process's CPU is the capture thread's.
    delivered, cpu = control.samples_delivered(), time.process_time()
    time.sleep(SECONDS)
    idle = (time.process_time() - cpu) / max(1, control.samples_delivered() - delivered)
    del dev
    return grabbing, idle, interval


def opencv_round(width, height, fourcc):
    """CPU per frame of one round of an OpenCV read() loop, or None where
    OpenCV cannot stream the format at the size."""
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
    frames, cpu, started = 0, time.process_time(), time.monotonic()
    while time.monotonic() - started < SECONDS:
        frames += capture.read()[0]
    capture.release()
    return (time.process_time() - cpu) / max(1, frames)


# OpenCV's conversions of the device formats that need one, and each
# format's shape as a numpy array.
CONVERSIONS = {"YUYV": ("COLOR_YUV2BGR_YUYV", lambda w, h: (h, w, 2)),
               "NV12": ("COLOR_YUV2BGR_NV12", lambda w, h: (h * 3 // 2, w))}


def conversion_round(width, height, fourcc, interval):
    """CPU per frame of OpenCV's conversion alone, paced as the frames come,
    or None where the format needs none (or OpenCV is missing)."""
    if fourcc not in CONVERSIONS:
        return None
    import cv2
    import numpy
    code, shape = CONVERSIONS[fourcc]
    picture = numpy.random.default_rng(1).integers(16, 236, shape(width, height), dtype=numpy.uint8)
    frames, cpu, started = 0, time.process_time(), time.monotonic()
    while time.monotonic() - started < SECONDS:
        cv2.cvtColor(picture, getattr(cv2, code))
        frames += 1
        time.sleep(interval)
    return (time.process_time() - cpu) / frames


def figures(control, width, height, fourcc):
    """The best of ROUNDS rounds of each figure. The two captures alternate,
    a round of each in turn, so that a slow spell of the shared machine
    falls on both of them rather than on one."""
    quorin_rounds, opencv_rounds, conversion_rounds = [], [], []
    for _ in range(ROUNDS):
        quorin_rounds.append(quorin_round(control, width, height))
        try:
            opencv_rounds.append(opencv_round(width, height, fourcc))
            conversion_rounds.append(conversion_round(width, height, fourcc, quorin_rounds[-1][2]))
        except ImportError:
            pass
    grabbing, idle, interval = (min(figure) for figure in zip(*quorin_rounds))
    opencv = min((o for o in opencv_rounds if o is not None), default=None)
    conversion = min((c for c in conversion_rounds if c is not None), default=None)
    return grabbing, idle, 1 / interval, opencv, conversion


def ms_and_ratio(grabbing, figure):
    """A figure in ms and quorin's ratio to it, or n/a twice."""
    return ("%.2f ms" % (figure * 1e3), "%.2f" % (grabbing / figure)) if figure else ("n/a", "n/a")


def main():
    control = platform_control.load()
    control.use_system_devices(True)
    print("best of %d rounds of %.0f s" % (ROUNDS, SECONDS))
    print("%-10s %-6s %5s %20s %18s %7s %20s %16s %7s" % (
        "size", "format", "fps", "quorin CPU/frame", "OpenCV CPU/frame", "ratio", "quorin, nobody grabs",
        "OpenCV cvtColor", "ratio"))
    for width, height in SIZES:
        for fourcc in FORMATS:
            control.v4l2_device_format(fourcc)
            grabbing, idle, fps, opencv, conversion = figures(control, width, height, fourcc)
            opencv_ms, ratio = ms_and_ratio(grabbing, opencv)
            conversion_ms, conversion_ratio = ms_and_ratio(grabbing, conversion)
            print("%-10s %-6s %5.1f %17.2f ms %18s %7s %17.2f ms %16s %7s" % (
                "%dx%d" % (width, height), fourcc, fps, grabbing * 1e3, opencv_ms, ratio, idle * 1e3,
                conversion_ms, conversion_ratio))


if __name__ == "__main__":
    main()
