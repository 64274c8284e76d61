#include "com/diagnostics.h"

#include <quorin_platform/diagnostics.h>

#include "com/process_state.h"
#include "common/locking.h"

#include <cstdio>
#include <new>

namespace {

quorin::Mutex sinkLock; // trivially destroyed: a line may be said at exit
QuorinDiagnosticSink sink GUARDED_BY(sinkLock) = nullptr;
void *sinkContext GUARDED_BY(sinkLock) = nullptr;
// A child of fork() starts with the lock free; the sink stays.
const bool renewedInForkChild = (platform::renewInForkChild([] { new (&sinkLock) quorin::Mutex; }), true);

} // namespace

extern "C" void quorin_platform_set_diagnostic_sink(QuorinDiagnosticSink newSink, void *context) {
    quorin::Lock guard(sinkLock);
    sink = newSink;
    sinkContext = context;
}

namespace platform {

void say(const std::string &line) { sayVerbatim("quorin platform: " + line); }

void sayVerbatim(const std::string &text) {
    QuorinDiagnosticSink target;
    void *context;
    {
        quorin::Lock guard(sinkLock);
        target = sink;
        context = sinkContext;
    }
    // Outside the lock: a sink may wait (for an interpreter's lock) while
    // another thread, holding that, says a line of its own.
    if (target) {
        target(text.c_str(), context);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace platform
