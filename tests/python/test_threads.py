"""Threads: any thread may open and use a device, one call at a time per
device, and every wait lets the interpreter's lock go."""

import ast
import inspect
import os
import threading
import time

import pytest

import quorin
from conftest import close, shown
from frames import BARS, pixel, sequence_number

# The stubs installed beside the module, or those of the source tree.
PYI = next(path for path in (os.path.join(os.path.dirname(quorin.__file__), "quorin-stubs", "__init__.pyi"),
                             os.path.join(os.path.dirname(__file__), "..", "..", "src", "module", "quorin-stubs",
                                          "__init__.pyi"))
           if os.path.exists(path))


def in_thread(work):
    """Runs work on a new thread; what it returned, or raises what it raised."""
    outcome = {}

    def run():
        try:
            outcome["value"] = work()
        except BaseException as error:  # handed to the caller
            outcome["error"] = error
    thread = threading.Thread(target=run)
    thread.start()
    thread.join(60)
    assert not thread.is_alive()
    if "error" in outcome:
        raise outcome["error"]
    return outcome["value"]


class Counter:
    """A thread that counts as fast as the interpreter lets it."""

    def __init__(self):
        self.count = 0
        self.running = True
        self.thread = threading.Thread(target=self.run)
        self.thread.start()

    def run(self):
        while self.running:
            self.count += 1
            time.sleep(0.001)

    def stop(self):
        self.running = False
        self.thread.join()
        return self.count


def test_a_device_opened_used_and_resized_on_worker_threads(camera, capfd):
    camera.add_camera("Cam", sizes=[[640, 480], [320, 240]])
    dev = in_thread(lambda: quorin.new_Dev(1, 0))
    assert in_thread(lambda: dev.getbuffer()[1:]) == (640, 480)
    in_thread(lambda: dev.setresolution(320, 240))
    data, width, height = dev.getbuffer()
    assert (width, height) == (320, 240) and pixel(data, width, height, 0, 0) == BARS[0]
    assert in_thread(dev.getdisplayname) == "Cam"
    del dev
    assert capfd.readouterr().err == ""


def test_com_is_started_on_a_thread_when_first_needed_and_stopped_as_it_ends(camera):
    in_thread(lambda: quorin.new_Dev(0, 0).getbuffer())
    # Stopped as the thread's last act, which join() may not wait for.
    deadline = time.monotonic() + 60
    while camera.calls("CoUninitialize") == 0 and time.monotonic() < deadline:
        time.sleep(0.01)
    assert (camera.calls("CoInitialize"), camera.calls("CoUninitialize")) == (1, 1)
    # A thread whose COM someone else started (here as a multithreaded
    # apartment) is used as it is: neither started again nor stopped.
    def elsewhere():
        assert camera.init_com(multithreaded=True) == 0
        return quorin.new_Dev(0, 0).getbuffer()[1:]
    assert in_thread(elsewhere) == (640, 480)
    assert (camera.calls("CoInitialize"), camera.calls("CoUninitialize")) == (2, 1)

    # Started by another library in the same apartment: the module keeps the
    # count it took (S_FALSE) until the thread ends, so that the library's
    # own balanced stop leaves COM to the module.
    def borrowed():
        assert camera.init_com(multithreaded=False) == 0
        quorin.listdevices()
        camera.uninit_com()
        return quorin.new_Dev(0, 0).getbuffer()[1:]
    assert in_thread(borrowed) == (640, 480)
    deadline = time.monotonic() + 60
    while camera.calls("CoUninitialize") < 3 and time.monotonic() < deadline:
        time.sleep(0.01)
    assert (camera.calls("CoInitialize"), camera.calls("CoUninitialize")) == (3, 3)


def test_a_device_outlives_the_thread_that_opened_it(camera):
    dev = in_thread(lambda: quorin.new_Dev(0, 0))
    time.sleep(0.05)  # the thread and its COM are gone
    first = sequence_number(*dev.getbuffer())
    time.sleep(0.1)
    assert sequence_number(*dev.getbuffer()) > first
    dev.setresolution(640, 480)
    assert dev.getbuffer()[1:] == (640, 480)


def test_other_threads_run_while_a_device_waits_for_a_frame_that_never_comes(platform):
    platform.add_camera("Mute", delivers=False)
    dev = quorin.new_Dev(0, 0)
    counter = Counter()
    started = time.monotonic()
    with pytest.raises(quorin.error, match="^No frame arrived from the device within 10 seconds.$"):
        dev.getbuffer()
    waited = time.monotonic() - started
    counted = counter.stop()
    assert 10 <= waited < 12
    assert counted > 1000  # about one a millisecond: never held up for long


def test_other_threads_run_while_a_dialog_is_open(desk):
    dev = quorin.new_Dev(0, 0)
    desk.plan(shown(), {"sleep": 1}, close("cancel"))
    counter = Counter()
    dev.displaycapturefilterproperties()
    assert counter.stop() > 300


def test_eight_threads_on_one_device_and_eight_on_eight_devices(platform):
    for k in range(9):
        platform.add_camera("Cam{}".format(k), sizes=[[64, 48]], fps=200)
    shared = quorin.new_Dev(0, 0)
    own = [quorin.new_Dev(k + 1, 0) for k in range(8)]
    deadline = time.monotonic() + 20
    faults = []
    frames = []

    def take(dev):
        last, taken = -1, 0
        while time.monotonic() < deadline:
            data, width, height = dev.getbuffer()
            number = sequence_number(data, width, height)
            if (width, height) != (64, 48) or len(data) != 64 * 3 * 48 or number < last or \
                    pixel(data, width, height, 0, 0) != BARS[0]:
                faults.append((width, height, len(data), number, last))
            last, taken = number, taken + 1
        frames.append(taken)
    threads = [threading.Thread(target=take, args=(dev,)) for dev in [shared] * 8 + own]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert faults == [] and len(frames) == 16 and min(frames) > 0
    del shared, own


def test_listdevices_names_the_devices_in_the_order_new_dev_takes(platform):
    assert quorin.listdevices() == []
    for name in ("Front", "Back", "Caméra"):
        platform.add_camera(name)
    names = in_thread(quorin.listdevices)
    assert names == ["Front", "Back", "Caméra"]
    assert [quorin.new_Dev(k, 0).getdisplayname() for k in range(3)] == names


def test_the_docstrings_say_what_quorin_pyi_says(camera):
    dev_type = type(quorin.new_Dev(0, 0))
    with open(PYI) as stub:
        tree = ast.parse(stub.read())
    expected = {"quorin": ast.get_docstring(tree)}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            expected[node.name] = ast.get_docstring(node)
        elif isinstance(node, ast.ClassDef) and node.name == "Dev":
            expected["Dev"] = ast.get_docstring(node)
            expected.update(("Dev." + method.name, ast.get_docstring(method))
                            for method in node.body if isinstance(method, ast.FunctionDef))
    actual = {"quorin": quorin.__doc__, "Dev": dev_type.__doc__}
    for name in expected:
        if name not in actual:
            function = getattr(dev_type, name[4:]) if name.startswith("Dev.") else getattr(quorin, name)
            # A function's own starts with its signature, as CPython's do.
            signature, _, actual[name] = function.__doc__.partition("\n\n")
            assert signature.startswith(function.__name__ + "(")
    assert actual == expected
