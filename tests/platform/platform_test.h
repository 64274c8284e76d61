// Fixture for platform tests: a clean platform, COM on the test thread, and
// at the end no live object and no task memory left.
#pragma once

#include <gtest/gtest.h>

#include <quorin_platform/control.h>
#include <quorin_platform/dshow.h>

#include "com_object.h"


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

    static ULONG refCount(IUnknown *object) {
        object->AddRef();
        return object->Release();
    }
};
