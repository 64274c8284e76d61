"""What the platform says reaches Python's logging: the logger "quorin", at
WARNING, on a Python thread with no quorin lock held, whichever thread it
arose on; with no handler anywhere, logging writes it to standard error as
before."""

import json
import logging
import threading

import pytest

import quorin
from conftest import run_python, shown

FAULT = "quorin platform: property dialog: {}; closed as with Cancel"


class Records(logging.Handler):
    def __init__(self):
        super().__init__()
        self.records = []

    def emit(self, record):
        self.records.append(record)


@pytest.fixture
def records():
    handler = Records()
    logger = logging.getLogger("quorin")
    logger.addHandler(handler)
    yield handler.records
    logger.removeHandler(handler)


def test_a_helper_fault_is_a_warning_of_the_quorin_logger_and_not_written_beside_it(desk, records, capfd):
    dev = quorin.new_Dev(0, 0)
    desk.plan(shown(), {"exit": 3})
    dev.displaycapturefilterproperties()
    assert [(r.name, r.levelno, r.getMessage()) for r in records] == [
        ("quorin", logging.WARNING, FAULT.format("the helper ended without closing its window (exit status 3)"))]
    assert records[0].threadName == threading.current_thread().name
    assert capfd.readouterr().err == ""


def test_a_line_said_on_the_video_windows_own_thread_is_logged_on_the_main_thread(desk, platform, records):
    desk.plan(shown(), {"exit": 0})
    dev = quorin.new_Dev(0, 1)
    dev.getbuffer()
    deadline = threading.Event()
    for _ in range(6000):
        if records:
            break
        deadline.wait(0.01)
    assert [r.getMessage() for r in records] == [
        "quorin platform: video window: the helper ended while its window showed (exit status 0);"
        " capture goes on without it"]
    assert records[0].thread == threading.main_thread().ident


def test_no_python_code_runs_on_a_platform_thread_or_under_a_devices_lock(helper):
    # Logging runs Python code: here a handler that collects garbage, as the
    # collector may at any allocation. A Dev left in a cycle is collected in
    # the handler of a line its own window said: its teardown closes the
    # window, which waits for the window's thread, so that line must not be
    # logged on that thread. Then on a thread of the script's, by a call
    # into the module. A handler that names the camera calls the very Dev
    # whose call said the line.
    helper.plan(shown(), {"sleep": 0.5}, {"exit": 0})
    result = run_python("""
        import gc, json, logging, threading, time, quorin
        said = []
        class Said(logging.Handler):
            def emit(self, record):
                said.append([record.getMessage(), threading.current_thread().name,
                             isinstance(threading.current_thread(), threading._DummyThread)])
                gc.collect()
                if named:
                    said[-1].append(named[0].getdisplayname())
        logging.getLogger("quorin").addHandler(Said())
        named = []
        class Cycle:
            pass
        def leave_in_a_cycle():
            cycle = Cycle()
            cycle.me = cycle
            cycle.dev = quorin.new_Dev(0, 1)
            cycle.dev.getbuffer()
        def until_said(count):
            for _ in range(6000):
                if len(said) >= count:
                    return
                time.sleep(0.01)
        gc.disable()  # the cycles wait for the handler's collection
        leave_in_a_cycle()
        until_said(1)  # the helper's exit, said on the window's thread
        def on_another_thread():
            leave_in_a_cycle()
            time.sleep(1)  # the helper ends meanwhile
            quorin.listdevices()
        worker = threading.Thread(target=on_another_thread, name="worker")
        worker.start()
        worker.join()
        until_said(2)
        named.append(quorin.new_Dev(0, 0))
        try:
            named[0].displaycapturefilterproperties()  # the helper ends without closing its window
        except quorin.error:
            pass
        print(json.dumps(said))
    """, env={"QUORIN_VIRTUAL_CAMERAS": '[{"name": "Cam"}]'})
    assert result.returncode == 0, result.stderr[-3000:]
    said = json.loads(result.stdout)
    assert len(said) == 3, said
    window_gone = ("quorin platform: video window: the helper ended while its window showed (exit status 0);"
                   " capture goes on without it")
    assert said[0] == [window_gone, "MainThread", False]
    assert said[1][0] == window_gone and said[1][1:] in (["MainThread", False], ["worker", False]), said
    assert said[2] == [FAULT.format("the helper ended without closing its window (exit status 0)"), "MainThread",
                       False, "Cam"]


def test_without_a_handler_lines_reach_standard_error_even_as_the_interpreter_exits():
    # A daemon thread says line after line (a declaration the platform
    # refuses, through ctypes, which lets the interpreter's lock go) while the
    # interpreter exits: each is written whole, and the exit neither hangs
    # nor crashes.
    result = run_python("""
        import threading, time
        import platform_control, quorin
        lib = platform_control.load()._lib
        def say():
            while True:
                lib.quorin_platform_add_camera(b"[")
        threading.Thread(target=say, daemon=True).start()
        time.sleep(0.3)
    """)
    assert result.returncode == 0, result.stderr[-2000:]
    lines = result.stderr.splitlines()
    assert len(lines) > 10
    assert set(lines) == {lines[0]} and lines[0].startswith("quorin platform: camera: ")


def test_a_line_with_bytes_that_are_not_utf8_is_logged_escaped_and_not_written_beside_the_logger():
    # A declaration holding byte 0xFF (an environment's bytes, as os.environ
    # keeps them: a lone surrogate).
    result = run_python("""
        import json, logging, quorin
        said = []
        class Said(logging.Handler):
            def emit(self, record):
                said.append(record.getMessage())
        logging.getLogger("quorin").addHandler(Said())
        try:
            quorin.listdevices()
        except quorin.error:
            pass  # no camera: the declaration is refused
        print(json.dumps(said))
    """, env={"QUORIN_VIRTUAL_CAMERAS": '[{"name": "\udcff"'})
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    said = json.loads(result.stdout)
    assert len(said) == 1 and said[0].startswith("quorin platform: QUORIN_VIRTUAL_CAMERAS: not valid JSON"), said
    assert said[0].endswith("\"\\xff'"), said
