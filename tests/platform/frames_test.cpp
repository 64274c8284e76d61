#include "platform_test.h"

#include "frame_generator.h"

#include <chrono>
#include <thread>

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb pixelAt(const std::vector<uint8_t> &bytes, const platform::VideoFormat &f, LONG x, LONG y) {
    size_t offset = static_cast<size_t>(f.height - 1 - y) * f.stride() + 3 * static_cast<size_t>(x);
    return {bytes[offset + 2], bytes[offset + 1], bytes[offset]};
}

} // namespace

TEST(ColourBars, BarsAboveACounterStripInBottomUpBgr) {
    platform::VideoFormat format;
    format.width = 174;
    format.height = 97;
    auto bars = platform::createColourBars();
    bars->setFormat(format);
    platform::Frame frame;
    bars->render(frame, 0x80000001u);
    ASSERT_EQ(frame.bytes.size(), 524u * 97); // 174 * 3 = 522 bytes, padded to 524
    const Rgb yellow{255, 255, 0}, black{0, 0, 0}, white{255, 255, 255};
    // Bar 1 covers 21 <= x < 43; the strip starts at row 97 - 12 = 85.
    EXPECT_EQ(pixelAt(frame.bytes, format, 21, 0), yellow);
    EXPECT_EQ(pixelAt(frame.bytes, format, 42, 84), yellow);
    EXPECT_EQ(pixelAt(frame.bytes, format, 173, 40), black);
    // Cell 0 is bit 31, cell 31 bit 0; the cells between are clear.
    EXPECT_EQ(pixelAt(frame.bytes, format, 0, 85), white);
    EXPECT_EQ(pixelAt(frame.bytes, format, 173, 96), white);
    EXPECT_EQ(pixelAt(frame.bytes, format, 87, 90), black);

    // A frame rendered before keeps its bars; only the strip changes.
    bars->render(frame, 0);
    EXPECT_EQ(pixelAt(frame.bytes, format, 0, 96), black);
    EXPECT_EQ(pixelAt(frame.bytes, format, 21, 0), yellow);
    // Padding bytes at each row's end stay zero.
    for (LONG row = 0; row < format.height; ++row)
        EXPECT_EQ(frame.bytes[row * format.stride() + 522] | frame.bytes[row * format.stride() + 523], 0);
}

namespace {

class GrabberTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        quorin_platform_add_camera(R"({"name": "Cam", "sizes": [[32, 16], [8, 8]], "fps": 200})");
        graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        builder = create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2);
        builder->SetFiltergraph(graph.get());
        camera = bindFilter(0);
        graph->AddFilter(camera.get(), L"Quorinview");
        grabberFilter = create<IBaseFilter>(CLSID_SampleGrabber, IID_IBaseFilter);
        ISampleGrabber *g = nullptr;
        grabberFilter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void **>(&g));
        grabber = ComRef<ISampleGrabber>(g);
        graph->AddFilter(grabberFilter.get(), L"Grabber");
        IMediaControl *c = nullptr;
        graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&c));
        control = ComRef<IMediaControl>(c);
    }
    void TearDown() override {
        control.reset();
        grabber.reset();
        grabberFilter.reset();
        camera.reset();
        builder.reset();
        graph.reset();
        PlatformTest::TearDown();
    }
    HRESULT render() {
        return builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera.get(), grabberFilter.get(),
                                     nullptr);
    }
    HRESULT waitForSample(long &size, long *buffer) {
        HRESULT hr = VFW_E_WRONG_STATE;
        for (int i = 0; i < 500 && hr == VFW_E_WRONG_STATE; ++i) {
            hr = grabber->GetCurrentBuffer(&size, buffer);
            if (hr == VFW_E_WRONG_STATE)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return hr;
    }
    ComRef<IGraphBuilder> graph;
    ComRef<ICaptureGraphBuilder2> builder;
    ComRef<IBaseFilter> camera, grabberFilter;
    ComRef<ISampleGrabber> grabber;
    ComRef<IMediaControl> control;
};

} // namespace

TEST_F(GrabberTest, CurrentBufferCodesFollowDirectShow) {
    long size = 0;
    std::vector<long> buffer(32 * 16);
    EXPECT_EQ(grabber->GetCurrentBuffer(nullptr, buffer.data()), E_POINTER);
    EXPECT_EQ(grabber->GetCurrentBuffer(&size, buffer.data()), VFW_E_NOT_CONNECTED);
    ASSERT_EQ(render(), S_OK);
    EXPECT_EQ(grabber->GetCurrentBuffer(&size, buffer.data()), E_INVALIDARG); // not buffering yet
    grabber->SetBufferSamples(TRUE);
    EXPECT_EQ(grabber->GetCurrentBuffer(&size, buffer.data()), VFW_E_WRONG_STATE);

    control->Run();
    long needed = 0;
    ASSERT_EQ(waitForSample(needed, nullptr), S_OK); // a null buffer asks for the size
    EXPECT_EQ(needed, 96 * 16);
    size = needed - 1;
    EXPECT_EQ(grabber->GetCurrentBuffer(&size, buffer.data()), E_OUTOFMEMORY);
    size = static_cast<long>(buffer.size() * sizeof(long));
    EXPECT_EQ(grabber->GetCurrentBuffer(&size, buffer.data()), S_OK);
    EXPECT_EQ(size, 96 * 16);
}

TEST_F(GrabberTest, DeliveryEndsWithStop) {
    grabber->SetBufferSamples(TRUE);
    ASSERT_EQ(render(), S_OK);
    control->Run();
    std::vector<long> before(32 * 16), after(32 * 16);
    long size = static_cast<long>(before.size() * sizeof(long));
    ASSERT_EQ(waitForSample(size, before.data()), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    control->Stop();
    ASSERT_EQ(grabber->GetCurrentBuffer(&size, before.data()), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // six sample periods at 200 fps
    // The latest sample stays readable while stopped, and no new one came.
    ASSERT_EQ(grabber->GetCurrentBuffer(&size, after.data()), S_OK);
    EXPECT_EQ(before, after);
}

TEST_F(GrabberTest, SetFormatTakesOnlyOfferedSizesWhileStopped) {
    ComRef<IAMStreamConfig> config = streamConfig(camera.get());
    ASSERT_TRUE(config);
    AM_MEDIA_TYPE *format = nullptr;
    ASSERT_EQ(config->GetFormat(&format), S_OK);
    auto *header = reinterpret_cast<VIDEOINFOHEADER *>(format->pbFormat);
    EXPECT_EQ(header->bmiHeader.biWidth, 32);
    const std::pair<LONG, LONG> refused[] = {{9, 8}, {0, 8}, {-8, 8}, {8, -8}, {0, 0}};
    for (auto [w, h] : refused) {
        header->bmiHeader.biWidth = w;
        header->bmiHeader.biHeight = h;
        EXPECT_TRUE(FAILED(config->SetFormat(format))) << w << "x" << h;
    }
    header->bmiHeader.biWidth = 8;
    header->bmiHeader.biHeight = 8;
    EXPECT_EQ(config->SetFormat(format), S_OK);
    CoTaskMemFree(format->pbFormat);
    CoTaskMemFree(format);

    ASSERT_EQ(config->GetFormat(&format), S_OK);
    header = reinterpret_cast<VIDEOINFOHEADER *>(format->pbFormat);
    EXPECT_EQ(header->bmiHeader.biSizeImage, 24u * 8); // recomputed for the new size
    control->Run();
    EXPECT_TRUE(FAILED(config->SetFormat(format))); // not while running
    control->Stop();
    CoTaskMemFree(format->pbFormat);
    CoTaskMemFree(format);
}

TEST_F(PlatformTest, VideoInfo2CameraReportsItsFormatAsVideoInfo2) {
    quorin_platform_add_camera(R"({"name": "Two", "format_block": "videoinfo2"})");
    ComRef<IBaseFilter> camera = bindFilter(0);
    ComRef<IAMStreamConfig> config = streamConfig(camera.get());
    ASSERT_TRUE(config);
    AM_MEDIA_TYPE *format = nullptr;
    ASSERT_EQ(config->GetFormat(&format), S_OK);
    EXPECT_TRUE(IsEqualGUID(format->formattype, FORMAT_VideoInfo2));
    EXPECT_EQ(format->cbFormat, sizeof(VIDEOINFOHEADER2));
    CoTaskMemFree(format->pbFormat);
    CoTaskMemFree(format);
}
