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
    std::shared_ptr<RendererWindow> window;
    {
        std::unique_lock<std::mutex> guard(windowLock_, std::try_to_lock);
        if (!guard || !window_ || !frame)
            return;
        window = window_;
    }
    window->offer(*frame); // a copy and a notice that cannot block
}

bool VideoRenderer::readsEveryFrame() {
    std::unique_lock<std::mutex> guard(windowLock_, std::try_to_lock);
    return guard && window_ && window_->wanted();
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
    std::lock_guard<std::mutex> guard(windowLock_);
    if (!window_ && format_.width > 0 && format_.height > 0)
        window_ = openRendererWindow(caption_, format_);
}

void VideoRenderer::closeWindow() {
    // Taken out under the lock, dropped outside it: ending the helper takes
    // a while, and the delivery thread must not meet the lock held that long.
    std::shared_ptr<RendererWindow> closing;
    {
        std::lock_guard<std::mutex> guard(windowLock_);
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
