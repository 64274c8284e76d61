// Fixtures for platform tests: a clean platform, COM on the test thread, and
// at the end no live object and no task memory left; and a capture graph as
// the module builds one.
#pragma once

#include <gtest/gtest.h>

#include <quorin_platform/control.h>
#include <quorin_platform/dshow.h>
#include <quorin_platform/environment.h>

#include "com/com_object.h"

#include <chrono>
#include <thread>

// A capture graph as the module builds it, not yet rendered: a filter graph
// with its builder, device 0's capture filter named "Quorinview" and a sample
// grabber named "Grabber"; the graph's media control for a test that asks for
// it. Members are released in reverse order of construction.
struct TestGraph {
    ComRef<IGraphBuilder> graph;
    ComRef<ICaptureGraphBuilder2> builder;
    ComRef<IBaseFilter> camera;
    ComRef<IBaseFilter> grabberFilter;
    ComRef<ISampleGrabber> grabber;
    ComRef<IMediaControl> control; // null until a test asks the graph for it

    HRESULT render() {
        return builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera.get(), grabberFilter.get(),
                                     nullptr);
    }
    // Asks for the current buffer until a sample has arrived (at most 5 s).
    HRESULT waitForSample(long &size, long *buffer) {
        HRESULT hr = VFW_E_WRONG_STATE;
        for (int i = 0; i < 500 && hr == VFW_E_WRONG_STATE; ++i) {
            long asked = size;
            hr = grabber->GetCurrentBuffer(&asked, buffer);
            if (hr == VFW_E_WRONG_STATE)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            else
                size = asked;
        }
        return hr;
    }
};

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("QUORIN_VIRTUAL_CAMERAS");
        quorin_platform_reset();
        quorin_platform_use_system_devices(0);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        CoUninitialize();
        EXPECT_EQ(quorin_platform_live_objects(), 0);
        EXPECT_EQ(quorin_platform_task_memory_blocks(), 0);
        EXPECT_EQ(quorin_platform_open_handles(), 0);
        quorin_platform_reset();
    }

    template <class T>
    static ComRef<T> create(REFCLSID clsid, REFIID iid) {
        T *object = nullptr;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void **>(&object)),
                  S_OK);
        return ComRef<T>(object);
    }

    // The moniker of device index (counting from zero), or null.
    static ComRef<IMoniker> moniker(int index) {
        auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
        IEnumMoniker *list = nullptr;
        if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &list, 0) != S_OK)
            return ComRef<IMoniker>();
        ComRef<IEnumMoniker> enumerator(list);
        enumerator->Skip(static_cast<ULONG>(index));
        IMoniker *found = nullptr;
        enumerator->Next(1, &found, nullptr);
        return ComRef<IMoniker>(found);
    }

    static ComRef<IBaseFilter> bindFilter(int index) {
        IBaseFilter *filter = nullptr;
        ComRef<IMoniker> m = moniker(index);
        if (m)
            m->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&filter));
        return ComRef<IBaseFilter>(filter);
    }

    // The stream configuration of a video device filter's capture pin, or null.
    static ComRef<IAMStreamConfig> streamConfig(IBaseFilter *filter) {
        auto builder = create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2);
        IAMStreamConfig *config = nullptr;
        builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, filter, IID_IAMStreamConfig,
                               reinterpret_cast<void **>(&config));
        return ComRef<IAMStreamConfig>(config);
    }

    // The graph of TestGraph; its grabber asks for subtype (any, when null).
    static TestGraph makeGraph(const GUID *subtype = &MEDIASUBTYPE_RGB24) {
        TestGraph g;
        g.graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        g.builder = create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2);
        EXPECT_EQ(g.builder->SetFiltergraph(g.graph.get()), S_OK);
        g.camera = bindFilter(0);
        EXPECT_EQ(g.graph->AddFilter(g.camera.get(), L"Quorinview"), S_OK);
        g.grabberFilter = create<IBaseFilter>(CLSID_SampleGrabber, IID_IBaseFilter);
        EXPECT_EQ(g.grabberFilter->QueryInterface(IID_ISampleGrabber, g.grabber.voidOut()), S_OK);
        EXPECT_EQ(g.graph->AddFilter(g.grabberFilter.get(), L"Grabber"), S_OK);
        if (subtype) {
            AM_MEDIA_TYPE wanted{};
            wanted.majortype = MEDIATYPE_Video;
            wanted.subtype = *subtype;
            wanted.formattype = FORMAT_VideoInfo;
            EXPECT_EQ(g.grabber->SetMediaType(&wanted), S_OK);
        }
        return g;
    }

    // Declares camera (if any), then makes the graph rendered and buffering
    // samples, with its media control, stopped.
    static TestGraph makeBufferingGraph(const char *camera) {
        if (camera) {
            EXPECT_EQ(quorin_platform_add_camera(camera), 0);
        }
        TestGraph g = makeGraph();
        EXPECT_EQ(g.render(), S_OK);
        EXPECT_EQ(g.grabber->SetBufferSamples(TRUE), S_OK);
        EXPECT_EQ(g.graph->QueryInterface(IID_IMediaControl, g.control.voidOut()), S_OK);
        return g;
    }

    static ULONG refCount(IUnknown *object) {
        object->AddRef();
        return object->Release();
    }
};
