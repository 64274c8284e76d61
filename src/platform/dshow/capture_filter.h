// The capture filter of a device, with its one capture pin. The pin offers
// stream configuration and property pages; its references are the filter's,
// as with every DirectShow pin. While the graph runs, the device's frame
// source delivers samples on its own thread into frames of the filter's pool;
// the filter stops it whenever it stops, leaves its graph or is destroyed.
#pragma once

#include "dshow/capture_device.h"
#include "dshow/filter.h"
#include "dshow/filter_settings.h"
#include "dshow/frame_pool.h"
#include "dshow/frame_source.h"
#include "dshow/property_pages.h"

namespace platform {

class CaptureFilter;

class CapturePin final : public IAMStreamConfig, public ISpecifyPropertyPages, public PageTarget {
public:
    explicit CapturePin(CaptureFilter &owner) : owner_(owner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE *pmt) override;
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE **ppmt) override;
    // One capability for each size the camera offers, in its order.
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int *piCount, int *piSize) override;
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int iIndex, AM_MEDIA_TYPE **ppmt, BYTE *pSCC) override;
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID *pPages) override;

    const char *pageKind() const override { return "capture pin"; }
    Pages pages() const override { return Pages::Format; }
    Device &pageDevice() override;
    VideoFormat pageFormat() const override;
    // Through SetFormat, as a format page sets the size it was closed with.
    HRESULT applyUserSize(LONG width, LONG height) override;

private:
    CaptureFilter &owner_;
};

class CaptureFilter final : public FilterObject<ISpecifyPropertyPages>, public PageTarget, private SampleOutput {
public:
    explicit CaptureFilter(DevicePtr device);
    ~CaptureFilter() override;

    const CameraDescription &camera() const { return device_->description(); }
    CapturePin &pin() { return pin_; }
    const GUID &majorType() const { return camera().interleaved ? MEDIATYPE_Interleaved : MEDIATYPE_Video; }

    // The format that the next connection uses, and the way to change it
    // (stopped only; sizes the camera does not offer are refused).
    VideoFormat currentFormat() const;
    HRESULT setCurrentSize(LONG width, LONG height);

    // Connection of the capture pin, made and broken by the graph.
    bool connected() const { return sink_ != nullptr; }
    HRESULT connect(FrameSink *sink);
    void disconnect() override;
    void forget(Filter &gone) override;

    HRESULT STDMETHODCALLTYPE GetPages(CAUUID *pPages) override;

    const char *pageKind() const override { return "capture filter"; }
    Pages pages() const override { return Pages::Controls; }
    Device &pageDevice() override { return *device_; }
    VideoFormat pageFormat() const override { return currentFormat(); }
    HRESULT applyUserSize(LONG width, LONG height) override { return setCurrentSize(width, height); }

protected:
    const CLSID &classId() const override { return CLSID_PlatformCaptureFilter; }
    void *findInterface(REFIID riid) override;
    HRESULT onJoin(FilterGraph *graph) override;
    void onLeave() override;
    HRESULT onRun() override;
    void onStop() override;

private:
    FramePtr takeFrame() override;
    void deliver(const FramePtr &frame) override;
    bool readsEveryFrame() override;
    void deviceLost() override;

    // Threads: every member is the caller's thread's, except while the
    // source delivers (between start in onRun and stop in onStop, both on
    // the caller's thread): then its delivery thread reads sink_ and takes
    // frames from pool_, which has a lock of its own.
    DevicePtr device_;
    std::unique_ptr<FrameSource> source_;
    CapturePin pin_;
    VideoProcAmpSettings procAmp_;
    CameraControlSettings cameraControl_;
    FrameSize current_;
    VideoFormat connected_;
    FrameSink *sink_ = nullptr; // set before start, cleared after stop
    bool delivering_ = false;
    FramePool pool_;
};

} // namespace platform
