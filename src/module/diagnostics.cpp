#include "module/diagnostics.h"

#include "graph/platform.h"
#include "module/python_api.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// The routing, a template so that it is not even built where the platform
// says nothing (Windows): the module imports from the interpreter only what
// it calls. Lines are routed from the import until the interpreter's exit
// begins; the exit waits for the lines under way, each of which needs the
// interpreter's lock, which the exit lets go while it waits.
template <bool Says>
struct Routing {
    static std::atomic<bool> accepting;
    static std::atomic<int> underWay;
    static PyMethodDef stopDefinition;

    // Logs line through logging.getLogger("quorin").warning, leaving the
    // thread's exception state as it found it; false when that failed. A
    // line may carry bytes that are not UTF-8 (a declaration's, a device's
    // name): they are logged escaped, never around the logger.
    static bool logLine(const char *line) {
        PyObject *type, *value, *traceback;
        PyErr_Fetch(&type, &value, &traceback);
        PyObject *text = PyUnicode_DecodeUTF8(line, static_cast<Py_ssize_t>(std::strlen(line)), "backslashreplace");
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

    // The platform's sink, on whichever thread the line arose.
    static void say(const char *line, void *) {
        ++underWay;
        bool logged = false;
        if (accepting && Py_IsInitialized()) {
            PyGILState_STATE state = PyGILState_Ensure();
            logged = logLine(line);
            PyGILState_Release(state);
        }
        --underWay;
        if (!logged) {
            std::fprintf(stderr, "%s\n", line);
            std::fflush(stderr);
        }
    }

    // atexit's: from here on, lines go to standard error.
    static PyObject *stop(PyObject *, PyObject *) {
        accepting = false;
        Py_BEGIN_ALLOW_THREADS for (int waited = 0; underWay > 0 && waited < exitWaitMs; ++waited) Sleep(1);
        Py_END_ALLOW_THREADS Py_RETURN_NONE;
    }

    static void start() {
        PyObject *stopper = PyCFunction_NewEx(&stopDefinition, nullptr, nullptr);
        PyObject *atexit = stopper ? PyImport_ImportModule("atexit") : nullptr;
        PyObject *registered = atexit ? PyObject_CallMethod(atexit, "register", "O", stopper) : nullptr;
        if (registered) {
            accepting = true;
            routePlatformDiagnostics(say);
        } else {
            PyErr_Clear(); // lines go on to standard error
        }
        Py_XDECREF(registered);
        Py_XDECREF(atexit);
        Py_XDECREF(stopper);
    }

    static const int exitWaitMs = 5000;
};

template <bool Says>
std::atomic<bool> Routing<Says>::accepting{false};
template <bool Says>
std::atomic<int> Routing<Says>::underWay{0};
template <bool Says>
PyMethodDef Routing<Says>::stopDefinition = {"_stop_routing_diagnostics", Routing<Says>::stop, METH_NOARGS, nullptr};

template <bool Says>
void routeWhereSaid() {
    if constexpr (Says)
        Routing<Says>::start();
}

} // namespace

void routeDiagnosticsToLogging() { routeWhereSaid<platformSaysLines>(); }
