"""Opens capture device 0, grabs a frame and saves it as a PNG.

usage: demo.py [output.png]   (default: quorin-frame.png)"""

import json
import os
import struct
import sys
import time
import zlib

import quorin

NO_DEVICES = "Creation of the enumerator for video capture devices failed."
DEMO_CAMERA = [{"name": "quorin demo camera", "sizes": [[640, 480], [320, 240]]}]


def png_from_frame(data, width, height):
    """PNG bytes of a frame as DirectShow delivers it (24-bit RGB, rows
    bottom-up, B, G, R bytes, rows padded to four bytes)."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for row in range(height - 1, -1, -1):
        bgr = data[row * stride:row * stride + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 6))
            + chunk(b"IEND", b""))


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else "quorin-frame.png"
    started = time.monotonic()
    try:
        dev = quorin.new_Dev(0, 0)
    except quorin.error as failure:
        if str(failure) != NO_DEVICES or os.environ.get("QUORIN_VIRTUAL_CAMERAS"):
            raise
        # Devices are enumerated anew on each open: declare one and retry.
        os.environ["QUORIN_VIRTUAL_CAMERAS"] = json.dumps(DEMO_CAMERA)
        print("No capture device here: declared a virtual camera.")
        started = time.monotonic()
        dev = quorin.new_Dev(0, 0)
    data, width, height = dev.getbuffer()
    elapsed = time.monotonic() - started
    with open(output, "wb") as file:
        file.write(png_from_frame(data, width, height))
    print("device 0 (%s): %dx%d frame in %.0f ms from new_Dev to the first frame; saved %s"
          % (dev.getdisplayname(), width, height, elapsed * 1000, output))


if __name__ == "__main__":
    main()
