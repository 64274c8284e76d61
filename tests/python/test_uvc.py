"""USB webcams through the kernel's own UVC driver: the emulated cameras of
tests/uvc/ plugged into vhci-hcd, bound by uvcvideo as real ones are. Run
inside the VM (tests/vm/vivid_vm.sh with VM_VIVID=0 and QUORIN_UVC_TESTS=1)."""

import gc
import os
import subprocess
import threading
import time

import pytest

import quorin
import uvc_emulator
from conftest import close, shown
from frames import BARS, pixel
from uvc_emulator import read_counter

pytestmark = pytest.mark.skipif(not os.environ.get("QUORIN_UVC_TESTS") or not uvc_emulator.available(),
                                reason="needs uvcvideo and vhci-hcd: tests/vm/vivid_vm.sh runs these")

PROFILES = ["logitech-c270", "anker-powerconf-c200", "generic-bulk-349c-3307", "chicony-04f2-b1b4-thinkpad-x100e"]
LOST = "The capture device was disconnected."
MISSING = "The device with the specified device number does not exist."
NONE = "Creation of the enumerator for video capture devices failed."  # no device at all
BRIGHTNESS = 0x00980900


@pytest.fixture
def usb(platform):
    """Plugs emulated cameras in (usb(profile, port=...)); each is pulled
    out at the end."""
    platform.use_system_devices(True)
    cameras = []

    def plug(name, **options):
        camera = uvc_emulator.Camera(name, **options)
        cameras.append(camera)
        return camera

    yield plug
    gc.collect()
    for camera in cameras:
        camera.close()


def assert_bars(data, width, height, bound=8):
    for bar, colour in enumerate(BARS):
        got = pixel(data, width, height, (2 * bar + 1) * width // 16, height // 3)
        assert all(abs(a - b) <= bound for a, b in zip(got, colour)), (bar, got, colour)


def process_threads():
    return len(os.listdir("/proc/self/task"))


def process_descriptors():
    return sorted(os.listdir("/proc/self/fd"))


@pytest.mark.parametrize("name", PROFILES)
def test_every_size_streams_its_fastest_mode_with_the_cameras_picture(usb, name):
    camera = usb(name)
    modes, order = camera.modes()
    dev = quorin.new_Dev(0, 0)
    assert dev.getdisplayname() == camera.product_name()
    for size in order + [order[0]]:
        if size != order[0] or camera.events[-1]["event"] != "attached":
            dev.setresolution(*size)
        camera.drain()
        data, width, height = dev.getbuffer()
        assert (width, height) == size
        commit = camera.wait_for("commit")
        assert (commit["fourcc"], commit["interval"]) == modes[size], size
        assert (commit["width"], commit["height"]) == size
        assert_bars(data, width, height)
        first = read_counter(data, width, height)
        time.sleep(2.5 * modes[size][1] / 1e7)
        assert read_counter(*dev.getbuffer()) > first, size


@pytest.mark.parametrize("name", PROFILES)
def test_the_filter_dialog_lists_the_cameras_controls_and_a_change_reaches_it(usb, helper, name):
    camera = usb(name)
    processing_unit = camera.profile["video_control"]["processing_unit"]
    dev = quorin.new_Dev(0, 0)
    helper.plan(shown(), {"send": {"set": {"id": BRIGHTNESS, "value": 10}}}, close("ok"))
    camera.drain()
    dev.displaycapturefilterproperties()
    opening, changed = helper.received()[:2]
    listed = [control["name"] for page in opening["pages"] for control in page["controls"]]
    print(name, "lists", listed)
    for control in processing_unit["controls"]:
        if control in ("Brightness", "Contrast", "Saturation", "Sharpness", "Gain"):
            assert control in listed
    assert "refused" not in changed
    event = camera.wait_for("set_cur", unit=processing_unit["bUnitID"], selector=2)
    assert event["value"] == [10, 0]
    assert dev.getbuffer()[1:] == camera.modes()[1][0]


@pytest.mark.parametrize("name", PROFILES)
def test_a_camera_unplugged_while_streaming_raises_within_a_second_and_leaves_nothing(usb, name):
    camera = usb(name)
    threads, descriptors = process_threads(), process_descriptors()
    dev = quorin.new_Dev(0, 0)
    size = dev.getbuffer()[1:]
    camera.send("unplug")
    unplugged = time.monotonic()
    # A call begun a second after the unplug gives no frame (one begun
    # before may still give the last, converted as it is taken).
    with pytest.raises(quorin.error) as raised:
        while True:
            started = time.monotonic()
            dev.getbuffer()
            assert started - unplugged < 1
    print("%s: raised %.0f ms after the unplug" % (name, (time.monotonic() - unplugged) * 1000))
    assert str(raised.value) == LOST
    for _ in range(3):
        started = time.monotonic()
        with pytest.raises(quorin.error, match="^%s$" % LOST):
            dev.getbuffer()
        assert time.monotonic() - started < 0.1
    with pytest.raises(quorin.error) as refused:
        dev.setresolution(*size)
    print("%s: setresolution after the unplug: %s" % (name, refused.value))
    assert str(refused.value) == "Problem after setting the capture resolution."
    started = time.monotonic()
    del dev
    gc.collect()
    assert time.monotonic() - started < 0.5
    assert process_threads() == threads
    assert process_descriptors() == descriptors


def test_a_camera_unplugged_while_stopped_or_in_a_dialog_raises_at_once(usb, helper):
    camera = usb("logitech-c270")
    dev = quorin.new_Dev(0, 0)
    camera.unplug()
    started = time.monotonic()
    with pytest.raises(quorin.error, match="^%s$" % LOST):
        dev.getbuffer()
    assert time.monotonic() - started < 1
    with pytest.raises(quorin.error, match="^%s$" % NONE):
        quorin.new_Dev(0, 0)
    del dev

    # Plugged back in, it is found again; then pulled out while its window
    # is open: the dialog closes as usual and the rebuild finds no device.
    camera.plug()
    dev = quorin.new_Dev(0, 0)
    dev.getbuffer()
    helper.plan(shown(), {"sleep": 2}, close("ok"))
    puller = subprocess.Popen(["sh", "-c", "sleep 1; echo unplug"], stdout=camera.process.stdin)
    with pytest.raises(quorin.error) as raised:
        dev.displaycapturefilterproperties()
    puller.wait()
    print("the filter dialog on a camera pulled out meanwhile: %s" % raised.value)
    assert str(raised.value) == NONE


def test_two_cameras_are_numbered_by_their_port_whatever_was_plugged_first(usb):
    second = usb("logitech-c270", port=1)
    first = usb("chicony-04f2-b1b4-thinkpad-x100e", port=0)
    names = [quorin.new_Dev(n, 0).getdisplayname() for n in (0, 1)]
    assert names == [first.product_name(), second.product_name()]
    first.unplug()
    assert quorin.new_Dev(0, 0).getdisplayname() == second.product_name()
    first.plug()  # under a new node: the bus decides, not the node
    names = [quorin.new_Dev(n, 0).getdisplayname() for n in (0, 1)]
    assert names == [first.product_name(), second.product_name()]


def test_a_camera_starts_at_its_first_size_whatever_another_program_left(usb):
    camera = usb("logitech-c270")
    subprocess.check_call(["v4l2-ctl", "-d", camera.node, "--set-fmt-video=width=1280,height=720,pixelformat=MJPG"])
    dev = quorin.new_Dev(0, 0)
    assert dev.getbuffer()[1:] == camera.modes()[1][0] == (640, 480)


def taken_counters(dev, seconds):
    """The counters of the frames getbuffer gave over that long."""
    seen = set()
    finish = time.monotonic() + seconds
    while time.monotonic() < finish:
        seen.add(read_counter(*dev.getbuffer()))
        time.sleep(0.005)
    return seen


@pytest.mark.parametrize("fault,size", [("error", (640, 480)), ("short", (640, 480)), ("jpeg", (1280, 720))])
def test_a_damaged_frame_costs_that_frame_only(usb, fault, size):
    camera = usb("logitech-c270")
    dev = quorin.new_Dev(0, 0)
    dev.setresolution(*size)
    dev.getbuffer()
    camera.send("fault " + fault)
    damaged = []
    reader = threading.Thread(target=lambda: damaged.append(camera.wait_for("fault", kind=fault)))
    reader.start()
    seen = taken_counters(dev, 1.5)
    reader.join()
    assert damaged and damaged[0]["counter"] not in seen
    assert max(seen) > damaged[0]["counter"]  # the stream went on


def test_a_camera_that_pauses_keeps_its_last_frame_and_goes_on(usb):
    camera = usb("logitech-c270")
    dev = quorin.new_Dev(0, 0)
    before = read_counter(*dev.getbuffer())
    camera.send("pause 3000")
    time.sleep(0.3)
    during = taken_counters(dev, 1.5)
    assert len(during) == 1 and min(during) >= before
    time.sleep(2)
    assert max(taken_counters(dev, 0.5)) > max(during)


def test_mjpeg_frames_without_huffman_tables_decode_with_the_standard_ones(usb):
    camera = usb("generic-bulk-349c-3307", huffman=False)
    dev = quorin.new_Dev(0, 0)
    data, width, height = dev.getbuffer()
    assert camera.wait_for("commit")["fourcc"] == "MJPG"
    assert_bars(data, width, height)


def test_a_control_the_camera_stalls_is_left_out_and_the_others_stay(usb, helper):
    camera = usb("logitech-c270")
    unit = camera.profile["video_control"]["processing_unit"]["bUnitID"]
    camera.send("stall %d 3" % unit)  # contrast, every request
    dev = quorin.new_Dev(0, 0)
    helper.plan(shown(), {"send": {"set": {"id": BRIGHTNESS, "value": 10}}}, close("ok"))
    dev.displaycapturefilterproperties()
    opening, changed = helper.received()[:2]
    listed = [control["name"] for page in opening["pages"] for control in page["controls"]]
    print("with contrast stalled:", listed, changed.get("refused"))
    assert "Brightness" in listed and "Sharpness" in listed and "Contrast" not in listed
    assert camera.wait_for("set_cur", unit=unit, selector=2)["value"] == [10, 0]


def test_a_camera_whose_functions_name_themselves_has_each_named_whole(usb):
    camera = usb("imc-13d3-784b-vga")  # a colour and an infrared function, each named by its association
    deadline = time.monotonic() + 20
    while len(uvc_emulator.capture_nodes()) < 2 and time.monotonic() < deadline:
        time.sleep(0.05)
    cards = []
    for node in sorted(uvc_emulator.capture_nodes().values()):
        with open("/sys/class/video4linux/%s/name" % os.path.basename(node)) as name:
            cards.append(name.read().strip())
    assert sorted(cards) == ["Integrated Camera: Integrated C", "Integrated Camera: Integrated I"]
    names = ["Integrated Camera", "Integrated IR Camera"]
    assert quorin.listdevices() == names
    for number, name in enumerate(names):
        dev = quorin.new_Dev(number, 0)
        assert dev.getdisplayname() == name
        data, width, height = dev.getbuffer()
        assert (width, height) == (640, 480)
        assert_bars(data, width, height)
        assert camera.wait_for("commit")["fourcc"] == "YUY2"
        del dev


# The controls each camera's descriptors give, by the names Windows gives
# them; pan and tilt are one control of the camera.
SETTING_NAMES = {
    "Brightness": ["brightness"], "Contrast": ["contrast"], "Hue": ["hue"], "Saturation": ["saturation"],
    "Sharpness": ["sharpness"], "Gamma": ["gamma"], "White Balance Temperature": ["whitebalance"],
    "Backlight Compensation": ["backlightcompensation"], "Gain": ["gain"], "Exposure Time (Absolute)": ["exposure"],
    "Focus (Absolute)": ["focus"], "Iris (Absolute)": ["iris"], "Zoom (Absolute)": ["zoom"],
    "PanTilt (Absolute)": ["pan", "tilt"],
}


def little_endian(value, length):
    return list((value & (1 << 8 * length) - 1).to_bytes(length, "little"))


@pytest.mark.parametrize("name", PROFILES + ["imc-13d3-784b-vga"])
def test_settings_reach_the_camera_as_its_class_requests(usb, name):
    camera = usb(name)
    control = camera.profile["video_control"]
    listed = control["input_terminal"]["controls"] + control["processing_unit"]["controls"]
    dev = quorin.new_Dev(0, 0)
    dev.getbuffer()
    controls = dev.getcontrols()
    print("%s: %s" % (name, controls))
    assert set(controls) == {setting for c in listed for setting in SETTING_NAMES.get(c, [])}
    unit = control["processing_unit"]["bUnitID"]
    if "brightness" in controls:
        camera.drain()
        dev.setcontrol("brightness", controls["brightness"]["minimum"])
        assert camera.wait_for("set_cur", unit=unit, selector=0x02)["value"] == \
            little_endian(controls["brightness"]["minimum"], 2)
    if "exposure" in controls:
        terminal = control["input_terminal"]["bTerminalID"]
        camera.drain()
        dev.setcontrol("exposure", -8)  # by hand: manual mode, then 2^-8 s in 100 us units
        assert camera.wait_for("set_cur", unit=terminal, selector=0x02)["value"] == [0x01]
        assert camera.wait_for("set_cur", unit=terminal, selector=0x04)["value"] == little_endian(39, 4)
        assert (dev.getcontrols()["exposure"]["value"], dev.getcontrols()["exposure"]["auto"]) == (-8, False)
        dev.setcontrol("exposure", "auto")  # aperture priority: the camera's own exposure
        assert camera.wait_for("set_cur", unit=terminal, selector=0x02)["value"] == [0x08]
        assert dev.getcontrols()["exposure"]["auto"] is True
    first = read_counter(*dev.getbuffer())
    time.sleep(0.5)
    assert read_counter(*dev.getbuffer()) > first  # the stream ran on throughout


def test_a_setting_the_camera_stalls_is_refused_and_the_stream_goes_on(usb):
    camera = usb("logitech-c270")
    unit = camera.profile["video_control"]["processing_unit"]["bUnitID"]
    dev = quorin.new_Dev(0, 0)
    first = read_counter(*dev.getbuffer())
    before = dev.getcontrols()["brightness"]
    camera.send("stall %d 2 1" % unit)  # brightness's SET_CUR
    with pytest.raises(quorin.error) as raised:
        dev.setcontrol("brightness", before["value"] + before["step"])
    assert str(raised.value) == "The device refused the control's setting."
    assert dev.getcontrols()["brightness"] == before
    time.sleep(0.5)
    assert read_counter(*dev.getbuffer()) > first
