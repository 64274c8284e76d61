"""Property frames and message boxes in the dialog helper's windows, seen
from the platform's side: a stand-in helper plays what a user does, and the
camera's picture and the messages it received show what the platform did."""

import json
import os
import signal
import subprocess
import threading
import time

import pytest

import quorin
from conftest import SIZES, close, run_python, shown
from frames import BARS, pixel

BRIGHTNESS = 0x00980900
FAULT = "quorin platform: property dialog: {}; closed as with Cancel\n"


def set_brightness(value):
    return {"send": {"set": {"id": BRIGHTNESS, "value": value}}}


def first_bar(device):
    data, width, height = device.getbuffer()
    return pixel(data, width, height, width // 16, height // 2)


def test_the_filter_window_shows_the_brightness_and_ok_keeps_a_change(desk, capfd):
    dev = quorin.new_Dev(0, 0)
    assert first_bar(dev) == BARS[0]
    desk.plan(shown(), set_brightness(0), {"send": {"apply": {}}}, close("ok"))
    dev.displaycapturefilterproperties()
    opening, changed, applied = desk.received()
    assert opening == {"dialog": "properties", "caption": "Cam Properties", "pages": [{
        "kind": "controls", "title": "User Controls", "controls": [{
            "id": BRIGHTNESS, "name": "Brightness", "type": "integer", "minimum": 0, "maximum": 255, "step": 1,
            "default": 255, "value": 255, "choices": [], "inactive": False, "read_only": False,
            "grabbed": False}]}]}
    assert changed == {"controls": [{"id": BRIGHTNESS, "value": 0, "inactive": False, "read_only": False,
                                     "grabbed": False}]}
    assert applied == {"applied": True}
    assert first_bar(dev) == (0, 0, 0)
    assert capfd.readouterr().err == ""
    # The camera keeps its brightness for the next window.
    desk.plan(shown(), close("cancel"))
    dev.displaycapturefilterproperties()
    assert desk.received()[3]["pages"][0]["controls"][0]["value"] == 0


@pytest.mark.parametrize("steps,kept", [
    ([set_brightness(0), set_brightness(100), close("cancel")], 255),
    ([set_brightness(0), {"send": {"apply": {}}}, set_brightness(100), close("cancel")], 0),
    ([set_brightness(100), shown(), close("ok")], 100),  # shown again: the desktop hid it a while
])
def test_cancel_restores_what_ok_or_apply_did_not_keep(desk, steps, kept):
    dev = quorin.new_Dev(0, 0)
    desk.plan(shown(), *steps)
    dev.displaycapturefilterproperties()
    assert first_bar(dev) == tuple(round(c * kept / 255) for c in BARS[0])


def test_a_refused_change_is_shown_and_changes_nothing(desk, platform):
    dev = quorin.new_Dev(0, 0)
    platform.fail("VirtualCamera::SetControl")
    desk.plan(shown(), set_brightness(0), close("ok"))
    dev.displaycapturefilterproperties()
    refused = desk.received()[1]
    assert refused["refused"] == "Brightness: the camera refused the value (0x80004005)"
    assert refused["controls"][0]["value"] == 255
    assert first_bar(dev) == BARS[0]


@pytest.mark.parametrize("steps,fault", [
    ([shown(), set_brightness(0), {"kill": signal.SIGKILL}],
     "the helper ended without closing its window (killed by signal 9)"),
    ([shown(), set_brightness(0), {"exit": 0}], "the helper ended without closing its window (exit status 0)"),
    ([shown(), set_brightness(0), {"raw": "{not json\n"}],
     "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([shown(), set_brightness(0), {"send": {"set": {"id": 7, "value": 1}}}],
     "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([{"exit": 3}], "the helper ended before its window opened (exit status 3)"),
    ([{"send": {"set": {"id": BRIGHTNESS, "value": 0}}}],
     "the helper sent a message it cannot have meant (killed by signal 9)"),
    # Values of the wrong type or range, which once ended the process or
    # were cut to 32 bits and taken for another control or size.
    ([{"send": {"shown": 1}}], "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([{"send": {"shown": None}}], "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([{"raw": "x", "times": 3000000}], "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([shown(), set_brightness(0), {"send": {"set": {"id": BRIGHTNESS + 2 ** 32, "value": 0}}}],
     "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([shown(), set_brightness(0), {"send": {"set": {"id": BRIGHTNESS, "value": 2 ** 64}}}],
     "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([shown(), set_brightness(0), {"send": {"apply": {"size": [2 ** 32 + 320, 240]}}}],
     "the helper sent a message it cannot have meant (killed by signal 9)"),
    ([shown(), set_brightness(0), {"send": {"close": 1}}],
     "the helper sent a message it cannot have meant (killed by signal 9)"),
    # Hung: it says it is shown in a loop, or asks and never reads the answers.
    ([shown(), {"raw": '{"shown": true}\n', "times": 100}],
     "the helper said again and again that its window was shown (killed by signal 9)"),
    ([shown(), {"raw": json.dumps({"set": {"id": BRIGHTNESS, "value": 0}}) + "\n", "times": 20000}, {"sleep": 60}],
     "the helper read nothing for 5 s (killed by signal 9)"),
])
def test_a_helper_that_fails_leaves_the_call_returning_as_cancel(desk, platform, capfd, steps, fault):
    dev = quorin.new_Dev(0, 0)
    platform.queue_user_format(320, 240)
    desk.plan(*steps)
    assert dev.displaycapturefilterproperties() is None
    assert capfd.readouterr().err == FAULT.format(fault)
    # Restored, and the headless user's change was not made.
    assert first_bar(dev) == BARS[0]
    assert dev.getbuffer()[1:] == (640, 480)
    assert platform.last_property_frame().shown == 1


def test_the_helper_starts_with_every_signal_at_its_default_and_none_blocked(desk):
    dev = quorin.new_Dev(0, 0)
    desk.plan({"signals": True}, shown(), close("cancel"))
    ignored = signal.signal(signal.SIGUSR1, signal.SIG_IGN)
    blocked = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGUSR2})
    try:
        dev.displaycapturefilterproperties()
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
        signal.signal(signal.SIGUSR1, ignored)
    started = desk.received()[1]
    assert int(started["blocked"], 16) == 0
    # Python ignores SIGPIPE and SIGXFSZ as it starts; nothing else is.
    assert int(started["ignored"], 16) & ~(1 << (signal.SIGPIPE - 1) | 1 << (signal.SIGXFSZ - 1)) == 0


def test_a_helper_whose_status_another_wait_takes_still_ends_the_call(desk, capfd):
    # os.wait() in another thread may reap the helper before the platform
    # does: the helper's end is said either way, and no stranger is waited for.
    dev = quorin.new_Dev(0, 0)
    desk.plan(shown(), {"sleep": 0.5}, {"exit": 0})
    bystander = subprocess.Popen(["sleep", "10"])  # so that os.wait() waits
    waiter = threading.Thread(target=os.wait)
    waiter.start()
    dev.displaycapturefilterproperties()
    bystander.kill()
    waiter.join(10)
    bystander.wait()
    assert capfd.readouterr().err in (
        FAULT.format("the helper ended without closing its window (exit status 0)"),
        FAULT.format("the helper ended without closing its window (ended, its status taken by another wait)"))


def test_a_helper_that_cannot_start_changes_nothing(desk, platform, capfd, monkeypatch, tmp_path):
    missing = str(tmp_path / "no-helper")
    monkeypatch.setenv("QUORIN_DIALOG_HELPER", missing)
    dev = quorin.new_Dev(0, 0)
    dev.displaycapturepinproperties()
    assert capfd.readouterr().err == FAULT.format("cannot start {}: No such file or directory".format(missing))
    assert dev.getbuffer()[1:] == (640, 480)


def test_without_a_display_the_headless_stand_in_answers(desk, platform):
    dev = quorin.new_Dev(0, 0)
    platform.queue_user_format(320, 240)
    desk.plan({"send": {"nodisplay": True}}, {"exit": 0})
    dev.displaycapturepinproperties()
    assert dev.getbuffer()[1:] == (320, 240)
    assert platform.last_property_frame().object == "capture pin"


def test_the_pin_window_sets_the_chosen_size_through_the_stream_configuration(desk, platform):
    dev = quorin.new_Dev(0, 0)
    desk.plan(shown(), {"send": {"apply": {"size": [123, 45]}}}, {"send": {"apply": {"size": [320, 240]}}},
              close("ok"))
    set_formats = platform.calls("IAMStreamConfig::SetFormat")
    dev.displaycapturepinproperties()
    opening, refused, applied = desk.received()
    assert opening == {"dialog": "properties", "caption": "Cam Properties", "pages": [{
        "kind": "format", "title": "Stream Format", "sizes": SIZES, "current": [640, 480], "fps": 30.0,
        "colour": "RGB 24"}]}
    assert refused == {"applied": True, "refused": "The device refused the size (0x80040200)",
                       "current": [640, 480]}
    assert applied == {"applied": True}
    assert platform.calls("IAMStreamConfig::SetFormat") == set_formats + 2
    assert dev.getbuffer()[1:] == (320, 240)


def test_the_deprecated_method_shows_its_warning_in_a_message_box(desk, capfd):
    dev = quorin.new_Dev(0, 0)
    desk.plan(shown(), close("ok"))
    # The message box's helper, then the property frame's, each get the plan.
    dev.displaypropertypage()
    box, frame = desk.received()
    assert box == {"dialog": "message", "caption": "Quorinview Warning", "icon": "warning",
                   "text": "displayPropertyPage() is deprecated.\n"
                           "Use displayCaptureFilterProperties() and displayCapturePinProperties() instead!"}
    assert frame["caption"] == "Quorinview"
    assert capfd.readouterr().err == ""


def test_a_message_box_whose_helper_dies_is_said_on_stderr(desk, capfd):
    dev = quorin.new_Dev(0, 0)
    desk.plan(shown(), {"kill": signal.SIGKILL})
    dev.displaypropertypage()
    assert capfd.readouterr().err == (
        "quorin platform: message box: the helper ended without closing its window (killed by signal 9)\n"
        "[Quorinview Warning] displayPropertyPage() is deprecated.\n"
        "Use displayCaptureFilterProperties() and displayCapturePinProperties() instead!\n"
        + FAULT.format("the helper ended without closing its window (killed by signal 9)"))


def test_a_helper_that_exits_leaving_a_child_on_its_socket_ends_the_call(desk, platform, capfd):
    # The socket stays open while the child lives: the helper's exit is what
    # ends the window.
    dev = quorin.new_Dev(0, 0)
    desk.plan(shown(), set_brightness(0), {"linger": 60})
    started = time.monotonic()
    try:
        dev.displaycapturefilterproperties()
        assert time.monotonic() - started < 10
        assert capfd.readouterr().err == FAULT.format("the helper ended without closing its window (exit status 0)")
        assert first_bar(dev) == BARS[0]
    finally:
        for message in desk.received():
            if "child" in message:
                os.kill(message["child"], signal.SIGKILL)


def test_a_message_box_answer_of_the_wrong_type_is_a_fault_not_an_abort(desk, capfd):
    dev = quorin.new_Dev(0, 0)
    desk.plan({"send": {"nodisplay": "no"}})
    dev.displaypropertypage()
    fault = "the helper sent a message it cannot have meant (killed by signal 9)"
    assert capfd.readouterr().err == (
        "quorin platform: message box: " + fault + "\n"
        "[Quorinview Warning] displayPropertyPage() is deprecated.\n"
        "Use displayCaptureFilterProperties() and displayCapturePinProperties() instead!\n" + FAULT.format(fault))


def test_a_declaration_too_large_for_a_programs_environment_still_opens_the_window(desk, monkeypatch):
    # One variable may hold at most 128 KB when a program starts; the helper
    # is started without the declaration, which it never reads.
    declaration = json.dumps([{"name": "Big", "sizes": SIZES}]) + " " * 200000
    monkeypatch.setenv("QUORIN_VIRTUAL_CAMERAS", declaration)
    dev = quorin.new_Dev(0, 0)
    desk.plan(shown(), close("cancel"))
    dev.displaycapturepinproperties()
    assert desk.received()[0]["caption"] == "Big Properties"


def test_a_full_descriptor_table_is_said_as_the_socket_pair_that_could_not_be_made(desk):
    # The window is shown once before the table fills: UBSan checks a call's
    # object the first time through a pipe, which a full table refuses.
    desk.plan(shown(), close("cancel"))
    result = run_python("""
        import os, resource
        import quorin, platform_control
        platform_control.load().add_camera("Cam")
        dev = quorin.new_Dev(0, 0)
        dev.displaycapturepinproperties()
        resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))
        held = []
        try:
            while True:
                held.append(os.open(os.devnull, os.O_RDONLY))
        except OSError:
            pass
        dev.displaycapturepinproperties()
        for fd in held:
            os.close(fd)
        print(dev.getbuffer()[1:])
    """)
    assert result.stdout == "(640, 480)\n"
    assert result.stderr == FAULT.format("cannot make the socket pair to the helper: Too many open files")
