// The filter graph manager: the graph builder with the graph's media control,
// event queue and video window. It holds one reference to each filter it
// contains and lets go of them all when it is released, stopping the graph
// first.
#pragma once

#include "dshow/filter.h"
#include "common/locking.h"
#include "dshow/caller_thread.h"

#include <deque>
#include <vector>

namespace platform {

class VideoRenderer;

class FilterGraph final : public ComObject<IGraphBuilder, IMediaControl, IMediaEventEx, IVideoWindow> {
public:
    ~FilterGraph() override;

    // IFilterGraph
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter *pFilter, LPCWSTR pName) override;
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter *pFilter) override;
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR pName, IBaseFilter **ppFilter) override;

    // IMediaControl
    HRESULT STDMETHODCALLTYPE Run() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState *pfs) override;

    // IMediaEvent: what the graph's filters said, oldest first. A caller
    // waits on GetEventHandle's event, so GetEvent's timeout is not waited
    // out.
    HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT *hEvent) override;
    HRESULT STDMETHODCALLTYPE GetEvent(long *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2, long msTimeout) override;
    HRESULT STDMETHODCALLTYPE FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;

    // For the graph's filters, on any thread (a source's delivery thread
    // above all): queues EC_DEVICE_LOST for the filter (its IUnknown), with
    // a reference to it that FreeEventParams gives back.
    void deviceLost(IUnknown *filter);

    // IVideoWindow, served by the video renderer in the graph
    HRESULT STDMETHODCALLTYPE put_Visible(long Visible) override;
    HRESULT STDMETHODCALLTYPE get_Visible(long *pVisible) override;
    HRESULT STDMETHODCALLTYPE put_AutoShow(long AutoShow) override;
    HRESULT STDMETHODCALLTYPE get_AutoShow(long *AutoShow) override;

    // For the capture graph builder: adds without counting as a caller's call.
    HRESULT addFilter(IBaseFilter *filter, LPCWSTR name);
    bool contains(IBaseFilter *filter) const;

protected:
    void *findInterface(REFIID riid) override;

private:
    struct Member {
        ComRef<IBaseFilter> reference;
        Filter *filter;
    };
    HRESULT setAll(FILTER_STATE state);
    VideoRenderer *renderer() const;
    HRESULT setWindowFlag(const char *operation, HRESULT (VideoRenderer::*set)(bool), long value);
    HRESULT getWindowFlag(bool (VideoRenderer::*get)() const, long *value);

    struct Event {
        long code;
        LONG_PTR first;
        LONG_PTR second;
    };

    // The caller's thread's: who is in the graph, and how it runs.
    CallerThread callerThread_;
    std::vector<Member> members_; // in the order they joined
    FILTER_STATE state_ = State_Stopped;
    quorin::Mutex eventLock_;                               // guards events_, which delivery threads add to
    std::deque<Event> events_ GUARDED_BY(eventLock_);       // not yet taken by GetEvent
    HANDLE eventsWaiting_ GUARDED_BY(eventLock_) = nullptr; // set while events_ holds one; made when asked for
};

} // namespace platform
