// Loads quorin.pyd as the interpreter would, over the stand-in interpreter,
// and runs the module through its own method tables: one line per check,
// exit status 1 when any check fails.
//
// usage: quorin_host PYD
//        quorin_host PYD --device NAME WIDTH HEIGHT OTHER_WIDTH OTHER_HEIGHT FRAME.bmp
// Without --device the system has no capture device. With it, device 0 is a
// capture device named NAME whose current size is WIDTH x HEIGHT, which also
// offers OTHER_WIDTH x OTHER_HEIGHT and shows colour bars; the first frame is
// written to FRAME.bmp.
#include "standin.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const std::string &what, const std::string &detail = "") {
    std::printf("%s - %s%s%s\n", ok ? "ok" : "FAIL", what.c_str(), ok || detail.empty() ? "" : ": ",
                ok ? "" : detail.c_str());
    std::fflush(stdout);
    (ok ? passed : failed)++;
}

// The outcome of one call: a new reference, or the pending error's type and
// message (which is then cleared).
struct Outcome {
    PyObject *value = nullptr;
    std::string errorType;
    std::string message;

    ~Outcome() { Py_XDECREF(value); }
    bool raised(const char *type, const char *text) const { return !value && errorType == type && message == text; }
    std::string describe() const {
        return value ? std::string("returned a ") + Py_TYPE(value)->tp_name : "raised " + errorType + ": " + message;
    }
};

void finish(Outcome &outcome, PyObject *result) {
    if (StandIn_LockReleases() != 0)
        check(false, "the interpreter's lock is taken back before a call returns",
              std::to_string(StandIn_LockReleases()) + " releases outstanding");
    outcome.value = result;
    const char *type, *message;
    if (StandIn_PendingError(&type, &message)) {
        outcome.errorType = type;
        outcome.message = message;
        StandIn_ClearError();
    }
}

// Calls a method definition with positional arguments, taking their references.
void callWith(Outcome &outcome, PyMethodDef *method, PyObject *self, const std::vector<PyObject *> &items) {
    PyObject *tuple = StandIn_Tuple(static_cast<Py_ssize_t>(items.size()), items.data());
    for (PyObject *item : items)
        Py_DECREF(item);
    finish(outcome, method->ml_meth(self, tuple));
    Py_DECREF(tuple);
}

// Calls a method definition with positional integer arguments.
void call(Outcome &outcome, PyMethodDef *method, PyObject *self, std::vector<long long> arguments) {
    std::vector<PyObject *> items;
    for (long long argument : arguments)
        items.push_back(StandIn_Int(argument));
    callWith(outcome, method, self, items);
}

PyMethodDef *findMethod(PyMethodDef *table, const char *name) {
    for (PyMethodDef *method = table; method && method->ml_name; ++method)
        if (std::strcmp(method->ml_name, name) == 0)
            return method;
    return nullptr;
}

struct Module {
    PyObject *object = nullptr;
    PyMethodDef *newDev = nullptr;
    PyObject *newDevSelf = nullptr;
    PyMethodDef *listDevices = nullptr;
    PyTypeObject *devType = nullptr;
};

void callNewDev(Outcome &outcome, const Module &module, std::vector<long long> arguments) {
    call(outcome, module.newDev, module.newDevSelf, std::move(arguments));
}

void callDev(Outcome &outcome, const Module &module, PyObject *dev, const char *name,
             std::vector<long long> arguments = {}) {
    call(outcome, findMethod(module.devType->tp_methods, name), dev, std::move(arguments));
}

bool loadModule(const char *path, Module &module) {
    HMODULE library = LoadLibraryA(path);
    check(library != nullptr, "LoadLibrary loads quorin.pyd", "error " + std::to_string(GetLastError()));
    if (!library)
        return false;
    // Through void *: FARPROC's type is not the entry point's.
    auto init =
        reinterpret_cast<PyObject *(*)(void)>(reinterpret_cast<void *>(GetProcAddress(library, "PyInit_quorin")));
    check(init != nullptr, "quorin.pyd exports PyInit_quorin");
    if (!init)
        return false;
    Outcome created;
    finish(created, init());
    check(created.value != nullptr, "PyInit_quorin returns the module", created.describe());
    if (!created.value)
        return false;
    module.object = created.value;
    created.value = nullptr;

    PyObject *dict = PyModule_GetDict(module.object);
    std::vector<std::string> functions;
    PyObject *error = nullptr;
    const char *key;
    PyObject *value;
    for (Py_ssize_t i = 0; StandIn_DictItem(dict, i, &key, &value); ++i) {
        PyObject *self;
        if (PyMethodDef *method = StandIn_FunctionDefinition(value, &self)) {
            functions.push_back(key);
            if (std::strcmp(key, "new_Dev") == 0) {
                module.newDev = method;
                module.newDevSelf = self;
            } else if (std::strcmp(key, "listdevices") == 0) {
                module.listDevices = method;
            }
        } else if (std::strcmp(key, "error") == 0) {
            error = value;
        }
    }
    check(functions == std::vector<std::string>{"new_Dev", "listdevices"},
          "new_Dev and listdevices are the module's functions");
    check(error && Py_TYPE(error)->tp_name == std::string("type") &&
              reinterpret_cast<PyTypeObject *>(error)->tp_name == std::string("quorin.Error"),
          "quorin.error is a type with the qualified name \"quorin.Error\"");

    for (Py_ssize_t i = 0; PyTypeObject *type = StandIn_ReadiedType(i); ++i)
        if (std::strcmp(type->tp_name, "quorin.Dev") == 0)
            module.devType = type;
    std::vector<std::string> methods;
    for (PyMethodDef *method = module.devType ? module.devType->tp_methods : nullptr; method && method->ml_name;
         ++method)
        methods.push_back(method->ml_name);
    check(methods == std::vector<std::string>{"displaypropertypage", "displaycapturefilterproperties",
                                              "displaycapturepinproperties", "getdisplayname", "setresolution",
                                              "getbuffer", "getresolutions", "getcontrols", "setcontrol"},
          "the Dev type's method table holds the six methods in order, then the three of settings");
    return module.newDev && module.listDevices && module.devType && error;
}

const char *const noDevice = "The device with the specified device number does not exist.";

void checkArguments(const Module &module) {
    {
        Outcome outcome;
        callNewDev(outcome, module, {-1, 0});
        check(outcome.raised("quorin.Error", noDevice), "new_Dev(-1, 0) raises \"" + std::string(noDevice) + "\"",
              outcome.describe());
    }
    {
        Outcome outcome;
        callNewDev(outcome, module, {0});
        check(outcome.raised("TypeError", "newDev() takes exactly 2 arguments (1 given)"),
              "new_Dev(0) raises the interpreter's argument error", outcome.describe());
    }
}

// listdevices(): the names it returned, or false with what it did instead.
bool listDevices(const Module &module, std::vector<std::string> &names, std::string &detail) {
    Outcome outcome;
    finish(outcome, module.listDevices->ml_meth(module.newDevSelf, nullptr));
    detail = outcome.describe();
    PyObject *item;
    const char *text;
    for (Py_ssize_t i = 0; StandIn_ListItem(outcome.value, i, &item); ++i) {
        if (!StandIn_StrValue(item, &text))
            return false;
        names.push_back(text);
    }
    return outcome.value && Py_TYPE(outcome.value)->tp_name == std::string("list");
}

template <class Work>
DWORD WINAPI runWork(void *argument) {
    (*static_cast<Work *>(argument))();
    StandIn_EndThread();
    return 0;
}

// Runs work on a thread of its own, as a Python thread would, and waits.
template <class Work>
void onThread(Work work) {
    HANDLE thread = CreateThread(nullptr, 0, runWork<Work>, &work, 0, nullptr);
    check(thread != nullptr, "a thread of its own starts");
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

void checkWithoutDevice(const Module &module) {
    {
        std::vector<std::string> names;
        std::string detail;
        check(listDevices(module, names, detail) && names.empty(), "listdevices() returns an empty list", detail);
    }
    Outcome outcome;
    callNewDev(outcome, module, {0, 0});
    const char *message = "Creation of the enumerator for video capture devices failed.";
    check(outcome.raised("quorin.Error", message), "new_Dev(0, 0) raises \"" + std::string(message) + "\"",
          outcome.describe());
}

// Closes the dialogs that a call shows, as a person would, and records their
// captions: message boxes and property frames are top-level dialog windows
// of this process.
// (Win32 threads: MinGW-w64's win32 thread model has no std::thread.)
class DialogCloser {
public:
    DialogCloser() {
        InitializeCriticalSection(&lock_);
        thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    ~DialogCloser() {
        InterlockedExchange(&stop_, 1);
        if (thread_) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        DeleteCriticalSection(&lock_);
    }
    bool running() const { return thread_ != nullptr; }
    std::vector<std::string> captions() {
        EnterCriticalSection(&lock_);
        std::vector<std::string> copy = captions_;
        LeaveCriticalSection(&lock_);
        return copy;
    }

private:
    static BOOL CALLBACK visit(HWND window, LPARAM context) {
        auto *self = reinterpret_cast<DialogCloser *>(context);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char className[64] = "";
        GetClassNameA(window, className, sizeof className);
        if (process != GetCurrentProcessId() || !IsWindowVisible(window) || std::strcmp(className, "#32770") != 0)
            return TRUE;
        char caption[256] = "";
        GetWindowTextA(window, caption, sizeof caption);
        EnterCriticalSection(&self->lock_);
        self->captions_.push_back(caption);
        LeaveCriticalSection(&self->lock_);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return TRUE;
    }
    static DWORD WINAPI run(void *context) {
        auto *self = static_cast<DialogCloser *>(context);
        while (InterlockedCompareExchange(&self->stop_, 0, 0) == 0) {
            EnumWindows(visit, reinterpret_cast<LPARAM>(self));
            Sleep(200);
        }
        return 0;
    }

    volatile LONG stop_ = 0;
    CRITICAL_SECTION lock_;
    std::vector<std::string> captions_;
    HANDLE thread_ = nullptr;
};

size_t stride(long long width) { return static_cast<size_t>((width * 3 + 3) / 4 * 4); }

// The pixel at (x, y) from the top of a frame in the module's layout: rows
// bottom-up, each padded to four bytes, bytes B, G, R.
const unsigned char *pixel(const char *data, long long width, long long height, long long x, long long y) {
    return reinterpret_cast<const unsigned char *>(data) + stride(width) * static_cast<size_t>(height - 1 - y) +
           static_cast<size_t>(x) * 3;
}

// A frame as a BMP file, whose pixel layout is the module's.
bool writeBitmap(const char *path, const char *data, Py_ssize_t size, long long width, long long height) {
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(size);
    info.biSize = sizeof info;
    info.biWidth = static_cast<LONG>(width);
    info.biHeight = static_cast<LONG>(height);
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = static_cast<DWORD>(size);
    FILE *out = std::fopen(path, "wb");
    if (!out)
        return false;
    bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                   std::fwrite(data, static_cast<size_t>(size), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

struct Frame {
    const char *data = nullptr;
    Py_ssize_t size = 0;
    long long width = 0, height = 0;
};

bool readFrame(const Outcome &outcome, Frame &frame) {
    Py_ssize_t count;
    PyObject *const *items;
    return outcome.value && StandIn_TupleItems(outcome.value, &count, &items) && count == 3 &&
           StandIn_BytesValue(items[0], &frame.data, &frame.size) && StandIn_IntValue(items[1], &frame.width) &&
           StandIn_IntValue(items[2], &frame.height);
}

// Colour bars as the driver draws them, 75% white to black: which of R, G, B
// are lit in each of the eight bars.
bool showsColourBars(const Frame &frame, long long y, std::string &detail) {
    const int lit[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0}, {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
    for (int bar = 0; bar < 8; ++bar) {
        const unsigned char *bgr = pixel(frame.data, frame.width, frame.height, (2 * bar + 1) * frame.width / 16, y);
        for (int channel = 0; channel < 3; ++channel) {
            int value = bgr[2 - channel];
            if (lit[bar][channel] ? value <= 150 : value >= 60) {
                detail = "bar " + std::to_string(bar) + " at row " + std::to_string(y) + " is B,G,R " +
                         std::to_string(bgr[0]) + "," + std::to_string(bgr[1]) + "," + std::to_string(bgr[2]);
                return false;
            }
        }
    }
    return true;
}

struct DeviceFacts {
    std::string name;
    long long width, height, otherWidth, otherHeight;
    const char *framePath;
};

void checkFrame(const Outcome &outcome, long long width, long long height, const std::string &when) {
    Frame frame;
    bool read = readFrame(outcome, frame);
    check(read && frame.width == width && frame.height == height &&
              static_cast<size_t>(frame.size) == stride(width) * static_cast<size_t>(height),
          when + ": getbuffer() returns " + std::to_string(width) + "x" + std::to_string(height) + " with padded rows",
          read ? std::to_string(frame.width) + "x" + std::to_string(frame.height) + ", " + std::to_string(frame.size) +
                     " bytes"
               : outcome.describe());
    if (!read)
        return;
    std::string detail;
    // A row near the top of the picture lies near the end of the buffer; the
    // driver's lines of text start a little below it. The bottom rows may
    // be a counter strip (the emulated webcam's 16).
    check(showsColourBars(frame, 2, detail) && showsColourBars(frame, frame.height - 20, detail),
          when + ": the pixels are the driver's colour bars, rows bottom-up, bytes B, G, R", detail);
}

// A Dev made on one thread, used on another and on the first, and dropped
// there: each thread starts COM as the module first needs it.
void checkThreads(const Module &module, const DeviceFacts &device) {
    PyObject *dev = nullptr;
    onThread([&] {
        Outcome opened;
        callNewDev(opened, module, {0, 0});
        check(opened.value != nullptr, "on a thread of its own, new_Dev(0, 0) opens the device", opened.describe());
        dev = opened.value;
        opened.value = nullptr;
    });
    if (!dev)
        return;
    onThread([&] {
        Outcome frame;
        callDev(frame, module, dev, "getbuffer");
        checkFrame(frame, device.width, device.height, "on another thread than the one that opened it");
    });
    Outcome frame;
    callDev(frame, module, dev, "getbuffer");
    checkFrame(frame, device.width, device.height, "on the importing thread, once the opening thread ended");
    Py_DECREF(dev);
}

// An int of a dict's entry (borrowed lookups); false when it has none.
bool entryInt(PyObject *dict, const char *name, long long &value) {
    const char *key;
    PyObject *item;
    for (Py_ssize_t i = 0; StandIn_DictItem(dict, i, &key, &item); ++i)
        if (std::strcmp(key, name) == 0)
            return StandIn_IntValue(item, &value);
    return false;
}

// The sizes the pin offers, and the settings: Wine's filter gives those of
// IAMVideoProcAmp from the driver's controls, and has no IAMCameraControl.
void checkSettings(const Module &module, PyObject *dev, const DeviceFacts &device) {
    {
        Outcome sizes;
        callDev(sizes, module, dev, "getresolutions");
        std::vector<std::pair<long long, long long>> listed;
        PyObject *item;
        for (Py_ssize_t i = 0; sizes.value && StandIn_ListItem(sizes.value, i, &item); ++i) {
            Py_ssize_t count;
            PyObject *const *pair;
            long long width = 0, height = 0;
            if (StandIn_TupleItems(item, &count, &pair) && count == 2 && StandIn_IntValue(pair[0], &width) &&
                StandIn_IntValue(pair[1], &height))
                listed.emplace_back(width, height);
        }
        std::string text;
        for (const auto &size : listed)
            text += " " + std::to_string(size.first) + "x" + std::to_string(size.second);
        auto has = [&](long long w, long long h) {
            return std::find(listed.begin(), listed.end(), std::make_pair(w, h)) != listed.end();
        };
        check(has(device.width, device.height) && has(device.otherWidth, device.otherHeight),
              "getresolutions() lists the device's sizes:" + text, sizes.describe());
    }
    Outcome controls;
    callDev(controls, module, dev, "getcontrols");
    std::string names;
    const char *name;
    PyObject *entry, *brightness = nullptr;
    bool cameraControl = false;
    for (Py_ssize_t i = 0; controls.value && StandIn_DictItem(controls.value, i, &name, &entry); ++i) {
        long long value = 0;
        entryInt(entry, "value", value);
        names += std::string(" ") + name + "=" + std::to_string(value);
        if (std::strcmp(name, "brightness") == 0)
            brightness = entry;
        for (const char *camera : {"pan", "tilt", "roll", "zoom", "exposure", "iris", "focus"})
            cameraControl = cameraControl || std::strcmp(name, camera) == 0;
    }
    check(brightness && !cameraControl, "getcontrols() gives Wine's IAMVideoProcAmp settings, no camera's:" + names,
          controls.describe());
    long long minimum = 0, maximum = 0, step = 1, now = 0;
    if (brightness && entryInt(brightness, "minimum", minimum) && entryInt(brightness, "maximum", maximum) &&
        entryInt(brightness, "step", step) && entryInt(brightness, "value", now)) {
        long long wanted = now - step >= minimum ? now - step : now + step;
        Outcome set;
        callWith(set, findMethod(module.devType->tp_methods, "setcontrol"), dev,
                 {StandIn_Str("brightness"), StandIn_Int(wanted)});
        Outcome again;
        callDev(again, module, dev, "getcontrols");
        PyObject *after = nullptr;
        for (Py_ssize_t i = 0; again.value && StandIn_DictItem(again.value, i, &name, &entry); ++i)
            if (std::strcmp(name, "brightness") == 0)
                after = entry;
        long long read = 0;
        check(set.value == Py_None && after && entryInt(after, "value", read) && read == wanted,
              "setcontrol(\"brightness\", " + std::to_string(wanted) + ") reads back", set.describe());
        Outcome back;
        callWith(back, findMethod(module.devType->tp_methods, "setcontrol"), dev,
                 {StandIn_Str("brightness"), StandIn_Int(now)});
        Outcome outside;
        callWith(outside, findMethod(module.devType->tp_methods, "setcontrol"), dev,
                 {StandIn_Str("brightness"), StandIn_Int(maximum + 1)});
        check(outside.raised("quorin.Error", "The value is outside the control's range."),
              "a brightness past its maximum: \"The value is outside the control's range.\"", outside.describe());
    }
    Outcome exposure;
    callWith(exposure, findMethod(module.devType->tp_methods, "setcontrol"), dev,
             {StandIn_Str("exposure"), StandIn_Str("auto")});
    check(exposure.raised("quorin.Error", "The device has no control of that name."),
          "setcontrol(\"exposure\", \"auto\") without IAMCameraControl: \"The device has no control of that name.\"",
          exposure.describe());
}

void checkDevice(const Module &module, const DeviceFacts &device) {
    const long baseline = StandIn_LiveObjects();
    {
        std::vector<std::string> names;
        std::string detail;
        check(listDevices(module, names, detail) && names == std::vector<std::string>{device.name},
              "listdevices() returns [\"" + device.name + "\"]", detail);
    }
    Outcome opened;
    callNewDev(opened, module, {0, 0});
    check(opened.value != nullptr, "new_Dev(0, 0) opens the device", opened.describe());
    if (!opened.value)
        return;
    PyObject *dev = opened.value;

    {
        Outcome name;
        callDev(name, module, dev, "getdisplayname");
        const char *text = "";
        bool isText = name.value && StandIn_StrValue(name.value, &text);
        check(isText && device.name == text, "getdisplayname() returns \"" + device.name + "\"",
              isText ? std::string("\"") + text + "\"" : name.describe());
    }
    {
        Outcome first;
        callDev(first, module, dev, "getbuffer");
        checkFrame(first, device.width, device.height, "first frame");
        Frame frame;
        if (readFrame(first, frame))
            check(writeBitmap(device.framePath, frame.data, frame.size, frame.width, frame.height),
                  std::string("the frame is written to ") + device.framePath);
        DWORD start = GetTickCount();
        Outcome second;
        callDev(second, module, dev, "getbuffer");
        DWORD took = GetTickCount() - start;
        checkFrame(second, device.width, device.height, "second frame");
        check(took < 1000, "the second getbuffer() returns at once", std::to_string(took) + " ms");
    }
    {
        // The module stops the graph before SetFormat, as on Windows. Wine's
        // capture filter reads frames with read() through libv4l2, and
        // read() I/O has no way to stop: libv4l2's emulation of it keeps the
        // driver's buffers, so once the graph has run vivid refuses a new
        // format (VIDIOC_S_FMT: EBUSY) until the device is closed, and
        // Wine's SetFormat fails. A limitation of Wine's filter over that
        // driver, not of the module: the same call succeeds on a device that
        // has not run yet (below), and uvcvideo takes it at once. Either
        // way the next frame has the size the call said.
        Outcome resized;
        callDev(resized, module, dev, "setresolution", {device.otherWidth, device.otherHeight});
        bool refused = resized.raised("quorin.Error", "Cannot set capture resolution.");
        check(refused || resized.value == Py_None,
              "after the graph ran, another size is taken or refused with \"Cannot set capture resolution.\"",
              resized.describe());
        Outcome frame;
        callDev(frame, module, dev, "getbuffer");
        checkFrame(frame, refused ? device.width : device.otherWidth, refused ? device.height : device.otherHeight,
                   refused ? "after the refused size" : "after the size taken at once");
    }
    {
        // A second Dev of the same device while the first is alive: Wine's
        // capture filter opens the device and sets its first format when it
        // is created, which the driver refuses (EBUSY) while the first
        // filter holds its buffers, so binding the moniker fails.
        Outcome second;
        callNewDev(second, module, {0, 0});
        check(second.raised("quorin.Error", "Binding the moniker to a filter object failed."),
              "a second Dev of the device while the first is alive: \"Binding the moniker to a filter object "
              "failed.\"",
              second.describe());
    }
    {
        DialogCloser closer;
        check(closer.running(), "a thread closes the dialogs the calls show");
        Outcome filter;
        callDev(filter, module, dev, "displaycapturefilterproperties");
        check(filter.raised("quorin.Error", "Querying the capture filter for its property pages failed."),
              "displaycapturefilterproperties(): Wine's filter has no property pages", filter.describe());
        Outcome pin;
        callDev(pin, module, dev, "displaycapturepinproperties");
        check(pin.raised("quorin.Error", "Querying the capture pin for its property pages failed."),
              "displaycapturepinproperties(): Wine's pin has no property pages", pin.describe());
        Outcome deprecated;
        callDev(deprecated, module, dev, "displaypropertypage");
        check(deprecated.raised("quorin.Error", "Querying the filter for its property pages failed."),
              "displaypropertypage(): its message box was closed and the call returned", deprecated.describe());
        std::vector<std::string> shown = closer.captions();
        check(shown == std::vector<std::string>{"Quorinview Warning"},
              "the deprecated method's message box had the caption \"Quorinview Warning\"",
              std::to_string(shown.size()) + " dialogs");
    }
    checkSettings(module, dev, device);
    opened.value = nullptr;
    Py_DECREF(dev);
    check(StandIn_LiveObjects() == baseline, "dropping the device frees what it made",
          std::to_string(StandIn_LiveObjects() - baseline) + " objects left");
    {
        // With the graph released, the device opens again at a new size.
        Outcome reopened;
        callNewDev(reopened, module, {0, 0});
        check(reopened.value != nullptr, "the device opens again once dropped", reopened.describe());
        if (reopened.value) {
            Outcome resized;
            callDev(resized, module, reopened.value, "setresolution", {device.otherWidth, device.otherHeight});
            check(resized.value == Py_None, "before the graph runs, setresolution() to another listed size succeeds",
                  resized.describe());
            Outcome frame;
            callDev(frame, module, reopened.value, "getbuffer");
            checkFrame(frame, device.otherWidth, device.otherHeight, "after setresolution");
            Outcome refused;
            callDev(refused, module, reopened.value, "setresolution", {123, 77});
            check(refused.raised("quorin.Error", "Cannot set capture resolution."),
                  "a size the device does not list: \"Cannot set capture resolution.\"", refused.describe());
        }
    }
    checkThreads(module, device);
    check(StandIn_LiveObjects() == baseline, "nothing the device scenarios made is left alive",
          std::to_string(StandIn_LiveObjects() - baseline) + " objects left");
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2 && !(argc == 9 && std::strcmp(argv[2], "--device") == 0)) {
        std::fprintf(stderr, "usage: %s PYD [--device NAME WIDTH HEIGHT OTHER_WIDTH OTHER_HEIGHT FRAME.bmp]\n",
                     argv[0]);
        return 2;
    }
    StandIn_Initialize();
    Module module;
    if (loadModule(argv[1], module)) {
        const long afterImport = StandIn_LiveObjects();
        checkArguments(module);
        if (argc == 2) {
            checkWithoutDevice(module);
        } else {
            DeviceFacts device{
                argv[3], std::atoll(argv[4]), std::atoll(argv[5]), std::atoll(argv[6]), std::atoll(argv[7]), argv[8]};
            checkDevice(module, device);
        }
        check(StandIn_LiveObjects() == afterImport, "nothing the scenarios made is left alive",
              std::to_string(StandIn_LiveObjects() - afterImport) + " objects left");
        Py_DECREF(module.object);
        StandIn_Finalize();
        // The module keeps its error type for the process, as it must for
        // exceptions raised after the module object is gone, and its Dev
        // type, as it would a static one, for devices that outlive it.
        check(StandIn_LiveObjects() == 2, "after the module and the exit hooks, only quorin.error and Dev are alive",
              std::to_string(StandIn_LiveObjects()) + " objects");
    }
    std::printf("%s: %d passed, %d failed\n", argc == 2 ? "windows" : "camera", passed, failed);
    return failed ? 1 : 0;
}
