"""Picks a camera by (part of) its name, and grabs frames on a worker
thread while the main thread stays free."""

import sys
import threading

import quorin


def open_camera(wanted):
    """The first device whose name holds wanted, opened; LookupError when none does."""
    for number, name in enumerate(quorin.listdevices()):
        if wanted.lower() in name.lower():
            return quorin.new_Dev(number, 0)
    raise LookupError("no camera named like %r among %r" % (wanted, quorin.listdevices()))


def grab_in_background(dev, count, frames):
    """Starts a thread that appends count frames' sizes to frames."""
    def grab():
        for _ in range(count):
            data, width, height = dev.getbuffer()
            frames.append((width, height))
    thread = threading.Thread(target=grab)
    thread.start()
    return thread


if __name__ == "__main__":
    dev = open_camera(sys.argv[1] if len(sys.argv) > 1 else "")
    frames = []
    grab_in_background(dev, 10, frames).join()
    print(dev.getdisplayname(), frames[-1])
