import gc
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
    PLATFORM.reset()


@pytest.fixture
def camera(platform):
    """One plain virtual camera."""
    platform.add_camera("Camera")
    return platform


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
