#include "module/com_thread.h"

#include "graph/platform.h"
#include "module/module_error.h"
#include "module/messages.h"

namespace {

struct ThreadCom {
    bool usable = false;
    bool ours = false; // started here by the module, and so stopped here
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
    if (hr == S_FALSE) {
        // Started by someone else in this apartment: their count, not ours.
        CoUninitialize();
    } else if (hr == RPC_E_CHANGED_MODE) {
        // Started by someone else as a multithreaded apartment: used as it is.
    } else if (FAILED(hr)) {
        return false;
    } else {
        threadCom.ours = true;
    }
    threadCom.usable = true;
    return true;
}

void comStartedByImport() { threadCom.usable = true; }
