#include "com/diagnostics.h"

#include <quorin_platform/diagnostics.h>

#include "com/process_state.h"
#include "common/locking.h"

#include <sys/uio.h>
#include <unistd.h>
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
    // In one call, so that no other thread's writes cut the line (glibc's
    // fprintf to the unbuffered stderr writes 128 bytes at a time).
    iovec parts[2] = {{const_cast<char *>(text.data()), text.size()}, {const_cast<char *>("\n"), 1}};
    ssize_t written = writev(STDERR_FILENO, parts, 2);
    (void)written; // nowhere else to say it
}

} // namespace platform
