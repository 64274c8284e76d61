// The filter graph manager: the graph builder with the graph's media control
// and video window. It holds one reference to each filter it contains and
// lets go of them all when it is released, stopping the graph first.
#pragma once

#include "dshow/filter.h"

#include <vector>

namespace platform {

class VideoRenderer;

class FilterGraph final : public ComObject<IGraphBuilder, IMediaControl, IVideoWindow> {
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

    std::vector<Member> members_; // in the order they joined
    FILTER_STATE state_ = State_Stopped;
};

} // namespace platform
