#include "platform_test.h"

#include <thread>

class ComRuntimeTest : public PlatformTest {};

TEST(ComRuntime, ApartmentModesAndInitCount) {
    std::thread([] {
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        CoUninitialize();
        // Fully uninitialized: any mode may start again.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
        CoUninitialize();
    }).join();
}

TEST(ComRuntime, CreateInstanceNeedsComOnTheCallingThreadAndSaysSoOnce) {
    testing::internal::CaptureStderr();
    std::thread([] {
        for (int attempt = 0; attempt < 2; ++attempt) {
            IUnknown *object = reinterpret_cast<IUnknown *>(1);
            EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       reinterpret_cast<void **>(&object)),
                      CO_E_NOTINITIALIZED);
            EXPECT_EQ(object, nullptr);
        }
    }).join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "quorin platform: CoCreateInstance on a thread where COM was not initialized (CO_E_NOTINITIALIZED); call "
              "CoInitialize on the thread first\n");
}

TEST_F(ComRuntimeTest, CreateInstanceRefusesUnknownClassesAggregationAndInterfaces) {
    IUnknown *object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_VideoInputDeviceCategory, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void **>(&object)),
              REGDB_E_CLASSNOTREG);
    ComRef<IUnknown> outer = create<IUnknown>(CLSID_FilterGraph, IID_IUnknown);
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, outer.get(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void **>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_ISampleGrabber,
                               reinterpret_cast<void **>(&object)),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ComRuntimeTest, QueryInterfaceKeepsIdentityAndCountsTruly) {
    ComRef<IGraphBuilder> graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    EXPECT_EQ(refCount(graph.get()), 1u);
    IMediaControl *control = nullptr;
    ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control)), S_OK);
    EXPECT_EQ(refCount(graph.get()), 2u);
    IUnknown *first = nullptr, *second = nullptr;
    graph->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&first));
    control->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->Release(), 3u);
    EXPECT_EQ(second->Release(), 2u);
    EXPECT_EQ(control->Release(), 1u);

    void *none = reinterpret_cast<void *>(1);
    EXPECT_EQ(graph->QueryInterface(IID_ISampleGrabber, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(graph->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ComRuntimeTest, TaskMemoryAndStringsAreCounted) {
    void *block = CoTaskMemAlloc(10);
    BSTR text = SysAllocString(L"FriendlyName");
    EXPECT_EQ(quorin_platform_task_memory_blocks(), 2);
    EXPECT_EQ(SysStringLen(text), 12u);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = text;
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
}

TEST_F(ComRuntimeTest, InjectedFailuresFireOnTheNthCallFromNowAndAreCounted) {
    quorin_platform_fail("CoCreateInstance", 2, E_OUTOFMEMORY);
    IUnknown *object = nullptr;
    auto make = [&] {
        HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                      reinterpret_cast<void **>(&object));
        if (object)
            object->Release();
        return hr;
    };
    EXPECT_EQ(make(), S_OK);
    EXPECT_EQ(make(), E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(make(), S_OK);
    EXPECT_EQ(quorin_platform_call_count("CoCreateInstance"), 3);
}
