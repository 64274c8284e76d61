import gc
import json
import os
import subprocess
import sys
import textwrap

import pytest

sys.path.insert(0, os.path.dirname(__file__))

import platform_control  # noqa: E402

import quorin  # noqa: E402

PLATFORM = platform_control.load()

# The suite runs headless: a desktop's windows appear only in the tests that
# start a display of their own.
for name in ("DISPLAY", "WAYLAND_DISPLAY", "QUORIN_DIALOG_HELPER"):
    os.environ.pop(name, None)


@pytest.fixture
def platform(monkeypatch):
    """The platform, reset, with no declared cameras and none of the machine's
    own devices; every test must leave no platform object and no task memory
    behind."""
    monkeypatch.delenv("QUORIN_VIRTUAL_CAMERAS", raising=False)
    PLATFORM.reset()
    PLATFORM.use_system_devices(False)
    yield PLATFORM
    gc.collect()
    assert PLATFORM.live_objects() == 0
    assert PLATFORM.task_memory_blocks() == 0
    assert PLATFORM.open_handles() == 0
    PLATFORM.reset()


@pytest.fixture
def camera(platform):
    """One plain virtual camera."""
    platform.add_camera("Camera")
    return platform


TIMINGS = []


@pytest.fixture
def timing():
    """Records a figure for the run's end: timing(what, seconds)."""
    return lambda what, seconds: TIMINGS.append((what, seconds))


def pytest_terminal_summary(terminalreporter):
    if TIMINGS:
        terminalreporter.section("timings")
        for what, seconds in TIMINGS:
            terminalreporter.write_line("{}: {:.3f} s".format(what, seconds))


def run_python(code, env=None, background=False):
    """Runs code in a fresh interpreter with this test's module path (the
    platform helper is importable there too): to its end, or in the
    background, returning the process."""
    environment = dict(os.environ)
    environment.update(env or {})
    paths = [os.path.dirname(__file__), os.path.dirname(quorin.__file__)]
    environment["PYTHONPATH"] = os.pathsep.join(paths + [environment.get("PYTHONPATH", "")])
    command = [sys.executable, "-c", textwrap.dedent(code)]
    if background:
        return subprocess.Popen(command, env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                universal_newlines=True)
    return subprocess.run(command, env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          universal_newlines=True, timeout=60)


# ThreadSanitizer cannot follow a thread started in a child of a process
# with threads (its registry keeps the parent's threads): such children are
# checked in the other builds.
UNDER_TSAN = "libtsan" in os.environ.get("LD_PRELOAD", "")
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")

FAKE_HELPER = os.path.join(os.path.dirname(__file__), "fake_dialog_helper.py")
SIZES = [[640, 480], [320, 240]]


@pytest.fixture
def helper(monkeypatch, tmp_path):
    """A desktop whose dialog helper is a stand-in that plays a plan (a list
    of steps, fake_dialog_helper.py): plan() sets the plan, received() reads
    what each helper started got."""
    log = tmp_path / "helper.log"
    monkeypatch.setenv("DISPLAY", ":quorin-test")
    monkeypatch.setenv("QUORIN_DIALOG_HELPER", FAKE_HELPER)
    monkeypatch.setenv("QUORIN_FAKE_HELPER_LOG", str(log))

    class Helper:
        def plan(self, *steps):
            monkeypatch.setenv("QUORIN_FAKE_HELPER_PLAN", json.dumps(list(steps)))

        def received(self):
            return [json.loads(line) for line in log.read_text().splitlines()] if log.exists() else []

    return Helper()


@pytest.fixture
def desk(platform, helper):
    """The stand-in helper's desktop (helper), with a camera "Cam" of SIZES."""
    platform.add_camera("Cam", sizes=SIZES)
    return helper


def exits_cleanly_while_a_daemon_thread_captures(env=None):
    """Runs an interpreter whose daemon thread takes frames of device 0 as
    the interpreter exits: nothing the delivery thread reaches may be
    destroyed under it. The process must end at once, cleanly."""
    process = run_python("""
        import threading, time, quorin
        def capture():
            dev = quorin.new_Dev(0, 0)
            while True:
                dev.getbuffer()
        threading.Thread(target=capture, daemon=True).start()
        time.sleep(0.5)
    """, env=env, background=True)
    out, err = process.communicate(timeout=20)
    assert process.returncode == 0, err
    assert "Sanitizer" not in err and "runtime error" not in err, err


def shown():
    """The plan's step: the window is up."""
    return {"send": {"shown": True}}


def close(how):
    """The plan's step: the window closed, how ("ok" or "cancel")."""
    return {"send": {"close": how}}
