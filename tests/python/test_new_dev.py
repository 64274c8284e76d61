"""Opening a device: the capture graph's build steps, their messages, and the
references they leave behind."""

import gc

import pytest

import quorin

from platform_control import S_FALSE

ADD_FILTER_FAILED = ("Adding the capture filter to the filter graph failed.\n"
                     "Device maybe not connected or already in use.")

BUILD_STEPS = [
    ("CoCreateInstance", 1, "Creation of the filter graph failed."),
    ("CoCreateInstance", 2, "Creation of the capture graph builder failed."),
    ("ICaptureGraphBuilder2::SetFiltergraph", 1, "Setting the filter graph for the capture graph builder failed."),
    ("CoCreateInstance", 3, "Creation of the system device enumerator failed."),
    ("ICreateDevEnum::CreateClassEnumerator", 1, "Creation of the enumerator for video capture devices failed."),
    ("IEnumMoniker::Next", 1, "The device with the specified device number does not exist."),
    ("IMoniker::BindToObject", 1, "Binding the moniker to a filter object failed."),
    ("IMoniker::BindToStorage", 1, "Fetching the moniker property bag failed."),
    ("IGraphBuilder::AddFilter", 1, ADD_FILTER_FAILED),
    ("CoCreateInstance", 4, "Creation of the sample grabber failed."),
    ("QueryInterface:ISampleGrabber", 1, "Sample grabber interface could not be found."),
    ("IGraphBuilder::AddFilter", 2, "Adding the sample grabber to the filter graph failed."),
    ("ISampleGrabber::SetMediaType", 1, "Setting the media type of the sample grabber failed."),
    ("ICaptureGraphBuilder2::RenderStream", 1, "Capture Graph could not be created."),
    ("QueryInterface:IVideoWindow", 1, "Video Window interface could not be found."),
    ("IVideoWindow::put_AutoShow", 1, "Video Window hiding failed."),
    ("QueryInterface:IMediaControl", 1, "Media control interface could not be found."),
    ("ISampleGrabber::SetBufferSamples", 1, "Setting up buffering of samples failed."),
    ("ISampleGrabber::SetOneShot", 1, "Setting up non-one-shot mode of the sample grabber failed."),
]


@pytest.mark.parametrize("operation,nth,message", BUILD_STEPS,
                         ids=["%s#%d" % (op, nth) for op, nth, _ in BUILD_STEPS])
def test_each_failing_build_step_raises_its_message_and_releases_everything(camera, operation, nth, message):
    camera.fail(operation, nth)
    with pytest.raises(quorin.error) as raised:
        quorin.new_Dev(0, 0)
    assert str(raised.value) == message
    assert camera.live_objects() == 0
    # The device is free again: nothing of the failed build holds it.
    assert quorin.new_Dev(0, 0) is not None


def test_steps_judged_exactly_s_ok_refuse_s_false_and_the_others_accept_it(camera):
    camera.fail("IEnumMoniker::Next", 1, S_FALSE)
    with pytest.raises(quorin.error, match="^The device with the specified device number does not exist.$"):
        quorin.new_Dev(0, 0)
    # An injected result skips the call's work: pick steps whose work the
    # rest of the build does not need.
    for operation in ("ISampleGrabber::SetMediaType", "IVideoWindow::put_AutoShow", "ISampleGrabber::SetOneShot"):
        camera.fail(operation, 1, S_FALSE)
    assert quorin.new_Dev(0, 0) is not None


def test_empty_category_fails_at_the_enumerator_without_walking_it(platform):
    with pytest.raises(quorin.error) as raised:
        quorin.new_Dev(0, 0)
    assert str(raised.value) == "Creation of the enumerator for video capture devices failed."
    assert platform.calls("IEnumMoniker::Next") == 0


@pytest.mark.parametrize("devnum,nexts", [(0, 1), (1, 2)])
def test_next_is_called_devnum_plus_one_times(camera, devnum, nexts):
    if devnum == 0:
        assert quorin.new_Dev(0, 0) is not None
    else:
        with pytest.raises(quorin.error) as raised:
            quorin.new_Dev(devnum, 0)
        assert str(raised.value) == "The device with the specified device number does not exist."
    assert camera.calls("IEnumMoniker::Next") == nexts


def test_device_number_picks_among_several_devices(platform):
    for name in ("First", "Second"):
        platform.add_camera(name)
    second = quorin.new_Dev(1, 0)
    first = quorin.new_Dev(0, 0)  # a different device: not busy
    assert platform.calls("IMoniker::BindToObject") == 2
    with pytest.raises(quorin.error, match="does not exist"):
        quorin.new_Dev(5, 0)
    del first, second


def test_negative_device_number_is_refused_before_any_device_is_used(camera):
    with pytest.raises(quorin.error) as raised:
        quorin.new_Dev(-1, 0)
    assert str(raised.value) == "The device with the specified device number does not exist."
    assert camera.calls("CoCreateInstance") == 0


@pytest.mark.parametrize("args", [(0,), (0, 0, 0), ("0", 0), (0, None), (2 ** 40, 0)])
def test_argument_errors_are_the_interpreters_and_touch_no_device(camera, args):
    with pytest.raises((TypeError, OverflowError)) as raised:
        quorin.new_Dev(*args)
    if len(args) != 2:
        assert str(raised.value) == "newDev() takes exactly 2 arguments (%d given)" % len(args)
    assert camera.calls("CoCreateInstance") == 0


def test_hidden_window_is_asked_for_and_shown_window_never(camera):
    hidden = quorin.new_Dev(0, 0)
    assert camera.calls("QueryInterface:IVideoWindow") == 1
    assert camera.calls("IVideoWindow::put_AutoShow") == 1
    del hidden
    shown = quorin.new_Dev(0, 1)
    assert camera.calls("QueryInterface:IVideoWindow") == 1
    del shown


def test_same_device_twice_is_busy_until_the_first_object_goes(camera):
    first = quorin.new_Dev(0, 0)
    with pytest.raises(quorin.error) as raised:
        quorin.new_Dev(0, 0)
    assert str(raised.value) == ADD_FILTER_FAILED
    del first
    assert quorin.new_Dev(0, 0) is not None


def test_dropping_a_device_releases_every_platform_object(camera):
    dev = quorin.new_Dev(0, 0)
    assert camera.live_objects() > 0
    del dev
    assert camera.live_objects() == 0
    assert camera.task_memory_blocks() == 0


def test_objects_without_a_graph_are_safe_to_make_and_drop(camera):
    dev_type = type(quorin.new_Dev(0, 0))
    empty = dev_type()
    del empty

    class Subclass(dev_type):
        pass

    # A subclass instance carries a GC header and a dict: it must be freed
    # the way its type allocated it.
    sub = Subclass()
    sub.note = "kept in the instance dict"
    del sub
    gc.collect()
    # Nothing of the platform outlives the objects, and the interpreter
    # survived freeing them.
    assert camera.live_objects() == 0
    gc.collect()


def test_declared_cameras_come_from_the_environment(platform, monkeypatch):
    monkeypatch.setenv("QUORIN_VIRTUAL_CAMERAS", '[{"name": "Declared", "sizes": [[320, 240]]}]')
    platform.add_camera("Added")
    declared = quorin.new_Dev(0, 0)
    added = quorin.new_Dev(1, 0)
    with pytest.raises(quorin.error, match="does not exist"):
        quorin.new_Dev(2, 0)
    del declared, added


@pytest.mark.parametrize("declaration,complaint", [
    ("[{\"name\": \"A\", \"colour\": 1}]", 'camera 0: unknown key "colour"'),
    ("[{\"sizes\": [[1, 1]]}]", 'camera 0: "name" is required'),
    ("[{\"name\": \"A\", \"sizes\": [[0, 480]]}]", "camera 0: sizes must be between 1 and 8192 pixels a side"),
    ("[{\"name\": \"A\", \"pin\": \"audio\"}]", 'camera 0: "pin" must be "video" or "interleaved"'),
    ("{\"name\": \"A\"}", "must be a JSON array of cameras"),
    ("[{\"name\": ", "not valid JSON at line 1, column 11: syntax error while parsing value - unexpected end of"
                     " input; expected '[', '{', or a literal"),
    ("[{\"name\": \"A\"},\n {\"name\" \"B\"}]", "not valid JSON at line 2, column 12: syntax error while parsing"
                                        " object separator - unexpected string literal; expected ':'"),
    # Valid JSON, but not what was meant: the library would keep the last
    # name silently, and call an overflowing number a syntax error.
    ("[{\"name\": \"A\", \"name\": \"B\"}]", 'the key "name" is given twice in one object'),
    ("[{\"name\": \"A\", \"fps\": 1e400}]", 'the number "1e400" at line 1, column 23 is out of range'),
])
def test_malformed_declaration_fails_the_enumerator_with_one_clear_line(platform, monkeypatch, capfd,
                                                                          declaration, complaint):
    monkeypatch.setenv("QUORIN_VIRTUAL_CAMERAS", declaration)
    with pytest.raises(quorin.error) as raised:
        quorin.new_Dev(0, 0)
    assert str(raised.value) == "Creation of the enumerator for video capture devices failed."
    err = capfd.readouterr().err
    assert err == "quorin platform: QUORIN_VIRTUAL_CAMERAS: %s\n" % complaint


def test_no_memory_for_a_platform_object_raises_the_steps_message_and_nothing_is_lost(camera):
    # The platform answers E_OUTOFMEMORY instead of ending the process.
    camera.fail_resource("object", 1)
    with pytest.raises(quorin.error) as raised:
        quorin.new_Dev(0, 0)
    assert str(raised.value) == "Creation of the filter graph failed."
    assert camera.live_objects() == 0
    assert quorin.new_Dev(0, 0).getbuffer()[1:] == (640, 480)
