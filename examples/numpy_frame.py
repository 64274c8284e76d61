"""A frame as a NumPy array: upright, RGB, row padding dropped."""

import numpy as np


def frame_as_array(dev):
    data, width, height = dev.getbuffer()
    stride = (width * 3 + 3) & ~3
    rows = np.frombuffer(data, dtype=np.uint8).reshape(height, stride)
    return rows[::-1, :width * 3].reshape(height, width, 3)[:, :, ::-1]


if __name__ == "__main__":
    import quorin
    print(frame_as_array(quorin.new_Dev(0, 0)).shape)
