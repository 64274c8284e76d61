// V4L2 capture against a fake driver: listing, streaming, and every fault a
// driver can show, each ending in a clear code or a quiet stop, never a hang
// or a crash, with nothing left open.
#include "fake_v4l2.h"
#include "platform_test.h"

namespace {

constexpr uint32_t unknownFourcc = v4l2_fourcc('Q', 'Z', 'Q', 'Z');

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

    FakeV4l2 fake;
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

TEST_F(FakeV4l2Test, NativeFramesArriveWholeAndBottomUp) {
    oneCamera();
    fake.afterScript = FakeV4l2::Event::Silence;
    fake.script = {FakeV4l2::Event::Frame};
    TestGraph g = makeBufferingGraph(nullptr);
    deliverSamples(g, 1);
    std::vector<uint8_t> frame(64 * 3 * 48);
    long size = static_cast<long>(frame.size());
    ASSERT_EQ(g.grabber->GetCurrentBuffer(&size, reinterpret_cast<long *>(frame.data())), S_OK);
    ASSERT_EQ(size, 64 * 3 * 48);
    // The driver wrote row y as the value y, top-down.
    for (size_t row = 0; row < 48; ++row)
        ASSERT_EQ(frame[row * 192], 47 - row) << row;
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FakeV4l2Test, ConvertedFramesArriveAtTheirSize) {
    oneCamera(V4L2_PIX_FMT_YUYV);
    TestGraph g = makeBufferingGraph(nullptr);
    deliverSamples(g, 1);
    long size = 0;
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, nullptr), S_OK);
    EXPECT_EQ(size, 64 * 3 * 48);
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FakeV4l2Test, AFormatNoConverterKnowsDeliversNothingAndStopsCleanly) {
    // Every buffer fails conversion and is skipped: the user sees the
    // bounded wait's message, never a frame of garbage.
    oneCamera(unknownFourcc);
    TestGraph g = makeBufferingGraph(nullptr);
    EXPECT_EQ(g.control->Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    long size = 0;
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, nullptr), VFW_E_WRONG_STATE);
    EXPECT_EQ(quorin_platform_samples_delivered(), 0);
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FakeV4l2Test, DamagedAndInterruptedDequeuesAreSkippedOrRetried) {
    oneCamera();
    using Event = FakeV4l2::Event;
    // Half a picture; more bytes than the buffer holds; a signal; nothing yet.
    fake.script = {Event::Short, Event::Oversized, Event::Interrupted, Event::Again, Event::Frame};
    fake.afterScript = Event::Silence;
    TestGraph g = makeBufferingGraph(nullptr);
    deliverSamples(g, 1);
    EXPECT_EQ(quorin_platform_samples_delivered(), 1);
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FakeV4l2Test, ADeviceBusyElsewhereCannotJoinAGraph) {
    oneCamera();
    fake.claimError = EBUSY;
    ComRef<IGraphBuilder> graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ComRef<IBaseFilter> filter = bindFilter(0);
    EXPECT_EQ(graph->AddFilter(filter.get(), L"Quorinview"), HRESULT_FROM_WIN32_ERROR_BUSY);
    EXPECT_EQ(fake.openFiles(), 0);
}

TEST_F(FakeV4l2Test, UnpluggedOrSilentDevicesStopQuietly) {
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
        EXPECT_EQ(g.control->Stop(), S_OK);
    }
}
