#include "module/diagnostics.h"

#include "graph/platform.h"
#include "module/python_api.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <string>

#ifdef _WIN32

// Windows's DirectShow says nothing the module routes.
void routeDiagnosticsToLogging() {}
void deliverDiagnostics() {}

#else

#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// A line may arise on any thread: on the platform's own (a window's, a
// delivery's, a helper's watch), or on a caller's while it holds a device's
// lock. Python code run there could collect a Dev (whose teardown would wait
// for that very thread) or call back into a locked Dev. So no line is logged
// where it arises: it is queued, and logged on a Python thread with no quorin
// lock held, in the order said:
// - by every call into the module, as it returns, after it has let go of
//   its locks;
// - by a pending call (Py_AddPendingCall), which the interpreter runs on
//   its main thread between two bytecodes, for lines said between calls;
// - by the exit hook, which then sends every later line to standard error.
struct Routing {
    struct Queue {
        std::mutex lock;
        std::deque<std::string> lines;
        bool accepting = false; // from the import until the exit begins
        bool scheduled = false; // a pending call is on its way
    };
    // Never destroyed: a platform thread may say a line as the process ends.
    static Queue &queue() {
        static Queue *made = new Queue;
        return *made;
    }
    // One thread logs at a time (a handler may let the interpreter's lock
    // go), so that lines keep their order; a handler that calls into the
    // module finds the lines taken care of.
    static inline std::atomic<bool> delivering{false};
    // Lines are queued: set and cleared under the queue's lock.
    static inline std::atomic<bool> waiting{false};
    static PyMethodDef stopDefinition;
    // A platform that says line after line faster than Python logs them
    // neither fills memory nor holds the main thread: past this many, lines
    // go to standard error at once, on the thread that says them (a camera
    // or a helper says a line or two at a time).
    static const size_t maxQueued = 100;

    // Logs line through logging.getLogger("quorin").warning, leaving the
    // thread's exception state as it found it; false when that failed. A
    // line may carry bytes that are not UTF-8 (a declaration's, a device's
    // name): they are logged escaped, never around the logger.
    static bool logLine(const std::string &line) {
        PyObject *type, *value, *traceback;
        PyErr_Fetch(&type, &value, &traceback);
        PyObject *text = PyUnicode_DecodeUTF8(line.data(), static_cast<Py_ssize_t>(line.size()), "backslashreplace");
        PyObject *logging = text ? PyImport_ImportModule("logging") : nullptr;
        PyObject *logger = logging ? PyObject_CallMethod(logging, "getLogger", "s", "quorin") : nullptr;
        PyObject *done = logger ? PyObject_CallMethod(logger, "warning", "sO", "%s", text) : nullptr;
        bool logged = done != nullptr;
        Py_XDECREF(done);
        Py_XDECREF(text);
        Py_XDECREF(logger);
        Py_XDECREF(logging);
        if (!logged)
            PyErr_Clear();
        PyErr_Restore(type, value, traceback);
        return logged;
    }

    // In one call, so that no other thread's writes cut the line (glibc's
    // fprintf to the unbuffered stderr writes 128 bytes at a time), and
    // without allocating (it is the way out when memory runs short).
    static void writeToStandardError(const char *line) {
        iovec parts[2] = {{const_cast<char *>(line), std::strlen(line)}, {const_cast<char *>("\n"), 1}};
        ssize_t written = writev(STDERR_FILENO, parts, 2);
        (void)written; // nowhere else to say it
    }

    // With the interpreter's lock: logs what is queued, oldest first. Only
    // what is queued now: a thread that says line after line must not keep
    // the caller here. A line queued meanwhile has a pending call on its way.
    static void deliver() {
        // Every call into the module ends here (getbuffer among them): with
        // nothing queued, one atomic read.
        if (!waiting.load() || delivering.exchange(true))
            return;
        std::deque<std::string> lines;
        {
            std::lock_guard<std::mutex> hold(queue().lock);
            lines.swap(queue().lines);
            waiting = false;
        }
        for (const std::string &line : lines) {
            if (!logLine(line))
                writeToStandardError(line.c_str());
        }
        delivering = false;
    }

    // The interpreter runs it on its main thread between two bytecodes. The
    // next is asked for only once this one is done, so that a thread saying
    // line after line holds the main thread to one batch at a time.
    static int deliverPending(void *) {
        deliver();
        std::lock_guard<std::mutex> hold(queue().lock);
        queue().scheduled = false;
        if (!queue().lines.empty() && queue().accepting && Py_AddPendingCall(deliverPending, nullptr) == 0)
            queue().scheduled = true;
        return 0;
    }

    // The platform's sink, on whichever thread the line arose: queues it.
    static void say(const char *line, void *) {
        try {
            std::lock_guard<std::mutex> hold(queue().lock);
            Queue &q = queue();
            if (q.accepting && q.lines.size() < maxQueued) {
                q.lines.emplace_back(line);
                waiting = true;
                // Asked for under the lock, so never once the exit hook
                // has stopped the queue (the interpreter may then be gone).
                if (!q.scheduled && Py_AddPendingCall(deliverPending, nullptr) == 0)
                    q.scheduled = true;
                return;
            }
        } catch (...) {
            // No room to queue it: written as it is, below.
        }
        writeToStandardError(line);
    }

    // atexit's: what is queued is logged; later lines go to standard error.
    static PyObject *stop(PyObject *, PyObject *) {
        {
            std::lock_guard<std::mutex> hold(queue().lock);
            queue().accepting = false;
        }
        deliver();
        Py_RETURN_NONE;
    }

    // A child made by fork() starts with a queue of its own: the parent's
    // lines are the parent's to log, and the lock may have been held by one
    // of the parent's threads, which the child does not have.
    static void forgetInChild() {
        Queue &q = queue();
        new (&q.lock) std::mutex;
        new (&q.lines) std::deque<std::string>; // the parent's, perhaps half changed, left as it is
        q.scheduled = false;
        delivering = false;
        waiting = false;
    }

    static void start() {
        PyObject *stopper = PyCFunction_NewEx(&stopDefinition, nullptr, nullptr);
        PyObject *atexit = stopper ? PyImport_ImportModule("atexit") : nullptr;
        PyObject *registered = atexit ? PyObject_CallMethod(atexit, "register", "O", stopper) : nullptr;
        if (registered) {
            {
                std::lock_guard<std::mutex> hold(queue().lock);
                queue().accepting = true;
            }
            static bool forkHandled = pthread_atfork(nullptr, nullptr, forgetInChild) == 0;
            (void)forkHandled;
            routePlatformDiagnostics(say);
        } else {
            PyErr_Clear(); // lines go on to standard error
        }
        Py_XDECREF(registered);
        Py_XDECREF(atexit);
        Py_XDECREF(stopper);
    }
};

PyMethodDef Routing::stopDefinition = {"_stop_routing_diagnostics", Routing::stop, METH_NOARGS, nullptr};

} // namespace

void routeDiagnosticsToLogging() { Routing::start(); }

void deliverDiagnostics() { Routing::deliver(); }

#endif
