"""getbuffer(): frames as the sample grabber holds them, and its failures."""

import os
import time

import pytest

import quorin

from conftest import run_python
from frames import BARS, pixel, sequence_number, stride
from platform_control import E_FAIL, E_INVALIDARG, E_POINTER, S_FALSE, VFW_E_NOT_CONNECTED


@pytest.mark.parametrize("width,height", [(640, 480), (641, 481), (174, 96), (3, 8)])
def test_frame_has_declared_size_padded_rows_and_exact_pixels(platform, width, height):
    platform.add_camera("Bars", sizes=[[width, height]])
    data, w, h = quorin.new_Dev(0, 0).getbuffer()
    assert (w, h) == (width, height)
    assert isinstance(data, bytes) and len(data) == stride(width) * height
    strip_top = height - height // 8
    for i, colour in enumerate(BARS):
        for x in {i * width // 8, (i + 1) * width // 8 - 1}:
            if i * width // 8 <= x < (i + 1) * width // 8:
                assert pixel(data, width, height, x, 0) == colour
                assert pixel(data, width, height, x, strip_top - 1) == colour
    # Row padding stays zero.
    padding = stride(width) - 3 * width
    for row in range(height):
        end = row * stride(width) + 3 * width
        assert data[end:end + padding] == bytes(padding)


def test_counter_strip_counts_samples_since_the_graph_started(platform):
    platform.add_camera("Counter", sizes=[[320, 240]], fps=50)
    dev = quorin.new_Dev(0, 0)
    first = sequence_number(*dev.getbuffer())
    time.sleep(0.2)
    second = sequence_number(*dev.getbuffer())
    assert 0 <= first < second
    # Black cells in the strip are exactly black.
    data, w, h = dev.getbuffer()
    assert pixel(data, w, h, 0, h - 1) == (0, 0, 0)


def test_second_call_finds_the_graph_running_and_does_not_wait(platform):
    platform.add_camera("Slow start", first_frame_ms=250)
    dev = quorin.new_Dev(0, 0)
    first = dev.getbuffer()
    # Woken by the frame: one wait, and no sleep.
    assert platform.calls("WaitForMultipleObjects") == 1 and platform.calls("Sleep") == 0
    second = dev.getbuffer(1, 2, 3)  # arguments make no difference
    assert platform.calls("WaitForMultipleObjects") == 1
    assert (len(second[0]), second[1], second[2]) == (len(first[0]), first[1], first[2])
    assert platform.calls("IMediaControl::Run") == 2


def test_renderer_window_shows_only_when_asked(platform):
    platform.add_camera("Windowed")
    quorin.new_Dev(0, 0).getbuffer()
    assert platform.windows_shown() == 0
    quorin.new_Dev(0, 1).getbuffer()
    assert platform.windows_shown() == 1


@pytest.mark.parametrize("code,message", [
    (E_POINTER, "Getting the sample grabber's current buffer failed (NULL pointer argument)."),
    (VFW_E_NOT_CONNECTED, "Getting the sample grabber's current buffer failed (The filter is not connected)."),
    (E_INVALIDARG, "Getting the sample grabber's current buffer failed (Samples are not being buffered)."),
    (E_FAIL, "UNKNOWN CASE!!"),
])
def test_each_buffer_error_has_its_message_and_the_device_stays_usable(camera, code, message):
    dev = quorin.new_Dev(0, 0)
    camera.fail("ISampleGrabber::GetCurrentBuffer", 1, code)
    with pytest.raises(quorin.error) as raised:
        dev.getbuffer()
    assert str(raised.value) == message
    assert dev.getbuffer()[1:] == (640, 480)


def test_a_success_other_than_s_ok_hands_out_no_bytes_the_grabber_did_not_write(camera):
    dev = quorin.new_Dev(0, 0)
    camera.fail("ISampleGrabber::GetCurrentBuffer", 1, S_FALSE)
    with pytest.raises(quorin.error) as raised:
        dev.getbuffer()
    assert str(raised.value) == "UNKNOWN CASE!!"
    assert dev.getbuffer()[1:] == (640, 480)


def test_connected_type_failure_has_its_message_and_does_not_run_the_graph(camera):
    dev = quorin.new_Dev(0, 0)
    camera.fail("ISampleGrabber::GetConnectedMediaType")
    with pytest.raises(quorin.error) as raised:
        dev.getbuffer()
    assert str(raised.value) == "Getting the sample grabber's connected media type failed."
    assert camera.calls("IMediaControl::Run") == 0


def test_camera_that_never_delivers_ends_in_a_timeout_not_a_hang(platform):
    platform.add_camera("Silent", delivers=False)
    dev = quorin.new_Dev(0, 0)
    started = time.monotonic()
    with pytest.raises(quorin.error) as raised:
        dev.getbuffer()
    assert str(raised.value) == "No frame arrived from the device within 10 seconds."
    assert 9.5 < time.monotonic() - started < 30
    # One wait for the frame or a graph event, no steps of sleep.
    assert platform.calls("WaitForMultipleObjects") == 1 and platform.calls("Sleep") == 0


def test_after_the_timeout_the_graph_keeps_running_and_a_later_call_succeeds(platform):
    platform.add_camera("Late", first_frame_ms=12000)  # margin for slow sleeps on a loaded machine
    dev = quorin.new_Dev(0, 0)
    with pytest.raises(quorin.error, match="^No frame arrived from the device within 10 seconds.$"):
        dev.getbuffer()
    time.sleep(2.5)
    assert dev.getbuffer()[1:] == (640, 480)
    assert platform.calls("IMediaControl::Stop") == 0


def test_a_source_that_cannot_start_fails_at_once_says_why_and_the_next_call_starts_it(platform, capfd):
    platform.add_camera("Starved", sizes=[[32, 16]])
    dev = quorin.new_Dev(0, 0)
    platform.fail_resource("thread", 1)  # as when the process is out of threads
    started = time.monotonic()
    with pytest.raises(quorin.error, match="^UNKNOWN CASE!!$"):
        dev.getbuffer()
    assert time.monotonic() - started < 5  # not the 10 s wait for a frame that cannot come
    assert platform.calls("Sleep") == 0
    assert capfd.readouterr().err == ("quorin platform: Starved: cannot start delivering (out of memory or threads);"
                                      " the next Run tries again\n")
    assert dev.getbuffer()[1:] == (32, 16)
    assert platform.calls("IMediaControl::Run") == 2


def test_objects_without_a_graph_refuse_every_method(camera):
    dev_type = type(quorin.new_Dev(0, 0))
    empty = dev_type()
    for call in (empty.getbuffer, lambda: empty.setresolution(320, 240)):
        with pytest.raises(quorin.error) as raised:
            call()
        assert str(raised.value) == "The device has no capture graph: open it again with new_Dev()."
    assert camera.live_objects() == 0


@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer reserves more address space than the limit allows")
def test_no_memory_for_the_frame_raises_memory_error_before_the_graph_runs():
    # The byte string for the frame is made before the graph runs: under a
    # limit on address space too small for an 8192x8192 frame, the
    # interpreter's memory error, and the device is never started.
    result = run_python("""
        import resource
        import platform_control
        import quorin
        control = platform_control.load()
        control.use_system_devices(False)
        control.add_camera("Huge", sizes=[[8192, 8192]])
        dev = quorin.new_Dev(0, 0)
        with open("/proc/self/status") as status:
            used = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (used + (100 << 20), resource.RLIM_INFINITY))
        try:
            dev.getbuffer()
        except MemoryError:
            print("MemoryError", control.calls("IMediaControl::Run"))
    """, env={"QUORIN_VIRTUAL_CAMERAS": ""})
    assert result.stdout.split() == ["MemoryError", "0"], result.stderr


LOST = "The capture device was disconnected."


def test_a_camera_pulled_out_mid_capture_raises_within_a_second_and_for_ever(platform):
    platform.add_camera("USB", sizes=[[160, 120]], fps=100, unplugged_after=5)
    dev = quorin.new_Dev(0, 0)
    started = time.monotonic()
    frames = []
    with pytest.raises(quorin.error) as raised:
        while time.monotonic() - started < 5:
            frames.append(sequence_number(*dev.getbuffer()))
            time.sleep(0.005)
    assert str(raised.value) == LOST
    # Five frames came (a few perhaps read twice); the old one was never
    # given again once the device went.
    assert frames and max(frames) <= 4
    assert time.monotonic() - started < 1
    for _ in range(3):
        before = time.monotonic()
        with pytest.raises(quorin.error, match="^%s$" % LOST):
            dev.getbuffer()
        assert time.monotonic() - before < 0.1
    # A new graph finds the device again (a virtual camera comes back at
    # once); this one delivers five frames more.
    dev.setresolution(160, 120)
    assert dev.getbuffer()[1:] == (160, 120)
    dropped = time.monotonic()
    del dev
    assert time.monotonic() - dropped < 0.5


def test_a_camera_pulled_out_before_its_first_frame_does_not_wait_out_the_ten_seconds(platform):
    platform.add_camera("USB", first_frame_ms=50, unplugged_after=0)
    dev = quorin.new_Dev(0, 0)
    started = time.monotonic()
    with pytest.raises(quorin.error, match="^%s$" % LOST):
        dev.getbuffer()
    assert time.monotonic() - started < 1
    assert dev.getdisplayname() == "USB"
