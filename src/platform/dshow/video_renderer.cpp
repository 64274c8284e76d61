#include "dshow/video_renderer.h"

#include "dshow/factories.h"

namespace platform {

HRESULT VideoRenderer::setAutoShow(bool on) {
    autoShow_ = on;
    return S_OK;
}

HRESULT VideoRenderer::setVisible(bool on) {
    if (on && !visible_)
        ++windowsShown;
    visible_ = on;
    return S_OK;
}

HRESULT VideoRenderer::onRun() {
    if (autoShow_)
        setVisible(true);
    return S_OK;
}

IBaseFilter *createVideoRenderer() { return new VideoRenderer; }

} // namespace platform
