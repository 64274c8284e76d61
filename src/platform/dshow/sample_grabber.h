// The sample grabber: a transform filter that accepts only the media type set
// on it, keeps the latest sample when buffering is on, and passes every
// sample on to the renderer downstream.
#pragma once

#include "dshow/filter.h"
#include "dshow/frame.h"
#include "dshow/media_type.h"

#include <mutex>

namespace platform {

class SampleGrabber final : public FilterObject<ISampleGrabber>, public FrameSink {
public:
    ~SampleGrabber() override;

    HRESULT STDMETHODCALLTYPE SetOneShot(BOOL OneShot) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE *pType) override;
    HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE *pType) override;
    HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL BufferThem) override;
    HRESULT STDMETHODCALLTYPE GetCurrentBuffer(long *pBufferSize, long *pBuffer) override;

    // Connection, made by the capture graph builder: upstream offers the
    // format it will deliver; downstream receives what passes through.
    HRESULT connectInput(const VideoFormat &offered);
    void connectOutput(FrameSink *downstream);
    void disconnect() override;
    void forget(Filter &gone) override;

    void receive(const FramePtr &frame) override;
    void sourceFailed(bool failed) override;
    // The grabber converts only what a caller takes; what reads every frame
    // is downstream, if anything.
    bool readsEveryFrame() override;

protected:
    const CLSID &classId() const override { return CLSID_SampleGrabber; }
    void *findInterface(REFIID riid) override;

private:
    // Guards every member below: the caller's thread sets and reads them,
    // the delivery thread calls receive. Never held while downstream runs.
    mutable std::mutex lock_;
    GUID acceptMajor_{};
    GUID acceptSub_{};
    GUID acceptFormat_{};
    bool connected_ = false;
    VideoFormat connectedFormat_;
    bool buffering_ = false;
    bool oneShot_ = false;
    FramePtr latest_;
    FramePtr lastGood_;         // the newest sample taken whose picture was whole
    bool sourceFailed_ = false; // no sample will come until a Run starts the source
    FrameSink *downstream_ = nullptr;
};

} // namespace platform
