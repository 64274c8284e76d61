"""Reading frames as the platform delivers them: 24-bit RGB, rows bottom-up,
B, G, R bytes, rows padded to four bytes."""

BARS = [(255, 255, 255), (255, 255, 0), (0, 255, 255), (0, 255, 0),
        (255, 0, 255), (255, 0, 0), (0, 0, 255), (0, 0, 0)]


def stride(width):
    return (width * 3 + 3) & ~3


def pixel(data, width, height, x, y):
    """(R, G, B) at column x of picture row y (row 0 at the top)."""
    offset = (height - 1 - y) * stride(width) + 3 * x
    blue, green, red = data[offset:offset + 3]
    return red, green, blue


def sequence_number(data, width, height):
    """The counter strip's value, read from the picture's bottom row."""
    value = 0
    for k in range(32):
        x = (k * width // 32 + (k + 1) * width // 32) // 2
        value = value << 1 | (pixel(data, width, height, x, height - 1) == (255, 255, 255))
    return value
