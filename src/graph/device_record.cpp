#include "graph/device_record.h"

#include "common/com_ref.h"
#include "module/module_error.h"

namespace {

template <class T>
void releaseField(T **field) {
    if (*field) {
        (*field)->Release();
        *field = nullptr;
    }
}

void releaseReferences(DeviceRecord *record, bool keepCaptureFilter) {
    if (record->mediaControl) {
        record->mediaControl->Stop();
        releaseField(&record->mediaControl);
    }
    releaseField(&record->sampleGrabber);
    if (!keepCaptureFilter)
        releaseField(&record->captureFilter);
    releaseField(&record->captureBuilder);
    releaseField(&record->filterGraph);
    releaseField(&record->propertyBag);
}

const DWORD inProcess = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

// Runs the build steps in order. Returns null on success, or the message of
// the step that failed; the local references are released on return either
// way, before the caller empties the record.
const char *buildSteps(DeviceRecord *record) {
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, inProcess, IID_IGraphBuilder,
                                reinterpret_cast<void **>(&record->filterGraph))))
        return "Creation of the filter graph failed.";
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, inProcess, IID_ICaptureGraphBuilder2,
                                reinterpret_cast<void **>(&record->captureBuilder))))
        return "Creation of the capture graph builder failed.";
    if (FAILED(record->captureBuilder->SetFiltergraph(record->filterGraph)))
        return "Setting the filter graph for the capture graph builder failed.";

    ComRef<IEnumMoniker> monikers;
    if (const char *failure = openDeviceMonikers(monikers))
        return failure;
    if (!monikers)
        return "Creation of the enumerator for video capture devices failed.";

    ComRef<IMoniker> moniker;
    for (int index = 0; index <= record->deviceNumber; ++index) {
        ULONG fetched = 0;
        if (monikers->Next(1, moniker.out(), &fetched) != S_OK || !moniker)
            return "The device with the specified device number does not exist.";
    }
    monikers.reset();

    if (!record->captureFilter) {
        ComRef<IBaseFilter> bound;
        if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, bound.voidOut())) || !bound)
            return "Binding the moniker to a filter object failed.";
        record->captureFilter = bound.detach();
    }
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void **>(&record->propertyBag))))
        return "Fetching the moniker property bag failed.";
    moniker.reset();

    if (FAILED(record->filterGraph->AddFilter(record->captureFilter, L"Quorinview")))
        return "Adding the capture filter to the filter graph failed.\nDevice maybe not connected or already in use.";

    ComRef<IBaseFilter> grabberFilter;
    if (FAILED(CoCreateInstance(CLSID_SampleGrabber, nullptr, inProcess, IID_IBaseFilter, grabberFilter.voidOut())))
        return "Creation of the sample grabber failed.";
    if (FAILED(grabberFilter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void **>(&record->sampleGrabber))))
        return "Sample grabber interface could not be found.";
    if (FAILED(record->filterGraph->AddFilter(grabberFilter.get(), L"Grabber")))
        return "Adding the sample grabber to the filter graph failed.";

    // Any size of 24-bit RGB video: everything but the three types is zero.
    AM_MEDIA_TYPE requested;
    std::memset(&requested, 0, sizeof requested);
    requested.majortype = MEDIATYPE_Video;
    requested.subtype = MEDIASUBTYPE_RGB24;
    requested.formattype = FORMAT_VideoInfo;
    if (FAILED(record->sampleGrabber->SetMediaType(&requested)))
        return "Setting the media type of the sample grabber failed.";

    HRESULT rendered = record->captureBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                                            record->captureFilter, grabberFilter.get(), nullptr);
    grabberFilter.reset();
    if (FAILED(rendered))
        return "Capture Graph could not be created.";

    if (record->showVideoWindow == 0) {
        ComRef<IVideoWindow> videoWindow;
        if (FAILED(record->filterGraph->QueryInterface(IID_IVideoWindow, videoWindow.voidOut())))
            return "Video Window interface could not be found.";
        if (FAILED(videoWindow->put_AutoShow(OAFALSE)))
            return "Video Window hiding failed.";
    }

    if (FAILED(
            record->filterGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&record->mediaControl))))
        return "Media control interface could not be found.";
    if (FAILED(record->sampleGrabber->SetBufferSamples(TRUE)))
        return "Setting up buffering of samples failed.";
    if (FAILED(record->sampleGrabber->SetOneShot(FALSE)))
        return "Setting up non-one-shot mode of the sample grabber failed.";
    return nullptr;
}

} // namespace

const char *openDeviceMonikers(ComRef<IEnumMoniker> &monikers) {
    ComRef<ICreateDevEnum> deviceEnumerator;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, inProcess, IID_ICreateDevEnum,
                                deviceEnumerator.voidOut())))
        return "Creation of the system device enumerator failed.";
    // S_FALSE means the category is empty: no enumerator to walk.
    HRESULT hr = deviceEnumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.out(), 0);
    if (hr == S_FALSE) {
        monikers.reset();
        return nullptr;
    }
    if (hr != S_OK || !monikers)
        return "Creation of the enumerator for video capture devices failed.";
    return nullptr;
}

const char *buildGraph(DeviceRecord *record) {
    record->deviceLost = false;
    record->ownerProcess = currentProcessId();
    const char *failure = buildSteps(record);
    if (failure)
        releaseAll(record);
    return failure;
}

void releaseAll(DeviceRecord *record) { releaseReferences(record, false); }

void releaseGraph(DeviceRecord *record) { releaseReferences(record, true); }

const char *rebuildGraph(DeviceRecord *record) {
    releaseGraph(record);
    return buildGraph(record);
}

bool inheritedFromParent(const DeviceRecord *record) {
    return record->filterGraph && record->ownerProcess != currentProcessId();
}

bool requireGraph(const DeviceRecord *record) {
    if (inheritedFromParent(record)) {
        raiseModuleError("The device belongs to the process this one was forked from: open it again with new_Dev().");
        return false;
    }
    if (record->filterGraph && record->captureBuilder && record->captureFilter && record->sampleGrabber &&
        record->mediaControl && record->propertyBag)
        return true;
    raiseModuleError("The device has no capture graph: open it again with new_Dev().");
    return false;
}
