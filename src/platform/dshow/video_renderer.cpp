#include "dshow/video_renderer.h"

#include "dshow/factories.h"

#include <thread>

namespace platform {

VideoRenderer::~VideoRenderer() { closeWindow(); }

void VideoRenderer::connectInput(const VideoFormat &format, const std::string &caption) {
    format_ = format;
    caption_ = caption;
}

void VideoRenderer::disconnect() {
    closeWindow();
    format_ = VideoFormat();
}

void VideoRenderer::receive(const FramePtr &frame) {
    if (!frame || !windowLock_.try_lock())
        return; // the window is being made or dropped: this frame is not shown
    std::shared_ptr<RendererWindow> window = window_;
    windowLock_.unlock();
    if (window)
        window->offer(*frame); // a copy and a notice that cannot block
}

bool VideoRenderer::readsEveryFrame() {
    if (!windowLock_.try_lock())
        return false;
    bool reads = window_ && window_->wanted();
    windowLock_.unlock();
    return reads;
}

HRESULT VideoRenderer::setAutoShow(bool on) {
    autoShow_ = on;
    return S_OK;
}

HRESULT VideoRenderer::setVisible(bool on) {
    if (on && !visible_)
        ++windowsShown;
    visible_ = on;
    if (!on)
        closeWindow();
    else if (running())
        openWindow();
    return S_OK;
}

HRESULT VideoRenderer::onRun() {
    if (autoShow_)
        setVisible(true);
    if (visible_)
        openWindow();
    return S_OK;
}

void VideoRenderer::onStop() { closeWindow(); }

void VideoRenderer::openWindow() {
    CallerThread::Scope caller(callerThread_);
    quorin::Lock guard(windowLock_);
    if (!window_ && format_.width > 0 && format_.height > 0)
        window_ = openRendererWindow(caption_, format_);
}

void VideoRenderer::closeWindow() {
    CallerThread::Scope caller(callerThread_);
    // Taken out under the lock, dropped outside it: ending the helper takes
    // a while, and the delivery thread must not meet the lock held that long.
    std::shared_ptr<RendererWindow> closing;
    {
        quorin::Lock guard(windowLock_);
        closing = std::move(window_);
    }
    // A frame being offered holds the window a moment longer (an offer never
    // blocks); the window ends here, on the caller's thread, not on the
    // delivery thread.
    while (closing && closing.use_count() > 1)
        std::this_thread::yield();
}

IBaseFilter *createVideoRenderer() { return new VideoRenderer; }

} // namespace platform
