#include "dshow/filter_graph.h"

#include "com/guard.h"

#include "dshow/factories.h"
#include "dshow/video_renderer.h"

#include <cwchar>

namespace platform {

FilterGraph::~FilterGraph() {
    setAll(State_Stopped);
    // Leave in reverse order of joining; each filter breaks its connections
    // and, for a capture filter, frees its device for the next graph.
    for (auto it = members_.rbegin(); it != members_.rend(); ++it)
        it->reference->JoinFilterGraph(nullptr, nullptr);
    while (!members_.empty())
        members_.pop_back();
    // Nobody will take these now: free what they hold.
    for (const Event &event : events_)
        FreeEventParams(event.code, event.first, event.second);
    if (eventsWaiting_)
        CloseHandle(eventsWaiting_);
}

void *FilterGraph::findInterface(REFIID riid) {
    if (IsEqualGUID(riid, IID_IGraphBuilder) || IsEqualGUID(riid, IID_IFilterGraph))
        return static_cast<IGraphBuilder *>(this);
    if (IsEqualGUID(riid, IID_IMediaControl))
        return static_cast<IMediaControl *>(this);
    if (IsEqualGUID(riid, IID_IMediaEventEx) || IsEqualGUID(riid, IID_IMediaEvent))
        return static_cast<IMediaEventEx *>(this);
    if (IsEqualGUID(riid, IID_IVideoWindow))
        return static_cast<IVideoWindow *>(this);
    return nullptr;
}

HRESULT FilterGraph::GetEventHandle(OAEVENT *hEvent) {
    if (!hEvent)
        return E_POINTER;
    *hEvent = 0;
    PLATFORM_ENTER("IMediaEvent::GetEventHandle");
    quorin::Lock guard(eventLock_);
    if (!eventsWaiting_ && !(eventsWaiting_ = CreateEventW(nullptr, TRUE, events_.empty() ? FALSE : TRUE, nullptr)))
        return E_OUTOFMEMORY;
    *hEvent = reinterpret_cast<OAEVENT>(eventsWaiting_);
    return S_OK;
}

HRESULT FilterGraph::GetEvent(long *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2, long) {
    if (!lEventCode || !lParam1 || !lParam2)
        return E_POINTER;
    *lEventCode = 0;
    *lParam1 = *lParam2 = 0;
    PLATFORM_ENTER("IMediaEvent::GetEvent");
    quorin::Lock guard(eventLock_);
    if (events_.empty())
        return E_ABORT; // what a timeout gives: nothing came
    const Event &next = events_.front();
    *lEventCode = next.code;
    *lParam1 = next.first;
    *lParam2 = next.second;
    events_.pop_front();
    if (events_.empty() && eventsWaiting_)
        ResetEvent(eventsWaiting_);
    return S_OK;
}

HRESULT FilterGraph::FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR) {
    if (lEvCode == EC_DEVICE_LOST && lParam1)
        reinterpret_cast<IUnknown *>(lParam1)->Release();
    return S_OK;
}

void FilterGraph::deviceLost(IUnknown *filter) {
    quorin::Lock guard(eventLock_);
    // Said once while nobody has taken it: a stopped source that is started
    // again on a gone device says so again.
    for (const Event &queued : events_)
        if (queued.code == EC_DEVICE_LOST && queued.first == reinterpret_cast<LONG_PTR>(filter))
            return;
    try {
        events_.push_back({EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(filter), 0});
    } catch (...) {
        return; // no memory: the next loss it hears of is queued instead
    }
    filter->AddRef();
    if (eventsWaiting_)
        SetEvent(eventsWaiting_);
}

HRESULT FilterGraph::AddFilter(IBaseFilter *pFilter, LPCWSTR pName) {
    PLATFORM_ENTER("IGraphBuilder::AddFilter");
    return guarded([&] { return addFilter(pFilter, pName); });
}

HRESULT FilterGraph::addFilter(IBaseFilter *filter, LPCWSTR name) {
    CallerThread::Scope caller(callerThread_);
    if (!filter)
        return E_POINTER;
    if (contains(filter))
        return E_INVALIDARG;
    Filter *platformFilter = Filter::from(filter);
    if (!platformFilter)
        return E_INVALIDARG; // only the platform's own filters can be connected here
    HRESULT hr = filter->JoinFilterGraph(static_cast<IGraphBuilder *>(this), name);
    if (FAILED(hr))
        return hr;
    hr = guarded([&] {
        members_.push_back({ComRef<IBaseFilter>::share(filter), platformFilter});
        return S_OK;
    });
    if (FAILED(hr))
        filter->JoinFilterGraph(nullptr, nullptr);
    return hr;
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter *pFilter) {
    PLATFORM_ENTER("IGraphBuilder::RemoveFilter");
    CallerThread::Scope caller(callerThread_);
    for (auto it = members_.begin(); it != members_.end(); ++it) {
        if (it->reference.get() != pFilter)
            continue;
        // As DirectShow's base classes: connections change only stopped.
        if (state_ != State_Stopped)
            return VFW_E_NOT_STOPPED;
        // Its connections go with it, on both sides.
        for (Member &other : members_)
            if (other.filter != it->filter)
                other.filter->forget(*it->filter);
        pFilter->JoinFilterGraph(nullptr, nullptr);
        members_.erase(it);
        return S_OK;
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter **ppFilter) {
    if (!ppFilter)
        return E_POINTER;
    *ppFilter = nullptr;
    PLATFORM_ENTER("IGraphBuilder::FindFilterByName");
    if (!pName)
        return E_POINTER;
    CallerThread::Scope caller(callerThread_);
    for (const Member &member : members_) {
        if (member.filter->graphName() == pName) {
            *ppFilter = member.reference.get();
            (*ppFilter)->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

bool FilterGraph::contains(IBaseFilter *filter) const {
    for (const Member &member : members_)
        if (member.reference.get() == filter)
            return true;
    return false;
}

HRESULT FilterGraph::setAll(FILTER_STATE state) {
    CallerThread::Scope caller(callerThread_);
    state_ = state;
    // Sinks start before sources and sources stop before sinks, so no sample
    // ever reaches a filter that is not ready for it.
    HRESULT result = S_OK;
    if (state == State_Stopped) {
        for (Member &member : members_)
            member.reference->Stop();
    } else {
        for (auto it = members_.rbegin(); it != members_.rend(); ++it) {
            HRESULT hr = state == State_Running ? it->reference->Run(0) : it->reference->Pause();
            if (FAILED(hr) && SUCCEEDED(result))
                result = hr; // the others run all the same, as a stop stops them all
        }
    }
    return result;
}

HRESULT FilterGraph::Run() {
    PLATFORM_ENTER("IMediaControl::Run");
    return setAll(State_Running);
}

HRESULT FilterGraph::Pause() {
    PLATFORM_ENTER("IMediaControl::Pause");
    setAll(State_Paused);
    return S_OK;
}

HRESULT FilterGraph::Stop() {
    PLATFORM_ENTER("IMediaControl::Stop");
    setAll(State_Stopped);
    return S_OK;
}

HRESULT FilterGraph::GetState(LONG, OAFilterState *pfs) {
    if (!pfs)
        return E_POINTER;
    CallerThread::Scope caller(callerThread_);
    *pfs = state_;
    return S_OK;
}

VideoRenderer *FilterGraph::renderer() const {
    CallerThread::Scope caller(callerThread_);
    for (const Member &member : members_)
        if (auto *found = dynamic_cast<VideoRenderer *>(member.filter))
            return found;
    return nullptr;
}

// The graph's video window is its renderer's; without one there is none.
HRESULT FilterGraph::setWindowFlag(const char *operation, HRESULT (VideoRenderer::*set)(bool), long value) {
    PLATFORM_ENTER(operation);
    VideoRenderer *target = renderer();
    return target ? (target->*set)(value != OAFALSE) : E_NOINTERFACE;
}

HRESULT FilterGraph::getWindowFlag(bool (VideoRenderer::*get)() const, long *value) {
    if (!value)
        return E_POINTER;
    VideoRenderer *target = renderer();
    if (!target)
        return E_NOINTERFACE;
    *value = (target->*get)() ? OATRUE : OAFALSE;
    return S_OK;
}

HRESULT FilterGraph::put_Visible(long Visible) {
    return setWindowFlag("IVideoWindow::put_Visible", &VideoRenderer::setVisible, Visible);
}

HRESULT FilterGraph::get_Visible(long *pVisible) { return getWindowFlag(&VideoRenderer::visible, pVisible); }

HRESULT FilterGraph::put_AutoShow(long AutoShow) {
    return setWindowFlag("IVideoWindow::put_AutoShow", &VideoRenderer::setAutoShow, AutoShow);
}

HRESULT FilterGraph::get_AutoShow(long *AutoShow) { return getWindowFlag(&VideoRenderer::autoShow, AutoShow); }

IUnknown *createFilterGraph() { return static_cast<IGraphBuilder *>(new FilterGraph); }

} // namespace platform
