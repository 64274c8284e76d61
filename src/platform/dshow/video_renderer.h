// The renderer that the capture graph builder picks for a video stream. There
// is no screen to draw on: its window is a flag that shows when the graph
// runs with AutoShow on, counted for tests.
#pragma once

#include "dshow/filter.h"
#include "dshow/frame.h"

namespace platform {

class VideoRenderer final : public FilterObject<>, public FrameSink {
public:
    void receive(const FramePtr &) override {}

    HRESULT setAutoShow(bool on);
    bool autoShow() const { return autoShow_; }
    bool visible() const { return visible_; }
    HRESULT setVisible(bool on);

protected:
    const CLSID &classId() const override { return CLSID_VideoRenderer; }
    HRESULT onRun() override;

private:
    bool autoShow_ = true;
    bool visible_ = false;
};

} // namespace platform
