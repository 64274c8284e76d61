// The capture graph builder: rendering the capture stream and finding the
// capture pin's interfaces.
#include "platform_test.h"

class CaptureGraphBuilderTest : public PlatformTest {};

TEST_F(CaptureGraphBuilderTest, RendersCameraThroughGrabberToARendererItPicks) {
    ASSERT_EQ(quorin_platform_add_camera(R"({"name": "Bars", "sizes": [[64, 48], [32, 24]]})"), 0);
    TestGraph g = makeGraph();
    ASSERT_EQ(g.render(), S_OK);
    IBaseFilter *renderer = nullptr;
    EXPECT_EQ(g.graph->FindFilterByName(L"Video Renderer", &renderer), S_OK);
    ComRef<IBaseFilter> rendererHeld(renderer);

    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(g.grabber->GetConnectedMediaType(&connected), S_OK);
    ASSERT_TRUE(IsEqualGUID(connected.formattype, FORMAT_VideoInfo));
    auto *header = reinterpret_cast<VIDEOINFOHEADER *>(connected.pbFormat);
    EXPECT_EQ(header->bmiHeader.biWidth, 64);
    EXPECT_EQ(header->bmiHeader.biHeight, 48);
    EXPECT_EQ(header->bmiHeader.biSizeImage, 64u * 3 * 48);
    CoTaskMemFree(connected.pbFormat);
}

TEST_F(CaptureGraphBuilderTest, GrabberRefusesATypeTheCameraCannotDeliver) {
    ASSERT_EQ(quorin_platform_add_camera(R"({"name": "Bars", "sizes": [[64, 48], [32, 24]]})"), 0);
    const GUID rgb32 = {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
    TestGraph g = makeGraph(&rgb32);
    EXPECT_EQ(g.render(), VFW_E_CANNOT_CONNECT);
    AM_MEDIA_TYPE connected{};
    EXPECT_EQ(g.grabber->GetConnectedMediaType(&connected), VFW_E_NOT_CONNECTED);
}

TEST_F(CaptureGraphBuilderTest, FindInterfaceServesOnlyThePinsOwnMajorType) {
    ASSERT_EQ(quorin_platform_add_camera(R"({"name": "Bars", "sizes": [[64, 48], [32, 24]]})"), 0);
    TestGraph g = makeGraph();
    IAMStreamConfig *config = nullptr;
    EXPECT_EQ(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, g.camera.get(),
                                       IID_IAMStreamConfig, reinterpret_cast<void **>(&config)),
              E_NOINTERFACE);
    EXPECT_EQ(config, nullptr);
    ASSERT_EQ(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, g.camera.get(), IID_IAMStreamConfig,
                                       reinterpret_cast<void **>(&config)),
              S_OK);
    // The pin's references are its filter's.
    EXPECT_EQ(refCount(g.camera.get()), 3u);
    config->Release();
}

TEST_F(CaptureGraphBuilderTest, InterleavedPinIsFoundAsInterleavedAndRendersAsVideo) {
    quorin_platform_add_camera(R"({"name": "DV", "pin": "interleaved"})");
    TestGraph g = makeGraph(nullptr);
    IAMStreamConfig *config = nullptr;
    ASSERT_EQ(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, g.camera.get(),
                                       IID_IAMStreamConfig, reinterpret_cast<void **>(&config)),
              S_OK);
    config->Release();
    EXPECT_EQ(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, g.camera.get(), IID_IAMStreamConfig,
                                       reinterpret_cast<void **>(&config)),
              E_NOINTERFACE);
    EXPECT_EQ(g.render(), S_OK);
}
