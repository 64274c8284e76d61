"""setresolution(width, height): the stream configuration and the rebuild."""

import time

import pytest

import quorin

SIZES = [[640, 480], [320, 240], [641, 3]]


@pytest.mark.parametrize("pin,find_calls", [("interleaved", 1), ("video", 2)])
def test_new_size_reaches_the_next_frame_through_either_pin(platform, pin, find_calls):
    platform.add_camera("Cam", sizes=SIZES, pin=pin)
    dev = quorin.new_Dev(0, 0)
    assert dev.getbuffer()[1:] == (640, 480)
    assert dev.setresolution(641, 3) is None
    assert platform.calls("ICaptureGraphBuilder2::FindInterface") == find_calls
    data, width, height = dev.getbuffer()
    assert (width, height, len(data)) == (641, 3, 1924 * 3)


def test_rebuild_enumerates_and_fetches_properties_again_but_binds_no_new_filter(platform):
    platform.add_camera("Cam", sizes=SIZES)
    dev = quorin.new_Dev(0, 0)
    dev.setresolution(320, 240)
    assert platform.calls("IMoniker::BindToObject") == 1
    assert platform.calls("IMoniker::BindToStorage") == 2
    assert platform.calls("ICreateDevEnum::CreateClassEnumerator") == 2
    assert platform.calls("IAMStreamConfig::SetFormat") == 1


@pytest.mark.parametrize("size", [(100, 100), (0, 480), (-640, 480), (640, -480)])
def test_refused_size_leaves_the_graph_built_and_stopped_at_the_old_size(platform, size):
    platform.add_camera("Cam", sizes=SIZES)
    dev = quorin.new_Dev(0, 0)
    dev.getbuffer()
    with pytest.raises(quorin.error) as raised:
        dev.setresolution(*size)
    assert str(raised.value) == "Cannot set capture resolution."
    assert platform.calls("IMediaControl::Stop") == 1
    assert platform.calls("CoCreateInstance") == 4  # not rebuilt
    assert dev.getbuffer()[1:] == (640, 480)
    assert platform.calls("IMediaControl::Run") == 2


def test_a_graph_run_again_after_a_refused_size_gives_a_frame_of_its_new_run(platform):
    # The grabber keeps the sample from before the stop: given at once, it
    # would be a frame of any age passed off as the newest.
    platform.add_camera("Slow start", sizes=SIZES, first_frame_ms=1500)
    dev = quorin.new_Dev(0, 0)
    dev.getbuffer()
    with pytest.raises(quorin.error, match="^Cannot set capture resolution.$"):
        dev.setresolution(100, 100)
    started = time.monotonic()
    assert dev.getbuffer()[1:] == (640, 480)
    assert time.monotonic() - started >= 1.4  # the new run's first frame, not the old one


def test_format_other_than_videoinfo_cannot_be_queried(platform):
    platform.add_camera("Cam", sizes=SIZES, format_block="videoinfo2")
    dev = quorin.new_Dev(0, 0)
    with pytest.raises(quorin.error) as raised:
        dev.setresolution(320, 240)
    assert str(raised.value) == "Cannot query capture format."
    assert platform.calls("IAMStreamConfig::SetFormat") == 0


@pytest.mark.parametrize("operation", ["ICaptureGraphBuilder2::FindInterface", "IAMStreamConfig::GetFormat"])
def test_missing_configuration_or_format_fails_setting_the_resolution(camera, operation):
    dev = quorin.new_Dev(0, 0)
    # FindInterface is tried for both pins; fail both calls.
    camera.fail(operation, 1)
    camera.fail(operation, 2)
    with pytest.raises(quorin.error) as raised:
        dev.setresolution(640, 480)
    assert str(raised.value) == "Setting the capture resolution failed."
    assert dev.getbuffer()[1:] == (640, 480)


def test_failed_rebuild_reports_its_own_message_and_leaves_an_empty_device(platform):
    platform.add_camera("Cam", sizes=SIZES)
    dev = quorin.new_Dev(0, 0)
    platform.fail("CoCreateInstance", 1)
    with pytest.raises(quorin.error) as raised:
        dev.setresolution(320, 240)
    assert str(raised.value) == "Problem after setting the capture resolution."
    assert platform.live_objects() == 0
    with pytest.raises(quorin.error, match="has no capture graph"):
        dev.getbuffer()
    # The device itself is free for a new object.
    assert quorin.new_Dev(0, 0).getbuffer()[1:] == (640, 480)


@pytest.mark.parametrize("args", [("640", 480), (640,), (640, 480, 1)])
def test_argument_errors_name_newdev_and_do_not_stop_the_graph(camera, args):
    dev = quorin.new_Dev(0, 0)
    with pytest.raises(TypeError) as raised:
        dev.setresolution(*args)
    if len(args) != 2:
        assert str(raised.value).startswith("newDev()")
    assert camera.calls("IMediaControl::Stop") == 0


@pytest.mark.parametrize("block", ["videoinfo", "videoinfo2"])
def test_the_offered_sizes_are_listed_in_order_once_each_and_each_is_accepted(platform, block):
    platform.add_camera("Cam", sizes=SIZES + [[320, 240]], format_block=block)
    dev = quorin.new_Dev(0, 0)
    sizes = dev.getresolutions()
    assert sizes == [(640, 480), (320, 240), (641, 3)]
    if block == "videoinfo":  # the other format cannot be set (above)
        for size in reversed(sizes):
            dev.setresolution(*size)
            assert dev.getbuffer()[1:] == size
    platform.fail("IAMStreamConfig::GetNumberOfCapabilities")
    with pytest.raises(quorin.error) as raised:
        dev.getresolutions()
    assert str(raised.value) == "Querying the capture pin for its sizes failed."
    assert dev.getresolutions() == sizes
