"""The module as the interpreter sees it: import, error type, COM start."""

import gc
import json
import os
import signal
import threading
import time
import types

import pytest

import quorin

from conftest import UNDER_ASAN, UNDER_TSAN, exits_cleanly_while_a_daemon_thread_captures, run_python
from frames import sequence_number


def test_namespace_holds_new_dev_listdevices_and_error_only():
    public = sorted(name for name in vars(quorin) if not name.startswith("__"))
    assert public == ["error", "listdevices", "new_Dev"]
    assert isinstance(quorin.new_Dev, types.BuiltinFunctionType)
    assert issubclass(quorin.error, Exception)
    assert quorin.error.__module__ + "." + quorin.error.__name__ == "quorin.Error"


def test_dev_type_is_named_dev_and_not_exported(camera):
    dev = quorin.new_Dev(0, 0)
    assert (type(dev).__module__, type(dev).__name__, type(dev).__qualname__) == ("quorin", "Dev", "Dev")
    assert type(dev) not in vars(quorin).values()


def test_import_warns_of_nothing_and_a_reimport_keeps_the_dev_type():
    # Made anew, the type would leave devices opened before the reimport of
    # another type than those opened after.
    result = run_python("""
        import sys
        import quorin
        before = type(quorin.new_Dev(0, 0))
        del sys.modules["quorin"]
        import quorin
        print(type(quorin.new_Dev(0, 0)) is before)
    """, env={"PYTHONWARNINGS": "error", "QUORIN_VIRTUAL_CAMERAS": '[{"name": "Cam"}]'})
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["True"]


def test_reimport_runs_initialization_again_with_a_new_error_type():
    result = run_python("""
        import sys, platform_control
        import quorin
        control = platform_control.load()
        first = quorin.error
        del sys.modules["quorin"]
        import quorin
        print(quorin.error is not first, control.calls("CoInitialize"))
    """)
    assert result.returncode == 0, result.stderr
    # Both imports started COM: the second on an initialized thread (S_FALSE).
    assert result.stdout.split() == ["True", "2"]


def test_import_in_a_multithreaded_apartment_fails_and_leaves_no_module():
    result = run_python("""
        import sys, threading, platform_control
        control = platform_control.load()
        outcome = []
        def importer():
            assert control.init_com(multithreaded=True) == 0
            try:
                import quorin
                outcome.append("imported")
            except Exception as error:
                outcome.append("%s.%s: %s" % (type(error).__module__, type(error).__name__, error))
            outcome.append("quorin" in sys.modules)
        thread = threading.Thread(target=importer)
        thread.start()
        thread.join()
        print(outcome)
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "['quorin.Error: Initialization of COM failed.', False]"


def test_import_where_com_is_already_initialized_in_the_same_mode():
    result = run_python("""
        import platform_control
        control = platform_control.load()
        print(hex(control._lib.CoInitialize(None)))
        import quorin
        print("imported")
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["0x0", "imported"]


def test_failed_exit_registration_balances_com_and_leaves_no_module():
    # The interpreter keeps a fixed number of exit hooks; importing anew until
    # they run out reaches the registration failure.
    result = run_python("""
        import sys, platform_control
        control = platform_control.load()
        message = None
        for attempt in range(64):
            sys.modules.pop("quorin", None)
            try:
                import quorin
            except Exception as error:
                message = str(error)
                break
        print(repr(message), "quorin" in sys.modules, control.calls("CoUninitialize"))
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split(" ", 1)[0] == "'Registering"
    assert result.stdout.strip().endswith("' False 1")
    assert "Registering CoUninitialize at exit failed." in result.stdout


def test_an_interpreter_that_exits_while_a_daemon_thread_captures_ends_cleanly():
    # Large frames: the thread is most often inside a call, without the
    # interpreter's lock, when the exit ends it (by unwinding it).
    exits_cleanly_while_a_daemon_thread_captures(
        {"QUORIN_VIRTUAL_CAMERAS": '[{"name": "Daemon", "fps": 200, "sizes": [[3840, 2160]]}]'})


FORKED = "The device belongs to the process this one was forked from: open it again with new_Dev()."


def test_a_dev_inherited_through_fork_refuses_use_and_goes_without_touching_the_parents(camera):
    dev = quorin.new_Dev(0, 0)
    first = sequence_number(*dev.getbuffer())
    reading, writing = os.pipe()
    child = os.fork()
    if child == 0:  # the child: every call refused, then dropped
        try:
            said = []
            for call in (dev.getbuffer, dev.getdisplayname, lambda: dev.setresolution(640, 480),
                         dev.displaycapturefilterproperties):
                try:
                    call()
                    said.append("returned")
                except quorin.error as error:
                    said.append(str(error))
            del dev
            gc.collect()
            # As the message says: the child opens the camera for itself.
            os.environ["QUORIN_VIRTUAL_CAMERAS"] = '[{"name": "Again"}]'
            again = quorin.new_Dev(0, 0)
            said.append([again.getdisplayname(), len(again.getbuffer()[0]) if not UNDER_TSAN else 640 * 480 * 3])
            os.write(writing, json.dumps(said).encode())
        finally:
            os._exit(0)
    os.close(writing)
    started = time.monotonic()
    while os.waitpid(child, os.WNOHANG) == (0, 0):
        assert time.monotonic() - started < 10, "the child hangs"
        time.sleep(0.01)
    with os.fdopen(reading) as report:
        assert json.loads(report.read()) == [FORKED] * 4 + [["Again", 640 * 480 * 3]]
    time.sleep(0.1)
    assert sequence_number(*dev.getbuffer()) > first  # the parent's frames keep coming


# GCC 12's AddressSanitizer replaces malloc but, unlike glibc's, takes no lock
# across fork: a child forked while a platform thread of the parent (running
# without the interpreter's lock) is inside its allocator inherits that lock
# held, and the child's first thread waits for it for ever. Seen as the
# child's new thread waiting in the allocator's region mutex, reached from
# pthread_getattr_np's free, once the earlier tests have filled the
# quarantine. The plain builds, on glibc's malloc, run it every time.
@pytest.mark.skipif(UNDER_TSAN, reason="the children start threads")
@pytest.mark.skipif(UNDER_ASAN, reason="AddressSanitizer's allocator keeps its locks held across fork")
def test_children_forked_while_a_parent_thread_grabs_frames_open_the_same_camera(monkeypatch):
    # Every call into the platform takes its process-wide locks: a child
    # forked while the parent's thread holds one must not wait for it.
    monkeypatch.setenv("QUORIN_VIRTUAL_CAMERAS", '[{"name": "Shared", "fps": 500, "sizes": [[64, 48]]}]')
    dev = quorin.new_Dev(0, 0)
    grabbing = True

    def grab():
        while grabbing:
            dev.getbuffer()
    grabber = threading.Thread(target=grab)
    grabber.start()
    try:
        for _ in range(40):
            child = os.fork()
            if child == 0:
                ok = False
                try:
                    ok = quorin.listdevices() == ["Shared"] and quorin.new_Dev(0, 0).getbuffer()[1:] == (64, 48)
                finally:
                    os._exit(0 if ok else 1)
            started = time.monotonic()
            while (done := os.waitpid(child, os.WNOHANG)) == (0, 0):
                if time.monotonic() - started > 10:
                    os.kill(child, signal.SIGKILL)
                    os.waitpid(child, 0)
                    pytest.fail("a child hangs")
                time.sleep(0.001)
            assert os.waitstatus_to_exitcode(done[1]) == 0
    finally:
        grabbing = False
        grabber.join()


def test_a_child_forked_while_a_parent_thread_is_inside_a_method_is_refused_at_once(platform):
    platform.add_camera("Slow start", first_frame_ms=3000)
    dev = quorin.new_Dev(0, 0)
    waiting = threading.Thread(target=dev.getbuffer)  # holds the Dev's call lock for 3 s
    waiting.start()
    time.sleep(0.5)
    reading, writing = os.pipe()
    child = os.fork()
    if child == 0:  # the lock stays taken here for ever: the call must not wait for it
        try:
            try:
                dev.getdisplayname()
                said = "returned"
            except quorin.error as error:
                said = str(error)
            os.write(writing, said.encode())
        finally:
            os._exit(0)
    os.close(writing)
    started = time.monotonic()
    while os.waitpid(child, os.WNOHANG) == (0, 0):
        if time.monotonic() - started > 5:
            os.kill(child, signal.SIGKILL)
            os.waitpid(child, 0)
            pytest.fail("the child hangs")
        time.sleep(0.01)
    with os.fdopen(reading) as report:
        assert report.read() == FORKED
    waiting.join()
