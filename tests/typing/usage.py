"""Checked by mypy against quorin's stubs: what scripts write."""

import quorin

try:
    names: list = quorin.listdevices()
    first: str = quorin.listdevices()[0]
    dev = quorin.new_Dev(0, 0)
    data, width, height = dev.getbuffer()
    size: int = len(data) + width * height
    name: str = dev.getdisplayname()
    dev.setresolution(640, 480)
    dev.displaycapturefilterproperties()
    dev.displaycapturepinproperties()
    dev.displaypropertypage()
except quorin.error as failure:
    message: str = str(failure)


def frame_size(device: "quorin.Dev") -> int:
    """Dev exists for type checking: a script may name it in annotations."""
    return len(device.getbuffer()[0])
