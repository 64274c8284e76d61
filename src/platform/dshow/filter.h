// What every platform filter shares: its place in a graph, its run state,
// and the IBaseFilter methods. A graph holds one counted reference to each
// of its filters; a filter knows its graph only by a plain pointer, so that
// releasing the graph lets go of its filters.
#pragma once

#include "com/com_object.h"

#include <string>

namespace platform {

class FilterGraph;

// The graph-facing side of a filter, reached from an IBaseFilter by
// dynamic_cast; a filter that is not the platform's has none.
class Filter {
public:
    virtual ~Filter() = default;
    // May refuse to join (a device that another graph holds).
    virtual HRESULT onJoin(FilterGraph *) { return S_OK; }
    virtual void onLeave() {}
    // Starting may fail (a source without memory or a thread to deliver on).
    virtual HRESULT onRun() { return S_OK; }
    virtual void onStop() {}
    virtual void disconnect() {}
    // Another filter of the graph is leaving it: break any link to it, so
    // that nothing calls a filter that may be gone.
    virtual void forget(Filter &) {}

    FilterGraph *graph() const { return graph_; }
    const std::wstring &graphName() const { return name_; }
    bool running() const { return state_ == State_Running; }

    static Filter *from(IUnknown *object) { return object ? dynamic_cast<Filter *>(object) : nullptr; }

protected:
    HRESULT join(IFilterGraph *graph, LPCWSTR name);
    HRESULT setState(FILTER_STATE state);
    FILTER_STATE state_ = State_Stopped;

private:
    FilterGraph *graph_ = nullptr;
    std::wstring name_;
};

template <class... Others>
class FilterObject : public ComObject<IBaseFilter, Others...>, public Filter {
public:
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID *pClassID) override {
        if (!pClassID)
            return E_POINTER;
        *pClassID = classId();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        setState(State_Stopped);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Pause() override {
        setState(State_Paused);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return setState(State_Running); }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE *State) override {
        if (!State)
            return E_POINTER;
        *State = state_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO *pInfo) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) override {
        return join(pGraph, pName);
    }

protected:
    virtual const CLSID &classId() const = 0;
    void *findInterface(REFIID riid) override {
        if (IsEqualGUID(riid, IID_IBaseFilter) || IsEqualGUID(riid, IID_IMediaFilter) ||
            IsEqualGUID(riid, IID_IPersist))
            return static_cast<IBaseFilter *>(this);
        return nullptr;
    }
};

// Fills info with the filter's graph name and a counted reference to its
// graph (null outside a graph).
HRESULT describeFilter(Filter &filter, FILTER_INFO *info);

template <class... Others>
HRESULT FilterObject<Others...>::QueryFilterInfo(FILTER_INFO *pInfo) {
    if (!pInfo)
        return E_POINTER;
    std::memset(pInfo, 0, sizeof *pInfo);
    PLATFORM_ENTER("IBaseFilter::QueryFilterInfo");
    return describeFilter(*this, pInfo);
}

} // namespace platform
