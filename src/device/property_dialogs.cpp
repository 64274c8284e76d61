// The driver's property dialogs: the capture filter's pages, the capture
// pin's, and the deprecated form that warns first. Each stops the graph and,
// once a dialog was shown, rebuilds it so that the user's changes apply.
// The dialogs stay open without the interpreter's lock, so that the other
// Python threads (a GUI's among them) run meanwhile.
#include "device/device_methods.h"
#include "device/stream_config.h"
#include "module/device_type.h"
#include "module/interpreter_lock.h"
#include "module/module_error.h"
#include "module/messages.h"

namespace {

// Shows the pages for one object, modally, owned by the top window; frees
// the page list.
void showPropertyFrame(IUnknown *object, LPCOLESTR caption, CAUUID *pages) {
    OleCreatePropertyFrame(GetTopWindow(nullptr), 0, 0, caption, 1, &object, pages->cElems, pages->pElems, 0, 0,
                           nullptr);
    CoTaskMemFree(pages->pElems);
    pages->pElems = nullptr;
    pages->cElems = 0;
}

// The pages of an object: true only with at least one page. A list that
// came with no page is freed here.
bool getPages(ISpecifyPropertyPages *source, CAUUID *pages) {
    pages->cElems = 0;
    pages->pElems = nullptr;
    if (source->GetPages(pages) != S_OK)
        return false;
    if (pages->cElems > 0)
        return true;
    CoTaskMemFree(pages->pElems);
    pages->pElems = nullptr;
    return false;
}

// The filter's pages; the first rebuild empties the record when it fails:
// then there is no filter to show, and its failure is the answer.
const char *showFilterPages(DeviceRecord *record) {
    record->mediaControl->Stop();
    ComRef<ISpecifyPropertyPages> pageSource;
    CAUUID pages;
    if (record->captureFilter->QueryInterface(IID_ISpecifyPropertyPages, pageSource.voidOut()) != S_OK || !pageSource ||
        !getPages(pageSource.get(), &pages))
        return message::filterPagesNotFound;
    if (const char *failure = rebuildGraph(record)) {
        CoTaskMemFree(pages.pElems);
        return failure;
    }
    showPropertyFrame(record->captureFilter, nullptr, &pages);
    pageSource.reset();
    return rebuildGraph(record);
}

const char *showPinPages(DeviceRecord *record) {
    record->mediaControl->Stop();
    bool shown = false;
    {
        ComRef<IAMStreamConfig> config;
        ComRef<ISpecifyPropertyPages> pageSource;
        CAUUID pages;
        if (findStreamConfig(record, config) &&
            config->QueryInterface(IID_ISpecifyPropertyPages, pageSource.voidOut()) == S_OK && pageSource &&
            getPages(pageSource.get(), &pages)) {
            showPropertyFrame(config.get(), nullptr, &pages);
            shown = true;
        }
    }
    if (!shown)
        return message::pinPagesNotFound;
    return rebuildGraph(record);
}

const char *showNamedFilterPages(DeviceRecord *record) {
    if (FAILED(record->mediaControl->Stop()))
        return message::graphNotStopped;
    {
        ComRef<ISpecifyPropertyPages> pageSource;
        if (FAILED(record->captureFilter->QueryInterface(IID_ISpecifyPropertyPages, pageSource.voidOut())) ||
            !pageSource)
            return message::deprecatedPagesNotFound;

        // What a failed call did not deliver is never used: no caption from
        // an unfilled record, no release of a graph reference not given, no
        // frame without a page list.
        FILTER_INFO info;
        std::memset(&info, 0, sizeof info);
        if (FAILED(record->captureFilter->QueryFilterInfo(&info)))
            return message::filterNameUnknown;
        ComRef<IFilterGraph> infoGraph;
        infoGraph.adopt(info.pGraph);

        ComRef<IUnknown> object;
        if (FAILED(record->captureFilter->QueryInterface(IID_IUnknown, object.voidOut())) || !object)
            return message::filterUnknownNotFound;

        CAUUID pages;
        pages.cElems = 0;
        pages.pElems = nullptr;
        HRESULT listed = pageSource->GetPages(&pages);
        pageSource.reset();
        if (FAILED(listed))
            return message::deprecatedPagesNotFound;

        info.achName[sizeof info.achName / sizeof info.achName[0] - 1] = L'\0';
        showPropertyFrame(object.get(), info.achName, &pages);
    }
    return rebuildGraph(record);
}

// Runs a dialog without the interpreter's lock; None, or its failure raised.
PyObject *showDialog(PyObject *self, const char *(*show)(DeviceRecord *)) {
    DeviceRecord *record = recordOf(self);
    if (!requireGraph(record))
        return nullptr;
    const char *failure = withoutInterpreterLock([&] { return show(record); });
    if (failure)
        return raiseModuleError(failure);
    Py_RETURN_NONE;
}

} // namespace

PyObject *displaycapturefilterproperties(PyObject *self, PyObject *) { return showDialog(self, showFilterPages); }

PyObject *displaycapturepinproperties(PyObject *self, PyObject *) { return showDialog(self, showPinPages); }

PyObject *displaypropertypage(PyObject *self, PyObject *) {
    withoutInterpreterLock([] {
        return MessageBoxA(nullptr,
                           "displayPropertyPage() is deprecated.\n"
                           "Use displayCaptureFilterProperties() and displayCapturePinProperties() instead!",
                           "Quorinview Warning", MB_TASKMODAL | MB_ICONWARNING);
    });
    return showDialog(self, showNamedFilterPages);
}
