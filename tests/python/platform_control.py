"""ctypes access to the platform library's control surface.

The platform library is linked into the quorin extension, so its control
functions are reached through the extension's own file, loaded before or
after `import quorin` (the dynamic loader gives both the same copy)."""

import ctypes
import importlib.util
import json


def hresult(value):
    """A 32-bit HRESULT as the signed value the platform returns."""
    return ctypes.c_int32(value).value


S_OK = 0
S_FALSE = 1
E_FAIL = hresult(0x80004005)
E_POINTER = hresult(0x80004003)
E_INVALIDARG = hresult(0x80070057)
E_OUTOFMEMORY = hresult(0x8007000E)
VFW_E_NOT_CONNECTED = hresult(0x80040209)
VFW_E_WRONG_STATE = hresult(0x80040227)


class PropertyFrame(ctypes.Structure):
    _fields_ = [("shown", ctypes.c_long), ("owner", ctypes.c_size_t), ("has_caption", ctypes.c_int),
                ("caption_bytes", ctypes.c_char * 256), ("objects", ctypes.c_ulong), ("pages", ctypes.c_ulong),
                ("object_bytes", ctypes.c_char * 32)]

    @property
    def caption(self):
        return self.caption_bytes.decode() if self.has_caption else None

    @property
    def object(self):
        return self.object_bytes.decode()


class VideoWindowStatistics(ctypes.Structure):
    _fields_ = [("windows_shown", ctypes.c_long), ("frames_offered", ctypes.c_long),
                ("offer_nanoseconds", ctypes.c_longlong), ("frames_painted", ctypes.c_long),
                ("helper_pid", ctypes.c_long), ("helpers_running", ctypes.c_long)]


class Platform:
    def __init__(self, path):
        lib = ctypes.CDLL(path)
        self._lib = lib
        lib.quorin_platform_add_camera.argtypes = [ctypes.c_char_p]
        lib.quorin_platform_remove_camera.argtypes = [ctypes.c_char_p]
        lib.quorin_platform_use_system_devices.argtypes = [ctypes.c_int]
        lib.quorin_platform_use_system_devices.restype = None
        lib.quorin_platform_v4l2_device_format.argtypes = [ctypes.c_char_p]
        lib.quorin_platform_v4l2_device_format.restype = None
        lib.quorin_platform_fail.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_int32]
        lib.quorin_platform_fail.restype = None
        lib.quorin_platform_fail_resource.argtypes = [ctypes.c_char_p, ctypes.c_int]
        lib.quorin_platform_fail_resource.restype = None
        lib.quorin_platform_call_count.argtypes = [ctypes.c_char_p]
        for name in ("call_count", "live_objects", "task_memory_blocks", "open_handles", "windows_shown",
                     "samples_delivered", "pictures_converted"):
            getattr(lib, "quorin_platform_" + name).restype = ctypes.c_long
        lib.quorin_platform_init_com.restype = ctypes.c_int32
        lib.quorin_platform_reset.restype = None
        lib.quorin_platform_last_property_frame.argtypes = [ctypes.POINTER(PropertyFrame)]
        lib.quorin_platform_last_property_frame.restype = None
        lib.quorin_platform_queue_user_format.argtypes = [ctypes.c_long, ctypes.c_long]
        lib.quorin_platform_queue_user_format.restype = None
        lib.quorin_platform_last_message_box_style.restype = ctypes.c_ulong
        lib.quorin_platform_video_window_statistics.argtypes = [ctypes.POINTER(VideoWindowStatistics)]
        lib.quorin_platform_video_window_statistics.restype = None

    def reset(self):
        self._lib.quorin_platform_reset()

    def add_camera(self, name="Camera", **options):
        options["name"] = name
        if self._lib.quorin_platform_add_camera(json.dumps(options).encode()) != 0:
            raise ValueError("camera refused: %r" % (options,))

    def use_system_devices(self, on):
        """Whether device enumeration lists the machine's own capture devices."""
        self._lib.quorin_platform_use_system_devices(1 if on else 0)

    def v4l2_device_format(self, fourcc):
        """Asks V4L2 devices to stream in fourcc (e.g. "YUYV") where they
        offer it; None lets libv4lconvert pick."""
        self._lib.quorin_platform_v4l2_device_format(fourcc.encode() if fourcc else None)

    def remove_camera(self, name):
        return self._lib.quorin_platform_remove_camera(name.encode())

    def fail(self, operation, nth=1, result=E_FAIL):
        self._lib.quorin_platform_fail(operation.encode(), nth, result)

    def fail_resource(self, kind, nth=1):
        self._lib.quorin_platform_fail_resource(kind.encode(), nth)

    def calls(self, operation):
        return self._lib.quorin_platform_call_count(operation.encode())

    def live_objects(self):
        return self._lib.quorin_platform_live_objects()

    def task_memory_blocks(self):
        return self._lib.quorin_platform_task_memory_blocks()

    def open_handles(self):
        return self._lib.quorin_platform_open_handles()

    def windows_shown(self):
        return self._lib.quorin_platform_windows_shown()

    def samples_delivered(self):
        return self._lib.quorin_platform_samples_delivered()

    def pictures_converted(self):
        return self._lib.quorin_platform_pictures_converted()

    def last_property_frame(self):
        frame = PropertyFrame()
        self._lib.quorin_platform_last_property_frame(ctypes.byref(frame))
        return frame

    def queue_user_format(self, width, height):
        """The user's change in the next property frame: a new capture size."""
        self._lib.quorin_platform_queue_user_format(width, height)

    def last_message_box_style(self):
        return self._lib.quorin_platform_last_message_box_style()

    def video_window(self):
        """What renderers' windows on a desktop did since the last reset,
        and the helper running now (helper_pid, helpers_running)."""
        statistics = VideoWindowStatistics()
        self._lib.quorin_platform_video_window_statistics(ctypes.byref(statistics))
        return statistics

    def init_com(self, multithreaded):
        """COM started on the calling thread as another library would."""
        return self._lib.quorin_platform_init_com(1 if multithreaded else 0)

    def uninit_com(self):
        self._lib.quorin_platform_uninit_com()


def load():
    found = importlib.util.find_spec("quorin")
    if found is None or not found.origin:
        raise ImportError("quorin is not on the path")
    return Platform(found.origin)
