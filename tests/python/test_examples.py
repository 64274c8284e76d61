"""The examples and the demo's PNG writer give the picture upright, in RGB."""

import os
import sys
import zlib

import pytest

import quorin

from frames import BARS

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "examples"))
sys.path.insert(0, os.path.join(ROOT, "scripts"))

WIDTH, HEIGHT = 174, 96  # rows need padding


def expected_pixel(x, y):
    assert y < HEIGHT - HEIGHT // 8
    return BARS[max(i for i in range(8) if i * WIDTH // 8 <= x)]


def test_numpy_array_is_upright_rgb_without_padding(platform):
    np = pytest.importorskip("numpy")
    from numpy_frame import frame_as_array
    platform.add_camera("Cam", sizes=[[WIDTH, HEIGHT]])
    array = frame_as_array(quorin.new_Dev(0, 0))
    assert array.shape == (HEIGHT, WIDTH, 3) and array.dtype == np.uint8
    for x in (0, 21, 22, 87, 173):
        assert tuple(array[0, x]) == expected_pixel(x, 0)


def test_a_camera_picked_by_name_is_grabbed_on_a_worker_thread(platform):
    from pick_camera import grab_in_background, open_camera
    platform.add_camera("Front", sizes=[[64, 48]])
    platform.add_camera("USB Webcam C270", sizes=[[WIDTH, HEIGHT]])
    dev = open_camera("c270")
    assert dev.getdisplayname() == "USB Webcam C270"
    frames = []
    grab_in_background(dev, 3, frames).join()
    assert frames == [(WIDTH, HEIGHT)] * 3
    with pytest.raises(LookupError):
        open_camera("rear")


def test_pillow_image_is_upright_rgb(platform):
    pytest.importorskip("PIL")
    from pillow_frame import frame_as_image
    platform.add_camera("Cam", sizes=[[WIDTH, HEIGHT]])
    image = frame_as_image(quorin.new_Dev(0, 0))
    assert image.size == (WIDTH, HEIGHT) and image.mode == "RGB"
    for x in (0, 21, 22, 87, 173):
        assert image.getpixel((x, 10)) == expected_pixel(x, 10)


def test_demo_png_holds_the_upright_picture(platform):
    from demo import png_from_frame
    platform.add_camera("Cam", sizes=[[WIDTH, HEIGHT]])
    png = png_from_frame(*quorin.new_Dev(0, 0).getbuffer())
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    idat = png.index(b"IDAT")
    length = int.from_bytes(png[idat - 4:idat], "big")
    raw = zlib.decompress(png[idat + 4:idat + 4 + length])
    first_row = raw[1:1 + WIDTH * 3]
    for x in (0, 21, 22, 87, 173):
        assert tuple(first_row[3 * x:3 * x + 3]) == expected_pixel(x, 0)


def test_the_live_window_example_takes_frames_while_it_would_show(platform):
    # Headless here: the window is the desktop tests' to check.
    from live_window import watch
    platform.add_camera("Cam", sizes=[[WIDTH, HEIGHT]])
    frames = list(watch(quorin.new_Dev(0, 1), seconds=0.25, every=0.1))
    assert len(frames) >= 2 and all(frame[1:3] == (WIDTH, HEIGHT) for frame in frames)
    assert 0 < frames[0][3] < 255


def test_fixed_exposure_sets_what_the_camera_offers_by_hand_within_its_steps(platform, capsys):
    from fixed_exposure import fix_settings
    platform.add_camera("Cam", sizes=[[WIDTH, HEIGHT]], controls={
        "whitebalance": {"minimum": 2800, "maximum": 6500, "step": 300, "default": 4600, "auto": True}})
    dev = quorin.new_Dev(0, 0)
    assert fix_settings(dev) == {"whitebalance": 4900}
    assert dev.getcontrols()["whitebalance"]["auto"] is False
    assert capsys.readouterr().err == "The camera has no exposure setting: left as it is\n"
