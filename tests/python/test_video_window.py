"""The renderer's window seen from the platform's side: a stand-in helper
plays the window (fake_dialog_helper.py), and what it received, what the
platform counted and what capture still does show how the platform behaved.
The real window, under Xvfb, is test_desktop_video.py's."""

import os
import signal
import time

import pytest

import quorin
from conftest import close, shown
from frames import sequence_number

FAULT = "quorin platform: video window: {}; capture goes on without it\n"


def helpers_running(platform, expected, timeout=60.0):
    """Waits until that many video window helpers run; True if they do."""
    deadline = time.monotonic() + timeout
    while platform.video_window().helpers_running != expected:
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)
    return True


def children():
    """Processes this one started that still exist (zombies among them)."""
    found = []
    for pid in os.listdir("/proc"):
        try:
            with open("/proc/{}/stat".format(pid)) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if int(fields[1]) == os.getpid():
            found.append((int(pid), fields[0]))
    return found


def open_descriptors():
    return sorted(os.listdir("/proc/self/fd"))


def assert_capture_goes_on(dev):
    data, width, height = dev.getbuffer()
    first = sequence_number(data, width, height)
    time.sleep(0.1)
    data, width, height = dev.getbuffer()
    assert sequence_number(data, width, height) > first


def test_the_window_is_given_the_devices_name_size_and_frames_and_goes_with_the_graph(desk, platform, timing):
    descriptors = open_descriptors()
    desk.plan(shown(), {"descriptors": True})
    dev = quorin.new_Dev(0, 1)
    dev.getbuffer()
    assert helpers_running(platform, 1)
    deadline = time.monotonic() + 60
    while len(desk.received()) < 2 and time.monotonic() < deadline:
        time.sleep(0.05)
    opening, inherited = desk.received()
    assert opening == {"dialog": "video", "caption": "Cam", "width": 640, "height": 480, "stride": 1920}
    # Its socket, stderr, the slots and their notices: nothing else of ours.
    fds = inherited["descriptors"]
    assert sorted(fds) == ["0", "1", "2", "3", "4"]
    assert fds["0"] == fds["1"] == "socket"
    assert fds["3"].startswith("/memfd:quorin-video-window")
    assert fds["4"].startswith("pipe:")
    statistics = platform.video_window()
    assert statistics.windows_shown == 1 and statistics.frames_offered > 0 and statistics.helper_pid > 0
    started = time.monotonic()
    del dev
    assert platform.video_window().helpers_running == 0
    gone = time.monotonic() - started
    timing("video window's helper gone after the Dev was dropped", gone)
    assert gone < 1.0
    assert children() == [] and open_descriptors() == descriptors


def test_a_helper_that_ignores_its_socket_closing_is_gone_within_a_second_of_the_stop(desk, platform, timing):
    # It neither reads nor exits: only the kill after the grace ends it.
    desk.plan(shown(), {"sleep": 60})
    dev = quorin.new_Dev(0, 1)
    dev.getbuffer()
    assert helpers_running(platform, 1)
    while platform.video_window().windows_shown == 0:
        time.sleep(0.01)
    started = time.monotonic()
    del dev
    gone = time.monotonic() - started
    timing("video window's helper that ignores its socket closing gone after the Dev was dropped", gone)
    assert platform.video_window().helpers_running == 0 and children() == []
    assert gone < 1.0


def test_closing_the_window_hides_it_for_the_rest_of_the_run_and_a_new_graph_shows_it_again(desk, platform, capfd):
    desk.plan(shown(), close("ok"))
    dev = quorin.new_Dev(0, 1)
    dev.getbuffer()
    assert helpers_running(platform, 0)
    assert platform.video_window().windows_shown == 1
    assert_capture_goes_on(dev)
    assert len(desk.received()) == 1  # not shown again while the graph runs
    dev.setresolution(320, 240)
    dev.getbuffer()
    assert helpers_running(platform, 0)
    assert [message["width"] for message in desk.received()] == [640, 320]
    assert platform.video_window().windows_shown == 2
    assert capfd.readouterr().err == ""


@pytest.mark.parametrize("steps,fault", [
    ([shown(), {"kill": signal.SIGKILL}], "the helper ended while its window showed (killed by signal 9)"),
    ([shown(), {"exit": 0}], "the helper ended while its window showed (exit status 0)"),
    ([shown(), {"raw": "{not json\n"}], "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([shown(), {"send": {"close": 1}}], "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([shown(), {"exchange": 7}], "the helper left a slot that is no slot of its frames (killed by signal 9)"),
    ([shown(), {"raw": '{"shown": true}\n', "times": 100}],
     "the helper said again and again that its window was shown (killed by signal 9)"),
    ([{"exit": 3}], "the helper ended before its window opened (exit status 3)"),
    # Shown, then it never takes a frame.
    ([shown()], "the helper took no frame for 5 s (killed by signal 9)"),
], ids=["killed", "exited", "not-json", "wrong-type", "bad-slot", "shown-in-a-loop", "never-shown", "hung"])
def test_a_failing_helper_is_said_once_and_capture_goes_on_without_it(desk, platform, capfd, steps, fault):
    descriptors = open_descriptors()
    desk.plan(*steps)
    dev = quorin.new_Dev(0, 1)
    dev.getbuffer()
    assert helpers_running(platform, 0)
    assert capfd.readouterr().err == FAULT.format(fault)
    assert_capture_goes_on(dev)
    assert len(desk.received()) == 1  # not started again in this run
    del dev
    assert children() == [] and open_descriptors() == descriptors


def test_a_helper_that_cannot_start_is_said_and_capture_goes_on(desk, platform, capfd, monkeypatch, tmp_path):
    missing = str(tmp_path / "no-helper")
    monkeypatch.setenv("QUORIN_DIALOG_HELPER", missing)
    dev = quorin.new_Dev(0, 1)
    dev.getbuffer()
    assert helpers_running(platform, 0)
    assert capfd.readouterr().err == FAULT.format("cannot start {}: No such file or directory".format(missing))
    assert_capture_goes_on(dev)


@pytest.mark.parametrize("show,steps", [(0, [shown()]), (1, [{"send": {"nodisplay": True}}])],
                         ids=["hidden", "no-display"])
def test_no_window_is_shown_when_hidden_or_without_a_display(desk, platform, capfd, show, steps):
    desk.plan(*steps)
    dev = quorin.new_Dev(0, show)
    dev.getbuffer()
    assert helpers_running(platform, 0)
    time.sleep(0.2)
    assert len(desk.received()) == show
    assert platform.video_window().windows_shown == 0
    assert_capture_goes_on(dev)
    assert capfd.readouterr().err == ""


def test_a_helper_that_tampers_with_its_notices_cannot_stop_capture_or_hold_up_the_end(desk, platform, capfd):
    # On an eventfd shared with the helper this blocked the delivery thread
    # for good, and dropping the device hung.
    desk.plan(shown(), {"block_notices": 0xfffffffffffffffe}, {"sleep": 30})
    dev = quorin.new_Dev(0, 1)
    dev.getbuffer()
    deadline = time.monotonic() + 60
    while len(desk.received()) < 2 and time.monotonic() < deadline:
        time.sleep(0.05)
    assert desk.received()[1] == {"write": "Bad file descriptor"}
    offered = platform.video_window().frames_offered
    assert_capture_goes_on(dev)
    time.sleep(0.3)
    assert platform.video_window().frames_offered > offered
    started = time.monotonic()
    del dev
    elapsed = time.monotonic() - started
    print("dropped in %.0f ms" % (elapsed * 1000))
    assert elapsed < 1 and platform.video_window().helpers_running == 0


def test_the_helper_gets_the_environment_as_it_was_when_the_graph_started(desk, platform, monkeypatch):
    # The window's thread starts the helper while the caller's goes on, and
    # os.environ is changed on the caller's thread alone.
    monkeypatch.setenv("QUORIN_TEST_MARK", "at the start")
    desk.plan(shown(), {"environment": "QUORIN_TEST_MARK"})
    dev = quorin.new_Dev(0, 1)
    dev.getbuffer()
    for n in range(200):
        os.environ["QUORIN_TEST_MARK"] = "changed %d" % n
    deadline = time.monotonic() + 60
    while len(desk.received()) < 2 and time.monotonic() < deadline:
        time.sleep(0.05)
    assert desk.received()[1] == {"environment": "at the start"}
    del dev
