// The renderer that the capture graph builder picks for a video stream. Its
// window shows when the graph runs with AutoShow on (counted for tests); on
// a desktop that is a real window with the live video, drawn by the dialog
// helper (ui/video_window.cpp), and elsewhere only the flag.
#pragma once

#include "dshow/filter.h"
#include "dshow/frame.h"
#include "dshow/media_type.h"
#include "common/locking.h"
#include "dshow/caller_thread.h"

#include <memory>
#include <string>

namespace platform {

// A window that shows a renderer's frames on a desktop.
class RendererWindow {
public:
    virtual ~RendererWindow() = default; // the window goes, and its helper
    // Called on the delivery thread with each frame; never waits.
    virtual void offer(const Frame &frame) = 0;
    // False once the window is gone for this run of the graph: its user
    // closed it, no display could be opened, or a fault ended it.
    virtual bool wanted() const = 0;
};

// A window for frames of format under caption where a desktop can show one
// (a display is named and the helper is there); null otherwise. Defined by
// the user-interface layer above this one, which the linker joins.
std::unique_ptr<RendererWindow> openRendererWindow(const std::string &caption, const VideoFormat &format);

class VideoRenderer final : public FilterObject<>, public FrameSink {
public:
    ~VideoRenderer() override;

    // Set by the capture graph builder as it connects the renderer: the
    // frames' format, and the device's name for the window's caption.
    void connectInput(const VideoFormat &format, const std::string &caption);
    void disconnect() override;

    void receive(const FramePtr &frame) override;
    // While its window shows, the renderer reads every frame.
    bool readsEveryFrame() override;

    HRESULT setAutoShow(bool on);
    bool autoShow() const { return autoShow_; }
    bool visible() const { return visible_; }
    HRESULT setVisible(bool on);

protected:
    const CLSID &classId() const override { return CLSID_VideoRenderer; }
    HRESULT onRun() override;
    void onStop() override;

private:
    void openWindow();
    void closeWindow();

    CallerThread callerThread_; // the window is made and dropped on it
    bool autoShow_ = true;
    bool visible_ = false;
    VideoFormat format_;
    std::string caption_;
    // The window, made and dropped on the caller's thread and used on the
    // delivery thread, which only tries the lock: a frame that meets the
    // window being made or dropped is not shown, and delivery never waits.
    // The lock guards the pointer alone, and is never held across a call
    // into the window: the delivery thread offers a frame through a
    // reference of its own, which a close waits out before the window goes.
    quorin::Mutex windowLock_;
    std::shared_ptr<RendererWindow> window_ GUARDED_BY(windowLock_);
};

} // namespace platform
