"""Benchmark of frame grabbing on virtual cameras.

Prints, per frame size: the time per getbuffer() call on a running camera,
the floor, and their ratio; the same ratio for a script that keeps the
previous frame alive while it grabs the next (a list of the last two); the
time from new_Dev to the first frame and from setresolution to the next
frame; the first getbuffer() of a 1000 fps camera. Then the CPU that a
30 fps grab loop at 1920x1080 costs the grabbing thread per frame, and the
share of one core that a camera's delivery thread uses at 1920x1080 and
3840x2160, 30 fps.

The floor is one copy of a frame into a fresh byte string,
bytes(memoryview(frame)): getbuffer() cannot do less, since the sample must
be copied out of the grabber into the string Python receives. It was once
bytes(bytearray(frame)), two frame-sized blocks alive at once, like the old
getbuffer(); with two such blocks the C allocator returns the memory to the
system after each call and faults it in again on the next (the free space at
the heap's top passes its trim threshold), so both sides measured page
faults rather than copies, and the ratio near 1 hid a getbuffer() seventeen
times slower than one copy. Do not bring it back.

The times to the first frame are the best of three (new_Dev, and
setresolution to and from 320x240) and include the graph's start and the
camera's own latency (first_frame_ms is 0 here). What they leave out: the
very first frame of a size in a process also pays the first touch of the
memory the interpreter gives its byte string (a page fault per 4 kB, some
20 ms at 1920x1080 on a VM), as one copy into fresh memory would. The
delivery share is the whole process's CPU while the main thread sleeps.

usage: PYTHONPATH=build /usr/bin/python3 bench/getbuffer_bench.py [--quick]
"""

import json
import os
import sys
import time

SIZES = [(320, 240), (640, 480), (1280, 720), (1920, 1080), (3840, 2160)]
QUICK = "--quick" in sys.argv

os.environ["QUORIN_VIRTUAL_CAMERAS"] = json.dumps(
    [{"name": "%dx%d" % size, "sizes": [list(size), [320, 240]]} for size in SIZES] +
    [{"name": "fast", "sizes": [[64, 48]], "fps": 1000}])
FAST = len(SIZES)

import quorin  # noqa: E402  (reads the cameras at each enumeration)


def best_of(repeats, calls, action):
    """Shortest mean time per call over several rounds: the least disturbed
    by other work on a shared machine."""
    best = float("inf")
    for _ in range(repeats):
        started = time.perf_counter()
        for _ in range(calls):
            action()
        best = min(best, (time.perf_counter() - started) / calls)
    return best


def keeping_previous(make):
    """An action that makes a frame while the previous one stays alive, as a
    script that compares each frame with the last does."""
    frames = [make(), make()]

    def action():
        frames.append(make())
        del frames[0]
    return action


def frame_rows():
    print("%-10s %11s %11s %6s %14s %15s %16s" % (
        "size", "getbuffer", "floor", "ratio", "ratio, 2 kept", "new_Dev->frame", "setres->frame"))
    for index, (width, height) in enumerate(SIZES):
        first_frame = float("inf")
        for _ in range(3):
            dev = frame = None  # the device is free, and its last frame's memory too
            started = time.perf_counter()
            dev = quorin.new_Dev(index, 0)
            frame = dev.getbuffer()[0]
            first_frame = min(first_frame, time.perf_counter() - started)
        calls = max(3, min(200, int(2e8 // len(frame)))) // (4 if QUICK else 1)
        view = memoryview(frame)
        grab = best_of(5, calls, dev.getbuffer)
        floor = best_of(5, calls, lambda: bytes(view))
        grab_kept = best_of(5, calls, keeping_previous(lambda: dev.getbuffer()[0]))
        floor_kept = best_of(5, calls, keeping_previous(lambda: bytes(view)))
        del view

        resolution = float("inf")
        for size in ((320, 240), (width, height)) * 2:
            started = time.perf_counter()
            dev.setresolution(*size)
            dev.getbuffer()
            resolution = min(resolution, time.perf_counter() - started)
        del dev
        print("%-10s %8.3f ms %8.3f ms %6.2f %14.2f %12.1f ms %13.1f ms" % (
            "%dx%d" % (width, height), grab * 1e3, floor * 1e3, grab / floor, grab_kept / floor_kept,
            first_frame * 1e3, resolution * 1e3))


def grab_loop_cost():
    """A script that grabs every frame of a 30 fps camera at 1080p: the CPU
    of its own thread per frame (getbuffer and the loop), and the share of a
    core that makes."""
    dev = quorin.new_Dev(SIZES.index((1920, 1080)), 0)
    dev.getbuffer()
    frames = 30 if QUICK else 150
    period = 1 / 30
    cpu, wall = time.thread_time(), time.perf_counter()
    due = wall
    for _ in range(frames):
        dev.getbuffer()
        due += period
        pause = due - time.perf_counter()
        if pause > 0:
            time.sleep(pause)
    cpu, wall = time.thread_time() - cpu, time.perf_counter() - wall
    print("30 fps grab loop at 1920x1080: %.2f ms of CPU per frame in the grabbing thread, %.1f%% of one core" % (
        cpu / frames * 1e3, 100 * cpu / wall))
    del dev


def first_frame_at_1000_fps():
    """The first getbuffer() of a 1000 fps camera (first_frame_ms 0: its
    first frame is made as its graph starts): the wait is woken by the frame
    it waits for, so the call takes the graph's start and one frame's
    delivery, against a limit of 2 ms."""
    times = []
    for _ in range(20 if QUICK else 100):
        dev = quorin.new_Dev(FAST, 0)
        started = time.perf_counter()
        dev.getbuffer()
        times.append(time.perf_counter() - started)
        del dev
    times.sort()
    print("first getbuffer() of a 1000 fps camera: best %.2f ms, median %.2f ms, 90th percentile %.2f ms"
          " (limit 2 ms)" % (
              times[0] * 1e3, times[len(times) // 2] * 1e3, times[len(times) * 9 // 10] * 1e3))


def delivery_share(size):
    dev = quorin.new_Dev(SIZES.index(size), 0)
    dev.getbuffer()  # the graph runs from here on
    seconds = 2.0 if QUICK else 5.0
    cpu, wall = time.process_time(), time.perf_counter()
    time.sleep(seconds)  # this thread idles; the process's CPU is the camera's
    cpu, wall = time.process_time() - cpu, time.perf_counter() - wall
    print("delivery thread at %dx%d, 30 fps: %.2f%% of one core" % (size[0], size[1], 100 * cpu / wall))
    del dev


if __name__ == "__main__":
    frame_rows()
    first_frame_at_1000_fps()
    grab_loop_cost()
    delivery_share((1920, 1080))
    delivery_share((3840, 2160))
