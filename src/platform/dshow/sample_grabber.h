// The sample grabber: a transform filter that accepts only the media type set
// on it, keeps the latest sample when buffering is on, and passes every
// sample on to the renderer downstream.
#pragma once

#include "dshow/filter.h"
#include "dshow/frame.h"
#include "dshow/media_type.h"

#include "common/locking.h"

namespace platform {

class SampleGrabber final : public FilterObject<ISampleGrabber>, public FrameSink {
public:
    ~SampleGrabber() override;

    HRESULT STDMETHODCALLTYPE SetOneShot(BOOL OneShot) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE *pType) override;
    HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE *pType) override;
    HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL BufferThem) override;
    HRESULT STDMETHODCALLTYPE GetCurrentBuffer(long *pBufferSize, long *pBuffer) override;
    HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample **ppSample) override;
    HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB *pCallback, long WhichMethodToCallback) override;

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
    mutable quorin::Mutex lock_;
    GUID acceptMajor_ GUARDED_BY(lock_){};
    GUID acceptSub_ GUARDED_BY(lock_){};
    GUID acceptFormat_ GUARDED_BY(lock_){};
    bool connected_ GUARDED_BY(lock_) = false;
    VideoFormat connectedFormat_ GUARDED_BY(lock_);
    bool buffering_ GUARDED_BY(lock_) = false;
    bool oneShot_ GUARDED_BY(lock_) = false;
    FramePtr latest_ GUARDED_BY(lock_);
    FramePtr lastGood_ GUARDED_BY(lock_);         // the newest sample taken whose picture was whole
    bool sourceFailed_ GUARDED_BY(lock_) = false; // no sample will come until a Run starts the source
    FrameSink *downstream_ GUARDED_BY(lock_) = nullptr;
    ComRef<ISampleGrabberCB> callback_ GUARDED_BY(lock_); // told of each sample kept
};

} // namespace platform
