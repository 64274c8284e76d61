#include "platform_test.h"

#include <cwchar>

namespace {

class CaptureGraphTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ASSERT_EQ(quorin_platform_add_camera(R"({"name": "Bars", "sizes": [[64, 48], [32, 24]]})"), 0);
    }

    // A graph with a builder, the camera's filter and a grabber that asks
    // for the given subtype, not yet rendered.
    struct Graph {
        ComRef<IGraphBuilder> graph;
        ComRef<ICaptureGraphBuilder2> builder;
        ComRef<IBaseFilter> camera;
        ComRef<IBaseFilter> grabberFilter;
        ComRef<ISampleGrabber> grabber;
    };

    Graph makeGraph(const GUID &subtype = MEDIASUBTYPE_RGB24) {
        Graph g;
        g.graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        g.builder = create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2);
        EXPECT_EQ(g.builder->SetFiltergraph(g.graph.get()), S_OK);
        g.camera = bindFilter(0);
        EXPECT_EQ(g.graph->AddFilter(g.camera.get(), L"Quorinview"), S_OK);
        g.grabberFilter = create<IBaseFilter>(CLSID_SampleGrabber, IID_IBaseFilter);
        ISampleGrabber *grabber = nullptr;
        g.grabberFilter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void **>(&grabber));
        g.grabber = ComRef<ISampleGrabber>(grabber);
        EXPECT_EQ(g.graph->AddFilter(g.grabberFilter.get(), L"Grabber"), S_OK);
        AM_MEDIA_TYPE wanted{};
        wanted.majortype = MEDIATYPE_Video;
        wanted.subtype = subtype;
        wanted.formattype = FORMAT_VideoInfo;
        EXPECT_EQ(g.grabber->SetMediaType(&wanted), S_OK);
        return g;
    }

    static HRESULT render(Graph &g) {
        return g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, g.camera.get(),
                                       g.grabberFilter.get(), nullptr);
    }
};

} // namespace

TEST_F(PlatformTest, EmptyCategoryAnswersSFalseWithoutEnumerator) {
    auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    IEnumMoniker *list = reinterpret_cast<IEnumMoniker *>(1);
    EXPECT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &list, 0), S_FALSE);
    EXPECT_EQ(list, nullptr);
}

TEST_F(PlatformTest, EnumeratorGivesEachDeviceThenSFalse) {
    quorin_platform_add_camera(R"({"name": "One"})");
    quorin_platform_add_camera(R"({"name": "Two"})");
    auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    IEnumMoniker *list = nullptr;
    ASSERT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &list, 0), S_OK);
    ComRef<IEnumMoniker> enumerator(list);
    const wchar_t *expected[] = {L"One", L"Two"};
    for (const wchar_t *name : expected) {
        IMoniker *m = nullptr;
        ULONG fetched = 0;
        ASSERT_EQ(enumerator->Next(1, &m, &fetched), S_OK);
        EXPECT_EQ(fetched, 1u);
        ComRef<IMoniker> held(m);
        IPropertyBag *bag = nullptr;
        ASSERT_EQ(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag)), S_OK);
        ComRef<IPropertyBag> bagHeld(bag);
        VARIANT value;
        VariantInit(&value);
        ASSERT_EQ(bag->Read(L"FriendlyName", &value, nullptr), S_OK);
        EXPECT_EQ(value.vt, VT_BSTR);
        EXPECT_STREQ(value.bstrVal, name);
        VariantClear(&value);
        EXPECT_TRUE(FAILED(bag->Read(L"DevicePath", &value, nullptr)));
    }
    IMoniker *past = reinterpret_cast<IMoniker *>(1);
    ULONG fetched = 7;
    EXPECT_EQ(enumerator->Next(1, &past, &fetched), S_FALSE);
    EXPECT_EQ(past, nullptr);
    EXPECT_EQ(fetched, 0u);
}

TEST_F(CaptureGraphTest, RendersCameraThroughGrabberToARendererItPicks) {
    Graph g = makeGraph();
    ASSERT_EQ(render(g), S_OK);
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

TEST_F(CaptureGraphTest, GrabberRefusesATypeTheCameraCannotDeliver) {
    const GUID rgb32 = {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
    Graph g = makeGraph(rgb32);
    EXPECT_EQ(render(g), VFW_E_CANNOT_CONNECT);
    AM_MEDIA_TYPE connected{};
    EXPECT_EQ(g.grabber->GetConnectedMediaType(&connected), VFW_E_NOT_CONNECTED);
}

TEST_F(CaptureGraphTest, ReleasingTheGraphLetsGoOfItsFiltersAndFreesTheDevice) {
    Graph g = makeGraph();
    ASSERT_EQ(render(g), S_OK);
    EXPECT_EQ(refCount(g.camera.get()), 2u); // ours and the graph's

    // A second filter object for the same device cannot join another graph.
    ComRef<IGraphBuilder> other = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ComRef<IBaseFilter> again = bindFilter(0);
    EXPECT_TRUE(FAILED(other->AddFilter(again.get(), L"Quorinview")));

    g.builder.reset();
    g.grabber.reset();
    g.grabberFilter.reset();
    g.graph.reset();
    EXPECT_EQ(refCount(g.camera.get()), 1u);
    FILTER_INFO info;
    EXPECT_EQ(g.camera->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_EQ(other->AddFilter(again.get(), L"Quorinview"), S_OK);
}

TEST_F(CaptureGraphTest, QueryFilterInfoGivesGraphNameAndCountedGraph) {
    Graph g = makeGraph();
    FILTER_INFO info;
    ASSERT_EQ(g.camera->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Quorinview");
    ASSERT_NE(info.pGraph, nullptr);
    EXPECT_EQ(refCount(g.graph.get()), 3u); // ours, the builder's and the info's
    info.pGraph->Release();
}

TEST_F(CaptureGraphTest, FindInterfaceServesOnlyThePinsOwnMajorType) {
    Graph g = makeGraph();
    IAMStreamConfig *config = nullptr;
    EXPECT_EQ(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, g.camera.get(),
                                       IID_IAMStreamConfig, reinterpret_cast<void **>(&config)),
              E_NOINTERFACE);
    EXPECT_EQ(config, nullptr);
    ASSERT_EQ(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, g.camera.get(),
                                       IID_IAMStreamConfig, reinterpret_cast<void **>(&config)),
              S_OK);
    // The pin's references are its filter's.
    EXPECT_EQ(refCount(g.camera.get()), 3u);
    config->Release();
}

TEST_F(PlatformTest, InterleavedPinIsFoundAsInterleavedAndRendersAsVideo) {
    quorin_platform_add_camera(R"({"name": "DV", "pin": "interleaved"})");
    ComRef<IGraphBuilder> graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ComRef<ICaptureGraphBuilder2> builder = create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2,
                                                                      IID_ICaptureGraphBuilder2);
    builder->SetFiltergraph(graph.get());
    ComRef<IBaseFilter> camera = bindFilter(0);
    ComRef<IBaseFilter> grabber = create<IBaseFilter>(CLSID_SampleGrabber, IID_IBaseFilter);
    graph->AddFilter(camera.get(), L"Quorinview");
    graph->AddFilter(grabber.get(), L"Grabber");
    IAMStreamConfig *config = nullptr;
    ASSERT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, camera.get(),
                                     IID_IAMStreamConfig, reinterpret_cast<void **>(&config)),
              S_OK);
    config->Release();
    EXPECT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera.get(), IID_IAMStreamConfig,
                                     reinterpret_cast<void **>(&config)),
              E_NOINTERFACE);
    EXPECT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera.get(), grabber.get(), nullptr),
              S_OK);
}
