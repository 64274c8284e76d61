// The capture filter and its pin's stream configuration.
#include "platform_test.h"

#include <utility>

class CaptureFilterTest : public PlatformTest {};

TEST_F(CaptureFilterTest, SetFormatTakesOnlyOfferedSizesWhileStopped) {
    quorin_platform_add_camera(R"({"name": "Cam", "sizes": [[32, 16], [8, 8]], "fps": 200})");
    TestGraph g = makeGraph(nullptr);
    ASSERT_EQ(g.graph->QueryInterface(IID_IMediaControl, g.control.voidOut()), S_OK);
    ComRef<IAMStreamConfig> config = streamConfig(g.camera.get());
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
    g.control->Run();
    EXPECT_TRUE(FAILED(config->SetFormat(format))); // not while running
    g.control->Stop();
    CoTaskMemFree(format->pbFormat);
    CoTaskMemFree(format);
}

TEST_F(CaptureFilterTest, VideoInfo2CameraReportsItsFormatAsVideoInfo2) {
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
