"""Benchmark of the renderer's window on a desktop.

Runs Xvfb (no window manager) and, for a 30 fps virtual camera at 1280x720
and at 1920x1080, opens the device with its window showing, waits until the
window paints, then for the measured seconds takes one frame a second as a
script would. Prints per size:

- frames delivered and frames the window painted, per second, and their
  ratio (the target at 1280x720 is at least 0.9);
- the helper's CPU (user and system, from /proc) per painted frame and as a
  share of one core;
- what the window adds to the delivery thread per frame (the thread CPU
  time of handing a frame to the window: the copy into a shared slot, the
  swap and the notice), against one copy of the frame into fresh memory
  (a new mapping: its pages are faulted in by the copy) measured in
  the same run, and their ratio (the target is at most 1); beside it one
  copy into three buffers kept, as the window's slots are, for what the
  copy itself costs once the memory is there.

What the figures leave out: Xvfb's own CPU (the X server's copy of each
painted window, which a real desktop's compositor or GPU does instead), and
the conversion a V4L2 camera's frames need while the window shows (every
frame is then converted on delivery; see docs/reference.md, "Conversion"). The helper's
CPU is counted in clock ticks (10 ms), so short runs are coarse.

usage: PYTHONPATH=build /usr/bin/python3 bench/video_window_bench.py [seconds]
"""

import ctypes
import json
import mmap
import os
import subprocess
import sys
import time

SIZES = [(1280, 720), (1920, 1080)]
SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 5.0

os.environ["QUORIN_VIRTUAL_CAMERAS"] = json.dumps(
    [{"name": "%dx%d" % size, "sizes": [list(size)], "fps": 30} for size in SIZES])
for name in ("WAYLAND_DISPLAY", "LD_PRELOAD"):
    os.environ.pop(name, None)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))

import quorin  # noqa: E402
import platform_control  # noqa: E402

HELPER = os.path.join(os.path.dirname(quorin.__file__), "quorin-dialogs")


def start_display():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "2560x1600x24", "-nolisten",
                               "tcp", "-noreset"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as announced:
        os.environ["DISPLAY"] = ":" + announced.readline().strip()
    return server


def helper_seconds(pid):
    """The helper's CPU so far, user and system."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def copy_ns(frame, fresh, rounds=20):
    """Thread CPU of one copy of the frame (best of rounds): into fresh
    memory (a new mapping, each page faulted in as the copy first touches
    it), or round-robin into three buffers kept, as the window's slots are."""
    kept = [mmap.mmap(-1, len(frame)) for _ in range(3)]
    best = float("inf")
    for k in range(rounds):
        target = mmap.mmap(-1, len(frame)) if fresh else kept[k % 3]
        window = ctypes.c_char.from_buffer(target)
        started = time.thread_time_ns()
        ctypes.memmove(ctypes.addressof(window), frame, len(frame))
        best = min(best, time.thread_time_ns() - started)
        del window
        if fresh:
            target.close()
    for buffer in kept:
        buffer.close()
    return best


def measure(control, index, size):
    control.reset()
    dev = quorin.new_Dev(index, 1)
    frame, width, height = dev.getbuffer()
    assert (width, height) == size
    deadline = time.monotonic() + 30
    while control.video_window().frames_painted < 10:
        if time.monotonic() > deadline:
            raise SystemExit("the window painted no frames: is quorin-dialogs built?")
        time.sleep(0.05)
    before = control.video_window()
    pid = before.helper_pid
    delivered = control.samples_delivered()
    helper = helper_seconds(pid)
    started = time.monotonic()
    while time.monotonic() - started < SECONDS:
        time.sleep(1.0)
        frame = dev.getbuffer()[0]
    elapsed = time.monotonic() - started
    after = control.video_window()
    helper = helper_seconds(pid) - helper
    delivered = control.samples_delivered() - delivered
    painted = after.frames_painted - before.frames_painted
    offered = after.frames_offered - before.frames_offered
    offer_ms = (after.offer_nanoseconds - before.offer_nanoseconds) / max(offered, 1) / 1e6
    fresh_ms = copy_ns(frame, fresh=True) / 1e6
    kept_ms = copy_ns(frame, fresh=False) / 1e6
    del dev
    print("%dx%d: delivered %.1f/s, painted %.1f/s (%.2f of delivered); helper %.2f ms per painted frame, "
          "%.0f%% of a core" % (width, height, delivered / elapsed, painted / elapsed, painted / max(delivered, 1),
                                1000 * helper / max(painted, 1), 100 * helper / elapsed))
    print("    the window on the delivery thread %.3f ms per frame; one copy into fresh memory %.3f ms "
          "(%.2f of it), into three buffers kept %.3f ms (%.2f of it)" % (
              offer_ms, fresh_ms, offer_ms / fresh_ms, kept_ms, offer_ms / kept_ms), flush=True)


def main():
    if not os.access(HELPER, os.X_OK):
        raise SystemExit("no helper beside the module: " + HELPER)
    server = start_display()
    try:
        control = platform_control.load()
        control.use_system_devices(False)
        print("the renderer's window under Xvfb, %g s per size, one frame taken a second:" % SECONDS)
        for index, size in enumerate(SIZES):
            measure(control, index, size)
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
