"""getcontrols(), setcontrol() and a virtual camera's declared controls."""

import time

import pytest

import quorin
from frames import pixel, sequence_number

CONTROLS = {
    "brightness": {"minimum": -128, "maximum": 127, "default": 0},
    "whitebalance": {"minimum": 2800, "maximum": 6500, "step": 10, "default": 4600, "auto": True},
    "exposure": {"minimum": -13, "maximum": -1, "default": -6, "auto": True},
}
UNKNOWN = "The device has no control of that name."
OUTSIDE = "The value is outside the control's range."
NO_AUTO = "The control has no automatic mode."
REFUSED = "The device refused the control's setting."


@pytest.fixture
def lab(platform):
    """A camera that declares three controls."""
    platform.add_camera("Lab", sizes=[[64, 48]], controls=CONTROLS)
    return platform


def test_the_declared_controls_are_listed_with_their_ranges_and_modes(lab):
    dev = quorin.new_Dev(0, 0)
    assert dev.getcontrols() == {
        "brightness": {"value": 0, "minimum": -128, "maximum": 127, "step": 1, "default": 0, "auto": None},
        "whitebalance": {"value": 4600, "minimum": 2800, "maximum": 6500, "step": 10, "default": 4600,
                         "auto": True},
        "exposure": {"value": -6, "minimum": -13, "maximum": -1, "step": 1, "default": -6, "auto": True},
    }
    # Set before the first frame, read back as set, by hand and back to auto.
    dev.setcontrol("exposure", -9)
    dev.setcontrol("whitebalance", 3200)
    controls = dev.getcontrols()
    assert (controls["exposure"]["value"], controls["exposure"]["auto"]) == (-9, False)
    assert (controls["whitebalance"]["value"], controls["whitebalance"]["auto"]) == (3200, False)
    dev.setcontrol("exposure", "auto")
    assert dev.getcontrols()["exposure"]["auto"] is True


def test_a_camera_without_declared_controls_has_none(camera):
    assert quorin.new_Dev(0, 0).getcontrols() == {}


def test_brightness_reaches_the_running_stream_without_a_restart(lab):
    dev = quorin.new_Dev(0, 0)
    data, width, height = dev.getbuffer()
    assert pixel(data, width, height, 12, 10) == (255, 255, 0)  # the yellow bar
    before = sequence_number(data, width, height)
    dev.setcontrol("brightness", -100)
    deadline = time.monotonic() + 10
    while pixel(data, width, height, 12, 10) != (155, 155, 0) and time.monotonic() < deadline:
        data, width, height = dev.getbuffer()
    assert pixel(data, width, height, 12, 10) == (155, 155, 0)
    assert sequence_number(data, width, height) > before  # the same run, counting on
    assert lab.calls("IMediaControl::Stop") == 0


@pytest.mark.parametrize("name,value,message", [
    ("Brightness", 1, UNKNOWN),
    (" brightness", 1, UNKNOWN),
    ("brightness ", 1, UNKNOWN),
    ("bright\u00e9ss", 1, UNKNOWN),
    ("brightness\0", 1, UNKNOWN),
    ("gain", 1, UNKNOWN),          # a name Windows knows, not offered by this camera
    ("sharpen", 1, UNKNOWN),
    ("brightness", 128, OUTSIDE),
    ("brightness", -129, OUTSIDE),
    ("brightness", 2 ** 63, OUTSIDE),  # past a C long
    ("brightness", -2 ** 100, OUTSIDE),
    ("brightness", "auto", NO_AUTO),
])
def test_each_refusal_has_its_message_and_changes_nothing(lab, name, value, message):
    dev = quorin.new_Dev(0, 0)
    dev.setcontrol("brightness", 5)
    before = dev.getcontrols()
    with pytest.raises(quorin.error) as raised:
        dev.setcontrol(name, value)
    assert str(raised.value) == message
    assert dev.getcontrols() == before


def test_a_setting_the_device_refuses_leaves_it_as_it_was_and_the_device_usable(lab):
    dev = quorin.new_Dev(0, 0)
    dev.getbuffer()
    for operation, name in [("IAMVideoProcAmp::Set", "whitebalance"), ("IAMCameraControl::Set", "exposure")]:
        lab.fail(operation, result=0x8007001F)  # ERROR_GEN_FAILURE: the camera stalled the request
        with pytest.raises(quorin.error) as raised:
            dev.setcontrol(name, -7 if name == "exposure" else 3000)
        assert str(raised.value) == REFUSED
        assert dev.getcontrols()[name]["auto"] is True
    dev.setcontrol("exposure", -7)
    assert dev.getcontrols()["exposure"]["value"] == -7
    assert dev.getbuffer()[1:] == (64, 48)


@pytest.mark.parametrize("arguments", [("brightness", 1.5), ("brightness", None), ("brightness", b"auto"),
                                       ("brightness", "manual"), (b"brightness", 1), (None, 1), ("brightness",)])
def test_arguments_of_other_types_are_type_errors(lab, arguments):
    dev = quorin.new_Dev(0, 0)
    with pytest.raises(TypeError):
        dev.setcontrol(*arguments)
    assert dev.getcontrols()["brightness"]["value"] == 0
