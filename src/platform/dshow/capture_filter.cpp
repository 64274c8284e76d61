#include "dshow/capture_filter.h"
#include "com/diagnostics.h"

#include "com/guard.h"
#include "dshow/factories.h"
#include "dshow/filter_graph.h"
#include "dshow/property_pages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {

// Enough for the frame the grabber holds, the one being written and one
// spare; more are never needed since the grabber holds one at a time.
constexpr size_t idleFrames = 3;

} // namespace

// --- pin ------------------------------------------------------------------

HRESULT CapturePin::QueryInterface(REFIID riid, void **ppv) {
    if (std::optional<HRESULT> early = beginQuery(riid, ppv))
        return *early;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IAMStreamConfig))
        *ppv = static_cast<IAMStreamConfig *>(this);
    else if (IsEqualGUID(riid, IID_ISpecifyPropertyPages))
        *ppv = static_cast<ISpecifyPropertyPages *>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CapturePin::AddRef() { return owner_.AddRef(); }
ULONG CapturePin::Release() { return owner_.Release(); }

HRESULT CapturePin::GetFormat(AM_MEDIA_TYPE **ppmt) {
    if (!ppmt)
        return E_POINTER;
    *ppmt = nullptr;
    PLATFORM_ENTER("IAMStreamConfig::GetFormat");
    VideoFormat format = owner_.currentFormat();
    format.block = owner_.camera().formatBlock;
    *ppmt = newMediaType(format);
    return *ppmt ? S_OK : E_OUTOFMEMORY;
}

HRESULT CapturePin::SetFormat(AM_MEDIA_TYPE *pmt) {
    PLATFORM_ENTER("IAMStreamConfig::SetFormat");
    if (!pmt)
        return E_POINTER;
    LONG width = 0, height = 0;
    if (!IsEqualGUID(pmt->majortype, MEDIATYPE_Video) || !IsEqualGUID(pmt->subtype, MEDIASUBTYPE_RGB24) ||
        !readFrameSize(*pmt, width, height))
        return VFW_E_INVALIDMEDIATYPE;
    return owner_.setCurrentSize(width, height);
}

HRESULT CapturePin::GetNumberOfCapabilities(int *piCount, int *piSize) {
    if (!piCount || !piSize)
        return E_POINTER;
    PLATFORM_ENTER("IAMStreamConfig::GetNumberOfCapabilities");
    *piCount = static_cast<int>(owner_.camera().sizes.size());
    *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT CapturePin::GetStreamCaps(int iIndex, AM_MEDIA_TYPE **ppmt, BYTE *pSCC) {
    if (!ppmt || !pSCC)
        return E_POINTER;
    *ppmt = nullptr;
    PLATFORM_ENTER("IAMStreamConfig::GetStreamCaps");
    const std::vector<FrameSize> &sizes = owner_.camera().sizes;
    if (iIndex < 0 || static_cast<size_t>(iIndex) >= sizes.size())
        return S_FALSE; // as DirectShow answers an index past the last
    FrameSize size = sizes[static_cast<size_t>(iIndex)];
    VideoFormat format;
    format.width = size.width;
    format.height = size.height;
    format.fps = owner_.camera().rateAt(size);
    format.block = owner_.camera().formatBlock;
    *ppmt = newMediaType(format);
    if (!*ppmt)
        return E_OUTOFMEMORY;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    caps.guid = owner_.camera().formatBlock == FormatBlock::VideoInfo2 ? FORMAT_VideoInfo2 : FORMAT_VideoInfo;
    caps.InputSize = caps.MinCroppingSize = caps.MaxCroppingSize = {size.width, size.height};
    caps.MinOutputSize = caps.MaxOutputSize = {size.width, size.height};
    caps.MinFrameInterval = caps.MaxFrameInterval = static_cast<LONGLONG>(10000000.0 / format.fps + 0.5);
    std::memcpy(pSCC, &caps, sizeof caps);
    return S_OK;
}

HRESULT CapturePin::GetPages(CAUUID *pPages) { return fillPages(pPages, owner_.camera().pinPages, 2); }

// --- filter ---------------------------------------------------------------

CaptureFilter::CaptureFilter(DevicePtr device)
    : device_(std::move(device)), source_(device_->createSource()), pin_(*this),
      procAmp_(*static_cast<IBaseFilter *>(this), *device_),
      cameraControl_(*static_cast<IBaseFilter *>(this), *device_), current_(device_->currentSize()), pool_(idleFrames) {
}

CaptureFilter::~CaptureFilter() {
    onStop();
    source_->unclaim();
    device_->release(this);
}

void *CaptureFilter::findInterface(REFIID riid) {
    if (IsEqualGUID(riid, IID_ISpecifyPropertyPages))
        return static_cast<ISpecifyPropertyPages *>(this);
    if (IsEqualGUID(riid, IID_IAMVideoProcAmp))
        return static_cast<IAMVideoProcAmp *>(&procAmp_);
    if (IsEqualGUID(riid, IID_IAMCameraControl))
        return static_cast<IAMCameraControl *>(&cameraControl_);
    return FilterObject::findInterface(riid);
}

HRESULT CaptureFilter::GetPages(CAUUID *pPages) { return fillPages(pPages, camera().filterPages, 1); }

VideoFormat CaptureFilter::currentFormat() const {
    VideoFormat format;
    format.width = current_.width;
    format.height = current_.height;
    format.fps = camera().rateAt(current_);
    return format;
}

HRESULT CaptureFilter::setCurrentSize(LONG width, LONG height) {
    if (running())
        return VFW_E_NOT_STOPPED;
    const std::vector<FrameSize> &offered = camera().sizes;
    if (std::find(offered.begin(), offered.end(), FrameSize{width, height}) == offered.end())
        return VFW_E_INVALIDMEDIATYPE;
    current_ = {width, height};
    return S_OK;
}

HRESULT CaptureFilter::connect(FrameSink *sink) {
    if (running())
        return VFW_E_NOT_STOPPED;
    if (sink_)
        return VFW_E_ALREADY_CONNECTED;
    connected_ = currentFormat();
    pool_.clear();
    sink_ = sink;
    return S_OK;
}

void CaptureFilter::disconnect() {
    onStop();
    sink_ = nullptr;
    pool_.clear();
}

void CaptureFilter::forget(Filter &gone) {
    if (sink_ && dynamic_cast<Filter *>(sink_) == &gone)
        disconnect();
}

HRESULT CaptureFilter::onJoin(FilterGraph *) {
    if (!device_->acquire(this))
        return HRESULT_FROM_WIN32_ERROR_BUSY;
    HRESULT hr = source_->claim();
    if (FAILED(hr))
        device_->release(this);
    return hr;
}

void CaptureFilter::onLeave() {
    source_->unclaim();
    device_->release(this);
}

HRESULT CaptureFilter::onRun() {
    if (!sink_ || delivering_)
        return S_OK;
    HRESULT hr = guarded([&] { return source_->start(connected_, *this); });
    delivering_ = SUCCEEDED(hr);
    if (hr == HRESULT_FROM_WIN32_ERROR_DEVICE_NOT_CONNECTED) {
        deviceLost(); // said through the graph's events, as a running source says it
    } else if (!delivering_) {
        // The caller sees only Run's code, which a grabbing script does not
        // read: say here why no frame will come.
        say(camera().name + ": cannot start delivering (" + describeFailure(hr) + "); the next Run tries again");
    }
    sink_->sourceFailed(!delivering_);
    return hr;
}

void CaptureFilter::onStop() {
    if (delivering_)
        source_->stop();
    delivering_ = false;
}

FramePtr CaptureFilter::takeFrame() { return pool_.take(); }

bool CaptureFilter::readsEveryFrame() { return sink_->readsEveryFrame(); }

// The graph outlives every call: a source stops before its filter leaves.
void CaptureFilter::deviceLost() {
    if (FilterGraph *owner = graph())
        owner->deviceLost(identity());
}

void CaptureFilter::deliver(const FramePtr &frame) {
    ++samplesDelivered;
    sink_->receive(frame);
}

Device &CapturePin::pageDevice() { return owner_.pageDevice(); }

VideoFormat CapturePin::pageFormat() const { return owner_.currentFormat(); }

HRESULT CapturePin::applyUserSize(LONG width, LONG height) {
    VideoFormat chosen = owner_.currentFormat();
    chosen.width = width;
    chosen.height = height;
    AM_MEDIA_TYPE type{};
    HRESULT hr = fillMediaType(type, chosen);
    if (SUCCEEDED(hr))
        hr = SetFormat(&type);
    CoTaskMemFree(type.pbFormat);
    return hr;
}

IBaseFilter *createCaptureFilter(const DevicePtr &device) { return new CaptureFilter(device); }

} // namespace platform
