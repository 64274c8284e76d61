#include "dshow/sample_grabber.h"

#include "dshow/factories.h"

namespace platform {

namespace {

const GUID nullGuid{};

bool acceptsGuid(const GUID &wanted, const GUID &offered) {
    return IsEqualGUID(wanted, nullGuid) || IsEqualGUID(wanted, offered);
}

} // namespace

SampleGrabber::~SampleGrabber() { disconnect(); }

void *SampleGrabber::findInterface(REFIID riid) {
    if (IsEqualGUID(riid, IID_ISampleGrabber))
        return static_cast<ISampleGrabber *>(this);
    return FilterObject::findInterface(riid);
}

HRESULT SampleGrabber::SetOneShot(BOOL OneShot) {
    PLATFORM_ENTER("ISampleGrabber::SetOneShot");
    quorin::Lock guard(lock_);
    oneShot_ = OneShot != FALSE;
    return S_OK;
}

HRESULT SampleGrabber::SetMediaType(const AM_MEDIA_TYPE *pType) {
    PLATFORM_ENTER("ISampleGrabber::SetMediaType");
    if (!pType)
        return E_POINTER;
    quorin::Lock guard(lock_);
    acceptMajor_ = pType->majortype;
    acceptSub_ = pType->subtype;
    acceptFormat_ = pType->formattype;
    return S_OK;
}

HRESULT SampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE *pType) {
    if (!pType)
        return E_POINTER;
    PLATFORM_ENTER("ISampleGrabber::GetConnectedMediaType");
    quorin::Lock guard(lock_);
    if (!connected_)
        return VFW_E_NOT_CONNECTED;
    return fillMediaType(*pType, connectedFormat_);
}

HRESULT SampleGrabber::SetBufferSamples(BOOL BufferThem) {
    PLATFORM_ENTER("ISampleGrabber::SetBufferSamples");
    quorin::Lock guard(lock_);
    buffering_ = BufferThem != FALSE;
    if (!buffering_) {
        latest_.reset();
        lastGood_.reset();
    }
    return S_OK;
}

HRESULT SampleGrabber::GetCurrentBuffer(long *pBufferSize, long *pBuffer) {
    if (!pBufferSize)
        return E_POINTER;
    PLATFORM_ENTER("ISampleGrabber::GetCurrentBuffer");
    FramePtr sample;
    {
        quorin::Lock guard(lock_);
        if (!connected_)
            return VFW_E_NOT_CONNECTED;
        if (!buffering_)
            return E_INVALIDARG;
        // A source that could not start sends nothing, and the grabber says
        // so at once: not VFW_E_WRONG_STATE ("not yet"), which callers wait
        // out, and not a sample of an earlier run, which would pass for new.
        if (sourceFailed_)
            return VFW_E_NOT_RUNNING;
        sample = latest_;
        if (!sample)
            return VFW_E_WRONG_STATE;
    }
    // A delivered frame never changes while referenced, so the copy (or the
    // conversion of a device picture, straight into the caller's buffer)
    // needs no lock and cannot mix two samples.
    for (;;) {
        long size = static_cast<long>(sample->pictureSize());
        if (!pBuffer) {
            *pBufferSize = size;
            return S_OK;
        }
        if (*pBufferSize < size)
            return E_OUTOFMEMORY;
        bool whole = sample->readInto(reinterpret_cast<uint8_t *>(pBuffer));
        quorin::Lock guard(lock_);
        if (whole) {
            if (latest_ == sample || !lastGood_)
                lastGood_ = sample;
            *pBufferSize = size;
            return S_OK;
        }
        // A damaged picture, found only now that it is decoded: it is
        // dropped, and the last good one is given instead (or, before any,
        // "not yet", so that the caller waits for the next).
        if (latest_ == sample)
            latest_ = lastGood_;
        if (!lastGood_ || lastGood_ == sample)
            return VFW_E_WRONG_STATE;
        sample = lastGood_;
    }
}

HRESULT SampleGrabber::GetCurrentSample(IMediaSample **ppSample) {
    if (!ppSample)
        return E_POINTER;
    *ppSample = nullptr;
    return E_NOTIMPL;
}

HRESULT SampleGrabber::SetCallback(ISampleGrabberCB *pCallback, long WhichMethodToCallback) {
    PLATFORM_ENTER("ISampleGrabber::SetCallback");
    if (pCallback && WhichMethodToCallback != 0)
        return WhichMethodToCallback == 1 ? E_NOTIMPL : E_INVALIDARG;
    ComRef<ISampleGrabberCB> replaced;
    {
        quorin::Lock guard(lock_);
        replaced = std::move(callback_);
        callback_ = ComRef<ISampleGrabberCB>::share(pCallback);
    }
    return S_OK; // the old callback is let go outside the lock
}

HRESULT SampleGrabber::connectInput(const VideoFormat &offered) {
    quorin::Lock guard(lock_);
    if (connected_)
        return VFW_E_ALREADY_CONNECTED;
    GUID offeredFormat = offered.block == FormatBlock::VideoInfo2 ? FORMAT_VideoInfo2 : FORMAT_VideoInfo;
    if (!acceptsGuid(acceptMajor_, MEDIATYPE_Video) || !acceptsGuid(acceptSub_, MEDIASUBTYPE_RGB24) ||
        !acceptsGuid(acceptFormat_, offeredFormat))
        return VFW_E_CANNOT_CONNECT;
    connected_ = true;
    connectedFormat_ = offered;
    latest_.reset();
    lastGood_.reset();
    return S_OK;
}

void SampleGrabber::connectOutput(FrameSink *downstream) {
    quorin::Lock guard(lock_);
    downstream_ = downstream;
}

void SampleGrabber::disconnect() {
    quorin::Lock guard(lock_);
    connected_ = false;
    downstream_ = nullptr;
    latest_.reset();
    lastGood_.reset();
    sourceFailed_ = false;
}

void SampleGrabber::forget(Filter &gone) {
    quorin::Lock guard(lock_);
    if (downstream_ && dynamic_cast<Filter *>(downstream_) == &gone)
        downstream_ = nullptr;
}

void SampleGrabber::sourceFailed(bool failed) {
    FrameSink *downstream;
    {
        quorin::Lock guard(lock_);
        sourceFailed_ = failed;
        downstream = downstream_;
    }
    if (downstream)
        downstream->sourceFailed(failed);
}

void SampleGrabber::receive(const FramePtr &frame) {
    FrameSink *downstream;
    ComRef<ISampleGrabberCB> callback;
    {
        quorin::Lock guard(lock_);
        if (!connected_ || (oneShot_ && latest_))
            return;
        if (buffering_)
            latest_ = frame; // the old sample goes back to the camera's pool
        downstream = downstream_;
        callback = ComRef<ISampleGrabberCB>::share(callback_.get());
    }
    // Outside the lock: the callback may take the sample at once.
    if (callback)
        callback->SampleCB(0.0, nullptr);
    if (downstream)
        downstream->receive(frame);
}

bool SampleGrabber::readsEveryFrame() {
    FrameSink *downstream;
    {
        quorin::Lock guard(lock_);
        downstream = downstream_;
    }
    return downstream && downstream->readsEveryFrame();
}

IUnknown *createSampleGrabber() { return static_cast<IBaseFilter *>(new SampleGrabber); }

} // namespace platform
