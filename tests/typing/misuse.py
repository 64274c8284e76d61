"""Must fail mypy: each line is a mistake the stubs catch."""

import quorin

dev = quorin.new_Dev("0", 0)
width: str = dev.getbuffer()[1]
dev.setresolution(640)
quorin.open_device(0)
quorin.listdevices(0)
