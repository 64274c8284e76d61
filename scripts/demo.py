"""Opens capture device 0 and reports what it did."""

import time

import quorin

started = time.monotonic()
dev = quorin.new_Dev(0, 0)
print("Opened device 0 in %.1f ms." % ((time.monotonic() - started) * 1000))
