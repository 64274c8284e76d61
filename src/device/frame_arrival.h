// The sample grabber's callback for a wait on the first frame: told of each
// sample on the thread that delivers it, it sets an event that the waiting
// caller sleeps on, so that a frame wakes the wait as soon as it is kept.
// Each Dev makes one when it first waits and keeps it until it is dropped:
// a call still running on a delivery thread as the callback is taken out
// then always finds it alive.
#pragma once

#include "graph/platform.h"

#include <atomic>

class FrameArrival final : public ISampleGrabberCB {
public:
    // A new callback with one reference, or null when no event can be made.
    static FrameArrival *create();

    // An auto-reset event, set at each sample: one wait goes through.
    HANDLE event() const { return arrived_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SampleCB(double SampleTime, IMediaSample *pSample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double SampleTime, BYTE *pBuffer, LONG BufferLen) override;

private:
    explicit FrameArrival(HANDLE arrived) : arrived_(arrived) {}
    ~FrameArrival();
    FrameArrival(const FrameArrival &) = delete;
    FrameArrival &operator=(const FrameArrival &) = delete;

    std::atomic<ULONG> references_{1};
    const HANDLE arrived_;
};
