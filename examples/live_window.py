"""Watches the camera in its window while the script takes frames: the
window opens with the first frame, shows the live picture (drag its edge to
scale it) and closes when the device is dropped. Closing it yourself leaves
the frames coming. Without a desktop no window shows; the frames come all
the same."""

import time

import quorin


def brightness(data):
    """The frame's mean byte over a sample of its pixels, 0 to 255."""
    sample = data[::97]
    return sum(sample) / len(sample)


def watch(dev, seconds=10.0, every=1.0):
    """Takes a frame every so often while the window shows; yields each
    frame's time and mean brightness."""
    started = time.monotonic()
    while time.monotonic() - started < seconds:
        data, width, height = dev.getbuffer()
        yield time.monotonic() - started, width, height, brightness(data)
        time.sleep(every)


if __name__ == "__main__":
    dev = quorin.new_Dev(0, 1)  # non-zero: the renderer's window shows
    print("Watching", dev.getdisplayname())
    for at, width, height, level in watch(dev):
        print("{:5.1f} s: {} x {}, brightness {:.0f}".format(at, width, height, level))
