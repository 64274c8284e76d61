"""A real V4L2 capture device: the kernel's vivid test driver as
/dev/video0. Run inside a VM by tests/vm/vivid_vm.sh."""

import os
import re
import subprocess
import time

import pytest

import quorin

from conftest import exits_cleanly_while_a_daemon_thread_captures, run_python
from frames import pixel, stride

pytestmark = pytest.mark.skipif(not os.environ.get("QUORIN_V4L2_TESTS"),
                                reason="needs the vivid driver: tests/vm/vivid_vm.sh runs these")

BUSY = "Adding the capture filter to the filter graph failed.\nDevice maybe not connected or already in use."


@pytest.fixture
def vivid(platform):
    platform.use_system_devices(True)
    return platform


def assert_colour_bars(data, width, height):
    """vivid's default picture: 75% colour bars, white to black, under lines
    of text that reach far down a small frame; the lowest rows are bars."""
    lit = [(1, 1, 1), (1, 1, 0), (0, 1, 1), (0, 1, 0), (1, 0, 1), (1, 0, 0), (0, 0, 1), (0, 0, 0)]
    for bar, channels in enumerate(lit):
        rgb = pixel(data, width, height, (2 * bar + 1) * width // 16, height * 7 // 8)
        for value, on in zip(rgb, channels):
            assert (value > 150) if on else (value < 60), (bar, rgb)


def test_capture_node_comes_first_with_the_drivers_name(vivid):
    vivid.add_camera("Virtual")
    assert quorin.new_Dev(0, 0).getdisplayname().startswith("vivid")
    assert quorin.new_Dev(1, 0).getdisplayname() == "Virtual"


# vivid streams B, G, R natively at the same rates as the rest; YUV goes
# through libyuv.
@pytest.mark.parametrize("device_format", [None, "YUYV", "NV12"])
def test_frames_at_two_sizes_have_the_right_length_and_the_drivers_picture(vivid, device_format):
    vivid.v4l2_device_format(device_format)
    dev = quorin.new_Dev(0, 0)
    data, width, height = dev.getbuffer()
    assert len(data) == stride(width) * height
    assert_colour_bars(data, width, height)
    for size in ((1280, 720), (320, 180)):
        if size == (width, height):
            continue
        dev.setresolution(*size)
        data, w, h = dev.getbuffer()
        assert (w, h, len(data)) == (size[0], size[1], stride(size[0]) * size[1])
        assert_colour_bars(data, w, h)


def bar_centres(data, width, height):
    """The (R, G, B) at the centre of each of vivid's eight bars, low in the
    picture where no text is."""
    return [pixel(data, width, height, (2 * bar + 1) * width // 16, height * 7 // 8) for bar in range(8)]


@pytest.mark.parametrize("device_format", ["YUYV", "UYVY", "NV12", "NV21", "YU12", "YV12"])
def test_yuv_frames_have_the_colours_of_the_drivers_own_rgb(vivid, device_format):
    # vivid's YUV is limited-range BT.601 (its default for sRGB): converted
    # right, its bars are those of its B, G, R stream, black black. libyuv
    # keeps its coefficients in 6 bits and clamps blue's 2.018 to 2.0, so
    # 75% blue comes out 4 low (187 for 191) and 75% red 3 low: the bound.
    vivid.v4l2_device_format("BGR3")
    reference = quorin.new_Dev(0, 0).getbuffer()
    vivid.v4l2_device_format(device_format)
    frame = quorin.new_Dev(0, 0).getbuffer()
    assert frame[1:] == reference[1:]
    for bar, (got, want) in enumerate(zip(bar_centres(*frame), bar_centres(*reference))):
        assert all(abs(a - b) <= 4 for a, b in zip(got, want)), (bar, got, want)


def v4l2_ctl(*arguments):
    return subprocess.run(["v4l2-ctl", "-d", "/dev/video0"] + list(arguments), stdout=subprocess.PIPE,
                          universal_newlines=True, check=True).stdout


@pytest.mark.parametrize("size", [(640, 360), (1280, 720)])
def test_the_node_streams_at_the_fastest_interval_it_lists_for_the_size(vivid, size):
    dev = quorin.new_Dev(0, 0)
    dev.setresolution(*size)
    dev.getbuffer()
    streamed = v4l2_ctl("--get-fmt-video")
    fourcc = re.search(r"Pixel Format\s*: '(\w+)", streamed).group(1)
    assert re.search(r"Width/Height\s*: (\d+)/(\d+)", streamed).groups() == tuple(map(str, size))
    listed = v4l2_ctl("--list-frameintervals=width=%d,height=%d,pixelformat=%s" % (size + (fourcc,)))
    fastest = max(float(fps) for fps in re.findall(r"\(([\d.]+) fps\)", listed))
    running = float(re.search(r"Frames per second: ([\d.]+)", v4l2_ctl("--get-parm")).group(1))
    assert running == fastest


def test_size_the_device_does_not_offer_is_refused_and_the_old_one_kept(vivid):
    dev = quorin.new_Dev(0, 0)
    before = dev.getbuffer()[1:]
    with pytest.raises(quorin.error) as raised:
        dev.setresolution(123, 45)
    assert str(raised.value) == "Cannot set capture resolution."
    assert dev.getbuffer()[1:] == before


def test_opening_the_device_twice_is_busy_until_the_first_goes(vivid):
    first = quorin.new_Dev(0, 0)
    first.getbuffer()
    with pytest.raises(quorin.error) as raised:
        quorin.new_Dev(0, 0)
    assert str(raised.value) == BUSY
    del first
    assert quorin.new_Dev(0, 0).getbuffer()[1] > 0


def test_a_device_stays_held_while_its_graph_is_built_though_stopped(vivid):
    dev = quorin.new_Dev(0, 0)
    dev.getbuffer()
    with pytest.raises(quorin.error):
        dev.setresolution(123, 45)  # refused: the graph is stopped, and built
    with pytest.raises(quorin.error) as raised:
        quorin.new_Dev(0, 0)
    assert str(raised.value) == BUSY
    # Nor can another process take it meanwhile.
    other = subprocess.run(["v4l2-ctl", "-d", "/dev/video0", "--stream-mmap", "--stream-count=1"],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
    assert "VIDIOC_REQBUFS returned -1 (Device or resource busy)" in other.stdout, other.stdout
    del dev
    assert quorin.new_Dev(0, 0).getbuffer()[1] > 0


def test_device_that_another_process_streams_from_is_busy(vivid, tmp_path):
    ready = tmp_path / "streaming"
    holder = run_python("""
        import os, sys, time, quorin
        dev = quorin.new_Dev(0, 0)
        dev.getbuffer()
        open(%r, "w").close()
        time.sleep(20)
    """ % str(ready), background=True)
    try:
        deadline = time.monotonic() + 60
        while not ready.exists() and holder.poll() is None and time.monotonic() < deadline:
            time.sleep(0.1)
        assert ready.exists(), holder.communicate()
        with pytest.raises(quorin.error) as raised:
            quorin.new_Dev(0, 0)
        assert str(raised.value) == BUSY
    finally:
        holder.kill()
        holder.wait()


def test_first_frame_arrives_well_within_the_limit(vivid):
    started = time.monotonic()
    quorin.new_Dev(0, 0).getbuffer()
    latency = time.monotonic() - started
    print("new_Dev to first frame on vivid: %.0f ms" % (latency * 1000))
    assert latency < 5


def test_an_interpreter_that_exits_while_a_daemon_thread_captures_ends_cleanly(vivid):
    exits_cleanly_while_a_daemon_thread_captures()  # its delivery thread polls the node


def press_button(node, name):
    """Presses a button control of a V4L2 node, found by its name."""
    import ctypes
    import fcntl

    class QueryControl(ctypes.Structure):
        _fields_ = [("id", ctypes.c_uint32), ("type", ctypes.c_uint32), ("name", ctypes.c_char * 32),
                    ("minimum", ctypes.c_int32), ("maximum", ctypes.c_int32), ("step", ctypes.c_int32),
                    ("default_value", ctypes.c_int32), ("flags", ctypes.c_uint32), ("reserved", ctypes.c_uint32 * 2)]

    class Control(ctypes.Structure):
        _fields_ = [("id", ctypes.c_uint32), ("value", ctypes.c_int32)]

    query_control, set_control, next_control = 0xC0445624, 0xC008561C, 0x80000000
    query = QueryControl(id=next_control)
    while True:
        fcntl.ioctl(node, query_control, query)
        if query.name.decode() == name:
            fcntl.ioctl(node, set_control, Control(id=query.id, value=1))
            return
        query.id |= next_control


def test_zz_unplugged_device_stops_delivering_without_crash_or_hang(vivid):
    # Runs last: vivid comes back only once every handle on it is closed.
    dev = quorin.new_Dev(0, 0)
    dev.getbuffer()
    # vivid acts as an unplugged USB device. Only the file quorin holds the
    # node by may set a control while it holds it: press through that one.
    held = [int(fd) for fd in os.listdir("/proc/self/fd")
            if os.path.realpath("/proc/self/fd/" + fd) == "/dev/video0"]
    assert len(held) == 1
    press_button(held[0], "Disconnect")
    time.sleep(0.5)
    delivered = vivid.samples_delivered()
    time.sleep(0.5)
    assert vivid.samples_delivered() == delivered
    with pytest.raises(quorin.error, match="^The capture device was disconnected.$"):
        dev.getbuffer()  # never the last frame again
    started = time.monotonic()
    del dev
    assert time.monotonic() - started < 2


def test_brightness_contrast_saturation_and_hue_reach_the_drivers_picture(vivid):
    dev = quorin.new_Dev(0, 0)
    controls = dev.getcontrols()
    print("vivid's settings:", controls)
    assert {"brightness", "contrast", "saturation", "hue"} <= set(controls)

    def bar(index):
        """The colour of bar index (0 white ... 7 black) in the next frame."""
        data, width, height = dev.getbuffer()
        return pixel(data, width, height, (2 * index + 1) * width // 16, height * 7 // 8)

    def until(seen, what):
        deadline = time.monotonic() + 10
        while not seen() and time.monotonic() < deadline:
            time.sleep(0.05)
        assert seen(), what

    try:
        white, yellow, black = bar(0), bar(1), bar(7)
        dev.setcontrol("brightness", controls["brightness"]["maximum"])
        until(lambda: min(bar(7)) > black[0] + 60, "a brighter black bar")
        dev.setcontrol("brightness", controls["brightness"]["default"])
        dev.setcontrol("contrast", controls["contrast"]["minimum"])
        until(lambda: abs(bar(0)[1] - bar(7)[1]) < 30, "white and black alike without contrast")
        dev.setcontrol("contrast", controls["contrast"]["default"])
        dev.setcontrol("saturation", controls["saturation"]["minimum"])
        until(lambda: max(bar(1)) - min(bar(1)) < 30, "a grey yellow bar without saturation")
        dev.setcontrol("saturation", controls["saturation"]["default"])
        dev.setcontrol("hue", controls["hue"]["minimum"])  # half a turn: yellow goes blue
        until(lambda: bar(1)[2] > bar(1)[0] + 60, "a blue yellow bar at the other hue")
        print("white %s, yellow %s, black %s at the defaults" % (white, yellow, black))
    finally:
        for name in ("brightness", "contrast", "saturation", "hue"):
            dev.setcontrol(name, controls[name]["default"])
    # A control in its automatic mode (vivid's gain) moves on its own.
    settle = lambda found: {name: dict(c, value=None) if c["auto"] else c for name, c in found.items()}
    assert settle(dev.getcontrols()) == settle(controls)
