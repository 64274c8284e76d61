// The capture graph builder: renders a capture filter's stream through an
// intermediate filter to a renderer of its own choosing, and finds interfaces
// on a filter's pins.
#include "com/guard.h"
#include "dshow/capture_filter.h"
#include "dshow/factories.h"
#include "dshow/filter_graph.h"
#include "dshow/sample_grabber.h"
#include "dshow/video_renderer.h"

namespace platform {

namespace {

class CaptureGraphBuilder final : public ComObject<ICaptureGraphBuilder2> {
public:
    HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder *pfg) override {
        PLATFORM_ENTER("ICaptureGraphBuilder2::SetFiltergraph");
        if (!pfg)
            return E_POINTER;
        if (graph_)
            return E_UNEXPECTED; // a builder serves one graph for its life
        auto *graph = dynamic_cast<FilterGraph *>(pfg);
        if (!graph)
            return E_INVALIDARG;
        graph_ = ComRef<IGraphBuilder>::share(pfg);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder **ppfg) override {
        if (!ppfg)
            return E_POINTER;
        *ppfg = graph_.get();
        if (!graph_)
            return E_UNEXPECTED;
        graph_->AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE FindInterface(const GUID *pCategory, const GUID *pType, IBaseFilter *pf, REFIID riid,
                                            void **ppint) override {
        if (!ppint)
            return E_POINTER;
        *ppint = nullptr;
        PLATFORM_ENTER("ICaptureGraphBuilder2::FindInterface");
        auto *capture = dynamic_cast<CaptureFilter *>(Filter::from(pf));
        if (!capture)
            return E_NOINTERFACE;
        if (!capturePinMatches(*capture, pCategory, pType, false))
            return E_NOINTERFACE;
        return capture->pin().QueryInterface(riid, ppint);
    }

    HRESULT STDMETHODCALLTYPE RenderStream(const GUID *pCategory, const GUID *pType, IUnknown *pSource,
                                           IBaseFilter *pfCompressor, IBaseFilter *pfRenderer) override {
        PLATFORM_ENTER("ICaptureGraphBuilder2::RenderStream");
        auto *graph = dynamic_cast<FilterGraph *>(graph_.get());
        if (!graph)
            return E_UNEXPECTED;
        if (pfRenderer)
            return E_NOTIMPL; // this platform always picks the renderer itself
        auto *source = dynamic_cast<CaptureFilter *>(Filter::from(pSource));
        auto *grabber = dynamic_cast<SampleGrabber *>(Filter::from(pfCompressor));
        if (!source || !grabber)
            return E_INVALIDARG;
        if (!graph->contains(source) || !graph->contains(grabber))
            return VFW_E_NOT_IN_GRAPH;
        if (!capturePinMatches(*source, pCategory, pType, true))
            return VFW_E_NOT_FOUND;
        if (source->connected())
            return VFW_E_ALREADY_CONNECTED;

        HRESULT hr = grabber->connectInput(source->currentFormat());
        if (FAILED(hr))
            return hr;
        ComRef<IBaseFilter> renderer;
        hr = guarded([&] {
            renderer.adopt(createVideoRenderer());
            return graph->addFilter(renderer.get(), L"Video Renderer");
        });
        if (FAILED(hr)) {
            grabber->disconnect();
            return hr;
        }
        auto *chosen = static_cast<VideoRenderer *>(renderer.get());
        chosen->connectInput(source->currentFormat(), source->camera().name);
        grabber->connectOutput(chosen);
        return source->connect(grabber);
    }

protected:
    void *findInterface(REFIID riid) override {
        return IsEqualGUID(riid, IID_ICaptureGraphBuilder2) ? static_cast<ICaptureGraphBuilder2 *>(this) : nullptr;
    }

private:
    // The capture pin's category is capture and its major type the camera's.
    // Rendering video from an interleaved pin is allowed: the builder splits
    // the video stream out, as DirectShow does for DV devices.
    static bool capturePinMatches(CaptureFilter &filter, const GUID *category, const GUID *type, bool rendering) {
        if (category && !IsEqualGUID(*category, PIN_CATEGORY_CAPTURE))
            return false;
        if (!type || IsEqualGUID(*type, filter.majorType()))
            return true;
        return rendering && IsEqualGUID(*type, MEDIATYPE_Video);
    }

    ComRef<IGraphBuilder> graph_;
};

} // namespace

IUnknown *createCaptureGraphBuilder() { return new CaptureGraphBuilder; }

} // namespace platform
