#include "graph/device_record.h"

#include "common/com_ref.h"
#include "module/module_error.h"
#include "module/messages.h"

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
        return message::graphNotCreated;
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, inProcess, IID_ICaptureGraphBuilder2,
                                reinterpret_cast<void **>(&record->captureBuilder))))
        return message::builderNotCreated;
    if (FAILED(record->captureBuilder->SetFiltergraph(record->filterGraph)))
        return message::builderGraphNotSet;

    ComRef<IEnumMoniker> monikers;
    if (const char *failure = openDeviceMonikers(monikers))
        return failure;
    if (!monikers)
        return message::enumeratorNotCreated;

    ComRef<IMoniker> moniker;
    for (int index = 0; index <= record->deviceNumber; ++index) {
        ULONG fetched = 0;
        if (monikers->Next(1, moniker.out(), &fetched) != S_OK || !moniker)
            return message::noSuchDevice;
    }
    monikers.reset();

    if (!record->captureFilter) {
        ComRef<IBaseFilter> bound;
        if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, bound.voidOut())) || !bound)
            return message::monikerNotBound;
        record->captureFilter = bound.detach();
    }
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void **>(&record->propertyBag))))
        return message::propertyBagNotFetched;
    moniker.reset();

    if (FAILED(record->filterGraph->AddFilter(record->captureFilter, L"Quorinview")))
        return message::captureFilterNotAdded;

    ComRef<IBaseFilter> grabberFilter;
    if (FAILED(CoCreateInstance(CLSID_SampleGrabber, nullptr, inProcess, IID_IBaseFilter, grabberFilter.voidOut())))
        return message::grabberNotCreated;
    if (FAILED(grabberFilter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void **>(&record->sampleGrabber))))
        return message::grabberInterfaceNotFound;
    if (FAILED(record->filterGraph->AddFilter(grabberFilter.get(), L"Grabber")))
        return message::grabberNotAdded;

    // Any size of 24-bit RGB video: everything but the three types is zero.
    AM_MEDIA_TYPE requested;
    std::memset(&requested, 0, sizeof requested);
    requested.majortype = MEDIATYPE_Video;
    requested.subtype = MEDIASUBTYPE_RGB24;
    requested.formattype = FORMAT_VideoInfo;
    if (FAILED(record->sampleGrabber->SetMediaType(&requested)))
        return message::grabberTypeNotSet;

    HRESULT rendered = record->captureBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                                            record->captureFilter, grabberFilter.get(), nullptr);
    grabberFilter.reset();
    if (FAILED(rendered))
        return message::graphNotRendered;

    if (record->showVideoWindow == 0) {
        ComRef<IVideoWindow> videoWindow;
        if (FAILED(record->filterGraph->QueryInterface(IID_IVideoWindow, videoWindow.voidOut())))
            return message::videoWindowNotFound;
        if (FAILED(videoWindow->put_AutoShow(OAFALSE)))
            return message::videoWindowNotHidden;
    }

    if (FAILED(
            record->filterGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&record->mediaControl))))
        return message::mediaControlNotFound;
    if (FAILED(record->sampleGrabber->SetBufferSamples(TRUE)))
        return message::bufferingNotSet;
    if (FAILED(record->sampleGrabber->SetOneShot(FALSE)))
        return message::oneShotNotCleared;
    return nullptr;
}

} // namespace

const char *openDeviceMonikers(ComRef<IEnumMoniker> &monikers) {
    ComRef<ICreateDevEnum> deviceEnumerator;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, inProcess, IID_ICreateDevEnum,
                                deviceEnumerator.voidOut())))
        return message::systemEnumeratorNotCreated;
    // S_FALSE means the category is empty: no enumerator to walk.
    HRESULT hr = deviceEnumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.out(), 0);
    if (hr == S_FALSE) {
        monikers.reset();
        return nullptr;
    }
    if (hr != S_OK || !monikers)
        return message::enumeratorNotCreated;
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
        raiseModuleError(message::deviceOfParent);
        return false;
    }
    if (record->filterGraph && record->captureBuilder && record->captureFilter && record->sampleGrabber &&
        record->mediaControl && record->propertyBag)
        return true;
    raiseModuleError(message::noCaptureGraph);
    return false;
}
