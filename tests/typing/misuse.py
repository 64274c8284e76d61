"""Must fail mypy on each line marked "# error": each is a mistake the stubs
catch (checked by tests/typing/check.py)."""

import quorin

dev = quorin.new_Dev("0", 0)  # error
width: str = dev.getbuffer()[1]  # error
dev.setresolution(640)  # error
quorin.open_device(0)  # error
quorin.listdevices(0)  # error
quorin.new_Dev(devnum=0, showVideoWindow=0)  # error
dev.setresolution(width=640, height=480)  # error
