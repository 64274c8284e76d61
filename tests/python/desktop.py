"""A display of a test's own: Xvfb, optionally with a window manager, and
the tools that act as its user (xdotool, wmctrl, ImageMagick's import)."""

import contextlib
import os
import shutil
import subprocess
import time

import pytest

import quorin

HELPER = os.path.join(os.path.dirname(quorin.__file__), "quorin-dialogs")


def require(*tools):
    """Skips the test (fails it in CI) unless the tools and the real helper
    are there."""
    missing = [tool for tool in tools if not shutil.which(tool)]
    if not os.access(HELPER, os.X_OK):
        missing.append(HELPER + " (built where GTK 3 is)")
    if missing:
        if os.environ.get("CI") == "true":
            pytest.fail("CI must run the desktop's windows: missing " + ", ".join(missing))
        pytest.skip("needs " + ", ".join(missing))


def tool_environment(**settings):
    """The environment for the display and the tools that act as the user:
    not the sanitizer's runtime that this process may have preloaded."""
    environment = dict(os.environ, **settings)
    environment.pop("LD_PRELOAD", None)
    return environment


def script_environment(display, camera, declaration):
    """The environment of a test's script on display: the module and the
    tests' helpers on its path, X11 for GTK, and for camera "virtual" the
    cameras of declaration."""
    environment = dict(os.environ, DISPLAY=display, NO_AT_BRIDGE="1", GDK_BACKEND="x11")
    environment.pop("WAYLAND_DISPLAY", None)
    environment["PYTHONPATH"] = os.pathsep.join([os.path.dirname(__file__), os.path.dirname(quorin.__file__)])
    if camera == "virtual":
        environment["QUORIN_VIRTUAL_CAMERAS"] = declaration
    return environment


def screenshot_folder(tmp_path):
    """Where screenshots go: QUORIN_SCREENSHOTS, or the test's own folder."""
    folder = os.environ.get("QUORIN_SCREENSHOTS") or str(tmp_path)
    os.makedirs(folder, exist_ok=True)
    return folder


@contextlib.contextmanager
def display(screen="1280x1024x24", window_manager=None):
    """Runs Xvfb (and the window manager named) for the block; gives the
    display's name."""
    read_end, write_end = os.pipe()
    # -noreset: by default the server starts over when its last client
    # leaves, refusing connections meanwhile, which a helper that starts
    # just after another closed would meet.
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen, "-nolisten", "tcp",
                               "-noreset"], pass_fds=(write_end,), stderr=subprocess.DEVNULL,
                              env=tool_environment())
    os.close(write_end)
    with os.fdopen(read_end) as announced:
        number = announced.readline().strip()
    assert number, "Xvfb announced no display"
    name = ":" + number
    manager = None
    if window_manager:
        manager = subprocess.Popen([window_manager], env=tool_environment(DISPLAY=name), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        # Running once it answers as the window manager (wmctrl -m).
        deadline = time.monotonic() + 30
        while subprocess.run(["wmctrl", "-m"], env=tool_environment(DISPLAY=name), stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            assert time.monotonic() < deadline, window_manager + " did not start"
            time.sleep(0.1)
    try:
        yield name
    finally:
        for process in (manager, server):
            if process:
                process.terminate()
                process.wait(timeout=10)


# How long a window may take to do what a test waits for: far beyond what it
# takes (seconds under the VM's emulation and sanitizers), so that a machine
# ten times slower still passes; only a fault waits it out.
PATIENCE_S = 180.0


def wait_for(what, check, limit=PATIENCE_S):
    """Polls check() until it gives a true value, which it returns; prints
    how long that took. An AssertionError from check means not yet: the last
    one is the failure's reason when the limit passes."""
    started = time.monotonic()
    while True:
        reason = ""
        try:
            value = check()
            if value:
                print("{}: {:.2f} s".format(what, time.monotonic() - started))
                return value
        except AssertionError as error:
            reason = ": {}".format(error)
        if time.monotonic() - started > limit:
            pytest.fail("{}: not within {:.0f} s{}".format(what, limit, reason))
        time.sleep(0.05)
