// V4L2 capture against a fake driver: listing, streaming, and every fault a
// driver can show, each ending in a clear code or a quiet stop, never a hang
// or a crash, with nothing left open.
#include "fake_v4l2.h"
#include "sources/v4l2/v4l2_source.h"
#include "jpeg_frames.h"
#include "platform_test.h"

#include <atomic>

namespace {

constexpr uint32_t unknownFourcc = v4l2_fourcc('Q', 'Z', 'Q', 'Z');
constexpr uint32_t yuyv = V4L2_PIX_FMT_YUYV, mjpeg = V4L2_PIX_FMT_MJPEG;

class FakeV4l2Test : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        platform::useV4l2Io(&fake);
        quorin_platform_use_system_devices(1);
    }
    void TearDown() override {
        PlatformTest::TearDown();
        EXPECT_EQ(fake.openFiles(), 0);
        platform::useV4l2Io(nullptr);
    }

    // One capture node streaming fourcc at 64x48 only.
    void oneCamera(uint32_t fourcc = V4L2_PIX_FMT_BGR24) {
        fake.devices = {{"/dev/video0", "Fake cam", true, {{fourcc, {{64, 48}}, {}}}, {}}};
    }

    // Runs g until count samples were delivered (or 5 s passed).
    static void deliverSamples(TestGraph &g, long count) {
        ASSERT_EQ(g.control->Run(), S_OK);
        for (int i = 0; i < 500 && quorin_platform_samples_delivered() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // room for one too many
    }

    // The grabber's current sample of the 64x48 camera into frame: S_OK
    // when a whole one was there.
    static HRESULT take(TestGraph &g, std::vector<uint8_t> &frame) {
        frame.assign(64 * 3 * 48, 0);
        long size = static_cast<long>(frame.size());
        HRESULT hr = g.grabber->GetCurrentBuffer(&size, reinterpret_cast<long *>(frame.data()));
        return hr == S_OK && size != static_cast<long>(frame.size()) ? E_FAIL : hr;
    }

    // The 64x48 camera in YUYV, frame n (counted in served) of luma 16 + 20n
    // everywhere, without colour.
    void greyFrames() {
        oneCamera(yuyv);
        fake.payload = [this](const v4l2_pix_format &pix) {
            ++served;
            std::vector<uint8_t> picture(pix.sizeimage, 128);
            for (size_t i = 0; i < picture.size(); i += 2)
                picture[i] = static_cast<uint8_t>(16 + 20 * served);
            return picture;
        };
    }

    // A text property of device index, as its moniker's bag gives it; empty
    // where it cannot be read.
    static std::wstring property(int index, const wchar_t *name) {
        ComRef<IMoniker> device = moniker(index);
        ComRef<IPropertyBag> bag;
        if (!device || device->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.voidOut()) != S_OK)
            return {};
        VARIANT value;
        VariantInit(&value);
        std::wstring text = bag->Read(name, &value, nullptr) == S_OK && value.vt == VT_BSTR ? value.bstrVal : L"";
        VariantClear(&value);
        return text;
    }

    FakeV4l2 fake;
    std::atomic<uint8_t> served{0};
};

HRESULT setSize(IAMStreamConfig *config, LONG width, LONG height) {
    AM_MEDIA_TYPE *format = nullptr;
    HRESULT hr = config->GetFormat(&format);
    if (FAILED(hr))
        return hr;
    auto *header = reinterpret_cast<VIDEOINFOHEADER *>(format->pbFormat);
    header->bmiHeader.biWidth = width;
    header->bmiHeader.biHeight = height;
    hr = config->SetFormat(format);
    CoTaskMemFree(format->pbFormat);
    CoTaskMemFree(format);
    return hr;
}

} // namespace

TEST_F(FakeV4l2Test, CaptureNodesAreListedWithDiscreteAndStepwiseSizes) {
    v4l2_frmsize_stepwise range{16, 1280, 16, 8, 720, 8}; // width, then height: least, most, step
    fake.devices = {{"/dev/video0", "Metadata", false, {}, {}},
                    {"/dev/video1",
                     "Fake cam",
                     true,
                     {{V4L2_PIX_FMT_BGR24, {{320, 240}, {640, 480}}, {}}, {V4L2_PIX_FMT_YUYV, {}, range}},
                     {}}};
    ComRef<IMoniker> first = moniker(0);
    ASSERT_TRUE(first);
    ComRef<IPropertyBag> bag;
    ASSERT_EQ(first->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.voidOut()), S_OK);
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(bag->Read(L"DevicePath", &value, nullptr), S_OK);
    EXPECT_STREQ(value.bstrVal, L"/dev/video1"); // the metadata node is not a capture device
    VariantClear(&value);
    EXPECT_FALSE(moniker(1));

    ComRef<IBaseFilter> filter = bindFilter(0);
    ComRef<IAMStreamConfig> config = streamConfig(filter.get());
    ASSERT_TRUE(config);
    // Discrete sizes, the range's ends and the common sizes inside it.
    for (auto [w, h] : {std::pair<LONG, LONG>{320, 240}, {640, 480}, {16, 8}, {1280, 720}, {160, 120}, {640, 360}})
        EXPECT_EQ(setSize(config.get(), w, h), S_OK) << w << "x" << h;
    EXPECT_TRUE(FAILED(setSize(config.get(), 650, 480)));
}

TEST_F(FakeV4l2Test, DevicesAreNumberedByTheirBusAndStartAtTheFirstSizeTheyList) {
    FakeFormat sizes{V4L2_PIX_FMT_YUYV, {{320, 240}, {640, 480}}, {}};
    fake.devices = {{"/dev/video0", "Port ten", true, {sizes}, {}, 0, "video", "usb-0000:00:14.0-10", 1},
                    {"/dev/video2", "Port two", true, {sizes}, {}, 0, "video", "usb-0000:00:14.0-2", 1},
                    {"/dev/video4", "Test driver", true, {sizes}, {}, 0, "video", "platform:vivid-000", 1}};
    const wchar_t *expected[] = {L"/dev/video4", L"/dev/video2", L"/dev/video0"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(property(i, L"DevicePath"), expected[i]);
    // Left at 640x480 by another program, each starts at 320x240 all the same.
    ComRef<IBaseFilter> filter = bindFilter(0);
    AM_MEDIA_TYPE *format = nullptr;
    ASSERT_EQ(streamConfig(filter.get())->GetFormat(&format), S_OK);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER *>(format->pbFormat)->bmiHeader.biWidth, 320);
    CoTaskMemFree(format->pbFormat);
    CoTaskMemFree(format);
}

// A USB camera's raw descriptors as sysfs keeps them: the device's, then its
// configuration 1 with one video function (an association and a control
// interface, each with a string index) per entry of functions.
std::string usbDescriptors(const std::vector<std::pair<int, int>> &functions) {
    std::string raw = {18, 1};
    raw.resize(18);
    raw += std::string{9, 2, 0, 0, static_cast<char>(2 * functions.size()), 1, 0, char(0x80), 50};
    char first = 0;
    for (auto [association, control] : functions) {
        raw += std::string{8, 0x0B, first, 2, 0x0E, 3, 0, static_cast<char>(association)};
        raw += std::string{9, 4, first, 0, 1, 0x0E, 1, 0, static_cast<char>(control)};
        raw += std::string{9, 4, static_cast<char>(first + 1), 0, 0, 0x0E, 2, 0, 0};
        first += 2;
    }
    return raw;
}

TEST_F(FakeV4l2Test, AUsbFunctionIsNamedByItsOwnStringWholeNotByTheDriversCutCard) {
    FakeFormat sizes{V4L2_PIX_FMT_YUYV, {{320, 240}}, {}};
    auto node = [&](const char *path, const char *card, const char *bus, const std::string &folder) {
        FakeNode n{path, card, true, {sizes}, {}, 0, "video", bus, 0};
        n.sysfsFolder = folder;
        return n;
    };
    // A laptop's pair of functions, their strings kept by the control
    // interfaces that share their indexes (as sysfs keeps them).
    const std::string laptop = "/sys/devices/pci0000:00/usb1/1-1";
    fake.sysfs[laptop + "/bConfigurationValue"] = "1\n";
    fake.sysfs[laptop + "/product"] = "Integrated Camera\n";
    fake.sysfs[laptop + "/descriptors"] = usbDescriptors({{4, 4}, {5, 5}});
    fake.sysfs[laptop + "/1-1:1.0/bInterfaceNumber"] = "00\n";
    fake.sysfs[laptop + "/1-1:1.0/interface"] = "Integrated Camera\n";
    fake.sysfs[laptop + "/1-1:1.2/bInterfaceNumber"] = "02\n";
    fake.sysfs[laptop + "/1-1:1.2/interface"] = "Integrated IR Camera\n";
    // A camera whose association alone names it: the string is read from
    // the card while the driver did not cut it, and the card is the name
    // where it did.
    const std::string desk = "/sys/devices/pci0000:00/usb1/1-2";
    fake.sysfs[desk + "/bConfigurationValue"] = "1\n";
    fake.sysfs[desk + "/product"] = "Cam\n";
    fake.sysfs[desk + "/descriptors"] = usbDescriptors({{6, 0}, {7, 0}});
    fake.sysfs[desk + "/1-2:1.0/bInterfaceNumber"] = "00\n";
    fake.sysfs[desk + "/1-2:1.2/bInterfaceNumber"] = "02\n";
    // No function string: the product, whole past the card's 31 bytes.
    const std::string plain = "/sys/devices/pci0000:00/usb1/1-3";
    fake.sysfs[plain + "/bConfigurationValue"] = "1\n";
    fake.sysfs[plain + "/product"] = "A Webcam With A Long Product Name\n";
    fake.sysfs[plain + "/descriptors"] = usbDescriptors({{0, 0}});
    fake.sysfs[plain + "/1-3:1.0/bInterfaceNumber"] = "00\n";
    // Descriptors that lie about their lengths: the card, read no further.
    const std::string broken = "/sys/devices/pci0000:00/usb1/1-4";
    fake.sysfs[broken + "/bConfigurationValue"] = "1\n";
    fake.sysfs[broken + "/product"] = "Broken\n";
    fake.sysfs[broken + "/descriptors"] = usbDescriptors({{4, 4}}).substr(0, 30) + std::string{char(0xFF), 0x0B, 0};
    fake.sysfs[broken + "/1-4:1.0/bInterfaceNumber"] = "00\n";
    fake.devices = {node("/dev/video0", "Integrated Camera: Integrated C", "usb-1", laptop + "/1-1:1.0"),
                    node("/dev/video2", "Integrated Camera: Integrated I", "usb-2", laptop + "/1-1:1.2"),
                    node("/dev/video4", "Cam: Front", "usb-3", desk + "/1-2:1.0"),
                    node("/dev/video6", "Cam: A Function Named At Length", "usb-4", desk + "/1-2:1.2"),
                    node("/dev/video8", "A Webcam With A Long Product N", "usb-5", plain + "/1-3:1.0"),
                    node("/dev/video10", "Broken: Zero", "usb-6", broken + "/1-4:1.0"),
                    node("/dev/video12", "vivid", "platform:vivid-000", "")};
    const wchar_t *expected[] = {L"vivid",
                                 L"Integrated Camera",
                                 L"Integrated IR Camera",
                                 L"Front",
                                 L"Cam: A Function Named At Length",
                                 L"A Webcam With A Long Product Name",
                                 L"Broken: Zero"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(property(i, L"FriendlyName"), expected[i]);
}

TEST_F(FakeV4l2Test, NativeFramesArriveWholeAndBottomUp) {
    oneCamera();
    fake.afterScript = FakeV4l2::Event::Silence;
    fake.script = {FakeV4l2::Event::Frame};
    TestGraph g = makeBufferingGraph(nullptr);
    deliverSamples(g, 1);
    std::vector<uint8_t> frame;
    ASSERT_EQ(take(g, frame), S_OK);
    // The driver wrote row y as the value y, top-down.
    for (size_t row = 0; row < 48; ++row)
        ASSERT_EQ(frame[row * 192], 47 - row) << row;
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FakeV4l2Test, ACameraLibv4lconvertKnowsToBeUpsideDownComesOutUpright) {
    // Its table of such cameras goes by USB and DMI ids; the same flags can
    // be given in the environment, as a user does for a camera it misses.
    oneCamera();
    setenv("LIBV4LCONTROL_FLAGS", "3", 1); // mirrored and upside down
    fake.afterScript = FakeV4l2::Event::Silence;
    fake.script = {FakeV4l2::Event::Frame};
    TestGraph g = makeBufferingGraph(nullptr);
    unsetenv("LIBV4LCONTROL_FLAGS");
    deliverSamples(g, 1);
    std::vector<uint8_t> frame;
    ASSERT_EQ(take(g, frame), S_OK);
    // The driver's top row (value 0) is now the picture's bottom.
    for (size_t row = 0; row < 48; ++row)
        ASSERT_EQ(frame[row * 192], row) << row;
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FakeV4l2Test, ConvertedFramesArriveAtTheirSize) {
    // YUYV through libyuv when taken; RGB24 through libv4lconvert as it
    // arrives, since libv4lconvert's state is the open device's.
    for (uint32_t fourcc : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_RGB24}) {
        SCOPED_TRACE(fourcc);
        quorin_platform_reset();
        quorin_platform_use_system_devices(1);
        oneCamera(fourcc);
        TestGraph g = makeBufferingGraph(nullptr);
        deliverSamples(g, 1);
        std::vector<uint8_t> frame;
        EXPECT_EQ(take(g, frame), S_OK);
        EXPECT_EQ(g.control->Stop(), S_OK);
        if (fourcc == V4L2_PIX_FMT_RGB24) {
            EXPECT_EQ(quorin_platform_pictures_converted(), quorin_platform_samples_delivered());
        }
    }
}

TEST_F(FakeV4l2Test, OnlySizesOfFormatsThePlatformConvertsAreOffered) {
    // H.264 alone is no video input device; beside MJPEG it adds no size.
    fake.devices = {{"/dev/video0", "H.264 only", true, {{V4L2_PIX_FMT_H264, {{1920, 1080}}, {}}}, {}},
                    {"/dev/video1", "Unknown format", true, {{unknownFourcc, {{64, 48}}, {}}}, {}},
                    {"/dev/video2",
                     "H.264 and MJPEG",
                     true,
                     {{V4L2_PIX_FMT_H264, {{1920, 1080}, {1280, 720}}, {}}, {V4L2_PIX_FMT_MJPEG, {{1280, 720}}, {}}},
                     {}}};
    ComRef<IBaseFilter> filter = bindFilter(0);
    ASSERT_TRUE(filter);
    EXPECT_FALSE(moniker(1));
    ComRef<IAMStreamConfig> config = streamConfig(filter.get());
    EXPECT_EQ(setSize(config.get(), 1280, 720), S_OK);
    EXPECT_EQ(setSize(config.get(), 1920, 1080), VFW_E_INVALIDMEDIATYPE);
}

TEST_F(FakeV4l2Test, DamagedAndInterruptedDequeuesAreSkippedOrRetried) {
    oneCamera();
    using Event = FakeV4l2::Event;
    // Half a picture; more bytes than the buffer holds; one the driver flags
    // as damaged; a signal; nothing yet.
    fake.script = {Event::Short, Event::Oversized, Event::Flagged, Event::Interrupted, Event::Again, Event::Frame};
    fake.afterScript = Event::Silence;
    TestGraph g = makeBufferingGraph(nullptr);
    deliverSamples(g, 1);
    EXPECT_EQ(quorin_platform_samples_delivered(), 1);
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FakeV4l2Test, ADeviceIsHeldFromJoiningAGraphToLeavingItAgainstThisProcessAndOthers) {
    oneCamera();
    ComRef<IGraphBuilder> graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ComRef<IBaseFilter> filter = bindFilter(0);
    ASSERT_EQ(graph->AddFilter(filter.get(), L"Quorinview"), S_OK);
    // Another process's file may look but not set a format, stream or hold.
    int other = fake.open("/dev/video0");
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(fake.ioctl(other, VIDIOC_G_FMT, &format), 0);
    EXPECT_EQ(fake.ioctl(other, VIDIOC_S_FMT, &format), -1);
    EXPECT_EQ(errno, EBUSY);
    uint32_t priority = V4L2_PRIORITY_RECORD;
    EXPECT_EQ(fake.ioctl(other, VIDIOC_S_PRIORITY, &priority), -1);
    // Nor may another source of this process, whatever device it was bound
    // through (a new description of the node makes a new one).
    std::unique_ptr<platform::FrameSource> second = platform::createV4l2Source("/dev/video0");
    EXPECT_EQ(second->claim(), HRESULT_FROM_WIN32_ERROR_BUSY);
    // Leaving the graph lets go.
    ASSERT_EQ(graph->RemoveFilter(filter.get()), S_OK);
    EXPECT_EQ(fake.ioctl(other, VIDIOC_S_FMT, &format), 0);
    EXPECT_EQ(fake.close(other), 0);
    EXPECT_EQ(second->claim(), S_OK);
    second->unclaim();
}

TEST_F(FakeV4l2Test, ADeviceBusyElsewhereCannotJoinAGraph) {
    oneCamera();
    fake.claimError = EBUSY;
    ComRef<IGraphBuilder> graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ComRef<IBaseFilter> filter = bindFilter(0);
    EXPECT_EQ(graph->AddFilter(filter.get(), L"Quorinview"), HRESULT_FROM_WIN32_ERROR_BUSY);
    EXPECT_EQ(fake.openFiles(), 0);
}

// What the graph's event queue holds: the codes, each event freed.
std::vector<long> takeEvents(IGraphBuilder *graph) {
    ComRef<IMediaEventEx> events;
    EXPECT_EQ(graph->QueryInterface(IID_IMediaEventEx, events.voidOut()), S_OK);
    std::vector<long> codes;
    long code = 0;
    LONG_PTR first = 0, second = 0;
    while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
        codes.push_back(code);
        EXPECT_EQ(second, 0);
        EXPECT_EQ(events->FreeEventParams(code, first, second), S_OK);
    }
    EXPECT_EQ(events->GetEvent(&code, &first, &second, 0), E_ABORT);
    return codes;
}

TEST_F(FakeV4l2Test, AnUnpluggedDeviceIsSaidInTheGraphsEventsASilentOneIsNot) {
    using Event = FakeV4l2::Event;
    for (Event end : {Event::Gone, Event::HangUp, Event::Silence}) {
        SCOPED_TRACE(static_cast<int>(end));
        quorin_platform_reset();
        quorin_platform_use_system_devices(1);
        oneCamera();
        fake.script = {Event::Frame};
        fake.afterScript = end;
        TestGraph g = makeBufferingGraph(nullptr);
        deliverSamples(g, 1);
        // One frame, then nothing more; the last frame stays readable and
        // stopping does not wait for the driver.
        EXPECT_EQ(quorin_platform_samples_delivered(), 1);
        long size = 0;
        EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, nullptr), S_OK);
        std::vector<long> expected;
        if (end != Event::Silence)
            expected.push_back(EC_DEVICE_LOST);
        EXPECT_EQ(takeEvents(g.graph.get()), expected);
        EXPECT_EQ(g.control->Stop(), S_OK);
    }
}

TEST_F(FakeV4l2Test, AStartOnADeviceUnpluggedWhileStoppedIsSaidOnceAndAnEventUnreadIsFreedWithItsGraph) {
    oneCamera();
    {
        TestGraph g = makeBufferingGraph(nullptr);
        fake.unplugged = true;
        EXPECT_EQ(g.control->Run(), HRESULT_FROM_WIN32_ERROR_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(g.control->Run(), HRESULT_FROM_WIN32_ERROR_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(takeEvents(g.graph.get()), std::vector<long>{EC_DEVICE_LOST});
        EXPECT_EQ(g.control->Run(), HRESULT_FROM_WIN32_ERROR_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(g.control->Stop(), S_OK);
        // The event queued last is never read: the graph's end frees it.
    }
    EXPECT_EQ(quorin_platform_live_objects(), 0);
}

namespace {

struct Choice {
    FakeSize size;
    uint32_t fourcc;     // the format streamed at that size
    v4l2_fract interval; // and the interval the driver set
};

struct CameraProfile {
    const char *name;
    std::vector<FakeFormat> formats;
    std::vector<Choice> choices;
};

FakeFormat listed(uint32_t fourcc, std::map<FakeSize, std::vector<v4l2_fract>> intervals) {
    FakeFormat format{fourcc, {}, {}};
    for (const auto &entry : intervals)
        format.sizes.push_back(entry.first);
    format.intervals = std::move(intervals);
    return format;
}

// Cameras as public listings of real ones (v4l2-ctl --list-formats-ext)
// show them. A USB 2 and a USB 3 port make no difference: the choice is made
// from what the camera lists, not from a guess at the bus's bandwidth.
const CameraProfile profiles[] = {
    {"HD webcam: YUYV fast only at VGA, MJPEG at 30 fps at every size",
     {listed(yuyv, {{{640, 480}, {{1, 30}, {1, 15}}}, {{1280, 720}, {{1, 10}, {1, 5}}}, {{1920, 1080}, {{1, 5}}}}),
      listed(mjpeg, {{{640, 480}, {{1, 30}, {1, 15}}}, {{1280, 720}, {{1, 30}}}, {{1920, 1080}, {{1, 30}}}})},
     {{{640, 480}, yuyv, {1, 30}}, {{1280, 720}, mjpeg, {1, 30}}, {{1920, 1080}, mjpeg, {1, 30}}}},
    {"MJPEG only", {listed(mjpeg, {{{1280, 720}, {{1, 30}, {1, 25}}}})}, {{{1280, 720}, mjpeg, {1, 30}}}},
    {"YUYV only, at 5 fps", {listed(yuyv, {{{1920, 1080}, {{1, 5}}}})}, {{{1920, 1080}, yuyv, {1, 5}}}},
    {"NTSC rates: 30000/1001 beats 25",
     {listed(yuyv, {{{720, 480}, {{1001, 30000}, {1, 25}}}})},
     {{{720, 480}, yuyv, {1001, 30000}}}},
};

} // namespace

TEST_F(FakeV4l2Test, EachSizeStreamsTheFormatWithTheHighestRateAtItsFastestInterval) {
    for (const CameraProfile &profile : profiles) {
        SCOPED_TRACE(profile.name);
        fake.devices = {{"/dev/video0", "Webcam", true, profile.formats, {}}};
        for (const Choice &choice : profile.choices) {
            SCOPED_TRACE(std::to_string(choice.size.first) + "x" + std::to_string(choice.size.second));
            TestGraph g = makeGraph();
            ComRef<IAMStreamConfig> config = streamConfig(g.camera.get());
            LONG width = static_cast<LONG>(choice.size.first), height = static_cast<LONG>(choice.size.second);
            ASSERT_EQ(setSize(config.get(), width, height), S_OK);
            const REFERENCE_TIME perFrame = 10000000ll * choice.interval.numerator / choice.interval.denominator;
            // Each size's media type reports its own best rate.
            AM_MEDIA_TYPE *format = nullptr;
            ASSERT_EQ(config->GetFormat(&format), S_OK);
            EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER *>(format->pbFormat)->AvgTimePerFrame, perFrame);
            CoTaskMemFree(format->pbFormat);
            CoTaskMemFree(format);
            ASSERT_EQ(g.render(), S_OK);
            ASSERT_EQ(g.graph->QueryInterface(IID_IMediaControl, g.control.voidOut()), S_OK);
            ASSERT_EQ(g.control->Run(), S_OK);
            EXPECT_EQ(fake.streamed.pixelformat, choice.fourcc);
            EXPECT_EQ(fake.streamed.width, choice.size.first);
            EXPECT_EQ(fake.streamedInterval.numerator, choice.interval.numerator);
            EXPECT_EQ(fake.streamedInterval.denominator, choice.interval.denominator);
            AM_MEDIA_TYPE connected{};
            ASSERT_EQ(g.grabber->GetConnectedMediaType(&connected), S_OK);
            EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER *>(connected.pbFormat)->AvgTimePerFrame, perFrame);
            CoTaskMemFree(connected.pbFormat);
            EXPECT_EQ(g.control->Stop(), S_OK);
        }
    }
}

TEST_F(FakeV4l2Test, StepwiseIntervalsGiveTheirShortestAndUnlistedOnesTheCurrentRate) {
    FakeFormat stepwise{yuyv, {{640, 480}}, {}};
    stepwise.stepwiseIntervals = true;
    stepwise.intervalRange = {{1, 60}, {1, 1}, {1, 60}};
    fake.devices = {{"/dev/video0", "Stepwise", true, {stepwise}, {}},
                    {"/dev/video1", "No intervals", true, {{V4L2_PIX_FMT_BGR24, {{64, 48}}, {}}}, {}}};
    TestGraph g = makeBufferingGraph(nullptr);
    ASSERT_EQ(g.control->Run(), S_OK);
    EXPECT_EQ(fake.streamedInterval.denominator, 60u);
    EXPECT_EQ(g.control->Stop(), S_OK);
    // A driver that lists no interval runs at what VIDIOC_G_PARM says.
    ComRef<IAMStreamConfig> config = streamConfig(bindFilter(1).get());
    AM_MEDIA_TYPE *format = nullptr;
    ASSERT_EQ(config->GetFormat(&format), S_OK);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER *>(format->pbFormat)->AvgTimePerFrame, 333333);
    CoTaskMemFree(format->pbFormat);
    CoTaskMemFree(format);
}

TEST_F(FakeV4l2Test, MjpegFramesAreDecodedWhenTakenAndADamagedOneGivesTheLastGood) {
    fake.devices = {{"/dev/video0", "MJPEG cam", true, {{mjpeg, {{64, 48}}, {}}}, {}}};
    const std::vector<uint8_t> picture = naturalPicture(64, 48);
    const std::vector<uint8_t> jpeg = encodeJpeg(picture, 64, 48, 80, false);
    const std::vector<uint8_t> reference = decodeJpeg(encodeJpeg(picture, 64, 48, 80, true), 64, 48);
    // A whole frame, then frames cut short, as a frame whose USB packets
    // were lost arrives when the driver does not flag it: found only when
    // decoded.
    fake.script = {FakeV4l2::Event::Frame};
    fake.afterScript = FakeV4l2::Event::Silence;
    std::atomic<bool> cut{false};
    fake.payload = [&](const v4l2_pix_format &) {
        return cut ? std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 3)) : jpeg;
    };
    TestGraph g = makeBufferingGraph(nullptr);
    deliverSamples(g, 1);
    std::vector<uint8_t> frame;
    ASSERT_EQ(take(g, frame), S_OK);
    EXPECT_EQ(0, std::memcmp(frame.data(), &reference[47 * 192], 192)); // the bottom row first
    cut = true;
    fake.play({FakeV4l2::Event::Frame});
    deliverSamples(g, 2);
    ASSERT_EQ(take(g, frame), S_OK);
    EXPECT_EQ(0, std::memcmp(frame.data(), &reference[47 * 192], 192)) << "the last good picture";
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FakeV4l2Test, OnlyTheFramesTakenAreConvertedTheNewestEachTime) {
    greyFrames();
    fake.script.assign(5, FakeV4l2::Event::Frame);
    fake.afterScript = FakeV4l2::Event::Silence;
    TestGraph g = makeBufferingGraph(nullptr);
    deliverSamples(g, 5);
    EXPECT_EQ(quorin_platform_samples_delivered(), 5);
    EXPECT_EQ(quorin_platform_pictures_converted(), 0);
    std::vector<uint8_t> frame;
    ASSERT_EQ(take(g, frame), S_OK);
    EXPECT_EQ(quorin_platform_pictures_converted(), 1);
    EXPECT_NEAR(frame[0], (20 * 5) * 255 / 219, 2); // the fifth frame's grey, full range
    // Taken again: once more into the frame's own memory, then copied.
    for (int again = 0; again < 3; ++again)
        ASSERT_EQ(take(g, frame), S_OK);
    EXPECT_EQ(quorin_platform_pictures_converted(), 2);
    EXPECT_NEAR(frame[0], (20 * 5) * 255 / 219, 2);
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FakeV4l2Test, TheLastFrameTakenKeepsItsBufferWhileFramesPassUnlessTheDriverGrantsFewBuffers) {
    // The last frame taken (kept in case the newest turns out damaged) and
    // the newest both hold a buffer, and two more stay queued: a driver that
    // grants five leaves nothing to copy; one that grants four makes the
    // taken frame copy itself out, once, as later frames pass.
    greyFrames();
    for (uint32_t granted : {5u, 4u}) {
        SCOPED_TRACE(granted);
        fake.mostBuffers = granted;
        served = 0;
        quorin_platform_reset();
        fake.script = {FakeV4l2::Event::Frame};
        fake.afterScript = FakeV4l2::Event::Silence;
        TestGraph g = makeBufferingGraph(nullptr);
        deliverSamples(g, 1);
        std::vector<uint8_t> frame;
        ASSERT_EQ(take(g, frame), S_OK);
        fake.play({FakeV4l2::Event::Frame, FakeV4l2::Event::Frame, FakeV4l2::Event::Frame, FakeV4l2::Event::Frame,
                   FakeV4l2::Event::Frame, FakeV4l2::Event::Frame});
        deliverSamples(g, 7);
        EXPECT_EQ(quorin_platform_pictures_copied(), granted == 5 ? 0 : 1);
        ASSERT_EQ(take(g, frame), S_OK);
        EXPECT_NEAR(frame[0], (20 * 7) * 255 / 219, 2) << "the newest";
        EXPECT_EQ(g.control->Stop(), S_OK);
    }
}

TEST_F(FakeV4l2Test, AFrameHoldingADriversBufferKeepsItsPictureWhenTheStreamStops) {
    // A frame that nobody has taken holds the driver's buffer itself; at a
    // stop it takes a copy, and no buffer is queued after the stream is off.
    oneCamera(yuyv);
    fake.payload = [](const v4l2_pix_format &pix) {
        std::vector<uint8_t> picture(pix.sizeimage, 128);
        for (size_t i = 0; i < picture.size(); i += 2)
            picture[i] = 235; // white
        return picture;
    };
    fake.script = {FakeV4l2::Event::Frame};
    fake.afterScript = FakeV4l2::Event::Silence;
    TestGraph g = makeBufferingGraph(nullptr);
    deliverSamples(g, 1);
    EXPECT_EQ(g.control->Stop(), S_OK);
    std::vector<uint8_t> frame;
    ASSERT_EQ(take(g, frame), S_OK);
    EXPECT_EQ(frame[0], 255);
    EXPECT_EQ(frame.back(), 255);
    EXPECT_EQ(g.grabber->SetBufferSamples(FALSE), S_OK); // the frame goes
    auto off = std::find(fake.requests.begin(), fake.requests.end(), static_cast<unsigned long>(VIDIOC_STREAMOFF));
    ASSERT_NE(off, fake.requests.end());
    EXPECT_EQ(std::count(off, fake.requests.end(), static_cast<unsigned long>(VIDIOC_QBUF)), 0);
}

TEST_F(FakeV4l2Test, ANodeTheUserMayNotOpenIsSaidOnceWithTheRemedy) {
    fake.devices = {{"/dev/video0", "Locked", true, {{V4L2_PIX_FMT_BGR24, {{64, 48}}, {}}}, {}, EACCES, "video"},
                    {"/dev/video1", "Open", true, {{V4L2_PIX_FMT_BGR24, {{64, 48}}, {}}}, {}}};
    testing::internal::CaptureStderr();
    ComRef<IMoniker> first = moniker(0), again = moniker(0);
    std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(first);
    EXPECT_FALSE(moniker(1));
    EXPECT_EQ(said, "quorin platform: /dev/video0 cannot be opened (Permission denied), so it is not listed: add the "
                    "user to the group \"video\" that owns it, then log in again\n");
}
