"""Still frames from video capture devices (webcams, capture cards).

listdevices() names the devices; new_Dev() opens one as a Dev, whose
getbuffer() returns the latest frame. Every call works on any thread and
lets the interpreter's lock go while it waits."""

from typing import Dict, List, Literal, Optional, Tuple, Union, type_check_only


class error(Exception):
    """Raised with a fixed message naming the device or platform step that failed."""


# Not an attribute of the module: its objects come from new_Dev() alone.
@type_check_only
class Dev:
    """One open capture device; made by new_Dev().

    A Dev may be used from any thread, one call at a time: a second thread
    calling the same Dev waits for the first; different devices run in
    parallel. A Dev belongs to the process that opened it: in a child made by
    os.fork() every method raises error, and dropping it there leaves the
    parent's capture alone."""

    def displaypropertypage(self, *args: object) -> None:
        """Deprecated: warns in a message box, then shows the capture filter's property
        pages and rebuilds the graph."""

    def displaycapturefilterproperties(self, *args: object) -> None:
        """Shows the capture filter's property pages, then rebuilds the graph so that
        the changes apply. Other Python threads run while the dialog is open."""

    def displaycapturepinproperties(self, *args: object) -> None:
        """Shows the capture pin's property pages, then rebuilds the graph so that the
        changes apply. Other Python threads run while the dialog is open."""

    def getdisplayname(self, *args: object) -> str:
        """The device's friendly name."""

    def setresolution(self, width: int, height: int, /) -> None:
        """Changes the capture size to one the device offers and rebuilds the graph.
        Raises error when the device refuses the size."""

    def getbuffer(self, *args: object) -> Tuple[bytes, int, int]:
        """The latest frame: 24-bit RGB bytes (rows bottom-up, B, G, R, rows padded to
        four bytes), its width and its height. The first call starts the device and
        waits up to 10 s for its first frame, without the interpreter's lock.
        Raises error("The capture device was disconnected.") once the device is
        unplugged (and on every later call), never an old frame."""

    def getresolutions(self) -> List[Tuple[int, int]]:
        """The sizes the capture pin offers, in the device's order, each once: the
        sizes setresolution() accepts."""

    def getcontrols(self) -> Dict[str, Dict[str, Optional[Union[int, bool]]]]:
        """The device's settings by name ("brightness", "exposure", ...): each a dict of
        "value", "minimum", "maximum", "step" and "default" (ints, in DirectShow's
        units) and "auto" (True or False where the device can run the setting
        itself, else None). Only what the device offers."""

    def setcontrol(self, name: str, value: Union[int, Literal["auto"]], /) -> None:
        """Sets a setting by hand to the int value, or with value "auto" hands it to
        the device's automatic mode. Applies at once, running or not, without
        rebuilding the graph. Raises error when the device has no such setting,
        the value is outside its range, it has no automatic mode, or the device
        refuses; the setting is then as it was."""


def new_Dev(devnum: int, showVideoWindow: int, /) -> Dev:
    """Opens the capture device with the given zero-based index (its place in
    listdevices()); a non-zero showVideoWindow lets the renderer's window show.
    Works on any thread. Raises error when there is no such device or its graph
    cannot be built."""


def listdevices() -> List[str]:
    """The friendly names of the video capture devices, in device-number order
    (the index new_Dev() takes); an empty list when there is none."""
