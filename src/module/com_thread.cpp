#include "module/com_thread.h"

#include "graph/platform.h"
#include "module/module_error.h"
#include "module/messages.h"

namespace {

struct ThreadCom {
    bool usable = false;
    bool ours = false; // a count the module took here, and so gives back here
    ~ThreadCom() {
        if (ours)
            CoUninitialize();
    }
};

thread_local ThreadCom threadCom;

} // namespace

bool comOnThisThread() {
    if (comUsableHere())
        return true;
    raiseModuleError(message::comNotInitialized);
    return false;
}

bool comUsableHere() {
    if (threadCom.usable)
        return true;
    HRESULT hr = CoInitialize(nullptr);
    if (hr == RPC_E_CHANGED_MODE) {
        // Started by someone else as a multithreaded apartment: used as it is.
    } else if (FAILED(hr)) {
        return false;
    } else {
        // Started here (S_OK), or by someone else in this apartment
        // (S_FALSE): either way a count of the module's, kept until the
        // thread ends, so that the other library's own balanced stop does
        // not take COM from under the module.
        threadCom.ours = true;
    }
    threadCom.usable = true;
    return true;
}

void comStartedByImport() { threadCom.usable = true; }
