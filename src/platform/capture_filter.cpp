#include "capture_filter.h"

#include "property_pages.h"

#include <algorithm>
#include <chrono>

namespace platform {

namespace {

#define VFW_E_NOT_STOPPED ((HRESULT)0x80040224u)

// Enough for the frame the grabber holds, the one being written and one
// spare; more are never needed since the grabber holds one at a time.
constexpr size_t poolLimit = 3;

} // namespace

// --- pin ------------------------------------------------------------------

HRESULT CapturePin::QueryInterface(REFIID riid, void **ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    std::string operation = std::string("QueryInterface:") + interfaceName(riid);
    PLATFORM_ENTER(operation.c_str());
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

HRESULT CapturePin::GetPages(CAUUID *pPages) { return fillPages(pPages, owner_.camera().pinPages, 2); }

// --- filter ---------------------------------------------------------------

CaptureFilter::CaptureFilter(DevicePtr device)
    : device_(std::move(device)), pin_(*this), current_(camera().sizes.front()), generator_(createColourBars()) {}

CaptureFilter::~CaptureFilter() {
    stopDelivery();
    device_->release(this);
}

void *CaptureFilter::findInterface(REFIID riid) {
    if (IsEqualGUID(riid, IID_ISpecifyPropertyPages))
        return static_cast<ISpecifyPropertyPages *>(this);
    return FilterObject::findInterface(riid);
}

HRESULT CaptureFilter::GetPages(CAUUID *pPages) { return fillPages(pPages, camera().filterPages, 1); }

VideoFormat CaptureFilter::currentFormat() const {
    VideoFormat format;
    format.width = current_.width;
    format.height = current_.height;
    format.fps = camera().fps;
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
    generator_->setFormat(currentFormat());
    pool_.clear();
    sink_ = sink;
    return S_OK;
}

void CaptureFilter::disconnect() {
    stopDelivery();
    sink_ = nullptr;
    pool_.clear();
}

HRESULT CaptureFilter::onJoin(FilterGraph *) {
    return device_->acquire(this) ? S_OK : HRESULT_FROM_WIN32_ERROR_BUSY;
}

void CaptureFilter::onLeave() { device_->release(this); }

void CaptureFilter::onRun() {
    if (!sink_ || !camera().delivers || thread_.joinable())
        return;
    stopping_ = false;
    thread_ = std::thread([this] { deliver(); });
}

void CaptureFilter::onStop() { stopDelivery(); }

void CaptureFilter::stopDelivery() {
    if (!thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

FramePtr CaptureFilter::takeFreeFrame() {
    // A frame referenced only by the pool is held by no one downstream; only
    // this thread hands frames out, so it cannot be taken meanwhile.
    for (const FramePtr &frame : pool_)
        if (frame.use_count() == 1)
            return frame;
    auto frame = std::make_shared<Frame>();
    if (pool_.size() < poolLimit)
        pool_.push_back(frame);
    return frame;
}

void CaptureFilter::deliver() {
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / camera().fps));
    auto due = clock::now() + std::chrono::milliseconds(camera().firstFrameMs);
    uint64_t sequence = 0;
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        if (wake_.wait_until(guard, due, [this] { return stopping_; }))
            return;
        guard.unlock();
        FramePtr frame = takeFreeFrame();
        generator_->render(*frame, sequence++);
        sink_->receive(frame);
        frame.reset();
        auto now = clock::now();
        due += period;
        if (due < now) // fell behind (a loaded machine): skip, do not burst
            due = now;
        guard.lock();
    }
}

IBaseFilter *createCaptureFilter(const DevicePtr &device) { return new CaptureFilter(device); }

} // namespace platform
