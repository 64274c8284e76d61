"""A frame as a Pillow image: upright, RGB."""

from PIL import Image


def frame_as_image(dev):
    data, width, height = dev.getbuffer()
    stride = (width * 3 + 3) & ~3
    # Pillow's raw decoder reads B, G, R rows of the given stride, bottom-up
    # when the orientation is -1.
    return Image.frombuffer("RGB", (width, height), data, "raw", "BGR", stride, -1)


if __name__ == "__main__":
    import quorin
    frame_as_image(quorin.new_Dev(0, 0)).save("quorin-frame.png")
