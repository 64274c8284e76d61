// Message boxes and property frames. On a desktop they are windows of the
// dialog helper (ui/property_window.cpp). Without one (no display named, no
// helper built, or the helper cannot open the display) no window exists and
// no one clicks: a message box is written to stderr and dismissed at once; a
// property frame shows nothing and applies the change that a test queued as
// the user's. Either way the frame records what it was asked to show.
#include "dshow/capture_device.h"
#include "dshow/property_pages.h"
#include "com/guard.h"
#include "com/instrumentation.h"
#include "ui/helper_process.h"
#include "ui/property_window.h"
#include "ui/user_interface.h"
#include "com/process_state.h"
#include "common/locking.h"
#include "com/diagnostics.h"

#include <quorin_platform/control.h>
#include <quorin_platform/user.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace platform {

namespace {

struct Desk {
    quorin::Mutex lock;
    QuorinPropertyFrame lastFrame GUARDED_BY(lock){};
    std::optional<FrameSize> queuedFormat GUARDED_BY(lock);
    unsigned long lastMessageBoxStyle GUARDED_BY(lock) = 0;
};

Desk &desk() { return ProcessState<Desk>::get(); }

// Copies wide text into UTF-8, cut at a character boundary to fit size.
void toUtf8(const OLECHAR *text, char *out, size_t size) {
    size_t used = 0;
    for (; *text; ++text) {
        uint32_t c = static_cast<uint32_t>(*text);
        char bytes[4];
        size_t n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (n == 1) {
            bytes[0] = static_cast<char>(c);
        } else {
            for (size_t k = n - 1; k > 0; --k, c >>= 6)
                bytes[k] = static_cast<char>(0x80 | (c & 0x3F));
            bytes[0] = static_cast<char>((n == 2 ? 0xC0 : n == 3 ? 0xE0 : 0xF0) | c);
        }
        if (used + n + 1 > size)
            break;
        std::memcpy(out + used, bytes, n);
        used += n;
    }
    out[used] = '\0';
}

} // namespace

void lastPropertyFrame(QuorinPropertyFrame &frame) {
    Desk &d = desk();
    quorin::Lock guard(d.lock);
    frame = d.lastFrame;
}

void queueUserFormat(LONG width, LONG height) {
    Desk &d = desk();
    quorin::Lock guard(d.lock);
    d.queuedFormat = FrameSize{width, height};
}

unsigned long lastMessageBoxStyle() {
    Desk &d = desk();
    quorin::Lock guard(d.lock);
    return d.lastMessageBoxStyle;
}

void resetUserInterface() {
    Desk &d = desk();
    quorin::Lock guard(d.lock);
    d.lastFrame = QuorinPropertyFrame{};
    d.queuedFormat.reset();
    d.lastMessageBoxStyle = 0;
}

} // namespace platform

extern "C" {

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    platform::enterOperation("MessageBoxA");
    {
        platform::Desk &d = platform::desk();
        quorin::Lock guard(d.lock);
        d.lastMessageBoxStyle = uType;
    }
    const char *caption = lpCaption ? lpCaption : "Error";
    const char *text = lpText ? lpText : "";
    // Nothing the window's work throws (no memory) may end the process: the
    // text is said on stderr instead.
    bool closed = false;
    HRESULT hr = platform::guarded([&] {
        std::string helper = platform::desktopHelper();
        closed = !helper.empty() &&
                 platform::showMessageWindow(helper, caption, text, uType) == platform::WindowResult::Closed;
        return S_OK;
    });
    if (closed)
        return IDOK;
    if (FAILED(hr))
        platform::say(std::string("message box: ") + platform::describeFailure(hr));
    platform::sayVerbatim(std::string("[") + caption + "] " + text);
    return IDOK;
}

HWND WINAPI GetTopWindow(HWND) {
    platform::enterOperation("GetTopWindow");
    return nullptr;
}

HRESULT WINAPI OleCreatePropertyFrame(HWND hwndOwner, UINT, UINT, LPCOLESTR lpszCaption, ULONG cObjects,
                                      LPUNKNOWN *ppUnk, ULONG cPages, LPCLSID pPageClsID, LCID, DWORD, LPVOID) {
    PLATFORM_ENTER("OleCreatePropertyFrame");
    if ((cObjects && !ppUnk) || (cPages && !pPageClsID))
        return E_POINTER;
    platform::PageTarget *device = cObjects && ppUnk[0] ? dynamic_cast<platform::PageTarget *>(ppUnk[0]) : nullptr;
    const char *kind = device ? device->pageKind() : "other";
    char caption[sizeof QuorinPropertyFrame::caption];
    platform::toUtf8(lpszCaption ? lpszCaption : L"", caption, sizeof caption);
    std::optional<platform::FrameSize> chosen;
    {
        platform::Desk &d = platform::desk();
        quorin::Lock guard(d.lock);
        QuorinPropertyFrame &frame = d.lastFrame;
        ++frame.shown;
        frame.owner = reinterpret_cast<uintptr_t>(hwndOwner);
        frame.hasCaption = lpszCaption != nullptr;
        std::memcpy(frame.caption, caption, sizeof caption);
        frame.objects = cObjects;
        frame.pages = cPages;
        std::snprintf(frame.object, sizeof frame.object, "%s", kind);
        chosen = d.queuedFormat;
        d.queuedFormat.reset();
    }
    // The window, and the headless stand-in's user, run the device's own
    // code: outside the record's lock, and inside guarded(), since a window
    // that runs out of memory must end as a code, not end the process.
    HRESULT hr = platform::guarded([&] {
        std::string helper = device ? platform::desktopHelper() : std::string();
        if (!helper.empty() && platform::showPropertyWindow(helper, caption, *device) == platform::WindowResult::Closed)
            return S_OK;
        // The user picks a size and closes with OK.
        if (chosen && device)
            device->applyUserSize(chosen->width, chosen->height);
        return S_OK;
    });
    if (FAILED(hr))
        platform::sayPropertyFault(platform::describeFailure(hr));
    return hr;
}

} // extern "C"
