// The kernel's events, the sample grabber's callback and the graph's event
// handle: what a wait for the first frame sleeps on.
#include "platform_test.h"

#include <atomic>
#include <thread>
#include <vector>

class KernelEventsTest : public PlatformTest {};

TEST_F(KernelEventsTest, AutoResetLetsOneWaitThroughManualResetEveryWaitAndEachIsCountedOpen) {
    HANDLE automatic = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE manual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(automatic, nullptr);
    ASSERT_NE(manual, nullptr);
    EXPECT_EQ(quorin_platform_open_handles(), 2);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
    SetEvent(automatic);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT); // taken by the wait before
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    ResetEvent(manual);
    HANDLE both[] = {automatic, manual};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_FAILED); // waiting for all is not offered
    // Set on another thread while this one waits on both, for ever.
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(manual);
    });
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    setter.join();
    CloseHandle(automatic);
    CloseHandle(manual);
}

namespace {

// Counts SampleCB calls and the threads they come on; a COM object of its
// own whose references the test can see.
class CountingCallback final : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_ISampleGrabberCB))
            return E_NOINTERFACE;
        *ppv = static_cast<ISampleGrabberCB *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample *sample) override {
        EXPECT_EQ(sample, nullptr);
        EXPECT_NE(std::this_thread::get_id(), caller);
        ++samples;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE *, LONG) override { return E_UNEXPECTED; }

    std::atomic<ULONG> references{1};
    std::atomic<long> samples{0};
    std::thread::id caller = std::this_thread::get_id();
};

} // namespace

TEST_F(KernelEventsTest, TheGrabberCallsSampleCBOnTheDeliveryThreadAndHoldsTheCallbackUntilItIsTakenOut) {
    TestGraph g = makeBufferingGraph(R"({"name": "Cam", "sizes": [[32, 24]], "fps": 200})");
    CountingCallback callback;
    EXPECT_EQ(g.grabber->SetCallback(&callback, 1), E_NOTIMPL);
    EXPECT_EQ(g.grabber->SetCallback(&callback, 0), S_OK);
    EXPECT_EQ(callback.references, 2u);
    IMediaSample *sample = reinterpret_cast<IMediaSample *>(1);
    EXPECT_EQ(g.grabber->GetCurrentSample(&sample), E_NOTIMPL);
    EXPECT_EQ(sample, nullptr);
    ASSERT_EQ(g.control->Run(), S_OK);
    long size = 32 * 24 * 3;
    std::vector<long> picture(size / sizeof(long) + 1);
    ASSERT_EQ(g.waitForSample(size, picture.data()), S_OK);
    // The grabber calls back after it has stored the sample, outside its
    // lock: the call may still be on its way.
    for (int i = 0; i < 500 && callback.samples == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(callback.samples, 1);
    EXPECT_EQ(g.grabber->SetCallback(nullptr, 0), S_OK);
    g.control->Stop();
    long seen = callback.samples;
    EXPECT_EQ(callback.references, 1u);
    ASSERT_EQ(g.control->Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    g.control->Stop();
    EXPECT_EQ(callback.samples, seen);
}

TEST_F(KernelEventsTest, TheGraphsEventHandleIsSetWhileAnEventWaitsAndIsTheGraphsOwn) {
    TestGraph g = makeBufferingGraph(R"({"name": "Cam", "sizes": [[32, 24]], "fps": 200, "unplugged_after": 2})");
    ComRef<IMediaEventEx> events;
    ASSERT_EQ(g.graph->QueryInterface(IID_IMediaEventEx, events.voidOut()), S_OK);
    OAEVENT handle = 0;
    ASSERT_EQ(events->GetEventHandle(&handle), S_OK);
    OAEVENT again = 0;
    EXPECT_EQ(events->GetEventHandle(&again), S_OK);
    EXPECT_EQ(again, handle);
    HANDLE waiting = reinterpret_cast<HANDLE>(handle);
    EXPECT_EQ(WaitForSingleObject(waiting, 0), WAIT_TIMEOUT);
    ASSERT_EQ(g.control->Run(), S_OK);
    EXPECT_EQ(WaitForSingleObject(waiting, 5000), WAIT_OBJECT_0);
    long code;
    LONG_PTR first, second;
    ASSERT_EQ(events->GetEvent(&code, &first, &second, 0), S_OK);
    EXPECT_EQ(code, EC_DEVICE_LOST);
    events->FreeEventParams(code, first, second);
    EXPECT_EQ(WaitForSingleObject(waiting, 0), WAIT_TIMEOUT); // the queue is empty again
    g.control->Stop();
}
