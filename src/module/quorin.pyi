"""Still frames from video capture devices (webcams, capture cards)."""

from typing import Tuple


class error(Exception):
    """Raised with a fixed message naming the device or platform step that failed."""


class Dev:
    """One open capture device; made by new_Dev().

    A Dev belongs to the process that opened it: in a child made by
    os.fork() every method raises error("The device belongs to the process
    this one was forked from: open it again with new_Dev()."), and dropping
    it there leaves the parent's capture alone."""

    def displaypropertypage(self, *args: object) -> None:
        """Deprecated: warns, then shows the capture filter's property pages."""

    def displaycapturefilterproperties(self, *args: object) -> None:
        """Shows the capture filter's property pages, then rebuilds the graph."""

    def displaycapturepinproperties(self, *args: object) -> None:
        """Shows the capture pin's property pages, then rebuilds the graph."""

    def getdisplayname(self, *args: object) -> str:
        """The device's friendly name."""

    def setresolution(self, width: int, height: int) -> None:
        """Changes the capture size to one the device offers."""

    def getbuffer(self, *args: object) -> Tuple[bytes, int, int]:
        """The latest frame: 24-bit RGB bytes (rows bottom-up, B, G, R, rows
        padded to four bytes), its width and its height.

        Raises error("The capture device was disconnected.") once the device
        is unplugged (and on every later call), never an old frame."""


def new_Dev(devnum: int, showVideoWindow: int) -> Dev:
    """Opens the capture device with the given zero-based index; a non-zero
    showVideoWindow lets the renderer's window show."""
