"""The property dialogs: what each shows, the rebuilds around it, and the
failures before it."""

import pytest

import quorin

WARNING = ("[Quorinview Warning] displayPropertyPage() is deprecated.\n"
           "Use displayCaptureFilterProperties() and displayCapturePinProperties() instead!\n")
SIZES = [[640, 480], [320, 240]]


def open_running(platform):
    """A device with pages on both sides, its graph running."""
    platform.add_camera("Cam", sizes=SIZES, filter_pages=2, pin_pages=3)
    device = quorin.new_Dev(0, 0)
    device.getbuffer()
    return device


def builds(platform):
    return platform.calls("ICreateDevEnum::CreateClassEnumerator")


@pytest.mark.parametrize("method,kind,pages,rebuilds", [
    ("displaycapturefilterproperties", "capture filter", 2, 2),
    ("displaycapturepinproperties", "capture pin", 3, 1),
])
def test_dialog_shows_the_pages_without_caption_then_rebuilds(platform, method, kind, pages, rebuilds):
    dev = open_running(platform)
    assert getattr(dev, method)(1, 2) is None
    frame = platform.last_property_frame()
    assert (frame.shown, frame.object, frame.pages, frame.objects) == (1, kind, pages, 1)
    assert frame.caption is None and frame.owner == 0
    assert platform.calls("GetTopWindow") == 1
    assert builds(platform) == 1 + rebuilds
    assert platform.calls("IMoniker::BindToObject") == 1
    # Closed without changes: same size, and the next getbuffer runs the graph.
    assert dev.getbuffer()[1:] == (640, 480)


@pytest.mark.parametrize("method", ["displaycapturefilterproperties", "displaycapturepinproperties",
                                    "displaypropertypage"])
def test_the_users_change_in_the_dialog_survives_the_rebuild(platform, method):
    dev = open_running(platform)
    platform.queue_user_format(320, 240)
    getattr(dev, method)()
    assert dev.getbuffer()[1:] == (320, 240)


@pytest.mark.parametrize("method,option,message", [
    ("displaycapturefilterproperties", "filter_pages", "Querying the capture filter for its property pages failed."),
    ("displaycapturepinproperties", "pin_pages", "Querying the capture pin for its property pages failed."),
])
@pytest.mark.parametrize("cause", ["no pages", "QueryInterface:ISpecifyPropertyPages",
                                   "ISpecifyPropertyPages::GetPages"])
def test_without_pages_nothing_is_shown_and_nothing_rebuilt(platform, method, option, message, cause):
    platform.add_camera("Cam", **{option: 0 if cause == "no pages" else 1})
    dev = quorin.new_Dev(0, 0)
    dev.getbuffer()
    if cause != "no pages":
        platform.fail(cause)
    with pytest.raises(quorin.error) as raised:
        getattr(dev, method)()
    assert str(raised.value) == message
    assert platform.last_property_frame().shown == 0
    assert builds(platform) == 1
    # Stopped, not rebuilt: the next getbuffer runs the same graph again.
    assert platform.calls("IMediaControl::Stop") == 1
    dev.getbuffer()
    assert platform.calls("IMediaControl::Run") == 2


def test_pin_dialog_without_stream_configuration_fails(camera):
    dev = quorin.new_Dev(0, 0)
    camera.fail("ICaptureGraphBuilder2::FindInterface", 1)
    camera.fail("ICaptureGraphBuilder2::FindInterface", 2)
    with pytest.raises(quorin.error) as raised:
        dev.displaycapturepinproperties()
    assert str(raised.value) == "Querying the capture pin for its property pages failed."


def test_filter_dialog_is_not_shown_when_its_first_rebuild_fails(platform):
    dev = open_running(platform)
    platform.fail("CoCreateInstance", 1)
    with pytest.raises(quorin.error) as raised:
        dev.displaycapturefilterproperties()
    assert str(raised.value) == "Creation of the filter graph failed."
    assert platform.last_property_frame().shown == 0
    assert platform.live_objects() == 0


@pytest.mark.parametrize("method", ["displaycapturefilterproperties", "displaycapturepinproperties",
                                    "displaypropertypage"])
def test_failed_rebuild_after_the_dialog_reports_the_build_error(platform, method):
    dev = open_running(platform)
    rebuilds_before_dialog = 1 if method == "displaycapturefilterproperties" else 0
    platform.fail("IGraphBuilder::AddFilter", 1 + 2 * rebuilds_before_dialog)
    with pytest.raises(quorin.error) as raised:
        getattr(dev, method)()
    assert str(raised.value) == ("Adding the capture filter to the filter graph failed.\n"
                                 "Device maybe not connected or already in use.")
    assert platform.last_property_frame().shown == 1
    with pytest.raises(quorin.error, match="has no capture graph"):
        dev.getbuffer()


def test_deprecated_dialog_warns_then_shows_the_filter_pages_captioned_with_its_graph_name(platform, capfd):
    dev = open_running(platform)
    capfd.readouterr()
    assert dev.displaypropertypage() is None
    assert capfd.readouterr().err == WARNING
    assert platform.last_message_box_style() == 0x2030
    frame = platform.last_property_frame()
    assert (frame.shown, frame.caption, frame.object, frame.pages) == (1, "Quorinview", "capture filter", 2)
    assert builds(platform) == 2


@pytest.mark.parametrize("operation,message", [
    ("IMediaControl::Stop", "Stopping the capture graph failed."),
    ("QueryInterface:ISpecifyPropertyPages", "Querying the filter for its property pages failed."),
    ("IBaseFilter::QueryFilterInfo", "Querying the capture filter for its name failed."),
    ("QueryInterface:IUnknown", "Querying the capture filter for its IUnknown interface failed."),
    ("ISpecifyPropertyPages::GetPages", "Querying the filter for its property pages failed."),
])
def test_deprecated_dialog_always_warns_first_and_uses_nothing_a_failed_call_withheld(platform, capfd,
                                                                                       operation, message):
    dev = open_running(platform)
    capfd.readouterr()
    platform.fail(operation)
    with pytest.raises(quorin.error) as raised:
        dev.displaypropertypage()
    assert str(raised.value) == message
    assert capfd.readouterr().err == WARNING
    assert platform.last_property_frame().shown == 0
    assert builds(platform) == 1
    dev.getbuffer()
    assert platform.calls("IMediaControl::Run") == 2


def test_dialogs_on_objects_without_a_graph_refuse(camera, capfd):
    empty = type(quorin.new_Dev(0, 0))()
    for method in ("displaycapturefilterproperties", "displaycapturepinproperties", "displaypropertypage"):
        with pytest.raises(quorin.error) as raised:
            getattr(empty, method)()
        assert str(raised.value) == "The device has no capture graph: open it again with new_Dev()."
    assert capfd.readouterr().err == WARNING
    assert camera.last_property_frame().shown == 0
