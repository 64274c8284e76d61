#include "dshow/filter.h"
#include "dshow/filter_graph.h"

#include <algorithm>
#include <cwchar>

namespace platform {

HRESULT Filter::join(IFilterGraph *graph, LPCWSTR name) {
    if (!graph) {
        setState(State_Stopped);
        disconnect();
        onLeave();
        graph_ = nullptr;
        name_.clear();
        return S_OK;
    }
    auto *target = dynamic_cast<FilterGraph *>(graph);
    if (!target)
        return E_INVALIDARG;
    if (graph_ && graph_ != target)
        return HRESULT_FROM_WIN32_ERROR_BUSY;
    HRESULT hr = onJoin(target);
    if (FAILED(hr))
        return hr;
    graph_ = target;
    name_ = name ? name : L"";
    return S_OK;
}

HRESULT Filter::setState(FILTER_STATE state) {
    if (state == state_)
        return S_OK;
    if (state == State_Running) {
        // A filter that could not start stays where it was, so that a later
        // Run tries again instead of finding it running already.
        HRESULT hr = onRun();
        if (SUCCEEDED(hr))
            state_ = state;
        return hr;
    }
    FILTER_STATE previous = state_;
    state_ = state;
    if (previous == State_Running)
        onStop();
    return S_OK;
}

HRESULT describeFilter(Filter &filter, FILTER_INFO *info) {
    const std::wstring &name = filter.graphName();
    size_t count = std::min(name.size(), sizeof info->achName / sizeof info->achName[0] - 1);
    std::wmemcpy(info->achName, name.c_str(), count);
    info->achName[count] = L'\0';
    if (FilterGraph *graph = filter.graph()) {
        info->pGraph = static_cast<IFilterGraph *>(static_cast<IGraphBuilder *>(graph));
        info->pGraph->AddRef();
    }
    return S_OK;
}

} // namespace platform
